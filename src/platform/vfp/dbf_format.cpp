#include "platform/vfp/dbf_format.h"

#include <cstring>
#include <ctime>

#include "platform/case_rules.h"
#include "platform/code_page.h"

namespace tw::vfp {

int fixedWidth(char type) {
  switch (type) {
    case 'I':
    case 'M':
    case 'G':
    case 'W': return 4;
    case 'B':
    case 'Y':
    case 'D':
    case 'T': return 8;
    case 'L': return 1;
    default: return 0;
  }
}

bool isMemoType(char type) { return type == 'M' || type == 'W' || type == 'G'; }

std::uint8_t fieldFlagsFor(const FieldDef& f) {
  std::uint8_t flags = 0;
  const bool binaryType = std::string_view("IBYTQW").find(f.type) != std::string_view::npos;
  if (binaryType || (f.binary && (f.type == 'C' || f.type == 'V' || f.type == 'M'))) flags |= kFieldFlagBinary;
  if (f.nullable) flags |= kFieldFlagNullable;
  if (f.autoIncrement) flags |= kFieldFlagAutoIncrement;
  return flags;
}

std::uint8_t versionFor(const TableLayout& layout) {
  std::uint8_t version = kVersionVfp;
  for (const auto& f : layout.fields) {
    if (f.type == 'V' || f.type == 'Q' || f.type == 'W') return kVersionVarTypes;
    if (f.autoIncrement) version = kVersionAutoIncrement;
  }
  return version;
}

TableLayout TableLayout::build(std::vector<FieldDef> fields) {
  TableLayout layout;
  std::uint32_t offset = 1;
  int bits = 0;
  std::uint16_t descriptor = 0;
  for (auto& f : fields) {
    if (int w = fixedWidth(f.type)) f.width = static_cast<std::uint8_t>(w);
    if (f.type == 'Y') f.decimals = 4;  // VFP marks currency with 4 decimals
    else if (f.type != 'N' && f.type != 'F' && f.type != 'B') f.decimals = 0;
    f.flags = fieldFlagsFor(f);
    f.offset = offset;
    offset += f.width;
    f.varLengthBit = f.type == 'V' || f.type == 'Q' ? bits++ : -1;
    f.nullBit = f.nullable ? bits++ : -1;
    f.descriptor = descriptor++;
    if (isMemoType(f.type)) layout.hasMemo = true;
  }
  layout.fields = std::move(fields);
  if (bits > 0) {
    layout.nullFlagsOffset = offset;
    layout.nullFlagsWidth = static_cast<std::uint8_t>((bits + 7) / 8);
    offset += layout.nullFlagsWidth;
  }
  layout.recordLength = static_cast<std::uint16_t>(offset);
  layout.headerLength = static_cast<std::uint16_t>(32 + 32 * layout.descriptorCount() + 1 + kBacklinkSize);
  return layout;
}

std::vector<std::uint8_t> encodeHeader(const TableLayout& layout, std::uint32_t recordCount, int year, int month,
                                       int day) {
  std::vector<std::uint8_t> h(layout.headerLength, 0);
  h[0] = versionFor(layout);
  h[1] = static_cast<std::uint8_t>(year % 100);
  h[2] = static_cast<std::uint8_t>(month);
  h[3] = static_cast<std::uint8_t>(day);
  putLe32(&h[4], recordCount);
  putLe16(&h[8], layout.headerLength);
  putLe16(&h[10], layout.recordLength);
  h[28] = layout.hasMemo ? kTableFlagMemo : 0;
  h[29] = layout.codePage;
  std::size_t pos = 32;
  auto descriptor = [&](const std::string& name, char type, std::uint32_t offset, std::uint8_t width,
                        std::uint8_t decimals, std::uint8_t flags) {
    std::memcpy(&h[pos], name.data(), std::min<std::size_t>(name.size(), kMaxFieldName));
    h[pos + 11] = static_cast<std::uint8_t>(type);
    putLe32(&h[pos + 12], offset);
    h[pos + 16] = width;
    h[pos + 17] = decimals;
    h[pos + 18] = flags;
    pos += 32;
  };
  for (const auto& f : layout.fields) {
    descriptor(f.name, f.type, f.offset, f.width, f.decimals, f.flags);
    if (f.autoIncrement) {
      putLe32(&h[pos - 32 + 19], static_cast<std::uint32_t>(f.autoIncrementNext));
      h[pos - 32 + 23] = f.autoIncrementStep;
    }
  }
  if (layout.nullFlagsWidth) {
    descriptor("_NullFlags", '0', layout.nullFlagsOffset, layout.nullFlagsWidth, 0,
               kFieldFlagSystem | kFieldFlagBinary);
    // The next value and step of the field before it, as VFP leaves them there.
    if (pos >= 32 + 64) std::memcpy(&h[pos - 32 + 19], &h[pos - 64 + 19], 5);
  }
  h[pos] = 0x0D;
  std::memcpy(&h[pos + 1], layout.backlink.data(), std::min<std::size_t>(layout.backlink.size(), kBacklinkSize));
  return h;
}

HeaderDate today() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {static_cast<std::uint8_t>(tm.tm_year % 100), static_cast<std::uint8_t>(tm.tm_mon + 1),
          static_cast<std::uint8_t>(tm.tm_mday)};
}

