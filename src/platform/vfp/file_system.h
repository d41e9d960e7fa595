// The file-system seam of the FoxPro engine: every byte the engine reads or writes, every
// folder it lists and every file it creates, renames or deletes goes through `FileSystem`.
//
// `makeRealFileSystem()` is the POSIX implementation the provider uses. Tests wrap it to inject
// the failures a user's machine produces (no space left, permission denied) at a chosen
// moment. Every failure is a `tw::data::Failure` whose description names the file and the
// cause in words ("Cannot write \"/x/orders.dbf\": No space left on device."), and never
// starts with "SQLException": these are not statements the engine rejected.
//
// Only regular files are opened, and a symbolic link at the name itself is never followed:
// a FIFO, device, folder or link is refused at once, without waiting on it. New files are
// made only where nothing is (O_CREAT|O_EXCL|O_NOFOLLOW), and a file is put in place under
// its final name only by a rename that replaces nothing (renameNew), so that nothing
// planted at a name is ever written through or truncated.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/data_access.h"

namespace tw::vfp {

// Error numbers of FileFailure besides errno's: something other than a regular file, or a
// symbolic link, where the engine wants a file of its own.
inline constexpr int kNotRegularFile = -1;
inline constexpr int kSymbolicLink = -2;

// A failed system call on a file, with the system's error number (errno).
class FileFailure : public data::Failure {
 public:
  FileFailure(const std::string& description, int error) : data::Failure(description), error_(error) {}
  int error() const { return error_; }

 private:
  int error_;
};

// What is at a path, the path's last name not followed when it is a symbolic link.
enum class FileKind { Missing, Regular, Directory, SymbolicLink, Other };
struct FileStatus {
  FileKind kind = FileKind::Missing;
  std::uint64_t size = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t links = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch
  bool sameFile(const FileStatus& o) const {
    return kind != FileKind::Missing && device == o.device && inode == o.inode;
  }
  bool operator==(const FileStatus&) const = default;
};

// How long a lock that another writer holds is waited for before "File is in use.".
inline constexpr std::chrono::milliseconds kLockWait{5000};

// One open file. Offsets are absolute; nothing keeps a file position.
class File {
 public:
  virtual ~File() = default;
  // Writes all `size` bytes at `offset` or throws.
  virtual void writeAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  // Reads up to `size` bytes at `offset`; returns how many were read (fewer at the end).
  virtual std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) = 0;
  virtual std::uint64_t size() = 0;
  virtual void truncate(std::uint64_t size) = 0;
  // Makes the bytes written so far durable before any later write (a write barrier).
  virtual void sync() = 0;
  virtual const std::string& path() const = 0;
};

enum class OpenMode {
  Read,       // existing regular file, read only
  ReadWrite,  // existing regular file
  CreateNew,  // new file, read and write; fails when anything (a link too) is at the name
};

// An exclusive lock on a file, held until the object is destroyed. It is the operating
// system's own: it goes away with the process that holds it, however that process ends.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

struct DirEntry {
  std::string name;
  bool regularFile = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<File> open(const std::string& path, OpenMode mode) = 0;
  // The entries of a folder (without "." and "..").
  virtual std::vector<DirEntry> list(const std::string& folder) = 0;
  virtual bool isDirectory(const std::string& path) = 0;
  // True when something is at `path` (links followed); throws when that cannot be told
  // (a name too long, a folder that cannot be searched).
  virtual bool exists(const std::string& path) = 0;
  // Removes a regular file (or a link, never what it points to); removing a file that is
  // not there is not an error, anything else at the name is refused.
  virtual void remove(const std::string& path) = 0;
  // Renames a file, replacing the target.
  virtual void rename(const std::string& from, const std::string& to) = 0;
  // Renames a file only when nothing is at `to`: "Cannot create \"to\": File exists." else.
  virtual void renameNew(const std::string& from, const std::string& to) = 0;
  // What is at `path`; Missing when nothing is (or a folder on the way is missing). Throws
  // for any other failure, such as a name too long for the file system.
  virtual FileStatus status(const std::string& path) = 0;
  // Takes an exclusive lock on the regular file or folder at `path` without waiting,
  // creating an empty file there first when `create` is set and there is none. Null when
  // another holder has the lock (another process, or another open of the file in this
  // one), or when the file was replaced or removed while the lock was being taken; throws
  // for any other failure.
  virtual std::unique_ptr<FileLock> tryLock(const std::string& path, bool create) = 0;
  // How long lock() waits for a lock another writer holds.
  virtual std::chrono::milliseconds lockWait() const { return kLockWait; }
};

// The machine's own file system. `durable` makes File::sync call fdatasync; without it the
// barrier only orders writes as the kernel sees them (enough when the process is killed,
// not when the machine stops). Locks held by others are waited for `lockWait`.
std::shared_ptr<FileSystem> makeRealFileSystem(bool durable, std::chrono::milliseconds lockWait = kLockWait);

// The failure for a failed system call on `path`: "Cannot <action> \"path\": <cause>.".
[[noreturn]] void throwFileError(const std::string& action, const std::string& path, int error);

// The lock on `path`, retried while another writer holds it, for up to fs.lockWait(); null
// when it is still held then.
std::unique_ptr<FileLock> lock(FileSystem& fs, const std::string& path);

// A new, empty file of a name no one uses, in `folder`: "~tw" and eight random letters and
// digits, then `suffix`. Made with CreateNew, so it never takes over what is there.
struct NewFile {
  std::unique_ptr<File> file;
  std::string path;
};
NewFile createUnique(FileSystem& fs, const std::string& folder, const std::string& suffix = ".tmp");
// A new file beside `path` whose unique name keeps that file's: "~twXXXXXXXX.<name>.tmp".
NewFile createBeside(FileSystem& fs, const std::string& path);

// Renames `path` to a new unique name in the same folder and returns that name: a file set
// aside this way can be put back with renameNew.
std::string setAside(FileSystem& fs, const std::string& path);
// The name a file set aside had (its own name keeps it), or empty for any other name.
std::string asideOriginal(const std::string& asideName);

// The folder part of `path` ("." for a bare name) and its last name.
std::string folderOf(const std::string& path);
std::string baseName(const std::string& path);

// `folder` joined with `name` by one "/".
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tw::vfp
