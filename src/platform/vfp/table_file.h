// A free table open for appending records: creates the .dbf/.fpt pair of a new table or
// opens an existing one, takes records and memo values into memory and writes them out in
// batches.
//
// Crash safety. The program may be ended at any moment, so the files must always be a valid
// table holding a prefix of the records that were committed. A batch is written in this
// order:
//   1. the memo blocks at the end of the .fpt and its next-free-block number, and the
//      batch's records after the current 0x1A end marker of the .dbf, leaving that marker in
//      place, followed by a new 0x1A; a reader that scans for the marker still stops at the
//      old end, and nothing points to the new memo blocks yet;
//   2. a write barrier (File::sync on both files);
//   3. the first byte of the batch (a delete flag) over the old marker, one byte;
//   4. a write barrier, then the next values of autoincrementing fields (so that no value
//      the count takes in is handed out again), and the header's update date and record
//      count.
// So the count never exceeds the complete records in the file, memo blocks exist before any
// record points to them, and a torn write only ever lands behind an end marker. Opening an
// existing table cuts anything behind its last counted record and writes a fresh marker.
//
// A failed write ends the batch: the files keep their previous state, the table counts as
// closed, and the failure names the file, the cause and how many rows were not saved.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vfp/dbf_format.h"
#include "platform/vfp/file_system.h"

namespace tw::vfp {

// Throws CorruptTable when `file` holds records behind those its header counts: bytes
// there are allowed only behind an end marker (0x1A) right after the counted records,
// which is where a write cut short leaves them.
void checkRecordsEnd(File& file, const TableHeader& header);

// What must follow the table's records as they are written: a table's indexes (see
// table_indexes.h). A batch calls prepare() once its records are in the file but not yet
// counted, commit() once they count, and discard() when the batch failed.
class BatchListener {
 public:
  virtual ~BatchListener() = default;
  // `recordCount` is the count the table will have once the batch counts.
  virtual void prepare(std::uint32_t recordCount) = 0;
  virtual void commit() = 0;
  virtual void discard() = 0;
};

class TableFile {
 public:
  // Writes a new, empty table: its .dbf (and .fpt when the layout has memo fields) under
  // new unique names (createUnique), then renamed into place, the .fpt first, by renames
  // that replace nothing: a half-written table never appears under its own name, and a
  // file, or a link, at either name is never written through. When another writer took a
  // name meanwhile, the creation is refused with "File already exists." (a Failure
  // numbered kErrTableUnusable) and removes only what it made.
  //
  // The new .dbf is locked before anything else is written, and the lock then guards the
  // new table (takeLock() hands it over). `whileLocked` runs once the lock is held, before
  // any file is written: the place to check that the name is still free.
  static std::unique_ptr<TableFile> create(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
                                           TableLayout layout, const std::function<void()>& whileLocked = {});
  // Opens an existing table for appending. `fptPath` is the memo file found beside it
  // (empty when there is none); `container` the file name of the database container it is
  // opened through (empty for a free table). Throws CorruptTable for a damaged table (one
  // whose header counts fewer records than the file holds among them: nothing is cut);
  // the caller checks `header.unsupported` before appending.
  static std::unique_ptr<TableFile> open(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
                                         std::string_view container = {});
  // Opens a database container's own table (.dbc with its .dct) for appending: its index
  // is the caller's to rebuild, so the container and index flags do not stop appends.
  static std::unique_ptr<TableFile> openContainer(FileSystem& fs, const std::string& dbcPath,
                                                  const std::string& dctPath);

  ~TableFile();
  TableFile(const TableFile&) = delete;
  TableFile& operator=(const TableFile&) = delete;

  const TableLayout& layout() const { return layout_; }
  const TableHeader& header() const { return header_; }
  const std::string& dbfPath() const { return dbf_->path(); }
  // Records on disk plus those waiting in memory.
  std::uint32_t recordCount() const { return flushedCount_ + pendingCount_; }

  // Starts a record: returns its bytes, set to a blank live record (valid until
  // commitRecord or abortRecord). Refuses the record ("File is too large.") when the
  // table would pass the 2 GB that Visual FoxPro can open.
  std::uint8_t* beginRecord();
  // The value of the autoincrementing field `field` (an index into layout().fields) for
  // the record being built: its next value, which then advances by its step (and goes
  // back when the record is dropped). Refuses ("Numeric overflow.") once the next value
  // would pass 2,147,483,647. The header keeps the next value from the batch on that
  // holds the record.
  std::int32_t takeAutoIncrement(std::size_t field);
  // Makes the Integer field `field` autoincrementing with this next value and step, in
  // the header on disk and from the next record on, after writing out the records in
  // memory. The descriptor is rewritten in place; a failed write puts the old bytes back
  // where it can, and the failure names the file.
  void setAutoIncrement(std::size_t field, std::int32_t next, std::uint8_t step);
  // Adds a memo value for the record being built and returns its block number; refuses
  // it the same way when the memo file would pass 2 GB.
  std::uint32_t addMemo(const char* data, std::size_t size);
  // Keeps the record begun last; may write a batch out.
  void commitRecord();
  // Drops the record begun last together with its memo values.
  void abortRecord();
  // Writes every committed record out.
  void flush();

  // How many bytes of records and memo data are kept in memory before a batch is written.
  void setBatchBytes(std::size_t bytes) { batchBytes_ = bytes; }

  // The listener told about every batch from now on (null: none); not owned.
  void setBatchListener(BatchListener* listener) { listener_ = listener; }
  BatchListener* batchListener() const { return listener_; }

  // The lock taken by create(); null for a table that was opened.
  std::unique_ptr<FileLock> takeLock() { return std::move(lock_); }

 private:
  TableFile() = default;
  static std::unique_ptr<TableFile> openFile(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
                                             std::string_view container, bool containerItself);
  void writeBatch();
  void startCounters();
  // Writes the next values that changed into the header.
  void writeCounters();

  struct Counter {
    std::size_t field;
    std::int64_t next;           // including the records in memory
    std::int64_t atRecordStart;  // before the record being built
    std::int64_t written;        // as the header holds it
    std::uint8_t step;
  };
  std::vector<Counter> counters_;

  std::unique_ptr<FileLock> lock_;
  std::unique_ptr<File> dbf_;
  std::unique_ptr<File> fpt_;
  TableHeader header_;
  TableLayout layout_;
  std::vector<std::uint8_t> blank_;
  std::vector<std::uint8_t> records_;
  std::vector<std::uint8_t> memo_;
  std::size_t recordStart_ = 0;
  std::size_t memoStart_ = 0;
  std::uint32_t flushedCount_ = 0;
  std::uint32_t pendingCount_ = 0;
  std::uint32_t flushedMemoBlock_ = 0;  // next free block on disk
  std::uint32_t nextMemoBlock_ = 0;     // next free block including memory
  std::uint16_t blockSize_ = kMemoBlockSize;
  std::size_t batchBytes_ = 4 << 20;
  bool broken_ = false;
  BatchListener* listener_ = nullptr;
};

}  // namespace tw::vfp