namespace {

// The field types a table may hold, and those of them this engine writes.
constexpr std::string_view kKnownTypes = "CNFIBYDTLMGWVQP0+@";
constexpr std::string_view kWritableTypes = "CNFIBYDTLMVQWG";

bool knownType(char t) { return kKnownTypes.find(t) != std::string_view::npos; }
bool writableType(char t) { return kWritableTypes.find(t) != std::string_view::npos; }

// The last part of a backlink path ("..\\data\\x.dbc" -> "x.dbc"), in ASCII lower case.
std::string backlinkFileName(std::string_view path) {
  std::size_t cut = path.find_last_of("\\/:");
  std::string name(cut == std::string_view::npos ? path : path.substr(cut + 1));
  return asciiLower(name);
}

// One field descriptor at `pos`, checked; its offset is `offset`, where the fields before
// it end. `index` counts the descriptors before it, for messages.
FieldDef readFieldDescriptor(const std::vector<std::uint8_t>& b, std::size_t pos, bool vfp, std::uint32_t offset,
                             std::size_t index) {
  FieldDef f;
  std::size_t nameEnd = 0;
  while (nameEnd < 11 && b[pos + nameEnd] != 0) ++nameEnd;
  f.name.assign(reinterpret_cast<const char*>(&b[pos]), nameEnd);
  f.type = static_cast<char>(b[pos + 11]);
  f.offset = getLe32(&b[pos + 12]);
  f.width = b[pos + 16];
  f.decimals = b[pos + 17];
  f.flags = b[pos + 18];
  f.nullable = (f.flags & kFieldFlagNullable) != 0;
  f.binary = (f.flags & kFieldFlagBinary) != 0;
  f.autoIncrement = f.type == 'I' && (f.flags & kFieldFlagAutoIncrement) != 0;
  if (f.autoIncrement) {
    f.autoIncrementNext = static_cast<std::int32_t>(getLe32(&b[pos + 19]));
    f.autoIncrementStep = b[pos + 23];
  }
  f.descriptor = static_cast<std::uint16_t>(index);
  if (!knownType(f.type))
    throw CorruptTable("field " + std::to_string(index + 1) + " has the unknown type " + hexByte(b[pos + 11]));
  if (f.width == 0) throw CorruptTable("field \"" + f.name + "\" has width 0");
  if (vfp && f.offset != offset)
    throw CorruptTable("field \"" + f.name + "\" is placed at byte " + std::to_string(f.offset) +
                       " of the record instead of " + std::to_string(offset));
  // Fixed-width types at any other width would be read past their bytes.
  int fixed = f.type == 'M' || f.type == 'G' || f.type == 'W' || f.type == 'P' ? 0 : fixedWidth(f.type);
  bool memoWidthOk = fixedWidth(f.type) != 4 || f.type == 'I' || f.width == 4 || f.width == 10;
  if ((fixed && f.width != fixed) || !memoWidthOk)
    throw CorruptTable("field \"" + f.name + "\" of type " + std::string(1, f.type) + " is " +
                       std::to_string(f.width) + " bytes wide");
  // Older dBase tables leave the displacement at 0: the place follows from the widths.
  f.offset = offset;
  return f;
}

// The field descriptors of a header, up to the 0x0D that ends them.
struct FieldDescriptors {
  std::vector<FieldDef> fields;  // without _NullFlags
  FieldDef nullFlags;
  bool haveNullFlags = false;
  std::size_t terminator = 0;     // where the 0x0D stands
  std::uint32_t recordBytes = 1;  // the delete flag and every field
};

// Reads the descriptors from byte 32 of a header `headerLength` long; the first field the
// engine cannot write goes into `unsupported`, when that is still empty.
FieldDescriptors readFieldDescriptors(const std::vector<std::uint8_t>& b, std::uint32_t headerLength, bool vfp,
                                      std::string& unsupported) {
  FieldDescriptors d;
  std::size_t pos = 32;
  bool terminated = false;
  while (pos < headerLength) {
    if (b[pos] == 0x0D) {
      terminated = true;
      break;
    }
    if (pos + 32 > headerLength) break;
    FieldDef f = readFieldDescriptor(b, pos, vfp, d.recordBytes, (pos - 32) / 32);
    d.recordBytes += f.width;
    if (f.type == '0') {
      d.nullFlags = f;
      d.haveNullFlags = true;
    } else {
      if (f.type == 'M' || f.type == 'G' || f.type == 'W') {
        if (f.width != 4 && vfp) throw CorruptTable("memo field \"" + f.name + "\" is not 4 bytes wide");
      }
      if (unsupported.empty() && !writableType(f.type))
        unsupported = std::string("it has a field of type ") + f.type + " (\"" + f.name + "\")";
      d.fields.push_back(std::move(f));
    }
    pos += 32;
  }
  if (!terminated) throw CorruptTable("the field list has no end marker within the header");
  d.terminator = pos;
  return d;
}

// The header length, record length and record count must agree with the descriptors and
// with the size of the file.
void checkSizes(const FieldDescriptors& d, std::uint32_t headerLength, std::uint32_t recordLength,
                std::uint32_t recordCount, std::uint64_t fileSize, bool vfp) {
  std::size_t descriptors = (d.terminator - 32) / 32;
  if (descriptors == 0) throw CorruptTable("the table has no fields");
  if (vfp) {
    std::size_t expected = 32 + 32 * descriptors + 1 + kBacklinkSize;
    if (headerLength != expected)
      throw CorruptTable("the header length " + std::to_string(headerLength) + " does not match its " +
                         std::to_string(descriptors) + " field descriptors (" + std::to_string(expected) +
                         " expected)");
  }
  if (d.recordBytes != recordLength)
    throw CorruptTable("the record length " + std::to_string(recordLength) + " does not match its fields (" +
                       std::to_string(d.recordBytes) + ")");
  std::uint64_t needed =
      static_cast<std::uint64_t>(headerLength) + static_cast<std::uint64_t>(recordCount) * recordLength;
  if (needed > fileSize) {
    std::uint64_t held = (fileSize - headerLength) / recordLength;
    throw CorruptTable("its header counts " + std::to_string(recordCount) + " records but the file holds only " +
                       std::to_string(held));
  }
}

// Null bits as VFP hands them out: nullable fields in order; Varchar/Varbinary take a
// length bit first. The _NullFlags field must hold them all.
void numberNullBits(FieldDescriptors& d) {
  int bit = 0;
  for (auto& f : d.fields) {
    if (f.type == 'V' || f.type == 'Q') f.varLengthBit = bit++;
    if (f.nullable) f.nullBit = bit++;
  }
  if (bit > 0) {
    if (!d.haveNullFlags) throw CorruptTable("it has nullable fields but no _NullFlags field");
    if (d.nullFlags.width * 8 < bit) throw CorruptTable("its _NullFlags field is too narrow");
  }
}

// Why a table of the right shape still cannot take rows from this engine, as far as its
// flags, its backlink and its code page tell; `t.unsupported` keeps an earlier reason.
void checkOwnership(TableHeader& t, const std::string& backlink, bool vfp, std::string_view container,
                    bool containerItself) {
  if (t.unsupported.empty() && (t.tableFlags & kTableFlagDbc) && !containerItself)
    t.unsupported = "it is a database container";
  if (t.unsupported.empty() && vfp) {
    if (container.empty() && !backlink.empty()) t.unsupported = "it belongs to a database container";
    else if (!container.empty() && backlink.empty()) t.unsupported = "it is a free table, not part of the database";
    else if (!container.empty() && backlinkFileName(backlink) != backlinkFileName(container))
      t.unsupported = "it belongs to another database container (\"" + backlink + "\")";
  }
  if (t.unsupported.empty() && t.codePage != 0 && !CodePage::byMark(t.codePage))
    t.unsupported = "its code page mark is " + hexByte(t.codePage) + ", a code page this engine does not write";
}

}  // namespace

