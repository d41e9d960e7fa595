// Helpers shared by the FoxPro engine's tests: scratch folders, whole-file reads, and a
// file system that fails on cue.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/data_access.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/file_system.h"

namespace tw::vfp::testing {

// A fresh, empty folder removed again at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tw-vfp-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  // A new file rather than a truncated one: file systems flush truncated-and-rewritten
  // files to disk on close, which makes tests that rewrite files slow.
  std::filesystem::remove(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The description of the Failure `f` throws, or "" when it throws none.
template <class F>
std::string failureOf(F&& f) {
  try {
    f();
  } catch (const tw::data::Failure& e) {
    return e.description();
  }
  return "";
}

// The real file system with failures on cue: writes fail with `writeError` once
// `writeBudget` bytes have been written, and always to paths containing `failWritesTo`;
// opens of paths containing `refuseOpen` fail with `openError`; with `readOnly` nothing can
// be created, written, renamed or removed (EROFS), as on a read-only folder.
class FaultyFileSystem : public FileSystem {
 public:
  FaultyFileSystem() : real_(makeRealFileSystem(false)) {}

  long long writeBudget = -1;  // bytes; -1 unlimited
  int writeError = ENOSPC;
  std::string refuseOpen;
  int openError = EACCES;
  std::string failWritesTo;
  bool readOnly = false;
  bool refillAfterFailure = false;  // the write after the one that ran out of budget succeeds

  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
    if (!refuseOpen.empty() && path.find(refuseOpen) != std::string::npos)
      throwFileError(mode == OpenMode::CreateNew ? "create" : "open", path, openError);
    if (readOnly && mode != OpenMode::Read)
      throwFileError(mode == OpenMode::CreateNew ? "create" : "open", path, EROFS);
    return std::make_unique<FaultyFile>(*this, real_->open(path, mode));
  }
  std::vector<DirEntry> list(const std::string& folder) override { return real_->list(folder); }
  bool isDirectory(const std::string& path) override { return real_->isDirectory(path); }
  bool exists(const std::string& path) override { return real_->exists(path); }
  void remove(const std::string& path) override {
    if (readOnly) throwFileError("delete", path, EROFS);
    real_->remove(path);
  }
  void rename(const std::string& from, const std::string& to) override {
    if (readOnly) throwFileError("rename", from, EROFS);
    real_->rename(from, to);
  }
  std::unique_ptr<FileLock> tryLock(const std::string& path, bool create) override {
    if (!refuseOpen.empty() && path.find(refuseOpen) != std::string::npos)
      throwFileError(create ? "create" : "open", path, openError);
    if (readOnly && create && !real_->exists(path)) throwFileError("create", path, EROFS);
    return real_->tryLock(path, create);
  }

 private:
  class FaultyFile : public File {
   public:
    FaultyFile(FaultyFileSystem& owner, std::unique_ptr<File> real) : owner_(owner), real_(std::move(real)) {}
    void writeAt(std::uint64_t offset, const void* data, std::size_t size) override {
      if (!owner_.failWritesTo.empty() && real_->path().find(owner_.failWritesTo) != std::string::npos)
        throwFileError("write", real_->path(), owner_.writeError);
      if (owner_.writeBudget >= 0) {
        if (static_cast<long long>(size) > owner_.writeBudget) {
          // Write what still fits, as a full disk does, then fail.
          real_->writeAt(offset, data, static_cast<std::size_t>(owner_.writeBudget));
          owner_.writeBudget = owner_.refillAfterFailure ? -1 : 0;
          throwFileError("write", real_->path(), owner_.writeError);
        }
        owner_.writeBudget -= static_cast<long long>(size);
      }
      real_->writeAt(offset, data, size);
    }
    std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) override {
      return real_->readAt(offset, data, size);
    }
    std::uint64_t size() override { return real_->size(); }
    void truncate(std::uint64_t size) override { real_->truncate(size); }
    void sync() override { real_->sync(); }
    const std::string& path() const override { return real_->path(); }

   private:
    FaultyFileSystem& owner_;
    std::unique_ptr<File> real_;
  };
  std::shared_ptr<FileSystem> real_;
};

inline std::shared_ptr<FileSystem> plainFs() { return makeRealFileSystem(false); }

}  // namespace tw::vfp::testing
