// The Access file format (Jet 3, Jet 4 and ACE 12 to 17) in one place: page sizes, page
// types, the page-0 header, table definitions (TDEF), data pages and row layout, long
// values (LVAL), page usage maps and the Jet 4 "compressed unicode" text form.
//
// Everything here is plain constants, small structs and bounds-checked little-endian
// helpers, usable for reading and for writing the format. All multi-byte integers in the
// file are little-endian. Offsets are bytes from the start of the page (or of the
// structure named in the comment).
//
// Layout summary
// --------------
// The file is a sequence of pages of `pageSize` bytes (2048 for Jet 3, 4096 for Jet 4 and
// ACE). Page N starts at byte N * pageSize. The first byte of every page gives its type.
//
// Page 0 (database definition): the version byte at 0x14 decides the format. The block
// 0x18 .. 0x18+126 (Jet 3) or +128 (Jet 4/ACE) is RC4-masked with the fixed 4-byte key
// kHeaderRc4Key; after unmasking it holds the code page (0x3C), the database key (0x3E:
// non-zero means old-style RC4 page encoding for Jet 3/4, encryption for ACE), the
// database password (0x42, 20 or 40 bytes) and, for Jet 4 and later, the creation date
// (0x72, an OLE date double) whose whole-day part, as 4 bytes, XOR-masks the password.
//
// Page 2 is the TDEF of MSysObjects, the catalog.
//
// A "row pointer" (used for usage maps, long values and overflow rows) is 32 bits: the low
// byte is a row number on a page, the upper 24 bits the page number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace tw::jet {

// ---------------------------------------------------------------------------------------
// Versions and page geometry.

enum class Version : std::uint8_t {
  Jet3 = 0x00,   // Access 97, 2 KB pages, text in the header's code page
  Jet4 = 0x01,   // Access 2000-2003, 4 KB pages, UCS-2 text
  Ace12 = 0x02,  // Access 2007
  Ace14 = 0x03,  // Access 2010
  Ace15 = 0x04,  // Access 2013
  Ace16 = 0x05,  // Access 2016
  Ace17 = 0x06,  // Access 2019 and later
};

inline constexpr std::uint32_t kPageSizeJet3 = 2048;
inline constexpr std::uint32_t kPageSizeJet4 = 4096;

// First byte of a page.
enum PageType : std::uint8_t {
  kPageDatabase = 0x00,   // page 0 only
  kPageData = 0x01,       // table rows, also long-value (LVAL) rows
  kPageTableDef = 0x02,   // TDEF, possibly continued on further TDEF pages
  kPageIndexNode = 0x03,  // intermediate index page
  kPageIndexLeaf = 0x04,  // index leaf page
  kPageUsageMap = 0x05,   // page usage bitmap, referenced by type-1 usage maps
};

// ---------------------------------------------------------------------------------------
// Page 0: the database definition page.

inline constexpr std::size_t kHeaderVersionOffset = 0x14;
// "Standard Jet DB" / "Standard ACE DB" at offset 4; MSISAM files (Money) carry
// "MSISAM Database" there with version byte 1.
inline constexpr std::size_t kHeaderEngineNameOffset = 0x04;
inline constexpr std::array<std::uint8_t, 4> kHeaderRc4Key = {0xC7, 0xDA, 0x39, 0x6B};
inline constexpr std::size_t kHeaderRc4Start = 0x18;
inline constexpr std::size_t kHeaderRc4LengthJet3 = 126;
inline constexpr std::size_t kHeaderRc4LengthJet4 = 128;
// Fields inside the (unmasked) header.
inline constexpr std::size_t kHeaderSortOrderOffsetJet3 = 0x3A;  // 2 bytes
inline constexpr std::size_t kHeaderCodePageOffset = 0x3C;       // uint16, e.g. 1252
inline constexpr std::size_t kHeaderDbKeyOffset = 0x3E;          // uint32
inline constexpr std::size_t kHeaderPasswordOffset = 0x42;
inline constexpr std::size_t kHeaderPasswordSizeJet3 = 20;       // code-page bytes, NUL padded
inline constexpr std::size_t kHeaderPasswordSizeJet4 = 40;       // UCS-2LE, masked with the date
inline constexpr std::size_t kHeaderSortOrderOffsetJet4 = 0x6E;  // 4 bytes
inline constexpr std::size_t kHeaderCreationDateOffset = 0x72;   // double, Jet 4 and later
// ACE only: the encryption description (uint16 length, then uint16 major and minor
// version of the Office encryption scheme, then the scheme's own data). Not masked.
inline constexpr std::size_t kHeaderAceEncryptionOffset = 0x299;

