#include "platform/vfp/index_expression.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/calendar.h"
#include "platform/case_rules.h"
#include "platform/vfp/compound_index.h"

namespace tw::vfp {

namespace {

// ------------------------------------------------------------------------------------
// Reading the expressions

struct Scanner {
  std::string_view s;
  std::size_t p = 0;

  void skip() {
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
  }
  bool atEnd() {
    skip();
    return p >= s.size();
  }
  bool eat(char c) {
    skip();
    if (p < s.size() && s[p] == c) {
      ++p;
      return true;
    }
    return false;
  }
  static bool wordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  }
  std::string_view word() {
    skip();
    const std::size_t start = p;
    while (p < s.size() && wordChar(s[p])) ++p;
    return s.substr(start, p - start);
  }
  // Consumes `w` (upper case, dots included) when it stands next, in any case.
  bool keyword(std::string_view w) {
    skip();
    if (s.size() - p < w.size()) return false;
    for (std::size_t i = 0; i < w.size(); ++i)
      if (asciiUpper(s[p + i]) != w[i]) return false;
    if (w.back() != '.' && p + w.size() < s.size() && wordChar(s[p + w.size()])) return false;
    p += w.size();
    return true;
  }
  int number() {
    skip();
    int v = 0, digits = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9' && digits < 4) {
      v = v * 10 + (s[p++] - '0');
      ++digits;
    }
    if (digits == 0) throw UnsupportedExpression("a number is missing");
    return v;
  }
};

const FieldDef* findField(std::string_view name, const TableLayout& layout, const std::vector<std::string>& names) {
  if (name.empty()) throw UnsupportedExpression("a field name is missing");
  const std::string folded = foldCase(name);
  for (std::size_t i = 0; i < layout.fields.size(); ++i)
    if ((i < names.size() && foldCase(names[i]) == folded) || asciiLower(layout.fields[i].name) == asciiLower(name))
      return &layout.fields[i];
  throw UnsupportedExpression("there is no field \"" + std::string(name) + "\"");
}

bool isNumeric(char type) { return type == 'N' || type == 'F' || type == 'I' || type == 'B' || type == 'Y'; }

// One part of a key: a field, or one of the functions that turn a field into text.
KeyExpression::Part readPart(Scanner& sc, const TableLayout& layout, const std::vector<std::string>& names) {
  KeyExpression::Part part;
  const std::string_view name = sc.word();
  if (!sc.eat('(')) {
    part.field = findField(name, layout, names);
    return part;
  }
  const std::string function = asciiLower(name);
  part.field = findField(sc.word(), layout, names);
  const char type = part.field->type;
  if (function == "str" && isNumeric(type)) {
    part.kind = KeyExpression::Kind::Str;
    part.width = sc.eat(',') ? sc.number() : 10;
    part.decimals = sc.eat(',') ? sc.number() : 0;
    if (part.width < 1 || part.width > 255 || part.decimals > 18)
      throw UnsupportedExpression("STR() has a width or decimals out of range");
  } else if (function == "dtos" && (type == 'D' || type == 'T')) {
    part.kind = KeyExpression::Kind::Dtos;
    part.width = 8;
  } else if (function == "ttoc" && (type == 'T' || type == 'D') && sc.eat(',') && sc.number() == 1) {
    part.kind = KeyExpression::Kind::Ttoc;
    part.width = 14;
  } else if (function == "bintoc" && type == 'I') {
    part.kind = KeyExpression::Kind::Bintoc;
    part.width = 4;
    if (sc.eat(',') && sc.number() != 4) throw UnsupportedExpression("BINTOC() takes only the size 4 here");
  } else {
    throw UnsupportedExpression(std::string(name) + "() of a field of type " + type +
                                " is not a key part it evaluates");
  }
  if (!sc.eat(')')) throw UnsupportedExpression("a \")\" is missing");
  return part;
}

// The key width and fill byte of a key that is one field of `type`; 0 when no key takes it.
int singleFieldWidth(const FieldDef& f, char& fill) {
  fill = '\0';
  switch (f.type) {
    case 'C': fill = ' '; return f.width;
    case 'N':
    case 'F':
    case 'B':
    case 'Y':
    case 'D':
    case 'T': return 8;
    case 'I': return 4;
    case 'L': return 1;
    default: return 0;
  }
}

// ------------------------------------------------------------------------------------
// Values of a record

bool isNull(const TableLayout& layout, const FieldDef& f, const std::uint8_t* rec) {
  if (!f.nullable || f.nullBit < 0) return false;
  return (rec[layout.nullFlagsOffset + static_cast<std::size_t>(f.nullBit / 8)] >> (f.nullBit % 8)) & 1;
}

// Room for any number as decimal text: a double's 309 integer digits and then some.
using NumberText = std::array<char, 400>;

