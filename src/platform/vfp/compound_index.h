// Visual FoxPro's compound index: the file layout of a table's structural index (.cdx) and
// of a database container's (.dcx), built whole from sorted keys, and the sortable forms
// of the values its keys are made of.
//
// Layout, in 512-byte pages: the header of the list of tags (two pages) and its root; then
// for each tag, in the order given, its header (two pages: the fields, then the key and
// FOR expressions) and its root node; then every further node. The list of tags is itself
// an index whose keys are the tag names (10 bytes, upper case, in name order) and whose
// record numbers are the offsets of the tags' headers.
//
// A tag header holds the root's offset (0), the key length (12), the options (14: 0x20
// compact, 0x40 compound, 0x08 FOR clause, 0x04 candidate or primary), the signature (15,
// 1), the order (502: 1 descending), the lengths of the expressions (504, 506, 510) and
// the expressions themselves from 512, each ending in a zero byte. Keys are always stored
// in ascending byte order, equal keys by record number; a descending tag is read backwards.
//
// Leaves hold the keys with their leading bytes shared with the previous key and their
// trailing fill bytes (blanks for character keys, zeros for the others) left out; record
// numbers and those two counts are packed into the fewest whole bytes. Interior nodes hold,
// for each child, the child's last key, its record number and the child's offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw::vfp {

inline constexpr std::size_t kMaxKeyLength = 240;  // for the machine collating sequence

// One tag with its keys.
struct IndexTag {
  std::string name;           // upper case, at most 10 bytes
  std::string keyExpression;  // as stored, in the table's code page
  std::string forExpression;  // empty when there is none
  std::size_t keyLength = 0;
  char fill = ' ';  // the trailing byte leaves leave out: ' ' for character keys, '\0' otherwise
  bool candidate = false;
  bool descending = false;
  // The keys in ascending byte order (equal keys by record), keyLength bytes each, and
  // their record numbers (from 1).
  std::string keys;
  std::vector<std::uint32_t> records;
};

// The whole index file. `recordCount` is the number of records of the table (it sizes the
// record numbers in the leaves).
std::vector<std::uint8_t> buildCompoundIndex(const std::vector<const IndexTag*>& tags, std::uint32_t recordCount);

// A tag as an index file declares it (its keys are not read).
struct StoredTag {
  std::string name;
  std::string keyExpression;
  std::string forExpression;
  std::size_t keyLength = 0;
  bool candidate = false;
  bool descending = false;
  std::string collation;  // empty for the machine sequence
  std::uint32_t header = 0;
};

// The tags of an index file in the order of their headers in the file. Throws CorruptTable
// (dbf_format.h) with the reason when the file is not a compound index.
std::vector<StoredTag> readTagDirectory(const std::vector<std::uint8_t>& file);

// Sortable forms: a double as 8 bytes that compare as the numbers do (big-endian, the sign
// bit set for positive numbers, every bit inverted for negative ones), and an integer as 4
// big-endian bytes with the sign bit inverted.
void putSortableDouble(double value, std::uint8_t* out);
void putSortableInteger(std::int32_t value, std::uint8_t* out);

}  // namespace tw::vfp
