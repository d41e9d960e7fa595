#include "platform/vfp/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/data_access.h"

namespace tw::vfp {

void throwFileError(const std::string& action, const std::string& path, int error) {
  std::string text = "Cannot " + action + " \"" + path + "\": " + std::strerror(error) + ".";
  throw data::Failure(text);
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
  explicit PosixFileSystem(bool durable) : durable_(durable) {}

  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
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
    if (fd < 0) throwFileError(action, path, errno);
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
      } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
        struct stat st {};
        entry.regularFile = ::stat(joinPath(folder, entry.name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
    return ::stat(path.c_str(), &st) == 0;
  }

  void remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throwFileError("delete", path, errno);
  }

  void rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) throwFileError("rename", from, errno);
    if (durable_) syncFolderOf(to);
  }

  std::unique_ptr<FileLock> tryLock(const std::string& path, bool create) override {
    // A lock needs no write access to the file itself, so that a read-only table can still
    // be claimed before it is removed.
    int fd = ::open(path.c_str(), create ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0666);
    if (fd < 0) throwFileError(create ? "create" : "open", path, errno);
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

  bool durable_;
};

}  // namespace

std::shared_ptr<FileSystem> makeRealFileSystem(bool durable) { return std::make_shared<PosixFileSystem>(durable); }

}  // namespace tw::vfp
