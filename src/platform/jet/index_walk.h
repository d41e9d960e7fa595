// Walks the tree of an Access index: from its root down the first children to the first
// leaf page, then along the chain of leaves, unpacking each page's prefix-compressed
// entries (index_format.h). The entries come in the index's own order, which is the order
// in which Access hands out the rows for that index; rowOrder turns them into positions of
// the rows as SELECT * FROM delivers them.
//
// Every page is checked (page type, owning table, entry bounds), the walk visits each page
// once and stops after as many pages as the file holds, and the entries must rise strictly
// (key, then row): a damaged index ends in a Failure naming the table and the index.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/jet/index_definitions.h"
#include "platform/jet/reader.h"
#include "platform/value.h"

namespace tw::jet {

struct IndexEntry {
  std::vector<std::uint8_t> key;  // the key bytes as stored
  std::uint32_t row = 0;          // row pointer (page << 8 | row number)
};

// Every entry of the real index `index` of `table`, in index order. `name` names the index
// in failures.
std::vector<IndexEntry> readIndexEntries(Database& db, const TableDef& table, const RealIndexDef& index,
                                         const std::string& name);

// The column values of a key whose columns are all of fixed size (Yes/No, Byte, Integer,
// Long, Currency, Single, Double, Date/Time), one per index column, null where the key
// holds a null; empty for an index with other columns (text keys keep only Access's sort
// codes, not the text) or for a key that is cut short.
std::vector<Value> decodeIndexKey(const TableDef& table, const RealIndexDef& index,
                                  std::span<const std::uint8_t> key);

// The rows of `table` in the order of its index `index` (names without regard to case), as
// positions (from 0) in the order SELECT * FROM `table` delivers the rows. An index that
// ignores nulls leaves out the rows whose key is null. Throws Failure when there is no
// such table or index ("The table 'T' has no index 'I'.") and when the index is damaged or
// out of date (it lists a row the table does not hold, a row twice, or, unless it ignores
// nulls, not every row).
std::vector<std::uint32_t> rowOrder(Database& db, const std::string& table, const std::string& index);

}  // namespace tw::jet
