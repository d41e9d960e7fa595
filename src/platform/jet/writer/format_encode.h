// Encoding counterparts of format.h: the pieces of a Jet 4 (Access 2000-2003) file as the
// writer produces them. Everything here builds bytes from plain values and the layout
// constants of format.h; nothing touches a file. The writer (writer.h) arranges these
// pieces into pages.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/format.h"

namespace tw::jet::encode {

using ByteVector = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kPageSize = kPageSizeJet4;
inline constexpr Format kJet4Format{};

// Fields the writer sets that format.h leaves unnamed.
// TDEF: byte 24 set to 1 lets Access hand out AutoNumber values.
inline constexpr std::size_t kTableDefAutoNumberEnabledOffset = 24;
// Length of the definition after the 8-byte page header (uint32 at 8 of the first page).
inline constexpr std::size_t kTableDefLengthOffset = 8;
// Text columns: uint16 sort order at the precision/scale position (0x0409 General).
inline constexpr std::uint16_t kSortGeneral = 0x0409;
// The value stored at offset 9 of a column descriptor next to the column number.
inline constexpr std::size_t kColumnRowNumberOffset = 9;
// Header fields written beside those of format.h: the engine name and version text.
inline constexpr std::string_view kEngineName = "Standard Jet DB";
inline constexpr std::string_view kAceEngineName = "Standard ACE DB";
inline constexpr std::size_t kHeaderVersionTextOffset = 0x9C;
// A data page holds at most this many rows (row pointers keep the row number in a byte).
inline constexpr std::size_t kMaxRowsPerPage = 255;
// Bytes of a Jet 4 data page header before the row offset table.
inline constexpr std::size_t kDataPageHeaderSize = 14;
// The largest row that fits on a data page with its offset entry.
inline constexpr std::size_t kMaxRowSize = kPageSize - kDataPageHeaderSize - 2;
// Bitmap bytes of an inline usage map as Access writes them (covers 512 pages).
inline constexpr std::size_t kInlineUsageBitmapBytes = 64;
// Pages covered by one usage bitmap page (type 0x05).
inline constexpr std::uint32_t kPagesPerBitmapPage = (kPageSize - kUsageMapPageBitmapOffset) * 8;
// Memo values longer than this many characters are never stored compressed.
inline constexpr std::size_t kMaxCompressedMemoChars = 1024;
// Calculated fields are variable-length columns: the declared length of every fixed-size
// result (its 20-byte header, up to 16 result bytes and 3 more), and what a text result
// adds to its length. A Memo result declares 0.
inline constexpr std::uint16_t kCalculatedFixedLength = 39;
inline constexpr std::uint16_t kCalculatedExtraLength = 23;

// A calculated field's stored value: the 20-byte header with the result's length at 16,
// the result bytes, and 3 zero bytes.
void wrapCalculated(ByteVector& value);
// A calculated Decimal result: int16 length of what follows it (14), scale, sign (0x80
// negative), and the 96-bit magnitude as a uint32 of its top bits and a uint64 of the rest.
ByteVector encodeCalculatedNumeric(bool negative, int scale, std::uint32_t high, std::uint64_t low);
// A Date/Time Extended value: 19 digits of days since 1 January of the year 1, ':', 19
// digits of 100-nanosecond ticks into the day, ":7" and a NUL, 42 bytes.
std::array<std::uint8_t, 42> encodeExtendedDate(std::int64_t days, std::int64_t ticks);

// ---------------------------------------------------------------------------------------
// Text.

// Jet 4 text bytes for `text`: the compressed form when `allowCompression` is set and it
// is shorter, plain UTF-16LE otherwise. The compressed form starts FF FE and switches
// between 1-byte runs (characters U+0001..U+00FF) and 2-byte runs with a 0x00 byte; it
// cannot hold a 2-byte character whose low byte is 0 (readers would take that byte for a
// switch), nor U+0000, so text with such characters is stored plain.
void encodeText(std::u16string_view text, bool allowCompression, ByteVector& out);

// ---------------------------------------------------------------------------------------
// Fixed-size values.

inline void append16(ByteVector& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void append32(ByteVector& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void append64(ByteVector& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void appendDouble(ByteVector& out, double v);
void appendFloat(ByteVector& out, float v);

// A Decimal column value: sign byte (0x80 negative) and the unscaled magnitude as four
// uint32 words, most significant word first, each little-endian. `magnitude` holds the
// low 64 bits and `high` the next 32 (Decimal magnitudes need at most 96 bits).
std::array<std::uint8_t, 17> encodeNumeric(bool negative, std::uint32_t high, std::uint64_t low);

// ---------------------------------------------------------------------------------------
// Long values.

// The 12-byte field stored in the row for a Memo or OLE value. `kind` is one of
// kLongValueInline / kLongValueSingle / kLongValueChain; `pointer` the row pointer of the
// first LVAL row (0 for inline values, whose bytes follow the field).
std::array<std::uint8_t, kLongValueHeaderSize> encodeLongValueField(std::uint32_t kind, std::uint32_t length,
                                                                    std::uint32_t pointer);

// ---------------------------------------------------------------------------------------
// Table definitions.

struct ColumnEntry {
  std::u16string name;
  std::uint8_t type = kTypeLong;
  std::uint8_t flags = 0;
  std::uint8_t extFlags = 0;
  std::uint16_t number = 0;       // column number, also its bit in the null mask
  std::uint16_t varIndex = 0;     // position in the var-offset table (var columns)
  std::uint16_t fixedOffset = 0;  // offset in the fixed area (fixed columns)
  std::uint16_t length = 0;       // stored length; text: bytes (2 x characters)
  std::uint8_t precision = 0;     // Decimal only
  std::uint8_t scale = 0;         // Decimal only
};

struct TableIndexes;  // index_encode.h

struct TableDefinitionEntry {
  bool system = false;
  std::uint32_t rowCount = 0;
  std::uint32_t autoNumber = 0;  // last AutoNumber value handed out
  std::uint16_t varColumnCount = 0;
  std::uint32_t usageMap = 0;  // row pointer
  std::uint32_t freeMap = 0;   // row pointer
  std::vector<ColumnEntry> columns;
  const TableIndexes* indexes = nullptr;  // none when null
};

// The definition bytes as one stream starting at offset 0 of the first TDEF page (the
// first 8 bytes are room for the page header, filled per page by splitTableDefinition).
ByteVector encodeTableDefinition(const TableDefinitionEntry& table);

// Number of TDEF pages the stream needs.
std::size_t tableDefinitionPageCount(std::size_t streamSize);

// Splits the stream over `pages.size()` pages (each kPageSize bytes) numbered by
// `pageNumbers`, writing each page's header: type, free space and the next page.
void splitTableDefinition(const ByteVector& stream, std::span<const std::uint32_t> pageNumbers,
                          std::vector<ByteVector>& pages);

// ---------------------------------------------------------------------------------------
// Rows.

// The stored pieces of one row, one per column in column-number order.
struct FieldBytes {
  bool notNull = false;  // the null-mask bit (for Yes/No: the value)
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;  // fixed columns: exactly the column's fixed size, or 0 when null
};

// Encodes a row of `columns` (ordered by column number, as in the TDEF; at most 255) into
// `out`. `fixedSize` is the size of the fixed area. Fixed columns that are null are stored
// as zero bytes. A Yes/No column keeps its value in the null mask, unless it is calculated:
// then its stored result lies in the fixed area like any other.
void encodeRow(std::span<const ColumnEntry> columns, std::size_t fixedSize, std::size_t varColumnCount,
               std::span<const FieldBytes> fields, ByteVector& out);

// Size a row will have, for the same arguments (to decide where a long value goes before
// encoding).
std::size_t rowSize(std::size_t columnCount, std::size_t fixedSize, std::size_t varColumnCount, std::size_t varBytes);

// ---------------------------------------------------------------------------------------
// Data pages (also LVAL pages and the pages that hold usage maps).

class DataPage {
 public:
  // `owner`: the TDEF page of the table, 0 for pages that hold usage maps, or the LVAL tag.
  explicit DataPage(std::uint32_t owner);
  static DataPage longValuePage();
  bool fits(std::size_t rowSize) const;
  // Adds a row; returns its row number. The caller checks `fits` first.
  unsigned add(std::span<const std::uint8_t> row);
  unsigned rowCount() const { return rows_; }
  bool empty() const { return rows_ == 0; }
  const std::uint8_t* bytes() const { return page_.data(); }
  void clear();

 private:
  std::array<std::uint8_t, kPageSize> page_{};
  std::array<std::uint8_t, 4> owner_{};
  unsigned rows_ = 0;
  std::size_t low_ = kPageSize;  // start of the lowest row
};

// ---------------------------------------------------------------------------------------
// Usage maps.

// A type 0 map row: `pages` (any order) must all lie in [first, first + bitmapBytes * 8).
ByteVector encodeInlineUsageMap(std::uint32_t first, std::span<const std::uint32_t> pages,
                                std::size_t bitmapBytes = kInlineUsageBitmapBytes);
// A type 1 map row pointing at bitmap pages; entry k covers pages from k * kPagesPerBitmapPage.
ByteVector encodeIndirectUsageMap(std::span<const std::uint32_t> bitmapPages);
// A usage bitmap page (type 0x05) covering pages [base, base + kPagesPerBitmapPage);
// pages outside that range are ignored.
void encodeUsageBitmapPage(std::uint32_t base, std::span<const std::uint32_t> pages,
                           std::array<std::uint8_t, kPageSize>& page);

// ---------------------------------------------------------------------------------------
// Properties (the LvProp blob of a table's MSysObjects row).

struct PropertyEntry {
  std::u16string name;
  std::uint8_t type = kTypeMemo;  // a column type code: kTypeBool, kTypeByte, kTypeMemo, ...
  ByteVector data;
};

struct PropertyMapEntry {
  std::u16string name;  // the column's; empty for the table's own map
  std::vector<PropertyEntry> values;
};

// "MR2\0", a block of every property name (type 0x80), then one block per map: type 0x00
// for the table's, 0x01 for a column's, each opening with the map's name and listing its
// values (uint16 length, flag 1, type, uint16 name index, uint16 size, data).
ByteVector encodeProperties(std::span<const PropertyMapEntry> maps);

// ---------------------------------------------------------------------------------------
// Page 0.

struct HeaderEntry {
  double creationDate = 0.0;  // OLE date
  std::u16string password;    // at most 20 characters; empty for none
  std::uint16_t codePage = 1252;
  Version version = Version::Jet4;  // ACE versions also name the engine "Standard ACE DB"
};

// The database definition page with its header block masked as Access stores it. The
// password (UCS-2LE, zero padded to 40 bytes) is XORed with the creation date's whole-day
// part as 4 little-endian bytes, repeated.
void encodeHeaderPage(const HeaderEntry& header, std::array<std::uint8_t, kPageSize>& page);

}  // namespace tw::jet::encode
