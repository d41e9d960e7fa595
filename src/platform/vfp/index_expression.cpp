#include "platform/vfp/index_expression.h"

#include <charconv>
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

// A numeric field's value as decimal text without an exponent ("-12.50"); a blank N is 0.
std::string decimalText(const FieldDef& f, const std::uint8_t* v) {
  switch (f.type) {
    case 'I': return std::to_string(static_cast<std::int32_t>(getLe32(v)));
    case 'Y': {
      std::int64_t units = 0;
      std::memcpy(&units, v, 8);
      const bool negative = units < 0;
      std::string digits = std::to_string(negative ? -static_cast<unsigned long long>(units) : units);
      if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
      digits.insert(digits.size() - 4, ".");
      return (negative ? "-" : "") + digits;
    }
    default: break;
  }
  double d = 0;
  if (f.type == 'B') {
    std::memcpy(&d, v, 8);
  } else {
    std::string text(reinterpret_cast<const char*>(v), f.width);
    d = std::strtod(text.c_str(), nullptr);  // blanks read as 0
  }
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

double numberOf(const FieldDef& f, const std::uint8_t* v) { return std::strtod(decimalText(f, v).c_str(), nullptr); }

// `text` rounded half away from zero to `decimals` places.
std::string roundDecimal(const std::string& text, int decimals) {
  const bool negative = !text.empty() && text[0] == '-';
  std::string digits = text.substr(negative ? 1 : 0);
  std::size_t point = digits.find('.');
  std::string whole = digits.substr(0, point), fraction = point == std::string::npos ? "" : digits.substr(point + 1);
  if (whole.empty()) whole = "0";
  const bool up = static_cast<int>(fraction.size()) > decimals && fraction[decimals] >= '5';
  fraction.resize(static_cast<std::size_t>(decimals), '0');
  std::string all = whole + fraction;
  for (std::size_t i = all.size(); up && i-- > 0;) {
    if (all[i] == '9') {
      all[i] = '0';
      if (i == 0) all.insert(0, "1");
      continue;
    }
    ++all[i];
    break;
  }
  std::string out = all.substr(0, all.size() - fraction.size());
  if (decimals > 0) out += "." + all.substr(all.size() - fraction.size());
  if (negative && out.find_first_not_of("0.") != std::string::npos) out.insert(0, "-");
  return out;
}

// STR(value, width, decimals): right-aligned, with fewer decimals when they do not fit, and
// asterisks when the whole number does not.
void putStr(const std::string& text, int width, int decimals, std::uint8_t* out) {
  for (int d = decimals; d >= 0; --d) {
    const std::string s = roundDecimal(text, d);
    if (static_cast<int>(s.size()) <= width) {
      std::memset(out, ' ', static_cast<std::size_t>(width) - s.size());
      std::memcpy(out + width - s.size(), s.data(), s.size());
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
      case Kind::Str: putStr(decimalText(*p.field, v), p.width, p.decimals, out); break;
      case Kind::Dtos: putDateText(*p.field, v, false, out); break;
      case Kind::Ttoc: putDateText(*p.field, v, true, out); break;
      case Kind::Bintoc: putSortableInteger(static_cast<std::int32_t>(getLe32(v)), out); break;
    }
    out += p.width;
  }
}

}  // namespace tw::vfp
