#include "platform/vfp/table_reader.h"

#include <cstring>

#include "platform/calendar.h"

namespace tw::vfp {

TableReader::TableReader(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
                         const CodePage& unmarked)
    : codePage_(&unmarked) {
  dbf_ = fs.open(dbfPath, OpenMode::Read);
  std::vector<std::uint8_t> head(kMaxHeaderBytes);
  head.resize(dbf_->readAt(0, head.data(), head.size()));
  header_ = parseHeader(head, dbf_->size());
  if (const CodePage* cp = CodePage::byMark(header_.codePage)) codePage_ = cp;
  if (header_.layout.hasMemo) {
    if (fptPath.empty()) throw CorruptTable("its memo file (.fpt) is missing");
    fpt_ = fs.open(fptPath, OpenMode::Read);
    std::vector<std::uint8_t> mh(kMemoHeaderSize);
    mh.resize(fpt_->readAt(0, mh.data(), mh.size()));
    blockSize_ = parseMemoHeader(mh, fpt_->size()).blockSize;
  }
  buffer_.resize(header_.layout.recordLength);
}

bool TableReader::next(std::vector<Value>& row) {
  const TableLayout& l = header_.layout;
  while (index_ < header_.recordCount) {
    std::uint64_t at = l.headerLength + static_cast<std::uint64_t>(index_) * l.recordLength;
    ++index_;
    if (dbf_->readAt(at, buffer_.data(), buffer_.size()) != buffer_.size())
      throw CorruptTable("record " + std::to_string(index_) + " is cut short");
    if (buffer_[0] == kRecordDeleted) continue;
    if (buffer_[0] != kRecordLive)
      throw CorruptTable("record " + std::to_string(index_) + " has no valid delete flag");
    row.clear();
    for (const auto& f : l.fields) {
      bool isNull = false;
      if (f.nullBit >= 0 && l.nullFlagsWidth) {
        std::uint8_t byte = buffer_[l.nullFlagsOffset + static_cast<std::uint32_t>(f.nullBit / 8)];
        isNull = (byte >> (f.nullBit % 8)) & 1;
      }
      row.push_back(isNull ? Value() : decode(f, buffer_.data()));
    }
    return true;
  }
  return false;
}

namespace {
// The text of a field of `width` bytes at `p`, without the blanks and NULs that pad it.
std::string fieldText(const std::uint8_t* p, std::size_t width) {
  std::size_t n = width;
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
  return std::string(reinterpret_cast<const char*>(p), n);
}
}  // namespace

Value TableReader::decode(const FieldDef& f, const std::uint8_t* rec) {
  const std::uint8_t* p = rec + f.offset;
  switch (f.type) {
    case 'C': return Value(codePage_->decode(fieldText(p, f.width)));
    case 'N':
    case 'F': return decodeNumeric(f, fieldText(p, f.width));
    case 'I': return Value(static_cast<std::int64_t>(static_cast<std::int32_t>(getLe32(p))));
    case 'B': {
      double v;
      std::memcpy(&v, p, 8);
      return Value(v);
    }
    case 'Y': {
      std::int64_t v;
      std::memcpy(&v, p, 8);
      return Value(Currency{v});
    }
    case 'D': return decodeDate(f, fieldText(p, f.width));
    case 'T': {
      std::uint32_t day = getLe32(p), ms = getLe32(p + 4);
      if (day == 0 && ms == 0) return Value();
      return Value(DateTime{oleDateFromJulian(day, ms)});
    }
    case 'L':
      if (*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y') return Value(true);
      if (*p == 'F' || *p == 'f' || *p == 'N' || *p == 'n') return Value(false);
      return Value();
    case 'M': {
      std::uint32_t block = getLe32(p);
      if (block == 0) return Value(std::string());
      return Value(codePage_->decode(readMemo(block)));
    }
    case 'W':
    case 'G': {
      std::uint32_t block = getLe32(p);
      if (block == 0) return Value(Bytes{});
      std::string bytes = readMemo(block);
      return Value(Bytes(bytes.begin(), bytes.end()));
    }
    case 'V': {
      const std::size_t n = variableLength(f, rec);
      return Value(codePage_->decode(std::string(reinterpret_cast<const char*>(p), n)));
    }
    case 'Q': return Value(Bytes(p, p + variableLength(f, rec)));
    default: return Value();
  }
}

std::size_t TableReader::variableLength(const FieldDef& f, const std::uint8_t* rec) const {
  const TableLayout& l = header_.layout;
  const bool shorter =
      f.varLengthBit >= 0 && l.nullFlagsWidth &&
      ((rec[l.nullFlagsOffset + static_cast<std::uint32_t>(f.varLengthBit / 8)] >> (f.varLengthBit % 8)) & 1);
  if (!shorter) return f.width;
  const std::size_t n = rec[f.offset + f.width - 1u];
  if (n >= f.width)
    throw CorruptTable("field \"" + f.name + "\" of record " + std::to_string(index_) + " has the length " +
                       std::to_string(n) + ", more than it holds");
  return n;
}

Value TableReader::decodeNumeric(const FieldDef& f, std::string t) const {
  std::size_t s = 0;
  while (s < t.size() && t[s] == ' ') ++s;
  t.erase(0, s);
  if (t.empty()) return Value();
  Decimal d;
  d.negative = t[0] == '-';
  std::string digits;
  int scale = 0;
  bool point = false;
  for (std::size_t i = d.negative ? 1 : 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '.') {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits.push_back(c);
      if (point) ++scale;
    } else {
      throw CorruptTable("field \"" + f.name + "\" of record " + std::to_string(index_) + " holds no number");
    }
  }
  std::size_t lead = digits.find_first_not_of('0');
  digits.erase(0, lead == std::string::npos ? digits.size() : lead);
  if (digits.empty()) digits = "0";
  d.digits = digits;
  d.scale = scale;
  if (d.digits == "0") d.negative = false;
  return Value(d);
}

Value TableReader::decodeDate(const FieldDef& f, const std::string& t) const {
  if (t.empty()) return Value();
  auto noDate = [&] {
    return CorruptTable("field \"" + f.name + "\" of record " + std::to_string(index_) + " holds no date");
  };
  bool digits = t.size() == 8 && t.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) throw noDate();
  auto num = [&](std::size_t at, std::size_t n) {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (t[i] - '0');
    return v;
  };
  int y = num(0, 4), m = num(4, 2), d = num(6, 2);
  // Zeros stand for no date, as blanks do; any other day the calendar lacks is damage.
  if (y == 0 && m == 0 && d == 0) return Value();
  if (!isValidDate(y, m, d)) throw noDate();
  return Value(DateTime{oleDateFromJulian(julianDayFromCivil(y, m, d), 0)});
}

std::string TableReader::readMemo(std::uint32_t block) {
  std::uint8_t head[8];
  std::uint64_t at = static_cast<std::uint64_t>(block) * blockSize_;
  if (at < kMemoHeaderSize || fpt_->readAt(at, head, 8) != 8)
    throw CorruptTable("memo block " + std::to_string(block) + " lies outside the memo file");
  std::uint32_t length = getBe32(head + 4);
  if (at + 8 + length > fpt_->size())
    throw CorruptTable("memo block " + std::to_string(block) + " runs past the end of the memo file");
  std::string out(length, '\0');
  fpt_->readAt(at + 8, out.data(), length);
  return out;
}

}  // namespace tw::vfp
