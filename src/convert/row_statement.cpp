#include "convert/row_statement.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/value_helpers.h"
#include "convert/ado_type_name.h"
#include "platform/calendar.h"
#include "platform/utf8.h"

namespace tw {

namespace {

void writeNull(std::string& statement) {
  std::size_t n = statement.size();
  if (n >= 2 && statement[n - 2] == ',' && statement[n - 1] == ' ') statement.pop_back();
  statement += "NULL, ";
}

// Control characters and DEL: a FoxPro string literal cannot carry them (a line break
// would end the statement's line), so they are written as CHR(n).
bool needsChr(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Doubles quotes; sets `chr` when the text holds a character that needs CHR().
std::string escapeText(std::string_view text, bool& chr) {
  std::string out;
  out.reserve(text.size() + 8);
  chr = false;
  for (char c : text) {
    if (c == '\'') out += "''";
    else out += c;
    if (needsChr(c)) chr = true;
  }
  return out;
}

// Appends the escaped text as quoted pieces and CHR(n) joined by "+":
// 'ab'+CHR(13)+CHR(10)+'cd'.
void appendWithChr(std::string& statement, std::string_view escaped) {
  bool first = true;
  std::size_t i = 0;
  while (i < escaped.size()) {
    if (!first) statement += '+';
    first = false;
    if (needsChr(escaped[i])) {
      statement += "CHR(";
      statement += std::to_string(static_cast<unsigned char>(escaped[i]));
      statement += ')';
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < escaped.size() && !needsChr(escaped[end])) ++end;
    statement += '\'';
    statement.append(escaped.data() + i, end - i);
    statement += '\'';
    i = end;
  }
}

// The bytes of the longest prefix of `text` that a C column of 254 bytes holds in the
// code page.
std::size_t columnBytes(std::string_view text, const CodePage& codePage) {
  return PrefixFittingBytes(text, kMaxValueChars, codePage);
}

// Writes a number that reads as one in the locale with a decimal point: every "," becomes
// ".", and so does the locale's own separator where it is neither (Arabic locales write
// U+066B), which the target would otherwise refuse.
void useDecimalPoints(std::string& s, const Locale& locale) {
  for (char& c : s)
    if (c == ',') c = '.';
  const std::string& separator = locale.decimalSeparatorText();
  if (separator.size() <= 1 || s.find(separator) == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    if (s.compare(i, separator.size(), separator) == 0) {
      out += '.';
      i += separator.size();
    } else {
      out += s[i++];
    }
  }
  s = std::move(out);
}

// Access stores dates from the year 100 to 9999; only those render as texts the text
// rules recognise.
bool inAccessRange(const DateTime& date) {
  return date.days >= static_cast<double>(kOleFirstDay) && date.days < static_cast<double>(kOleDaysEnd);
}

// The item a date/time value gets in a text field: its display text names a time of day
// when it is not midnight, or when the date part is zero (only the time shows).
void appendDateItem(std::string& statement, const DateTime& date, const Locale& locale) {
  const DateTimeParts p = splitDateTime(date.days);
  const bool timeOnly = std::trunc(date.days) == 0.0 && p.year == 1899 && p.month == 12 && p.day == 30;
  const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
  statement += '\'';
  statement += locale.formatDate(p, timeOnly || !midnight);
  statement += "', ";
}

}  // namespace

std::size_t PrefixFittingBytes(std::string_view text, std::size_t limit, const CodePage& codePage) {
  std::size_t used = 0, pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    DecodeUtf8(text, pos);
    used += codePage.encodedSize(text.substr(start, pos - start));
    if (used > limit) return start;
  }
  return text.size();
}

void AppendTextLiteral(std::string& statement, std::string_view text) {
  if (text.empty()) {
    statement += "''";
    return;
  }
  bool chr = false;
  appendWithChr(statement, escapeText(text, chr));
}

bool DoubleHoldsDecimal(const Decimal& value) {
  // The significant digits, without the zeros on either side.
  const std::string& d = value.digits;
  const std::size_t first = d.find_first_not_of('0');
  if (first == std::string::npos) return true;
  const std::size_t last = d.find_last_not_of('0');
  const std::string significant = d.substr(first, last - first + 1);
  const long exponent = static_cast<long>(d.size() - first) - 1 - value.scale;
  // Every decimal of up to 15 significant digits well inside a double's range survives the
  // round trip through it.
  if (significant.size() <= 15 && exponent > -300 && exponent < 300) return true;
  const std::string text = significant.substr(0, 1) + "." + significant.substr(1) + "e" + std::to_string(exponent);
  const double nearest = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(nearest)) return false;
  // The double written with as many significant digits must give them back.
  std::vector<char> buffer(significant.size() + 32);
  std::snprintf(buffer.data(), buffer.size(), "%.*e", static_cast<int>(significant.size()) - 1, nearest);
  std::string back(buffer.data());
  back = back.substr(0, back.find('e'));
  back.erase(1, 1);  // the point
  return back == significant;
}