// ---------------------------------------------------------------------------------------
// Data pages.
//
//   0        page type 0x01
//   1        unknown (1)
//   2..3     free space in the page
//   4..7     TDEF page of the owning table, or the text "LVAL" on long-value pages
//   (Jet 4)  8..11 unknown
//   8 / 12   uint16 row count
//   10 / 14  row offset table: uint16 per row. Row 0 runs from its offset to the page end,
//            row n from its offset to (offset of row n-1) - 1; rows grow from the page end
//            towards the header.
// Row offset flags (both formats): 0x8000 deleted, 0x4000 "overflow": the 4 bytes at the
// offset are a row pointer to the row's real data on another page (that target row is
// itself marked deleted so a page scan does not count it twice). The low 13 bits are the
// offset.

inline constexpr std::size_t kDataPageOwnerOffset = 4;
inline constexpr std::uint16_t kRowDeletedFlag = 0x8000;
inline constexpr std::uint16_t kRowOverflowFlag = 0x4000;
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr std::array<std::uint8_t, 4> kLvalPageTag = {'L', 'V', 'A', 'L'};

// ---------------------------------------------------------------------------------------
// Rows.
//
// Jet 4 / ACE row, from its first byte:
//   uint16 column count stored in this row (may be below the table's count after columns
//          were added)
//   fixed-length column data at each column's fixed offset (relative to byte 2)
//   variable-length column data
//   then, counted from the row's END backwards:
//     null mask: (column count + 7) / 8 bytes, the last bytes of the row; bit i (LSB first)
//                set = column number i is not null; for Yes/No columns the bit is the value
//     uint16 variable column count (just before the null mask)
//     uint16 var offsets, entry 0 nearest the count, then entry 1 before it, and so on;
//            entry k is the start of variable column k relative to the row start
//     uint16 "end of data" (EOD) entry before the last var offset: the end of the last one
//   With no variable columns in the TDEF the row ends right after the fixed data with the
//   null mask (no count, no offsets).
//
// Jet 3 row: the same, with 1-byte column count, 1-byte var count, 1-byte var offsets and
// EOD. Offsets above 255 use a jump table stored between the var count and the offsets:
// floor((row length - 1) / 256) entries, each the index of the first var-offset entry that
// is 256 higher than the previous segment; a trailing 0xFF may be a dummy entry.

inline constexpr std::size_t kRowColumnCountSizeJet3 = 1;
inline constexpr std::size_t kRowColumnCountSizeJet4 = 2;

// ---------------------------------------------------------------------------------------
// Table definition pages (TDEF).
//
// Every TDEF page starts with:
//   0     page type 0x02
//   1     unknown (1)
//   2..3  Jet 3: "VC"; Jet 4: free space
//   4..7  next TDEF page of the same table (0: none)
// The definition proper is the concatenation of page 1's bytes from offset 8 onwards with
// every continuation page's bytes from offset 8; the offsets below count from the start of
// the first page (so the first 8 bytes are the page header).
//
// After the fixed block: per real index a fixed entry (kRealIndexEntrySize), then per
// column a descriptor (kColumnEntrySize), then per column its name (length-prefixed: 1 byte
// + code-page bytes in Jet 3, 2 bytes + UCS-2 bytes in Jet 4), then index data.

// Column descriptor fields, offsets within one descriptor.
struct ColumnLayout {
  std::size_t entrySize;       // 18 Jet 3, 25 Jet 4
  std::size_t type;            // 1 byte, ColumnType
  std::size_t number;          // uint16 column number (counts deleted columns too)
  std::size_t varIndex;        // uint16 position in the variable-offset table
  std::size_t precision;       // 1 byte, Decimal precision (Jet 3: uint16 code page of text)
  std::size_t scale;           // 1 byte, Decimal scale
  std::size_t complexId;       // int32 complex id of an attachment/multi-value column (Jet 4)
  std::size_t flags;           // 1 byte, ColumnFlag bits
  std::ptrdiff_t extFlags;     // 1 byte, ColumnExtFlag bits (-1: none in Jet 3)
  std::size_t fixedOffset;     // uint16 offset of fixed data, relative to the column count
  std::size_t length;          // uint16 stored length (Jet 4 text: bytes = 2 x characters)
  std::size_t nameLengthSize;  // 1 Jet 3, 2 Jet 4
};