// A numeric field's value as decimal text without an exponent ("-12.50"), in `buf` or in
// the record itself; a blank N is 0.
std::string_view decimalText(const FieldDef& f, const std::uint8_t* v, NumberText& buf) {
  double d = 0;
  switch (f.type) {
    case 'I': {
      const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), static_cast<std::int32_t>(getLe32(v)));
      return {buf.data(), static_cast<std::size_t>(r.ptr - buf.data())};
    }
    case 'Y': {
      std::int64_t units = 0;
      std::memcpy(&units, v, 8);
      const std::uint64_t magnitude = units < 0 ? 0 - static_cast<std::uint64_t>(units) : units;
      char* p = buf.data() + (units < 0 ? 1 : 0);
      buf[0] = '-';
      const auto r = std::to_chars(p, p + 30, magnitude / 10000);
      *r.ptr = '.';
      std::snprintf(r.ptr + 1, 5, "%04u", static_cast<unsigned>(magnitude % 10000));
      return {buf.data(), static_cast<std::size_t>(r.ptr + 5 - buf.data())};
    }
    case 'B': std::memcpy(&d, v, 8); break;
    default: {
      // The digits as stored, when they are plain decimal digits ("  -12.50").
      const std::string_view text(reinterpret_cast<const char*>(v), f.width);
      const std::size_t start = text.find_first_not_of(' ');
      if (start != std::string_view::npos &&
          text.find_first_not_of("-.0123456789", start) == std::string_view::npos &&
          text.find_first_of("0123456789", start) != std::string_view::npos &&
          text.find('-', start + 1) == std::string_view::npos)
        return text.substr(start);
      d = std::strtod(std::string(text).c_str(), nullptr);  // blanks read as 0
    }
  }
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), d, std::chars_format::fixed);
  if (r.ec != std::errc()) return "0";
  return {buf.data(), static_cast<std::size_t>(r.ptr - buf.data())};
}

double numberOf(const FieldDef& f, const std::uint8_t* v) {
  NumberText buf;
  const std::string_view text = decimalText(f, v, buf);
  double d = 0;
  std::from_chars(text.data(), text.data() + text.size(), d);
  return d;
}

// `text` rounded half away from zero to `decimals` places, into `out`; returns its length.
std::size_t roundDecimal(std::string_view text, int decimals, NumberText& out) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t point = std::min(text.find('.'), text.size());
  const std::string_view fraction = point < text.size() ? text.substr(point + 1) : std::string_view();
  // The digits of the result without its point, from all[1] (all[0] takes a carry).
  std::array<char, 512> all;
  std::size_t n = 1;
  all[0] = '0';
  if (point == 0) all[n++] = '0';
  for (std::size_t i = 0; i < point; ++i) all[n++] = text[i];
  for (int i = 0; i < decimals; ++i) all[n++] = i < static_cast<int>(fraction.size()) ? fraction[i] : '0';
  if (static_cast<int>(fraction.size()) > decimals && fraction[decimals] >= '5')
    for (std::size_t i = n; i-- > 0;) {
      if (all[i] != '9') {
        ++all[i];
        break;
      }
      all[i] = '0';
    }
  const std::size_t first = all[0] == '0' ? 1 : 0, digitsBeforePoint = n - first - decimals;
  const bool zero = std::all_of(all.begin(), all.begin() + n, [](char c) { return c == '0'; });
  std::size_t length = 0;
  if (negative && !zero) out[length++] = '-';
  for (std::size_t i = 0; i < digitsBeforePoint; ++i) out[length++] = all[first + i];
  if (decimals > 0) out[length++] = '.';
  for (int i = 0; i < decimals; ++i) out[length++] = all[first + digitsBeforePoint + i];
  return length;
}

// STR(value, width, decimals): right-aligned, with fewer decimals when they do not fit, and
// asterisks when the whole number does not.
void putStr(std::string_view text, int width, int decimals, std::uint8_t* out) {
  NumberText s;
  for (int d = decimals; d >= 0; --d) {
    const std::size_t length = roundDecimal(text, d, s);
    if (static_cast<int>(length) <= width) {
      std::memset(out, ' ', static_cast<std::size_t>(width) - length);
      std::memcpy(out + width - length, s.data(), length);
      return;
    }
  }
  std::memset(out, '*', static_cast<std::size_t>(width));
}

// A D or T field as a date and time; false when it is blank.
bool dateTimeOf(const FieldDef& f, const std::uint8_t* v, CivilDate& date, std::int64_t& milliseconds) {
  milliseconds = 0;
  if (f.type == 'T') {
    const std::int64_t julian = static_cast<std::int32_t>(getLe32(v));
    milliseconds = static_cast<std::int32_t>(getLe32(v + 4));
    if (julian == 0) return false;
    date = civilFromDays(julian - kJulianDayOf1970);
    return true;
  }
  int n[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  for (int i = 0, at = 0; i < 3; at += widths[i++])
    for (int k = 0; k < widths[i]; ++k) {
      const char c = static_cast<char>(v[at + k]);
      if (c < '0' || c > '9') return false;
      n[i] = n[i] * 10 + (c - '0');
    }
  if (!isValidDate(n[0], n[1], n[2])) return false;
  date = {n[0], n[1], n[2]};
  return true;
}

void putDigits(std::uint8_t*& out, std::int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<std::uint8_t>('0' + value % 10);
    value /= 10;
  }
  out += width;
}

