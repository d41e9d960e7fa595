// The tags of one table's structural index (.cdx: the .dbf's name with the extension .cdx),
// kept in step with the table's records.
//
// The engine never trusts the keys of a .cdx it finds: it takes the tags' definitions from
// the file (name, key and FOR expressions, candidate, descending) and computes every key
// from the table's records, so an index left behind by anyone, stale or not, is rewritten
// whole and correct the next time the table changes. A tag whose expressions it cannot
// evaluate (key_expression.h), or in another collating sequence than the machine one, is
// refused by name, and the table with it.
//
// Rows: every new record's keys are checked before the record is taken; a key that a
// CANDIDATE (or primary) tag holds already refuses the record with VFP's "Uniqueness of
// index <tag> is violated." and nothing changes. The keys then wait with the record and are
// written with its batch (table_file.h):
//   1. the records are in the .dbf, not yet counted;
//   2. prepare(): the whole new .cdx is written beside it under a new temporary name
//      ("~twXXXXXXXX.<the .cdx's name>.tmp") and made durable;
//   3. the records are counted;
//   4. commit(): the new .cdx is renamed over the old one.
// A kill before 4 leaves the previous .cdx, which lacks only the batch's rows; the engine
// recomputes it anyway when it next writes the table.
//
// A new tag (INDEX ON) is computed from every record in one pass and sorted, then the whole
// .cdx is written the same way; the table's header gets its structural-index flag (0x01)
// only once the file is in place. So a kill leaves the table with its previous index, or
// with none and the flag clear: never a flag without its file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/code_page.h"
#include "platform/vfp/compound_index.h"
#include "platform/vfp/file_system.h"
#include "platform/vfp/index_expression.h"
#include "platform/vfp/table_file.h"

namespace tw::vfp {

// A tag to add, as an INDEX ON statement gives it (UTF-8).
struct TagDefinition {
  std::string name;  // as written; stored in upper case
  std::string key;
  std::string filter;  // empty: every record
  bool candidate = false;
  bool descending = false;
};

class TableIndexes : public BatchListener {
 public:
  // The indexes of the table at `dbfPath`: the tags of its .cdx when its header has the
  // structural-index flag, else none. `names` are the UTF-8 names of its fields in field
  // order (empty: its .dbf names); its text is in the code page its header names, else in
  // `unmarked`. Throws a Failure ("SQLException: ...") when the .cdx is missing or
  // damaged, or a tag cannot be kept.
  TableIndexes(FileSystem& fs, std::string dbfPath, std::vector<std::string> names, const CodePage& unmarked);
  ~TableIndexes() override;

  const std::string& dbfPath() const { return dbfPath_; }
  const std::string& cdxPath() const { return cdxPath_; }
  std::uint32_t recordCount() const { return recordCount_; }
  bool empty() const { return tags_.empty(); }
  // The tag called `name` (without regard to case), or null.
  const IndexTag* tag(std::string_view name) const;

  // Adds the tag, or replaces the one of that name: computes its keys, refuses a duplicate
  // key of a candidate, writes the .cdx and sets the table's flag. Nothing changes when it
  // fails.
  const IndexTag& addTag(const TagDefinition& definition);
  // True while the table's header still counts the records these keys are for and still
  // says whether it has an index (nothing else has written the table).
  bool inStep() const;

  // Checks the keys of the record about to become record `number` and keeps them with it;
  // throws the uniqueness failure without keeping anything.
  void addRecord(const std::uint8_t* record, std::uint32_t number);

  void prepare(std::uint32_t recordCount) override;
  void commit() override;
  void discard() override;

  // A key's place while its tag is sorted.
  struct SortEntry {
    std::uint64_t prefix;  // the 8 bytes after those every key shares, as a number
    std::uint32_t index;
  };

 private:
  struct Keys {
    KeyExpression expression;
    std::string pending;  // keys waiting for their batch, in record order
    std::vector<std::uint32_t> pendingRecords;
    std::unordered_set<std::string> pendingSet;  // for candidates
  };
  void readTags();
  // Computes the keys of `tags` from every record of the table, sorted.
  void computeKeys(std::vector<IndexTag>& tags, const std::vector<const KeyExpression*>& expressions);
  // Writes `tags` as the .cdx's temporary file.
  void writeTemporary(const std::vector<const IndexTag*>& tags, std::uint32_t recordCount);
  void installTemporary();
  void removeTemporary();  // the temporary file this made, if any
  void setFlag();

  FileSystem& fs_;
  std::string dbfPath_;
  std::string cdxPath_;
  std::string temporary_;  // the new .cdx between writeTemporary and installTemporary
  std::vector<std::string> names_;
  const CodePage* codePage_;
  TableLayout layout_;
  std::uint32_t recordCount_ = 0;
  bool flagged_ = false;
  std::vector<IndexTag> tags_;
  std::vector<std::unique_ptr<Keys>> keys_;  // one per tag
  std::vector<IndexTag> staged_;             // the tags with a batch's keys, between prepare and commit
  std::uint32_t stagedCount_ = 0;
  std::vector<SortEntry> order_, spare_;  // kept between sorts, so that their memory is too
};

// The tags the structural index of the table at `dbfPath` declares, without their keys;
// none when its header lacks the structural-index flag. Throws like the constructor.
std::vector<StoredTag> structuralTags(FileSystem& fs, const std::string& dbfPath);

// The structural index's path of the table at `dbfPath`: an existing file of that name in
// any letter case, else the name with ".cdx" (".CDX" after ".DBF").
std::string structuralIndexPath(FileSystem& fs, const std::string& dbfPath);

}  // namespace tw::vfp
