#include "platform/jet/writer/format_encode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/jet/crypto.h"
#include "platform/jet/writer/index_encode.h"

namespace tw::jet::encode {

// ---------------------------------------------------------------------------------------
// Text.

namespace {

void appendPlainText(std::u16string_view text, ByteVector& out) {
  for (char16_t c : text) append16(out, static_cast<std::uint16_t>(c));
}

bool compressible(std::u16string_view text) {
  for (char16_t c : text)
    if (c == 0 || (c > 0xFF && (c & 0xFF) == 0)) return false;
  return true;
}

}  // namespace

void encodeText(std::u16string_view text, bool allowCompression, ByteVector& out) {
  const std::size_t start = out.size();
  if (!allowCompression || text.empty() || !compressible(text)) {
    appendPlainText(text, out);
    return;
  }
  out.push_back(0xFF);
  out.push_back(0xFE);
  bool oneByte = true;
  for (char16_t c : text) {
    bool wantOneByte = c <= 0xFF;
    if (wantOneByte != oneByte) {
      out.push_back(0x00);
      oneByte = wantOneByte;
    }
    if (oneByte) {
      out.push_back(static_cast<std::uint8_t>(c));
    } else {
      append16(out, static_cast<std::uint16_t>(c));
    }
  }
  if (out.size() - start >= text.size() * 2) {
    out.resize(start);
    appendPlainText(text, out);
  }
}

// ---------------------------------------------------------------------------------------
// Fixed-size values.

void appendDouble(ByteVector& out, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  append64(out, bits);
}

void appendFloat(ByteVector& out, float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  append32(out, bits);
}

std::array<std::uint8_t, 17> encodeNumeric(bool negative, std::uint32_t high, std::uint64_t low) {
  std::array<std::uint8_t, 17> out{};
  out[0] = negative ? 0x80 : 0x00;
  const std::uint32_t words[4] = {0, high, static_cast<std::uint32_t>(low >> 32), static_cast<std::uint32_t>(low)};
  for (int w = 0; w < 4; ++w)
    for (int b = 0; b < 4; ++b) out[1 + 4 * w + b] = static_cast<std::uint8_t>(words[w] >> (8 * b));
  return out;
}

// ---------------------------------------------------------------------------------------
// Long values.

std::array<std::uint8_t, kLongValueHeaderSize> encodeLongValueField(std::uint32_t kind, std::uint32_t length,
                                                                    std::uint32_t pointer) {
  std::array<std::uint8_t, kLongValueHeaderSize> out{};
  put32(out, 0, (length & kLongValueLengthMask) | kind);
  put32(out, 4, pointer);
  return out;
}

// ---------------------------------------------------------------------------------------
// Table definitions.

ByteVector encodeTableDefinition(const TableDefinitionEntry& table) {
  const TableDefLayout& L = kTableDefJet4;
  const ColumnLayout& C = L.column;
  const std::size_t realIndexes = table.indexes ? table.indexes->real.size() : 0;
  const std::size_t logicalIndexes = table.indexes ? table.indexes->logical.size() : 0;
  ByteVector out(L.realIndexStart + realIndexes * L.realIndexEntrySize, 0);
  std::span<std::uint8_t> head(out);
  put32(head, L.rowCount, table.rowCount);
  put32(head, L.autoNumber, table.autoNumber);
  head[kTableDefAutoNumberEnabledOffset] = 1;
  head[L.tableType] = table.system ? kTableTypeSystem : kTableTypeUser;
  const auto columnCount = static_cast<std::uint16_t>(table.columns.size());
  put16(head, L.maxColumns, columnCount);
  put16(head, L.varColumnCount, table.varColumnCount);
  put16(head, L.columnCount, columnCount);
  put32(head, L.logicalIndexCount, static_cast<std::uint32_t>(logicalIndexes));
  put32(head, L.realIndexCount, static_cast<std::uint32_t>(realIndexes));
  put32(head, L.usageMap, table.usageMap);
  put32(head, L.freeMap, table.freeMap);

  for (const ColumnEntry& col : table.columns) {
    std::array<std::uint8_t, 25> e{};
    std::span<std::uint8_t> s(e);
    e[C.type] = col.type;
    put16(s, C.number, col.number);
    put16(s, C.varIndex, col.varIndex);
    put16(s, kColumnRowNumberOffset, col.number);
    if (col.type == kTypeNumeric) {
      e[C.precision] = col.precision;
      e[C.scale] = col.scale;
    } else {
      put16(s, C.precision, kSortGeneral);
    }
    e[C.flags] = col.flags;
    e[static_cast<std::size_t>(C.extFlags)] = col.extFlags;
    put16(s, C.fixedOffset, col.fixedOffset);
    put16(s, C.length, col.length);
    out.insert(out.end(), e.begin(), e.end());
  }
  for (const ColumnEntry& col : table.columns) {
    append16(out, static_cast<std::uint16_t>(col.name.size() * 2));
    appendPlainText(col.name, out);
  }
  if (table.indexes) appendIndexDefinitions(*table.indexes, out);
  // End of the (empty) list of per-column long-value usage maps.
  append16(out, 0xFFFF);
  put32(out, kTableDefLengthOffset, static_cast<std::uint32_t>(out.size() - 8));
  return out;
}

std::size_t tableDefinitionPageCount(std::size_t streamSize) {
  const std::size_t body = streamSize > 8 ? streamSize - 8 : 0;
  const std::size_t perPage = kPageSize - 8;
  return std::max<std::size_t>(1, (body + perPage - 1) / perPage);
}

void splitTableDefinition(const ByteVector& stream, std::span<const std::uint32_t> pageNumbers,
                          std::vector<ByteVector>& pages) {
  pages.clear();
  const std::size_t perPage = kPageSize - 8;
  std::size_t pos = 8;
  for (std::size_t k = 0; k < pageNumbers.size(); ++k) {
    ByteVector page(kPageSize, 0);
    const std::size_t n = std::min(perPage, stream.size() > pos ? stream.size() - pos : 0);
    std::memcpy(page.data() + 8, stream.data() + pos, n);
    pos += n;
    page[0] = kPageTableDef;
    page[1] = 0x01;
    put16(page, 2, static_cast<std::uint16_t>(kPageSize - 8 - n));
    put32(page, 4, k + 1 < pageNumbers.size() ? pageNumbers[k + 1] : 0);
    pages.push_back(std::move(page));
  }
}

// ---------------------------------------------------------------------------------------
// Rows.

std::size_t rowSize(std::size_t columnCount, std::size_t fixedSize, std::size_t varColumnCount,
                    std::size_t varBytes) {
  std::size_t size = 2 + fixedSize + (columnCount + 7) / 8;
  if (varColumnCount > 0) size += varBytes + 2 + 2 * varColumnCount + 2;
  return size;
}

void encodeRow(std::span<const ColumnEntry> columns, std::size_t fixedSize, std::size_t varColumnCount,
               std::span<const FieldBytes> fields, ByteVector& out) {
  // Tables hold at most 255 columns, so fixed-size scratch space does.
  std::array<const FieldBytes*, 256> varFields{};
  std::array<std::uint8_t, 32> nullMask{};
  const std::size_t columnCount = std::min<std::size_t>(columns.size(), 255);
  varColumnCount = std::min<std::size_t>(varColumnCount, 255);
  out.clear();
  append16(out, static_cast<std::uint16_t>(columnCount));
  out.resize(2 + fixedSize, 0);
  for (std::size_t i = 0; i < columnCount; ++i) {
    const ColumnEntry& col = columns[i];
    const FieldBytes& f = fields[i];
    if (f.notNull && col.number < 256) nullMask[col.number / 8] |= static_cast<std::uint8_t>(1u << (col.number % 8));
    if (col.type == kTypeBool && (col.extFlags & kExtCalculated) != kExtCalculated) continue;
    if (col.flags & kFlagFixed) {
      if (f.notNull && f.size > 0 && col.fixedOffset + f.size <= fixedSize)
        std::memcpy(out.data() + 2 + col.fixedOffset, f.data, f.size);
    } else if (col.varIndex < varColumnCount) {
      varFields[col.varIndex] = &f;
    }
  }
  if (varColumnCount > 0) {
    std::array<std::uint16_t, 256> varOffsets{};
    for (std::size_t k = 0; k < varColumnCount; ++k) {
      varOffsets[k] = static_cast<std::uint16_t>(out.size());
      const FieldBytes* f = varFields[k];
      if (f && f->notNull && f->size > 0) out.insert(out.end(), f->data, f->data + f->size);
    }
    append16(out, static_cast<std::uint16_t>(out.size()));  // end of data
    for (std::size_t k = varColumnCount; k-- > 0;) append16(out, varOffsets[k]);
    append16(out, static_cast<std::uint16_t>(varColumnCount));
  }
  out.insert(out.end(), nullMask.begin(), nullMask.begin() + static_cast<std::ptrdiff_t>((columnCount + 7) / 8));
}

// ---------------------------------------------------------------------------------------
// Data pages.

DataPage::DataPage(std::uint32_t owner) {
  put32(owner_, 0, owner);
  clear();
}

DataPage DataPage::longValuePage() {
  DataPage page(0);
  page.owner_ = kLvalPageTag;
  page.clear();
  return page;
}

void DataPage::clear() {
  page_.fill(0);
  page_[0] = kPageData;
  page_[1] = 0x01;
  std::memcpy(page_.data() + kDataPageOwnerOffset, owner_.data(), 4);
  rows_ = 0;
  low_ = kPageSize;
  put16(page_, 2, static_cast<std::uint16_t>(kPageSize - kDataPageHeaderSize));
}

bool DataPage::fits(std::size_t size) const {
  if (rows_ >= kMaxRowsPerPage) return false;
  const std::size_t tableEnd = kDataPageHeaderSize + 2 * (rows_ + 1);
  return low_ >= size && low_ - size >= tableEnd;
}

unsigned DataPage::add(std::span<const std::uint8_t> row) {
  low_ -= row.size();
  std::memcpy(page_.data() + low_, row.data(), row.size());
  put16(page_, kJet4Format.dataRowTableOffset() + 2 * rows_, static_cast<std::uint16_t>(low_));
  ++rows_;
  put16(page_, kJet4Format.dataRowCountOffset(), static_cast<std::uint16_t>(rows_));
  put16(page_, 2, static_cast<std::uint16_t>(low_ - kDataPageHeaderSize - 2 * rows_));
  return rows_ - 1;
}

// ---------------------------------------------------------------------------------------
// Usage maps.

ByteVector encodeInlineUsageMap(std::uint32_t first, std::span<const std::uint32_t> pages, std::size_t bitmapBytes) {
  ByteVector out(kUsageMapInlineBitmapOffset + bitmapBytes, 0);
  out[0] = kUsageMapInline;
  put32(out, 1, first);
  for (std::uint32_t p : pages) {
    if (p < first) continue;
    const std::uint32_t bit = p - first;
    if (bit >= bitmapBytes * 8) continue;
    out[kUsageMapInlineBitmapOffset + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return out;
}

ByteVector encodeIndirectUsageMap(std::span<const std::uint32_t> bitmapPages) {
  ByteVector out;
  out.push_back(kUsageMapIndirect);
  for (std::uint32_t p : bitmapPages) append32(out, p);
  return out;
}

void encodeUsageBitmapPage(std::uint32_t base, std::span<const std::uint32_t> pages,
                           std::array<std::uint8_t, kPageSize>& page) {
  page.fill(0);
  page[0] = kPageUsageMap;
  page[1] = 0x01;
  for (std::uint32_t p : pages) {
    if (p < base || p - base >= kPagesPerBitmapPage) continue;
    const std::uint32_t bit = p - base;
    page[kUsageMapPageBitmapOffset + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
}

// ---------------------------------------------------------------------------------------
// Page 0.

void wrapCalculated(ByteVector& value) {
  const auto length = static_cast<std::uint32_t>(value.size());
  value.insert(value.begin(), kCalculatedHeaderSize, 0);
  put32(value, kCalculatedLengthOffset, length);
  value.insert(value.end(), 3, 0);
}

namespace {

void appendName(std::u16string_view name, ByteVector& out) {
  append16(out, static_cast<std::uint16_t>(name.size() * 2));
  appendPlainText(name, out);
}

// A block: uint32 length counting its 6-byte head, uint16 type, then what `body` appends.
template <class Body>
void appendBlock(std::uint16_t type, ByteVector& out, Body body) {
  const std::size_t start = out.size();
  append32(out, 0);
  append16(out, type);
  body();
  put32(out, start, static_cast<std::uint32_t>(out.size() - start));
}

}  // namespace

ByteVector encodeProperties(std::span<const PropertyMapEntry> maps) {
  ByteVector out = {'M', 'R', '2', 0};
  std::vector<std::u16string> names;
  for (const PropertyMapEntry& m : maps)
    for (const PropertyEntry& p : m.values)
      if (std::find(names.begin(), names.end(), p.name) == names.end()) names.push_back(p.name);
  appendBlock(0x80, out, [&] {
    for (const std::u16string& n : names) appendName(n, out);
  });
  for (const PropertyMapEntry& m : maps) {
    appendBlock(m.name.empty() ? 0x00 : 0x01, out, [&] {
      append32(out, static_cast<std::uint32_t>(4 + 2 + 2 * m.name.size()));
      appendName(m.name, out);
      for (const PropertyEntry& p : m.values) {
        const auto index = std::find(names.begin(), names.end(), p.name) - names.begin();
        append16(out, static_cast<std::uint16_t>(8 + p.data.size()));
        out.push_back(1);
        out.push_back(p.type);
        append16(out, static_cast<std::uint16_t>(index));
        append16(out, static_cast<std::uint16_t>(p.data.size()));
        out.insert(out.end(), p.data.begin(), p.data.end());
      }
    });
  }
  return out;
}

ByteVector encodeCalculatedNumeric(bool negative, int scale, std::uint32_t high, std::uint64_t low) {
  ByteVector out;
  append16(out, 14);
  out.push_back(static_cast<std::uint8_t>(scale));
  out.push_back(negative ? 0x80 : 0x00);
  append32(out, high);
  append64(out, low);
  return out;
}

std::array<std::uint8_t, 42> encodeExtendedDate(std::int64_t days, std::int64_t ticks) {
  char text[64];
  std::snprintf(text, sizeof text, "%019lld:%019lld:7", static_cast<long long>(days), static_cast<long long>(ticks));
  std::array<std::uint8_t, 42> out{};
  std::memcpy(out.data(), text, 41);
  return out;
}

void encodeHeaderPage(const HeaderEntry& header, std::array<std::uint8_t, kPageSize>& page) {
  page.fill(0);
  std::span<std::uint8_t> p(page);
  page[0] = kPageDatabase;
  page[1] = 0x01;
  const std::string_view engine = header.version == Version::Jet4 ? kEngineName : kAceEngineName;
  std::memcpy(page.data() + kHeaderEngineNameOffset, engine.data(), engine.size());
  page[kHeaderVersionOffset] = static_cast<std::uint8_t>(header.version);
  // The pages of the four system tables whose definitions every file starts with.
  page[0x19] = 0x01;
  page[0x1C] = 0x01;
  page[0x1D] = 0x01;
  for (std::uint32_t k = 0; k < 4; ++k) put32(p, 0x20 + 4 * k, 2 + k);
  put16(p, kHeaderCodePageOffset, header.codePage);
  put32(p, kHeaderDbKeyOffset, 0);
  put32(p, kHeaderSortOrderOffsetJet4, kSortGeneral);
  std::uint64_t dateBits;
  std::memcpy(&dateBits, &header.creationDate, sizeof dateBits);
  for (int i = 0; i < 8; ++i) page[kHeaderCreationDateOffset + i] = static_cast<std::uint8_t>(dateBits >> (8 * i));

  std::array<std::uint8_t, kHeaderPasswordSizeJet4> password{};
  for (std::size_t i = 0; i < header.password.size() && 2 * i + 1 < password.size(); ++i) {
    password[2 * i] = static_cast<std::uint8_t>(header.password[i]);
    password[2 * i + 1] = static_cast<std::uint8_t>(header.password[i] >> 8);
  }
  const auto dayPart = static_cast<std::int32_t>(std::floor(header.creationDate));
  std::array<std::uint8_t, 4> mask{};
  put32(mask, 0, static_cast<std::uint32_t>(dayPart));
  for (std::size_t i = 0; i < password.size(); ++i) page[kHeaderPasswordOffset + i] = password[i] ^ mask[i % 4];

  const char versionText[] = "4.0";
  std::memcpy(page.data() + kHeaderVersionTextOffset, versionText, 3);
  unmaskHeader(p, /*jet3=*/false);  // the mask is its own inverse
}

}  // namespace tw::jet::encode