TableHeader parseHeader(const std::vector<std::uint8_t>& b, std::uint64_t fileSize, std::string_view container,
                        bool containerItself) {
  if (fileSize < 32 || b.size() < 32) throw CorruptTable("the file is shorter than a table header");
  TableHeader t;
  t.version = b[0];
  t.recordCount = getLe32(&b[4]);
  std::uint32_t headerLength = getLe16(&b[8]);
  std::uint32_t recordLength = getLe16(&b[10]);
  t.tableFlags = b[28];
  t.codePage = b[29];
  t.layout.codePage = b[29];
  bool vfp = t.version == 0x30 || t.version == 0x31 || t.version == 0x32;
  if (!vfp) t.unsupported = "it is not a Visual FoxPro table (version byte " + hexByte(t.version) + ")";

  if (headerLength < 32 + 1)
    throw CorruptTable("the header length " + std::to_string(headerLength) + " is too small");
  if (fileSize < headerLength)
    throw CorruptTable("the file (" + std::to_string(fileSize) + " bytes) is shorter than its header (" +
                       std::to_string(headerLength) + " bytes)");
  if (b.size() < headerLength) throw CorruptTable("the header could not be read in full");
  if (recordLength < 2) throw CorruptTable("the record length " + std::to_string(recordLength) + " is too small");

  FieldDescriptors d = readFieldDescriptors(b, headerLength, vfp, t.unsupported);
  checkSizes(d, headerLength, recordLength, t.recordCount, fileSize, vfp);
  numberNullBits(d);
  if (containerItself && !(t.tableFlags & kTableFlagDbc)) throw CorruptTable("it is not a database container");
  std::string backlink;
  if (vfp) {
    const std::size_t pos = d.terminator;
    std::size_t end = pos + 1;
    while (end < headerLength && end < pos + 1 + kBacklinkSize && b[end] != 0) ++end;
    backlink.assign(reinterpret_cast<const char*>(&b[pos + 1]), end - (pos + 1));
  }
  checkOwnership(t, backlink, vfp, container, containerItself);

  t.layout.fields = std::move(d.fields);
  t.layout.recordLength = static_cast<std::uint16_t>(recordLength);
  t.layout.headerLength = static_cast<std::uint16_t>(headerLength);
  t.layout.backlink = std::move(backlink);
  if (d.haveNullFlags) {
    t.layout.nullFlagsOffset = d.nullFlags.offset;
    t.layout.nullFlagsWidth = d.nullFlags.width;
  }
  for (const auto& f : t.layout.fields)
    if (isMemoType(f.type) || f.type == 'P') t.layout.hasMemo = true;
  return t;
}