struct TableDefLayout {
  std::size_t rowCount;           // uint32 (not reliable: count the rows)
  std::size_t autoNumber;         // uint32 next AutoNumber value
  std::size_t tableType;          // 1 byte: 0x4E user, 0x53 system
  std::size_t maxColumns;         // uint16 columns a row may hold (counts deleted ones)
  std::size_t varColumnCount;     // uint16
  std::size_t columnCount;        // uint16
  std::size_t logicalIndexCount;  // uint32
  std::size_t realIndexCount;     // uint32
  std::size_t usageMap;           // uint32 row pointer to the owned-pages usage map
  std::size_t freeMap;            // uint32 row pointer to the free-space usage map
  std::size_t realIndexStart;     // start of the per-real-index entries
  std::size_t realIndexEntrySize;
  ColumnLayout column;
};

inline constexpr TableDefLayout kTableDefJet3 = {
    /*rowCount*/ 12,
    /*autoNumber*/ 16,
    /*tableType*/ 20,
    /*maxColumns*/ 21,
    /*varColumnCount*/ 23,
    /*columnCount*/ 25,
    /*logicalIndexCount*/ 27,
    /*realIndexCount*/ 31,
    /*usageMap*/ 35,
    /*freeMap*/ 39,
    /*realIndexStart*/ 43,
    /*realIndexEntrySize*/ 8,
    {/*entrySize*/ 18, /*type*/ 0, /*number*/ 1, /*varIndex*/ 3, /*precision*/ 9,
     /*scale*/ 10, /*complexId*/ 0, /*flags*/ 13, /*extFlags*/ -1, /*fixedOffset*/ 14,
     /*length*/ 16, /*nameLengthSize*/ 1}};

inline constexpr TableDefLayout kTableDefJet4 = {
    /*rowCount*/ 16,
    /*autoNumber*/ 20,
    /*tableType*/ 40,
    /*maxColumns*/ 41,
    /*varColumnCount*/ 43,
    /*columnCount*/ 45,
    /*logicalIndexCount*/ 47,
    /*realIndexCount*/ 51,
    /*usageMap*/ 55,
    /*freeMap*/ 59,
    /*realIndexStart*/ 63,
    /*realIndexEntrySize*/ 12,
    {/*entrySize*/ 25, /*type*/ 0, /*number*/ 5, /*varIndex*/ 7, /*precision*/ 11,
     /*scale*/ 12, /*complexId*/ 11, /*flags*/ 15, /*extFlags*/ 16, /*fixedOffset*/ 21,
     /*length*/ 23, /*nameLengthSize*/ 2}};

inline constexpr std::uint8_t kTableTypeUser = 0x4E;
inline constexpr std::uint8_t kTableTypeSystem = 0x53;

// Column type codes (descriptor byte `type`).
enum ColumnType : std::uint8_t {
  kTypeBool = 0x01,         // Yes/No: no stored bytes, the value is the null-mask bit
  kTypeByte = 0x02,         // 1 byte unsigned
  kTypeInt = 0x03,          // int16
  kTypeLong = 0x04,         // int32 (also AutoNumber with kFlagAutoLong)
  kTypeMoney = 0x05,        // int64, value x 10,000
  kTypeFloat = 0x06,        // IEEE single
  kTypeDouble = 0x07,       // IEEE double
  kTypeDateTime = 0x08,     // double, OLE automation date
  kTypeBinary = 0x09,       // variable bytes, up to 255 (fixed when kFlagFixed)
  kTypeText = 0x0A,         // variable text, up to 255 characters
  kTypeOle = 0x0B,          // long value: bytes
  kTypeMemo = 0x0C,         // long value: text (Hyperlink with kFlagHyperlink)
  kTypeGuid = 0x0F,         // 16 bytes (Replication ID)
  kTypeNumeric = 0x10,      // 17 bytes: sign byte + four uint32, most significant first
  kTypeComplex = 0x12,      // int32 key into a hidden flat table (attachment, multi-value)
  kTypeBigInt = 0x13,       // int64 (Large Number)
  kTypeDateTimeExt = 0x14,  // 42 ASCII bytes: days ':' 100ns-ticks ':' precision NUL
};

