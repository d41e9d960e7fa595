// The byte layout of Visual FoxPro 9 free tables (.dbf) and their memo files (.fpt), as VFP
// itself writes them:
//
//   .dbf  32-byte header: version (0x30; 0x31 with an autoincrementing field; 0x32 with a
//         Varchar, Varbinary or Blob field), last update YY MM DD, record count (uint32
//         LE), header length, record length (uint16 LE), table flags at 28 (0x02: has
//         memo), code page mark at 29 (0x03: cp1252, 0xC8: cp1250, ... see code_page.h);
//         one 32-byte descriptor per field (name, type letter, displacement, width,
//         decimals, flags: 0x04 binary on I, B, Y, T, Q, W and NOCPTRANS fields, 0x02
//         nullable, 0x0C autoincrementing; an autoincrementing field's next value (int32
//         LE) at 19 and step at 23), then the hidden `_NullFlags` field (flags 0x05) when
//         any field is nullable or of variable length. Its bits go out in field order,
//         least significant first: one to each V and Q field (set when the value is
//         shorter than the field: its length is then in the field's last byte), then one
//         to each nullable field; VFP leaves the next value and step of the field before
//         it in its descriptor, and so does this engine;
//   .fpt  512-byte header: next free block (uint32 BE at 0), block size (uint16 BE at 6);
//         blocks of 64 bytes from block 8; a memo is type 1 (uint32 BE), length (uint32 BE)
//         and the bytes, padded with zeros to whole blocks.
//
// `TableLayout` describes the fields and their places in a record; `encodeHeader` turns it
// into the header bytes and `parseHeader` reads the header of an existing file, checking
// everything a reader relies on and throwing `CorruptTable` with the reason.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tw::vfp {

inline constexpr std::uint8_t kVersionVfp = 0x30;
inline constexpr std::uint8_t kVersionAutoIncrement = 0x31;
inline constexpr std::uint8_t kVersionVarTypes = 0x32;
inline constexpr std::uint8_t kCodePage1252 = 0x03;
inline constexpr std::uint8_t kTableFlagCdx = 0x01;
inline constexpr std::uint8_t kTableFlagMemo = 0x02;
inline constexpr std::uint8_t kTableFlagDbc = 0x04;
inline constexpr int kBacklinkSize = 263;
inline constexpr int kMaxFieldName = 10;
inline constexpr int kMaxFields = 255;  // descriptors, _NullFlags included
inline constexpr int kMaxRecordLength = 65500;
inline constexpr std::uint32_t kMemoHeaderSize = 512;
inline constexpr std::uint16_t kMemoBlockSize = 64;
inline constexpr std::uint8_t kRecordLive = 0x20;
inline constexpr std::uint8_t kRecordDeleted = 0x2A;
inline constexpr std::uint8_t kEndOfFile = 0x1A;

inline constexpr std::uint8_t kFieldFlagSystem = 0x01;
inline constexpr std::uint8_t kFieldFlagNullable = 0x02;
inline constexpr std::uint8_t kFieldFlagBinary = 0x04;
inline constexpr std::uint8_t kFieldFlagAutoIncrement = 0x08;

struct FieldDef {
  std::string name;  // bytes of the table's code page, upper case, at most 10
  char type = 'C';   // C N F I B Y D T L M V Q W G (others only when read from a file)
  std::uint8_t width = 0;
  std::uint8_t decimals = 0;
  bool nullable = false;
  bool binary = false;         // NOCPTRANS on C, V and M (always on for Q and W)
  bool autoIncrement = false;  // I only
  std::int32_t autoIncrementNext = 0;
  std::uint8_t autoIncrementStep = 0;
  std::uint8_t flags = 0;        // as stored; computed by TableLayout::build for new tables
  std::uint32_t offset = 0;      // displacement in the record (the delete flag is byte 0)
  int nullBit = -1;              // bit in _NullFlags, -1 when none
  int varLengthBit = -1;         // a V or Q field's length bit in _NullFlags, -1 for other types
  std::uint16_t descriptor = 0;  // its descriptor's index in the header
};