std::vector<std::uint8_t> encodeMemoHeader(std::uint32_t nextFreeBlock, std::uint16_t blockSize) {
  std::vector<std::uint8_t> h(kMemoHeaderSize, 0);
  putBe32(&h[0], nextFreeBlock);
  h[6] = static_cast<std::uint8_t>(blockSize >> 8);
  h[7] = static_cast<std::uint8_t>(blockSize);
  return h;
}

MemoHeader parseMemoHeader(const std::vector<std::uint8_t>& b, std::uint64_t fileSize) {
  if (fileSize < kMemoHeaderSize || b.size() < kMemoHeaderSize)
    throw CorruptTable("the memo file is shorter than its header");
  MemoHeader m;
  m.nextFreeBlock = getBe32(&b[0]);
  m.blockSize = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
  if (m.blockSize == 0) throw CorruptTable("the memo file's block size is 0");
  std::uint64_t next = static_cast<std::uint64_t>(m.nextFreeBlock) * m.blockSize;
  if (next < kMemoHeaderSize) throw CorruptTable("the memo file's next free block lies inside its header");
  // VFP leaves the last block short, so the next free block may lie up to one block past
  // the end of the file, never further.
  if (next > fileSize + m.blockSize) throw CorruptTable("the memo file's next free block lies past its end");
  return m;
}

std::string hexByte(std::uint8_t b) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

}  // namespace tw::vfp