// Fixed storage size of a fixed-length type; 0 for variable or long types.
constexpr std::size_t fixedSizeOf(std::uint8_t type) {
  switch (type) {
    case kTypeByte: return 1;
    case kTypeInt: return 2;
    case kTypeLong:
    case kTypeFloat:
    case kTypeComplex: return 4;
    case kTypeMoney:
    case kTypeDouble:
    case kTypeDateTime:
    case kTypeBigInt: return 8;
    case kTypeGuid: return 16;
    case kTypeNumeric: return 17;
    case kTypeDateTimeExt: return 42;
    default: return 0;
  }
}

// Column descriptor `flags` bits.
enum ColumnFlag : std::uint8_t {
  kFlagFixed = 0x01,     // stored in the fixed area
  kFlagNullable = 0x02,  // may be null
  kFlagAutoLong = 0x04,  // AutoNumber (Long); also set on complex columns (flags 0x07)
  kFlagReplication = 0x10,
  kFlagAutoGuid = 0x40,   // AutoNumber (Replication ID)
  kFlagHyperlink = 0x80,  // Memo shown as Hyperlink
};

// Column descriptor `extFlags` bits (Jet 4 and later).
enum ColumnExtFlag : std::uint8_t {
  kExtCompressedUnicode = 0x01,  // text may be stored in the compressed form
  kExtCalculated = 0xC0,         // calculated column (Access 2010): both bits set
};

// A calculated column's stored value starts with a 20-byte header; the uint32 at offset
// 16 of it is the length of the result bytes that follow at offset 20.
inline constexpr std::size_t kCalculatedHeaderSize = 20;
inline constexpr std::size_t kCalculatedLengthOffset = 16;

// ---------------------------------------------------------------------------------------
// Long values (Memo, OLE, and long Binary).
//
// The 12-byte field stored in the row:
//   0..3   uint32: low 30 bits the total length, top bits the storage kind
//   4..7   row pointer to the first LVAL row (kinds single and chain)
//   8..11  unknown
// Kinds: inline (the value follows the 12 bytes in the row), single (one LVAL row holds
// the whole value), chain (each LVAL row starts with a uint32 row pointer to the next
// part, 0 at the end, and continues with value bytes).

inline constexpr std::size_t kLongValueHeaderSize = 12;
inline constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFF;
inline constexpr std::uint32_t kLongValueKindMask = 0xC0000000;
inline constexpr std::uint32_t kLongValueInline = 0x80000000;
inline constexpr std::uint32_t kLongValueSingle = 0x40000000;
inline constexpr std::uint32_t kLongValueChain = 0x00000000;

// ---------------------------------------------------------------------------------------
// Page usage maps (a row on some data page, found through a row pointer).
//
// Type 0 (inline): byte 0 = 0, uint32 first page number at 1, then a bitmap from byte 5:
//   bit i (LSB first) set = page (first + i) belongs to the table.
// Type 1 (indirect): byte 0 = 1, then uint32 page numbers of kPageUsageMap pages; map page
//   k covers pages k * (pageSize - 4) * 8 onwards with its bitmap from byte 4; 0 = none.

inline constexpr std::uint8_t kUsageMapInline = 0x00;
inline constexpr std::uint8_t kUsageMapIndirect = 0x01;
inline constexpr std::size_t kUsageMapInlineBitmapOffset = 5;
inline constexpr std::size_t kUsageMapPageBitmapOffset = 4;

// ---------------------------------------------------------------------------------------
// The catalog (MSysObjects, TDEF at page 2).

inline constexpr std::uint32_t kCatalogTableDefPage = 2;
// The pages a file made by the writer starts with: the header (0), the database-wide
// usage map of free pages (1), then the definitions of MSysObjects (2), MSysACEs (3),
// MSysQueries (4) and MSysRelationships (5); its own pages follow from page 6.
inline constexpr std::uint32_t kGlobalUsageMapPage = 1;
inline constexpr std::uint32_t kAcesTableDefPage = 3;
inline constexpr std::uint32_t kQueriesTableDefPage = 4;
inline constexpr std::uint32_t kRelationshipsTableDefPage = 5;
inline constexpr std::uint32_t kFirstFreePage = 6;
// MSysObjects.Id: the low 24 bits are the object's TDEF page for tables.
inline constexpr std::uint32_t kObjectIdPageMask = 0x00FFFFFF;
// MSysObjects.Type values (raw, signed 16 bit).
inline constexpr int kObjectTable = 1;
inline constexpr int kObjectDatabase = 2;
inline constexpr int kObjectContainer = 3;
inline constexpr int kObjectOdbcLink = 4;  // with a Connect string; reports are 0x8004
inline constexpr int kObjectQuery = 5;
inline constexpr int kObjectAccessLink = 6;
// MSysObjects.Flags bits marking system objects.
inline constexpr std::uint32_t kObjectSystemFlags = 0x80000002;

