#include "platform/vfp/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <thread>

#include "platform/data_access.h"

namespace tw::vfp {

void throwFileError(const std::string& action, const std::string& path, int error) {
  std::string cause = error == kNotRegularFile ? "it is not a regular file"
                      : error == kSymbolicLink ? "it is a symbolic link, which is never followed"
                                               : std::strerror(error);
  throw FileFailure("Cannot " + action + " \"" + path + "\": " + cause + ".", error);
}

std::string folderOf(const std::string& path) {
  std::size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

std::string baseName(const std::string& path) {
  std::size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::unique_ptr<FileLock> lock(FileSystem& fs, const std::string& path) {
  const auto until = std::chrono::steady_clock::now() + fs.lockWait();
  for (auto pause = std::chrono::milliseconds(2);; pause = std::min(pause * 2, std::chrono::milliseconds(100))) {
    if (auto held = fs.tryLock(path, false)) return held;
    if (std::chrono::steady_clock::now() >= until) return nullptr;
    std::this_thread::sleep_for(pause);
  }
}

namespace {

std::string uniqueName(const std::string& suffix) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = "~tw";
  for (int i = 0; i < 8; ++i) name += letters[random() % 36];
  return name + suffix;
}

}  // namespace

NewFile createUnique(FileSystem& fs, const std::string& folder, const std::string& suffix) {
  for (int attempt = 0;; ++attempt) {
    std::string path = joinPath(folder, uniqueName(suffix));
    try {
      return {fs.open(path, OpenMode::CreateNew), path};
    } catch (const FileFailure& f) {
      // Something is at that name already: it is left alone and another name is tried.
      if (f.error() != EEXIST || attempt == 20) throw;
    }
  }
}

namespace {

// ".<name><extension>" when a unique name with it still fits a file name, else `extension`.
std::string keepingName(const std::string& path, const std::string& extension) {
  const std::string name = baseName(path);
  return name.size() + 13 + extension.size() <= 255 ? "." + name + extension : extension;
}

}  // namespace

NewFile createBeside(FileSystem& fs, const std::string& path) {
  return createUnique(fs, folderOf(path), keepingName(path, ".tmp"));
}

std::string setAside(FileSystem& fs, const std::string& path) {
  // "~twXXXXXXXX.<name>.del": the name stays readable, so that a drop a kill interrupted can
  // be put back (asideOriginal); a name too long for that goes aside without it.
  const std::string suffix = keepingName(path, ".del");
  for (int attempt = 0;; ++attempt) {
    std::string aside = joinPath(folderOf(path), uniqueName(suffix));
    try {
      fs.renameNew(path, aside);
      return aside;
    } catch (const FileFailure& f) {
      if (f.error() != EEXIST || attempt == 20) throw;
    }
  }
}

std::string asideOriginal(const std::string& asideName) {
  // "~tw" + 8 letters or digits + "." + the name + ".del"
  if (asideName.size() <= 16 || asideName.compare(0, 3, "~tw") != 0 || asideName[11] != '.' ||
      asideName.compare(asideName.size() - 4, 4, ".del") != 0)
    return {};
  return asideName.substr(12, asideName.size() - 16);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

namespace {

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string path, bool durable) : fd_(fd), path_(std::move(path)), durable_(durable) {}
  ~PosixFile() override { ::close(fd_); }

  void writeAt(std::uint64_t offset, const void* data, std::size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        throwFileError("write", path_, errno);
      }
      if (n == 0) throwFileError("write", path_, ENOSPC);
      p += n;
      size -= static_cast<std::size_t>(n);
      offset += static_cast<std::uint64_t>(n);
    }
  }

