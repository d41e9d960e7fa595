// The file-system seam of the FoxPro engine: every byte the engine reads or writes, every
// folder it lists and every file it creates, renames or deletes goes through `FileSystem`.
//
// `makeRealFileSystem()` is the POSIX implementation the provider uses. Tests wrap it to inject
// the failures a user's machine produces (no space left, permission denied) at a chosen
// moment. Every failure is a `tw::data::Failure` whose description names the file and the
// cause in words ("Cannot write \"/x/orders.dbf\": No space left on device."), and never
// starts with "SQLException": these are not statements the engine rejected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw::vfp {

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
  Read,       // existing file, read only
  ReadWrite,  // existing file
  CreateNew,  // new file, read and write; fails when it exists
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
  virtual bool exists(const std::string& path) = 0;
  // Removes a file; removing a file that is not there is not an error.
  virtual void remove(const std::string& path) = 0;
  // Renames a file, replacing the target.
  virtual void rename(const std::string& from, const std::string& to) = 0;
  // Takes an exclusive lock on the file at `path` without waiting, creating an empty file
  // there first when `create` is set and there is none. Null when another holder has the
  // lock (another process, or another open of the file in this one), or when the file was
  // replaced or removed while the lock was being taken; throws for any other failure.
  virtual std::unique_ptr<FileLock> tryLock(const std::string& path, bool create) = 0;
};

// The machine's own file system. `durable` makes File::sync call fdatasync; without it the
// barrier only orders writes as the kernel sees them (enough when the process is killed,
// not when the machine stops).
std::shared_ptr<FileSystem> makeRealFileSystem(bool durable);

// The failure for a failed system call on `path`: "Cannot <action> \"path\": <cause>.".
[[noreturn]] void throwFileError(const std::string& action, const std::string& path, int error);

// `folder` joined with `name` by one "/".
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tw::vfp