// ---------------------------------------------------------------------------------------
// Per-version description.

struct Format {
  Version version = Version::Jet4;
  std::uint32_t pageSize = kPageSizeJet4;
  bool jet3() const { return version == Version::Jet3; }
  std::size_t headerRc4Length() const { return jet3() ? kHeaderRc4LengthJet3 : kHeaderRc4LengthJet4; }
  std::size_t passwordSize() const { return jet3() ? kHeaderPasswordSizeJet3 : kHeaderPasswordSizeJet4; }
  // Data page: where the row count and the offset table start.
  std::size_t dataRowCountOffset() const { return jet3() ? 8 : 12; }
  std::size_t dataRowTableOffset() const { return dataRowCountOffset() + 2; }
  std::size_t rowColumnCountSize() const { return jet3() ? kRowColumnCountSizeJet3 : kRowColumnCountSizeJet4; }
  const TableDefLayout& tableDef() const { return jet3() ? kTableDefJet3 : kTableDefJet4; }
};

// The format named by a version byte, or false for an unknown version.
bool formatForVersion(std::uint8_t versionByte, Format& out);

// A short name for messages: "Jet 3", "Jet 4", "ACE 12", ...
std::string versionName(Version version);

// ---------------------------------------------------------------------------------------
// Bounds-checked little-endian access. Reads outside `bytes` return 0 (callers check
// lengths first where a missing value matters); writes outside are ignored.

inline std::uint8_t u8(std::span<const std::uint8_t> bytes, std::size_t at) {
  return at < bytes.size() ? bytes[at] : 0;
}
inline std::uint16_t u16(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 2) return 0;
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
inline std::uint32_t u24(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 3) return 0;
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16);
}
inline std::uint32_t u32(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) return 0;
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
inline std::uint64_t u64(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 8) return 0;
  return static_cast<std::uint64_t>(u32(bytes, at)) | (static_cast<std::uint64_t>(u32(bytes, at + 4)) << 32);
}
inline double f64(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint64_t bits = u64(bytes, at);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
inline float f32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t bits = u32(bytes, at);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline void put16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t v) {
  if (at > bytes.size() || bytes.size() - at < 2) return;
  bytes[at] = static_cast<std::uint8_t>(v);
  bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t v) {
  if (at > bytes.size() || bytes.size() - at < 4) return;
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Row pointers.
constexpr std::uint32_t rowPointerPage(std::uint32_t pointer) { return pointer >> 8; }
constexpr std::uint32_t rowPointerRow(std::uint32_t pointer) { return pointer & 0xFF; }
constexpr std::uint32_t makeRowPointer(std::uint32_t page, std::uint32_t row) { return (page << 8) | (row & 0xFF); }

// ---------------------------------------------------------------------------------------
// Text.

// UTF-16LE bytes to UTF-8. Surrogate pairs become one code point; a lone surrogate becomes
// U+FFFD; an odd trailing byte is ignored.
std::string utf16leToUtf8(std::span<const std::uint8_t> bytes);

// Jet 4 text as stored: the compressed form (starting FF FE; runs of 1-byte characters
// with high byte 0 and runs of UCS-2 characters, a 0x00 byte switching between them,
// starting with 1-byte characters) or plain UTF-16LE. Returns UTF-8.
std::string decodeJet4Text(std::span<const std::uint8_t> bytes);

// Jet 3 text in a Windows code page (1252, 1250, 1251, ... as Windows names them; 0 counts
// as 1252). Bytes the code page leaves undefined become U+FFFD. Unknown code pages are
// decoded as 1252.
std::string decodeCodePageText(std::span<const std::uint8_t> bytes, unsigned codePage);

}  // namespace tw::jet
