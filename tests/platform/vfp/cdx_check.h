// An independent check of a table's structural index (.cdx) against its .dbf, written from
// the published structure of compound indexes (the same reading of nodes as dcx_check.h)
// and from the key forms Visual FoxPro's files show, not from the engine's code:
//   - C: the field's bytes; I: 4 bytes big-endian with the sign bit inverted;
//   - N, F, B, Y (as the number), D (its Julian day) and T (Julian day and fraction): the
//     double in 8 big-endian bytes, the sign bit set for positive numbers and every bit
//     inverted for negative ones; L: "T" or "F";
//   - composite character keys: C fields, STR(f, w, d), DTOS(f), TTOC(f, 1), BINTOC(f);
//   - a key over fields that accept nulls starts with 0x80, or 0x00 for a null (the rest
//     then its fill byte); FOR !ISNULL(f) [AND ...] leaves the nulls out.
// For every tag the check walks the keys in order, and every record of the table that the
// FOR filter keeps must appear exactly once with the key the check computes from its bytes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "dcx_check.h"

namespace tw::vfp::testing {

namespace cdx_detail {

using dcx_detail::le16;
using dcx_detail::le32;

struct Field {
  std::string name;  // upper case
  char type;
  std::size_t offset, width;
  int nullBit = -1;
};

struct Table {
  std::vector<Field> fields;
  std::vector<const std::uint8_t*> records;
  std::size_t nullFlags = 0;  // offset of _NullFlags
};

inline Table readTable(const std::vector<std::uint8_t>& dbf, const std::vector<std::string>& longNames) {
  Table t;
  const std::uint32_t count = le32(dbf, 4), header = le16(dbf, 8), length = le16(dbf, 10);
  int bit = 0;
  for (std::size_t d = 32; d + 32 <= header && dbf[d] != 0x0D; d += 32) {
    Field f{dcx_detail::upperCase(std::string(reinterpret_cast<const char*>(&dbf[d]), 11).c_str()),
            static_cast<char>(dbf[d + 11]), le32(dbf, d + 12), dbf[d + 16]};
    if (f.type == '0') {
      t.nullFlags = f.offset;
      continue;
    }
    if (f.type == 'V' || f.type == 'Q') ++bit;  // the varlength bit comes first
    if (dbf[d + 18] & 0x02) f.nullBit = bit++;
    if (t.fields.size() < longNames.size() && !longNames[t.fields.size()].empty())
      f.name = dcx_detail::upperCase(longNames[t.fields.size()]);
    t.fields.push_back(f);
  }
  for (std::uint32_t r = 0; r < count && header + (r + 1) * length <= dbf.size(); ++r)
    t.records.push_back(&dbf[header + r * length]);
  return t;
}

inline bool isNull(const Table& t, const Field& f, const std::uint8_t* rec) {
  return f.nullBit >= 0 && (rec[t.nullFlags + f.nullBit / 8] >> (f.nullBit % 8)) & 1;
}

inline std::string sortable(double v) {
  std::uint64_t bits;
  if (v == 0) v = 0;
  std::memcpy(&bits, &v, 8);
  bits = (bits & (1ull << 63)) ? ~bits : bits | (1ull << 63);
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bits >> (56 - 8 * i));
  return out;
}

inline std::string bintoc(std::int32_t v) {
  const std::uint32_t u = static_cast<std::uint32_t>(v) ^ 0x80000000u;
  return {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8), static_cast<char>(u)};
}

inline double numberOf(const Field& f, const std::uint8_t* v) {
  std::int64_t i64;
  double d;
  switch (f.type) {
    case 'I':
      return static_cast<std::int32_t>(v[0] | v[1] << 8 | v[2] << 16 | static_cast<std::uint32_t>(v[3]) << 24);
    case 'Y': std::memcpy(&i64, v, 8); return static_cast<double>(i64) / 10000;
    case 'B': std::memcpy(&d, v, 8); return d;
    default: return std::atof(std::string(reinterpret_cast<const char*>(v), f.width).c_str());
  }
}