// DTOS() (8 bytes) or TTOC(, 1) (14 bytes): blanks for a blank value.
void putDateText(const FieldDef& f, const std::uint8_t* v, bool withTime, std::uint8_t* out) {
  CivilDate date;
  std::int64_t ms = 0;
  if (!dateTimeOf(f, v, date, ms)) {
    std::memset(out, ' ', withTime ? 14 : 8);
    return;
  }
  putDigits(out, date.year, 4);
  putDigits(out, date.month, 2);
  putDigits(out, date.day, 2);
  if (!withTime) return;
  const std::int64_t seconds = ms / 1000;
  putDigits(out, seconds / 3600, 2);
  putDigits(out, seconds / 60 % 60, 2);
  putDigits(out, seconds % 60, 2);
}

// A key that is one field, in its type's sortable form.
void putFieldKey(const FieldDef& f, const std::uint8_t* v, std::uint8_t* out) {
  CivilDate date;
  std::int64_t ms = 0;
  switch (f.type) {
    case 'C': std::memcpy(out, v, f.width); return;
    case 'I': putSortableInteger(static_cast<std::int32_t>(getLe32(v)), out); return;
    case 'L': *out = (*v == 'T' || *v == 't' || *v == 'Y' || *v == 'y') ? 'T' : 'F'; return;
    case 'D':
    case 'T': {
      double day = 0;
      if (dateTimeOf(f, v, date, ms))
        day = static_cast<double>(julianDayFromCivil(date.year, date.month, date.day)) +
              static_cast<double>(ms) / static_cast<double>(kMillisecondsPerDay);
      putSortableDouble(day, out);
      return;
    }
    default: putSortableDouble(numberOf(f, v), out); return;
  }
}

}  // namespace

KeyExpression::KeyExpression(std::string_view key, std::string_view filter, const TableLayout& layout,
                             const std::vector<std::string>& names)
    : layout_(&layout) {
  Scanner sc{key};
  do {
    parts_.push_back(readPart(sc, layout, names));
  } while (sc.eat('+'));
  if (!sc.atEnd()) throw UnsupportedExpression("it goes on after what it evaluates");
  if (parts_.size() == 1 && parts_[0].kind == Kind::Field) {
    parts_[0].width = singleFieldWidth(*parts_[0].field, fill_);
    if (parts_[0].width == 0)
      throw UnsupportedExpression(std::string("a field of type ") + parts_[0].field->type +
                                  " is not a key it evaluates");
  } else {
    for (Part& p : parts_) {
      if (p.kind != Kind::Field) continue;
      if (p.field->type != 'C')
        throw UnsupportedExpression("a field of type " + std::string(1, p.field->type) +
                                    " joined with \"+\" must be turned into text (STR, DTOS, TTOC, BINTOC)");
      p.width = p.field->width;
    }
  }
  for (const Part& p : parts_) {
    length_ += static_cast<std::size_t>(p.width);
    nullable_ = nullable_ || p.field->nullable;
  }
  if (nullable_) ++length_;

  Scanner fs{filter};
  while (!fs.atEnd()) {
    if (!notNull_.empty() && !fs.keyword(".AND.") && !fs.keyword("AND"))
      throw UnsupportedExpression("FOR parts are joined with AND");
    if (!fs.eat('!') && !fs.keyword(".NOT.") && !fs.keyword("NOT"))
      throw UnsupportedExpression("a FOR filter here is made of !ISNULL(field) parts");
    if (!fs.keyword("ISNULL") || !fs.eat('('))
      throw UnsupportedExpression("a FOR filter here is made of !ISNULL(field) parts");
    notNull_.push_back(findField(fs.word(), layout, names));
    if (!fs.eat(')')) throw UnsupportedExpression("a \")\" is missing");
  }
}

bool KeyExpression::included(const std::uint8_t* record) const {
  for (const FieldDef* f : notNull_)
    if (isNull(*layout_, *f, record)) return false;
  return true;
}

void KeyExpression::key(const std::uint8_t* record, std::uint8_t* out) const {
  if (nullable_) {
    bool null = false;
    for (const Part& p : parts_) null = null || isNull(*layout_, *p.field, record);
    *out++ = null ? 0x00 : 0x80;
    if (null) {
      std::memset(out, fill_, length_ - 1);
      return;
    }
  }
  if (parts_.size() == 1 && parts_[0].kind == Kind::Field) {
    putFieldKey(*parts_[0].field, record + parts_[0].field->offset, out);
    return;
  }
  for (const Part& p : parts_) {
    const std::uint8_t* v = record + p.field->offset;
    switch (p.kind) {
      case Kind::Field: std::memcpy(out, v, p.field->width); break;
      case Kind::Str: {
        NumberText buf;
        putStr(decimalText(*p.field, v, buf), p.width, p.decimals, out);
        break;
      }
      case Kind::Dtos: putDateText(*p.field, v, false, out); break;
      case Kind::Ttoc: putDateText(*p.field, v, true, out); break;
      case Kind::Bintoc: putSortableInteger(static_cast<std::int32_t>(getLe32(v)), out); break;
    }
    out += p.width;
  }
}

}  // namespace tw::vfp
