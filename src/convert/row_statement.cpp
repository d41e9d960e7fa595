#include "convert/row_statement.h"

#include <cmath>

#include "common/utf8.h"
#include "common/value_helpers.h"
#include "convert/ado_type_name.h"

namespace tw {

namespace {

void writeNull(std::string& statement) {
  std::size_t n = statement.size();
  if (n >= 2 && statement[n - 2] == ',' && statement[n - 1] == ' ') statement.pop_back();
  statement += "NULL, ";
}

// Doubles quotes and removes line breaks (CR LF pairs, then lone LF, then lone CR: all of
// them go, so the order does not change the result).
std::string escapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\'') out += "''";
    else if (c != '\r' && c != '\n') out += c;
  }
  return out;
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
bool inAccessRange(const DateTime& date) { return date.days >= -657434.0 && date.days < 2958466.0; }

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

std::string RenderFieldValue(const Value& value, const Locale& locale) {
  static const Value kEmptyText{std::string()};
  std::string text = locale.displayText(NullToDefault(value, kEmptyText));
  text.resize(Utf8PrefixBytes(text, kMaxValueChars));
  return text;
}

void FormatFieldValue(std::string& statement, std::string_view rendered, bool numeric,
                      bool tableHasNumeric, const Locale& locale) {
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
  std::string text = escapeText(rendered);
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

std::string BuildInsertStatement(std::string_view tableName,
                                 const std::vector<data::FieldInfo>& fields,
                                 const std::vector<Value>& values,
                                 const NumericFieldList& numericFields, const Locale& locale,
                                 const std::function<void()>& onField) {
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
    if (tableHasNumeric && position < numericFields.size() &&
        numericFields[position] == static_cast<int>(i)) {
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
    FormatFieldValue(statement, RenderFieldValue(values[i], locale), numeric, tableHasNumeric, locale);
  }
  statement.resize(statement.size() >= 2 ? statement.size() - 2 : 0);
  statement += ");";
  return statement;
}

}  // namespace tw