// The day count of the Julian calendar's noon-based numbering for a Gregorian date.
inline long julian(long y, long m, long d) {
  const long a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// yyyymmdd (and hhmmss when `time`) of a D or T field; blanks when it is blank.
inline std::string dateText(const Field& f, const std::uint8_t* v, bool time) {
  std::string blank(time ? 14 : 8, ' ');
  if (f.type == 'D') {
    std::string s(reinterpret_cast<const char*>(v), 8);
    return s == "        " ? blank : time ? s + "000000" : s;
  }
  const long day = static_cast<long>(le32(std::vector<std::uint8_t>(v, v + 8), 0));
  const long ms = static_cast<long>(le32(std::vector<std::uint8_t>(v, v + 8), 4));
  if (day == 0) return blank;
  // Back from the day number (Fliegel and Van Flandern).
  long l = day + 68569, n = 4 * l / 146097;
  l -= (146097 * n + 3) / 4;
  long i = 4000 * (l + 1) / 1461001;
  l = l - 1461 * i / 4 + 31;
  long j = 80 * l / 2447, dd = l - 2447 * j / 80;
  l = j / 11;
  long mm = j + 2 - 12 * l, yy = 100 * (n - 49) + i + l;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04ld%02ld%02ld%02ld%02ld%02ld", yy, mm, dd, ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60);
  return std::string(buf, time ? 14 : 8);
}

inline std::string fieldKey(const Field& f, const std::uint8_t* v) {
  switch (f.type) {
    case 'C': return std::string(reinterpret_cast<const char*>(v), f.width);
    case 'I': return bintoc(static_cast<std::int32_t>(numberOf(f, v)));
    case 'L': return std::string(1, v[0] == 'T' || v[0] == 'Y' ? 'T' : 'F');
    case 'D':
    case 'T': {
      const std::string s = dateText(f, v, true);
      if (s[0] == ' ') return sortable(0);
      auto num = [&](int at, int n) { return std::stol(s.substr(at, n)); };
      return sortable(
          static_cast<double>(julian(num(0, 4), num(4, 2), num(6, 2))) +
          (f.type == 'T' ? static_cast<double>(le32(std::vector<std::uint8_t>(v, v + 8), 4)) / 86400000.0 : 0.0));
    }
    default: return sortable(numberOf(f, v));
  }
}

inline std::string strOf(double v, int width, int decimals) {
  for (int d = decimals; d >= 0; --d) {
    const long long scaled = std::llround(v * std::pow(10.0, d));
    std::string s = std::to_string(std::llabs(scaled));
    if (d > 0) {
      s.insert(0, std::max<int>(0, d + 1 - static_cast<int>(s.size())), '0');
      s.insert(s.size() - d, ".");
    }
    if (scaled < 0) s.insert(0, "-");
    if (static_cast<int>(s.size()) <= width) return std::string(width - s.size(), ' ') + s;
  }
  return std::string(width, '*');
}

// One part of a key expression: a field, or FN(field[, a[, b]]).
struct Part {
  std::string function;  // upper case, empty for a plain field
  const Field* field;
  std::vector<int> args;
};

// The parts of `expression` joined by "+", or of a FOR filter joined by AND; null fields
// when a name is unknown.
inline std::vector<Part> parse(const Table& t, std::string text, bool filter) {
  std::vector<Part> parts;
  std::string up = dcx_detail::upperCase(text);
  for (const std::string& sep : {std::string(".AND."), std::string(" AND ")}) {
    for (std::size_t at; filter && (at = up.find(sep)) != std::string::npos;) up.replace(at, sep.size(), "+");
  }
  std::size_t pos = 0;
  while (pos <= up.size()) {
    std::size_t end = up.find('+', pos);
    std::string piece = up.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    piece.erase(std::remove(piece.begin(), piece.end(), ' '), piece.end());
    for (const char* neg : {".NOT.", "!", "NOT"})
      if (piece.rfind(neg, 0) == 0) piece = piece.substr(std::strlen(neg));
    Part p{"", nullptr, {}};
    std::size_t open = piece.find('(');
    std::string name = piece;
    if (open != std::string::npos) {
      p.function = piece.substr(0, open);
      std::string inner = piece.substr(open + 1, piece.size() - open - 2);
      std::size_t comma = inner.find(',');
      name = inner.substr(0, comma);
      while (comma != std::string::npos) {
        std::size_t next = inner.find(',', comma + 1);
        p.args.push_back(std::stoi(inner.substr(comma + 1, next - comma - 1)));
        comma = next;
      }
    }
    for (const auto& f : t.fields)
      if (f.name == name) p.field = &f;
    parts.push_back(p);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return parts;
}

// Whether the keys of `parts` are text (blank-filled) rather than a single non-C field.
inline bool isCharacter(const std::vector<Part>& parts) {
  return !(parts.size() == 1 && parts[0].function.empty() && parts[0].field->type != 'C');
}

// The key of `rec` under `parts`.
inline std::string keyOf(const Table& t, const std::vector<Part>& parts, const std::uint8_t* rec) {
  std::string key;
  bool nullable = false, null = false;
  const bool character = isCharacter(parts);
  for (const Part& p : parts) {
    nullable = nullable || p.field->nullBit >= 0;
    null = null || isNull(t, *p.field, rec);
    const std::uint8_t* v = rec + p.field->offset;
    if (p.function.empty())
      key += character ? std::string(reinterpret_cast<const char*>(v), p.field->width) : fieldKey(*p.field, v);
    else if (p.function == "STR")
      key += strOf(numberOf(*p.field, v), p.args.empty() ? 10 : p.args[0], p.args.size() < 2 ? 0 : p.args[1]);
    else if (p.function == "DTOS") key += dateText(*p.field, v, false);
    else if (p.function == "TTOC") key += dateText(*p.field, v, true);
    else if (p.function == "BINTOC") key += bintoc(static_cast<std::int32_t>(numberOf(*p.field, v)));
  }
  if (null) key = std::string(1, '\0') + std::string(key.size(), character ? ' ' : '\0');
  else if (nullable) key.insert(0, 1, '\x80');
  return key;
}

}  // namespace cdx_detail

// The faults of `cdx` as the structural index of the table `dbf` ("" when none); `longNames`
// are the table's column names in a database container. `order`, when given, gets each
// tag's records in the tag's order (a descending tag read backwards).
inline std::string checkTableIndex(const std::vector<std::uint8_t>& cdx, const std::vector<std::uint8_t>& dbf,
                                   const std::vector<std::string>& longNames = {},
                                   std::map<std::string, std::vector<std::uint32_t>>* order = nullptr) {
  using namespace cdx_detail;
  std::string out;
  if (cdx.size() < 1536 || cdx.size() % 512 != 0)
    return "the file is " + std::to_string(cdx.size()) + " bytes long\n";
  if (!(dbf[28] & 0x01)) out += "the table's header lacks the structural-index flag\n";
  const Table table = readTable(dbf, longNames);
  for (const auto& entry : dcx_detail::readTag(cdx, 0, "tag list", out)) {
    const std::string tag = entry.key.substr(0, entry.key.find_last_not_of(std::string(" \0", 2)) + 1);
    std::string keyExpr, forExpr;
    std::string ignored;
    dcx_detail::readTag(cdx, entry.record, tag, ignored, &keyExpr, &forExpr);  // the expressions
    const std::vector<Part> key = parse(table, keyExpr, false);
    const std::vector<Part> filter = forExpr.empty() ? std::vector<Part>{} : parse(table, forExpr, true);
    bool known = true;
    for (const auto* parts : {&key, &filter})
      for (const Part& p : *parts) known = known && p.field;
    if (!known) {
      out += tag + ": cannot read the expressions \"" + keyExpr + "\" FOR \"" + forExpr + "\"\n";
      continue;
    }
    std::set<dcx_detail::Entry> want;
    for (std::uint32_t r = 0; r < table.records.size(); ++r) {
      bool kept = true;
      for (const Part& p : filter) kept = kept && !isNull(table, *p.field, table.records[r]);
      if (kept) want.insert({keyOf(table, key, table.records[r]), r + 1});
    }
    std::vector<dcx_detail::Entry> got =
        dcx_detail::readTag(cdx, entry.record, tag, out, nullptr, nullptr, isCharacter(key) ? ' ' : '\0');
    if (got != std::vector<dcx_detail::Entry>(want.begin(), want.end())) {
      out += tag + ": holds " + std::to_string(got.size()) + " keys, the table gives " + std::to_string(want.size());
      for (std::size_t i = 0; i < got.size() && i < want.size(); ++i)
        if (got[i].key != std::next(want.begin(), static_cast<long>(i))->key) {
          out += "; the first that differs is entry " + std::to_string(i) + " (record " +
                 std::to_string(got[i].record) + ")";
          break;
        }
      out += "\n";
    }
    if (order) {
      auto& records = (*order)[tag];
      for (const auto& e : got) records.push_back(e.record);
      if (le16(cdx, entry.record + 502)) std::reverse(records.begin(), records.end());
    }
  }
  return out;
}

}  // namespace tw::vfp::testing
