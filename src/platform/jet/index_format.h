// Where an Access table keeps its indexes: the index definitions inside the table
// definition (TDEF) and the layout of the index pages (the B-tree of each real index).
// Constants only, shared by the reader (index_definitions, index_walk) and the writer.
//
// Index definitions in the TDEF
// -----------------------------
// An index exists twice over. A "real" index is the sorted data: its columns, their order
// and its flags, and the root page of its tree. A "logical" index is what the user sees: a
// name, a kind (plain, primary key, foreign key) and the real index it uses; several
// logical indexes may share one real index (a primary key and the hidden index a
// relationship keeps on it, for example). After the column names the TDEF holds, in this
// order: one real-index block per real index, one logical-index block per logical index,
// then the logical indexes' names (length-prefixed like the column names).
//
// Real-index block (Jet 3: 39 bytes; Jet 4 and later: 52 bytes, starting with 4 unknown
// bytes): ten slots of (uint16 column number, uint8 column flags), 0xFFFF marking an unused
// slot; a 4-byte row pointer to the index's page usage map (row byte, then 3-byte page);
// uint32 root page; (Jet 4: 4 unknown bytes); uint8 index flags; (Jet 4: 5 unknown bytes).
//
// Logical-index block (Jet 3: 20 bytes; Jet 4: 28, with 4 unknown bytes before and after):
// int32 index number, int32 real index number, uint8 related table type (1: this table is
// the primary side of the relationship), int32 related index number (-1: none), uint32
// related table's TDEF page, uint8 cascade-updates flag, uint8 cascade-deletes flag, uint8
// index kind (0 plain, 1 primary key, 2 foreign key).
//
// Index pages
// -----------
//   0      page type: kPageIndexNode (3) or kPageIndexLeaf (4)
//   1      unknown (1)
//   2..3   free space
//   4..7   TDEF page of the owning table
//   then   (Jet 4: 4 unknown bytes) uint32 previous page, uint32 next page (leaves are
//          chained in key order), uint32 "child tail" page (a node's last child),
//          the length of the prefix the page's entries share (Jet 3: uint8; Jet 4: uint16),
//          one byte (1 on node pages, 0 on leaves), the entry mask, then the entries.
// Entry mask: bit n (LSB first) set means an entry ends n bytes after the start of the
// entries. The first entry is stored whole; every later one leaves out the shared prefix.
// A leaf entry is the key bytes followed by the row's position: 3-byte page number
// big-endian, then the row number byte. A node entry adds the 4-byte big-endian page
// number of the child page whose last key it is.
//
// Key bytes: per column a flag byte (0x7F a value follows ascending, 0x80 descending; 0x00
// null ascending, 0xFF null descending), then the value: integers big-endian with the sign
// bit flipped; floating-point and dates big-endian with the sign bit flipped when not
// negative and all bits flipped when negative; Byte as it is; Yes/No as one byte (0x00
// Yes, 0xFF No); text in Access's sort codes. A descending column stores the value's bits
// inverted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw::jet {

inline constexpr std::size_t kIndexColumnSlots = 10;
inline constexpr std::uint16_t kIndexColumnUnused = 0xFFFF;

// Column flags in a real-index slot.
inline constexpr std::uint8_t kIndexColumnAscending = 0x01;

// Real-index flags.
enum IndexFlag : std::uint8_t {
  kIndexUnique = 0x01,
  kIndexIgnoreNulls = 0x02,
  kIndexRequired = 0x08,
  kIndexAlwaysSet = 0x80,  // set by Access 2000 and later on every index
};

// Logical index kinds.
enum IndexKind : std::uint8_t {
  kIndexPlain = 0,
  kIndexPrimaryKey = 1,
  kIndexForeignKey = 2,
};
// Related table type of a foreign-key logical index kept on the relationship's primary table.
inline constexpr std::uint8_t kRelatedPrimaryTable = 1;

struct IndexLayout {
  std::size_t realBlockSize;     // 39 / 52
  std::size_t realBlockSkip;     // bytes before the column slots: 0 / 4
  std::size_t flagsSkip;         // bytes between the root page and the flags: 0 / 4
  std::size_t logicalBlockSize;  // 20 / 28
  std::size_t logicalSkip;       // bytes before the index number: 0 / 4
  // Index pages.
  std::size_t prevPage;
  std::size_t nextPage;
  std::size_t childTailPage;
  std::size_t prefixLength;
  std::size_t prefixLengthSize;
  std::size_t entryMask;
  std::size_t entryMaskSize;
  std::size_t entriesStart() const { return entryMask + entryMaskSize; }
};

inline constexpr IndexLayout kIndexLayoutJet3 = {39, 0, 0, 20, 0, 8, 12, 16, 20, 1, 22, 226};
inline constexpr IndexLayout kIndexLayoutJet4 = {52, 4, 4, 28, 4, 12, 16, 20, 24, 2, 27, 453};

// Bytes of a leaf entry's row position, and what a node entry adds.
inline constexpr std::size_t kIndexRowPointerSize = 4;
inline constexpr std::size_t kIndexChildPointerSize = 4;

// Key flag bytes.
inline constexpr std::uint8_t kKeyAscendingValue = 0x7F;
inline constexpr std::uint8_t kKeyDescendingValue = 0x80;
inline constexpr std::uint8_t kKeyAscendingNull = 0x00;
inline constexpr std::uint8_t kKeyDescendingNull = 0xFF;
inline constexpr std::uint8_t kKeyTrueAscending = 0x00;
inline constexpr std::uint8_t kKeyFalseAscending = 0xFF;

// Values the writer stores where Access keeps constants.
inline constexpr std::uint32_t kRealIndexMagic = 1923;
inline constexpr std::uint32_t kLogicalIndexMagic = 1625;

// MSysRelationships.grbit bits.
enum RelationshipFlag : std::uint32_t {
  kRelationshipOneToOne = 0x00000001,
  kRelationshipNoIntegrity = 0x00000002,
  kRelationshipCascadeUpdates = 0x00000100,
  kRelationshipCascadeDeletes = 0x00001000,
  kRelationshipCascadeNull = 0x00002000,
  kRelationshipLeftJoin = 0x01000000,
  kRelationshipRightJoin = 0x02000000,
};

}  // namespace tw::jet
