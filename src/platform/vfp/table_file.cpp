#include "platform/vfp/table_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "platform/data_access.h"

namespace tw::vfp {

namespace {

std::vector<std::uint8_t> blankRecord(const TableLayout& layout) {
  std::vector<std::uint8_t> r(layout.recordLength, ' ');
  r[0] = kRecordLive;
  for (const auto& f : layout.fields) {
    switch (f.type) {
      case 'I':
      case 'B':
      case 'Y':
      case 'T':
      case 'M':
      case 'G':
      case 'W': std::memset(&r[f.offset], 0, f.width); break;
      // A V or Q field is blank with its length byte 0 and its length bit set, as VFP
      // leaves it.
      case 'V':
      case 'Q': r[f.offset + f.width - 1u] = 0; break;
      default: break;  // C N F D L blank with spaces
    }
  }
  if (layout.nullFlagsWidth) std::memset(&r[layout.nullFlagsOffset], 0, layout.nullFlagsWidth);
  for (const auto& f : layout.fields)
    if (f.varLengthBit >= 0)
      r[layout.nullFlagsOffset + static_cast<std::uint32_t>(f.varLengthBit / 8)] |=
          static_cast<std::uint8_t>(1u << (f.varLengthBit % 8));
  return r;
}

// Renames a finished new file to its name, which another writer may have taken meanwhile.
void placeNew(FileSystem& fs, const std::string& from, const std::string& to) {
  try {
    fs.renameNew(from, to);
  } catch (const FileFailure& f) {
    if (f.error() != EEXIST) throw;
    throw data::Failure(data::kErrTableUnusable,
                        "SQLException: File already exists. \"" + to + "\" was made by another writer meanwhile.");
  }
}

std::vector<std::uint8_t> readStart(File& file, std::size_t max) {
  std::vector<std::uint8_t> bytes(max);
  bytes.resize(file.readAt(0, bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace

std::unique_ptr<TableFile> TableFile::create(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
                                             TableLayout layout, const std::function<void()>& whileLocked) {
  std::unique_ptr<TableFile> t(new TableFile);
  t->layout_ = std::move(layout);
  HeaderDate d = today();
  const std::string folder = folderOf(dbfPath);
  std::vector<std::string> made;  // the files this creation made, under the names they have now
  try {
    NewFile dbf = createUnique(fs, folder);
    made.push_back(dbf.path);
    // The new file is the lock: whoever holds it is creating, and then writing, this table.
    t->lock_ = fs.tryLock(dbf.path, false);
    if (!t->lock_) throw data::Failure(data::kErrTableUnusable, "SQLException: File is in use.");
    if (whileLocked) whileLocked();
    NewFile fpt;
    if (t->layout_.hasMemo) {
      fpt = createUnique(fs, folder);
      made.push_back(fpt.path);
      auto h = encodeMemoHeader(kMemoHeaderSize / kMemoBlockSize, kMemoBlockSize);
      fpt.file->writeAt(0, h.data(), h.size());
      fpt.file->sync();
      t->flushedMemoBlock_ = t->nextMemoBlock_ = kMemoHeaderSize / kMemoBlockSize;
    }
    auto header = encodeHeader(t->layout_, 0, d.yy, d.mm, d.dd);
    header.push_back(kEndOfFile);
    dbf.file->writeAt(0, header.data(), header.size());
    dbf.file->sync();
    // Into place by renames that replace nothing: the memo file first, so that the table
    // never appears without it.
    if (fpt.file) {
      placeNew(fs, fpt.path, fptPath);
      made.back() = fptPath;
      t->fpt_ = fs.open(fptPath, OpenMode::ReadWrite);
    }
    placeNew(fs, dbf.path, dbfPath);
    made.front() = dbfPath;
    t->dbf_ = fs.open(dbfPath, OpenMode::ReadWrite);
  } catch (...) {
    // Nothing of the table stays behind; the lock ends with `t`.
    t->fpt_.reset();
    for (const std::string& path : made) {
      try {
        fs.remove(path);
      } catch (...) {
      }
    }
    throw;
  }
  t->header_.version = versionFor(t->layout_);
  t->header_.codePage = t->layout_.codePage;
  t->header_.tableFlags = t->layout_.hasMemo ? kTableFlagMemo : 0;
  t->header_.layout = t->layout_;
  t->blank_ = blankRecord(t->layout_);
  t->startCounters();
  return t;
}

std::unique_ptr<TableFile> TableFile::open(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
                                           std::string_view container) {
  return openFile(fs, dbfPath, fptPath, container, false);
}

std::unique_ptr<TableFile> TableFile::openContainer(FileSystem& fs, const std::string& dbcPath,
                                                    const std::string& dctPath) {
  return openFile(fs, dbcPath, dctPath, {}, true);
}

std::unique_ptr<TableFile> TableFile::openFile(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
                                               std::string_view container, bool containerItself) {
  std::unique_ptr<TableFile> t(new TableFile);
  t->dbf_ = fs.open(dbfPath, OpenMode::ReadWrite);
  std::uint64_t size = t->dbf_->size();
  t->header_ = parseHeader(readStart(*t->dbf_, kMaxHeaderBytes), size, container, containerItself);
  t->layout_ = t->header_.layout;
  t->flushedCount_ = t->header_.recordCount;
  if (t->layout_.hasMemo) {
    if (fptPath.empty()) throw CorruptTable("its memo file (.fpt) is missing");
    t->fpt_ = fs.open(fptPath, OpenMode::ReadWrite);
    MemoHeader m = parseMemoHeader(readStart(*t->fpt_, kMemoHeaderSize), t->fpt_->size());
    t->blockSize_ = m.blockSize;
    t->flushedMemoBlock_ = t->nextMemoBlock_ = m.nextFreeBlock;
  }
  t->blank_ = blankRecord(t->layout_);
  t->startCounters();
  if (!t->header_.unsupported.empty()) return t;  // the caller refuses to append

  // Cut whatever a write cut short left behind the end marker, and end the file with a
  // fresh marker.
  checkRecordsEnd(*t->dbf_, t->header_);
  std::uint64_t end =
      t->layout_.headerLength + static_cast<std::uint64_t>(t->flushedCount_) * t->layout_.recordLength;
  std::uint8_t marker = 0;
  bool clean = size == end + 1 && t->dbf_->readAt(end, &marker, 1) == 1 && marker == kEndOfFile;
  if (!clean) {
    std::uint8_t eof = kEndOfFile;
    t->dbf_->writeAt(end, &eof, 1);
    if (size > end + 1) t->dbf_->truncate(end + 1);
    t->dbf_->sync();
  }
  return t;
}

void checkRecordsEnd(File& file, const TableHeader& header) {
  const std::uint64_t end =
      header.layout.headerLength + static_cast<std::uint64_t>(header.recordCount) * header.layout.recordLength;
  const std::uint64_t size = file.size();
  std::uint8_t marker = kEndOfFile;
  if (size <= end || (file.readAt(end, &marker, 1) == 1 && marker == kEndOfFile)) return;
  const std::uint64_t whole = (size - header.layout.headerLength) / header.layout.recordLength;
  throw CorruptTable(
      "its header counts " + std::to_string(header.recordCount) + " records but the file holds " +
      (whole > header.recordCount ? std::to_string(whole) : std::to_string(size - end) + " more bytes after them"));
}

TableFile::~TableFile() {
  try {
    flush();
  } catch (...) {
    // A destructor cannot report; the files keep their last consistent state.
  }
}

namespace {
// The largest .dbf or .fpt Visual FoxPro opens.
constexpr std::uint64_t kMaxFileBytes = 0x7FFFFFFF;
[[noreturn]] void tooLarge(const std::string& path) {
  throw data::Failure(data::kErrTableUnusable,
                      "SQLException: File is too large. \"" + path + "\" would pass the 2 GB a table file can hold.");
}
}  // namespace

std::uint8_t* TableFile::beginRecord() {
  std::uint64_t end = layout_.headerLength + (std::uint64_t{recordCount()} + 1) * layout_.recordLength + 1;
  if (end > kMaxFileBytes) tooLarge(dbf_->path());
  recordStart_ = records_.size();
  memoStart_ = memo_.size();
  for (auto& c : counters_) c.atRecordStart = c.next;
  records_.insert(records_.end(), blank_.begin(), blank_.end());
  return records_.data() + recordStart_;
}

std::uint32_t TableFile::addMemo(const char* data, std::size_t size) {
  std::uint32_t block = nextMemoBlock_;
  std::size_t total = 8 + size;
  std::size_t blocks = (total + blockSize_ - 1) / blockSize_;
  if ((std::uint64_t{nextMemoBlock_} + blocks) * blockSize_ > kMaxFileBytes)
    tooLarge(fpt_ ? fpt_->path() : dbf_->path());
  std::size_t at = memo_.size();
  memo_.resize(at + blocks * blockSize_, 0);
  std::uint8_t* p = memo_.data() + at;
  putBe32(p, 1);
  putBe32(p + 4, static_cast<std::uint32_t>(size));
  std::memcpy(p + 8, data, size);
  nextMemoBlock_ += static_cast<std::uint32_t>(blocks);
  return block;
}

void TableFile::commitRecord() {
  ++pendingCount_;
  if (records_.size() + memo_.size() >= batchBytes_) flush();
}

void TableFile::abortRecord() {
  for (auto& c : counters_) c.next = c.atRecordStart;
  records_.resize(recordStart_);
  std::size_t dropped = memo_.size() - memoStart_;
  memo_.resize(memoStart_);
  nextMemoBlock_ -= static_cast<std::uint32_t>(dropped / blockSize_);
}

void TableFile::flush() {
  if (pendingCount_ == 0 || broken_) return;
  std::uint32_t rows = pendingCount_;
  try {
    writeBatch();
  } catch (const data::Failure& f) {
    broken_ = true;
    if (listener_) listener_->discard();
    records_.clear();
    memo_.clear();
    pendingCount_ = 0;
    throw data::Failure(data::kErrTableUnusable, f.description() + " The last " + std::to_string(rows) +
                                                     " rows inserted into \"" + dbf_->path() + "\" were not saved.");
  }
}

void TableFile::writeBatch() {
  // Memo blocks and records go behind the current ends; nothing points to them yet.
  if (!memo_.empty()) {
    fpt_->writeAt(static_cast<std::uint64_t>(flushedMemoBlock_) * blockSize_, memo_.data(), memo_.size());
    std::uint8_t next[4];
    putBe32(next, nextMemoBlock_);
    fpt_->writeAt(0, next, 4);
  }
  std::uint64_t end = layout_.headerLength + static_cast<std::uint64_t>(flushedCount_) * layout_.recordLength;
  records_.push_back(kEndOfFile);
  dbf_->writeAt(end + 1, records_.data() + 1, records_.size() - 1);
  if (!memo_.empty()) fpt_->sync();
  dbf_->sync();
  std::uint32_t count = flushedCount_ + pendingCount_;
  if (listener_) listener_->prepare(count);
  // Now the records become visible: first to readers that scan for the end marker, then
  // to those that trust the count.
  dbf_->writeAt(end, records_.data(), 1);
  dbf_->sync();
  // The next values go before the count: a record the count takes in has had its value
  // handed out for good.
  writeCounters();
  HeaderDate d = today();
  std::uint8_t head[7] = {d.yy, d.mm, d.dd, 0, 0, 0, 0};
  putLe32(head + 3, count);
  dbf_->writeAt(1, head, sizeof head);
  flushedCount_ = count;
  if (listener_) {
    // The count is durable before what depends on it is put in place.
    dbf_->sync();
    listener_->commit();
  }
  flushedMemoBlock_ = nextMemoBlock_;
  pendingCount_ = 0;
  records_.clear();
  memo_.clear();
}

}  // namespace tw::vfp

namespace tw::vfp {

void TableFile::startCounters() {
  counters_.clear();
  for (std::size_t i = 0; i < layout_.fields.size(); ++i) {
    const FieldDef& f = layout_.fields[i];
    if (!f.autoIncrement) continue;
    const std::int64_t next = f.autoIncrementNext;
    counters_.push_back({i, next, next, next, f.autoIncrementStep});
  }
}

std::int32_t TableFile::takeAutoIncrement(std::size_t field) {
  for (auto& c : counters_) {
    if (c.field != field) continue;
    // The value after this one must fit the descriptor too, or the field is exhausted.
    const std::int64_t after = c.next + c.step;
    if (c.next > INT32_MAX || after > INT32_MAX)
      throw data::Failure("SQLException: Numeric overflow. Data was lost. The autoincrementing field \"" +
                          layout_.fields[field].name + "\" has no values left.");
    const auto value = static_cast<std::int32_t>(c.next);
    c.next = after;
    return value;
  }
  throw std::logic_error("not an autoincrementing field");
}

void TableFile::setAutoIncrement(std::size_t field, std::int32_t next, std::uint8_t step) {
  flush();
  FieldDef& f = layout_.fields[field];
  // Flags, next value and step stand side by side: one write of six bytes.
  const std::uint64_t at = 32 + 32u * f.descriptor + 18;
  std::uint8_t old[6], bytes[6];
  std::uint8_t oldVersion = header_.version;
  if (dbf_->readAt(at, old, sizeof old) != sizeof old)
    throw data::Failure("The header of \"" + dbf_->path() + "\" could not be read.");
  bytes[0] = static_cast<std::uint8_t>(f.flags | kFieldFlagAutoIncrement);
  putLe32(bytes + 1, static_cast<std::uint32_t>(next));
  bytes[5] = step;
  const std::uint8_t version = oldVersion == kVersionVfp ? kVersionAutoIncrement : oldVersion;
  try {
    dbf_->writeAt(at, bytes, sizeof bytes);
    if (version != oldVersion) dbf_->writeAt(0, &version, 1);
    dbf_->sync();
  } catch (...) {
    try {
      dbf_->writeAt(at, old, sizeof old);
      dbf_->writeAt(0, &oldVersion, 1);
      dbf_->sync();
    } catch (...) {
    }
    throw;
  }
  header_.version = version;
  f.flags = bytes[0];
  f.autoIncrement = true;
  f.autoIncrementNext = next;
  f.autoIncrementStep = step;
  header_.layout.fields[field] = f;
  startCounters();
}

void TableFile::writeCounters() {
  for (auto& c : counters_) {
    if (c.next == c.written) continue;
    std::uint8_t bytes[4];
    putLe32(bytes, static_cast<std::uint32_t>(c.next));
    dbf_->writeAt(autoIncrementOffset(layout_.fields[c.field]), bytes, 4);
    c.written = c.next;
  }
}

}  // namespace tw::vfp