struct TableLayout {
  std::vector<FieldDef> fields;  // the user's fields, without _NullFlags
  std::uint32_t nullFlagsOffset = 0;
  std::uint8_t nullFlagsWidth = 0;  // 0 when no field is nullable or of variable length
  std::uint16_t recordLength = 1;
  std::uint16_t headerLength = 0;
  bool hasMemo = false;
  std::string backlink;                   // the owning container's file name as stored; empty for a free table
  std::uint8_t codePage = kCodePage1252;  // the mark written at byte 29

  // Places the fields, hands out length and null bits and sizes the header, as VFP does
  // for a new table. The caller has checked names, widths and decimals.
  static TableLayout build(std::vector<FieldDef> fields);
  int descriptorCount() const { return static_cast<int>(fields.size()) + (nullFlagsWidth ? 1 : 0); }
};

// The storage width of a type whose width is fixed (I, B, Y, D, T, L, M, W, G), else 0.
int fixedWidth(char type);

// True for the types whose values live in the memo file (M, W, G).
bool isMemoType(char type);

// The VFP descriptor flags of a new field.
std::uint8_t fieldFlagsFor(const FieldDef& field);

// The version byte of a table with these fields.
std::uint8_t versionFor(const TableLayout& layout);

// Where an autoincrementing field's next value is stored in the header.
inline std::uint32_t autoIncrementOffset(const FieldDef& f) { return 32 + 32u * f.descriptor + 19; }

// The header bytes (headerLength of them) with the given record count and update date.
std::vector<std::uint8_t> encodeHeader(const TableLayout& layout, std::uint32_t recordCount, int year, int month,
                                       int day);

// Today's date in the machine's local time, as the header's YY MM DD stores it.
struct HeaderDate {
  std::uint8_t yy, mm, dd;
};
HeaderDate today();

// A table whose bytes contradict themselves; `what()` is the reason, in words.
class CorruptTable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TableHeader {
  std::uint8_t version = 0;
  std::uint8_t tableFlags = 0;
  std::uint8_t codePage = 0;
  std::uint32_t recordCount = 0;
  TableLayout layout;
  // Fields or settings the engine does not write (a Picture field, ...), in words; empty
  // when the engine can append rows to this table.
  std::string unsupported;
};

// Reads and checks a .dbf header. `bytes` holds the start of the file (at least the whole
// header when the file is that long), `fileSize` the size of the whole file. `container`
// is the file name of the database container the table is opened through (empty for a
// free table): a table whose backlink names another container, or none, is unsupported.
// `containerItself` reads a database container's own table (.dbc), whose container flag
// then does not make it unsupported. A structural index (.cdx) never does: the engine keeps
// its tags (table_indexes.h).
TableHeader parseHeader(const std::vector<std::uint8_t>& bytes, std::uint64_t fileSize,
                        std::string_view container = {}, bool containerItself = false);

// How many header bytes `parseHeader` may need at most.
inline constexpr std::size_t kMaxHeaderBytes = 32 + 32 * 256 + 1 + kBacklinkSize;

// The .fpt header of a new memo file.
std::vector<std::uint8_t> encodeMemoHeader(std::uint32_t nextFreeBlock, std::uint16_t blockSize);

struct MemoHeader {
  std::uint32_t nextFreeBlock = 0;
  std::uint16_t blockSize = 0;
};
// Reads and checks an .fpt header (at least 512 bytes of it) against the file's size.
MemoHeader parseMemoHeader(const std::vector<std::uint8_t>& bytes, std::uint64_t fileSize);

// Little- and big-endian helpers.
inline void putLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void putBe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline std::uint32_t getLe16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
inline std::uint32_t getLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t getBe32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

// A byte as messages show it: "0x" and two capital hex digits.
std::string hexByte(std::uint8_t b);

}  // namespace tw::vfp