  std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) override {
    char* p = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::pread(fd_, p + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        throwFileError("read", path_, errno);
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  std::uint64_t size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throwFileError("read", path_, errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  void truncate(std::uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throwFileError("write", path_, errno);
  }

  void sync() override {
    if (durable_ && ::fdatasync(fd_) != 0) throwFileError("write", path_, errno);
  }

  const std::string& path() const override { return path_; }

 private:
  int fd_;
  std::string path_;
  bool durable_;
};

// flock locks belong to the open file, not to the process alone: a second open of the
// same file conflicts even within one process, and the lock ends when the process does.
class PosixLock : public FileLock {
 public:
  explicit PosixLock(int fd) : fd_(fd) {}
  ~PosixLock() override { ::close(fd_); }

 private:
  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem(bool durable, std::chrono::milliseconds lockWait) : durable_(durable), lockWait_(lockWait) {}

  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
    // O_NONBLOCK: a FIFO at the name must not hold the open until a writer comes.
    int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    const char* action = "open";
    switch (mode) {
      case OpenMode::Read: flags |= O_RDONLY; break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::CreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        action = "create";
        break;
    }
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) throwFileError(action, path, errno == ELOOP ? kSymbolicLink : errno);
    refuseUnlessRegular(fd, path, action);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixFile>(fd, path, durable_);
  }

  std::vector<DirEntry> list(const std::string& folder) override {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) throwFileError("list the folder", folder, errno);
    std::vector<DirEntry> out;
    while (dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      DirEntry entry;
      entry.name = e->d_name;
      if (e->d_type == DT_REG) {
        entry.regularFile = true;
      } else if (e->d_type == DT_UNKNOWN) {
        struct stat st {};
        entry.regularFile = ::lstat(joinPath(folder, entry.name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
      }
      out.push_back(std::move(entry));
    }
    ::closedir(dir);
    return out;
  }

  bool isDirectory(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool exists(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return true;
    // A name too long, or a folder that cannot be searched, is not "missing".
    if (errno != ENOENT && errno != ENOTDIR) throwFileError("look at", path, errno);
    return false;
  }

  void remove(const std::string& path) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return;
      throwFileError("delete", path, errno);
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) throwFileError("delete", path, kNotRegularFile);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throwFileError("delete", path, errno);
  }

  void rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) throwFileError("rename", from, errno);
    if (durable_) syncFolderOf(to);
  }

  void renameNew(const std::string& from, const std::string& to) override {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
      // A file system without RENAME_NOREPLACE: a hard link fails the same way when the
      // name is taken.
      if (errno != EINVAL && errno != ENOSYS) throwRenameError(from, to, errno);
      if (::link(from.c_str(), to.c_str()) != 0) throwRenameError(from, to, errno);
      if (::unlink(from.c_str()) != 0) throwFileError("delete", from, errno);
    }
    if (durable_) syncFolderOf(to);
  }

  FileStatus status(const std::string& path) override {
    FileStatus s;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return s;
      throwFileError("look at", path, errno);
    }
    s.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
             : S_ISDIR(st.st_mode) ? FileKind::Directory
             : S_ISLNK(st.st_mode) ? FileKind::SymbolicLink
                                   : FileKind::Other;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.links = st.st_nlink;
    s.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
  }

  std::chrono::milliseconds lockWait() const override { return lockWait_; }

  std::unique_ptr<FileLock> tryLock(const std::string& path, bool create) override {
    // A lock needs no write access to the file itself, so that a read-only table can still
    // be claimed before it is removed.
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_RDWR | O_CREAT : O_RDONLY);
    int fd = ::open(path.c_str(), flags, 0666);
    // A link to a folder may be locked: the lock is the folder's, and nothing is written.
    if (fd < 0 && errno == ELOOP && !create) {
      fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0) errno = ELOOP;
    }
    if (fd < 0) throwFileError(create ? "create" : "open", path, errno == ELOOP ? kSymbolicLink : errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
      ::close(fd);
      throwFileError("lock", path, kNotRegularFile);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      ::close(fd);
      if (e == EWOULDBLOCK) return nullptr;
      throwFileError("lock", path, e);
    }
    // Another writer may have removed or replaced the file between the open and the lock:
    // then this lock guards a file that no longer has the name.
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixLock>(fd);
  }

 private:
  // Makes a rename survive a machine stop: the folder's entry is written out too. A folder
  // that cannot be opened for this (some file systems refuse) is left to the system.
  static void syncFolderOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
      int e = errno;
      ::close(fd);
      throwFileError("write", folder, e);
    }
    ::close(fd);
  }

  // A rename refused because of its target names the target.
  [[noreturn]] static void throwRenameError(const std::string& from, const std::string& to, int error) {
    if (error == EEXIST || error == ENAMETOOLONG) throwFileError("create", to, error);
    throwFileError("rename", from, error);
  }

  static void refuseUnlessRegular(int fd, const std::string& path, const char* action) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return;
    ::close(fd);
    throwFileError(action, path, kNotRegularFile);
  }

  bool durable_;
  std::chrono::milliseconds lockWait_;
};

}  // namespace

std::shared_ptr<FileSystem> makeRealFileSystem(bool durable, std::chrono::milliseconds lockWait) {
  return std::make_shared<PosixFileSystem>(durable, lockWait);
}

}  // namespace tw::vfp