std::string RenderFieldValue(const Value& value, const Locale& locale, std::size_t maxChars) {
  static const Value kEmptyText{std::string()};
  std::string text = locale.displayText(NullToDefault(value, kEmptyText));
  // A text of no more bytes than the limit has no more characters either.
  if (text.size() > maxChars) text.resize(Utf8PrefixBytes(text, maxChars));
  return text;
}

void FormatFieldValue(std::string& statement, std::string_view rendered, bool numeric, bool tableHasNumeric,
                      const Locale& locale) {
  if (rendered.empty()) {
    writeNull(statement);
    return;
  }
  if (numeric) {
    if (rendered == "False") {
      statement += "0, ";
    } else if (rendered == "True") {
      statement += "1, ";
    } else {
      std::string text(rendered);
      if (locale.readsAsNumber(text)) useDecimalPoints(text, locale);
      statement += text;
      statement += ", ";
    }
    return;
  }
  bool chr = false;
  std::string text = escapeText(rendered, chr);
  if (chr) {
    // Neither a number nor a date: written as it is, piece by piece.
    appendWithChr(statement, text);
    statement += ", ";
    return;
  }
  if (!tableHasNumeric && locale.readsAsNumber(text)) useDecimalPoints(text, locale);
  statement += '\'';
  if (auto date = locale.parseDateOrTime(text)) {
    bool withTime = text.find(':') != std::string::npos;
    statement += locale.formatDate(*date, withTime);
  } else {
    statement += text;
  }
  statement += "', ";
}

std::string BuildInsertStatement(std::string_view tableName, const std::vector<data::FieldInfo>& fields,
                                 const std::vector<Value>& values, const NumericFieldList& numericFields,
                                 const Locale& locale, const std::function<void()>& onField, const CodePage& codePage,
                                 ValueLosses* losses) {
  std::string statement;
  statement.reserve(64 + tableName.size() + fields.size() * 16);
  statement += "INSERT INTO [";
  statement += tableName;
  statement += "] VALUES (";
  const bool tableHasNumeric = !numericFields.empty();
  std::size_t position = 0;
  for (std::size_t i = 0; i < fields.size() && i < values.size(); ++i) {
    if (AdoTypeNameLower(fields[i].type) == "adlongvarbinary") continue;
    if (onField) onField();
    bool numeric = false;
    if (tableHasNumeric && position < numericFields.size() && numericFields[position] == static_cast<int>(i)) {
      numeric = true;
      ++position;
    }
    if (const DateTime* date = values[i].get<DateTime>(); date && !numeric && inAccessRange(*date)) {
      // A date renders as a text the text rules always recognise and write again in the
      // month-first pattern; writing that pattern straight away gives the same item and
      // spares the round trip through text, the costliest step of a row.
      appendDateItem(statement, *date, locale);
      continue;
    }
    if (const ExtendedDateTime* x = values[i].get<ExtendedDateTime>(); x && !numeric) {
      statement += '\'';
      statement += locale.formatExtendedDate(*x);
      statement += "', ";
      continue;
    }
    const std::int16_t type = fields[i].type;
    const bool memo = !numeric && (type == ado::kLongVarWChar || type == ado::kLongVarChar);
    if (losses && numeric)
      if (const Decimal* d = values[i].get<Decimal>();
          d && DecimalGoesToDouble(AdoTypeNameLower(type), fields[i].precision) && !DoubleHoldsDecimal(*d))
        ++losses->inexact;
    std::string rendered = RenderFieldValue(values[i], locale, SIZE_MAX);
    if (!memo && !numeric) {
      std::size_t keep =
          rendered.size() > kMaxValueChars ? Utf8PrefixBytes(rendered, kMaxValueChars) : rendered.size();
      if (codePage.doubleByte()) keep = std::min(keep, columnBytes(rendered.substr(0, keep), codePage));
      if (keep < rendered.size()) {
        rendered.resize(keep);
        if (losses) ++losses->cut;
      }
    } else if (!memo && rendered.size() > kMaxValueChars) {
      rendered.resize(Utf8PrefixBytes(rendered, kMaxValueChars));
    }
    FormatFieldValue(statement, rendered, numeric, tableHasNumeric, locale);
  }
  statement.resize(statement.size() >= 2 ? statement.size() - 2 : 0);
  statement += ");";
  return statement;
}

}  // namespace tw
