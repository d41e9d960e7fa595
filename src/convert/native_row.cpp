#include "convert/native_row.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "convert/row_statement.h"
#include "platform/calendar.h"
#include "platform/data_access.h"

namespace tw {

namespace {

// The fewest significant digits that read back as the same value, in plain digits where
// the exponent is small enough (2583.2092, 0.0001, -8540982000) and in E notation beyond
// (1.5E+20, 2.5E-07).
template <class Real>
std::string shortest(Real value) {
  if (!std::isfinite(value)) return {};
  char buf[64];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
  const std::size_t e = text.find('e');
  const bool negative = text.front() == '-';
  std::string digits;
  for (char c : text.substr(0, e))
    if (c >= '0' && c <= '9') digits += c;
  int exponent = 0;
  std::string_view ex = text.substr(e + 1);
  if (ex.front() == '+') ex.remove_prefix(1);
  std::from_chars(ex.data(), ex.data() + ex.size(), exponent);
  std::string out = negative ? "-" : "";
  if (exponent < -5 || exponent > 16) {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += exponent < 0 ? "E-" : "E+";
    out += std::to_string(exponent < 0 ? -exponent : exponent);
  } else if (exponent < 0) {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else if (digits.size() <= static_cast<std::size_t>(exponent) + 1) {
    out += digits + std::string(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
  } else {
    out += digits.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
           digits.substr(static_cast<std::size_t>(exponent) + 1);
  }
  return out;
}

// Exact digits with a decimal point and without trailing zeros after it.
std::string exactText(bool negative, std::string digits, int scale) {
  if (scale > 0) {
    if (static_cast<int>(digits.size()) <= scale)
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  if (digits.find_first_not_of("0") == std::string::npos) return "0";
  return negative ? "-" + digits : digits;
}

std::string currencyText(const Currency& c) {
  const unsigned long long magnitude =
      c.scaled < 0 ? 0ULL - static_cast<unsigned long long>(c.scaled) : static_cast<unsigned long long>(c.scaled);
  return exactText(c.scaled < 0, std::to_string(magnitude), 4);
}

std::string decimalText(const Decimal& d) { return exactText(d.negative, d.digits, d.scale); }

std::string dateLiteral(const DateTime& d) {
  const DateTimeParts p = splitDateTime(d.days);
  char buf[48];
  std::snprintf(buf, sizeof buf, "{^%04d-%02d-%02d %02d:%02d:%02d}", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return buf;
}

void appendHex(std::string& statement, const Bytes& bytes) {
  static const char* kHex = "0123456789ABCDEF";
  statement += "0h";
  for (std::uint8_t b : bytes) {
    statement += kHex[b >> 4];
    statement += kHex[b & 15];
  }
}

// Writes one value of a column; `problem` is set when the column cannot take it.
class ValueWriter {
 public:
  ValueWriter(std::string& out, const NativeFieldType& type, const Locale& locale, const CodePage& codePage,
              ValueLosses& losses)
      : out_(out), type_(type), locale_(locale), codePage_(codePage), losses_(losses) {}

  // False when the column cannot take the value.
  bool write(const Value& v) {
    if (v.isNull()) {
      out_ += "NULL";
      return true;
    }
    switch (type_.kind) {
      case NativeKind::Logical: return logical(v);
      case NativeKind::Integer:
      case NativeKind::Number:
      case NativeKind::Double: return number(v);
      case NativeKind::DateTime:
        if (const DateTime* d = v.get<DateTime>()) out_ += dateLiteral(*d);
        return v.is<DateTime>();
      case NativeKind::ExtendedDate:
        if (const ExtendedDateTime* x = v.get<ExtendedDateTime>())
          AppendTextLiteral(out_, locale_.formatExtendedDate(*x));
        else AppendTextLiteral(out_, locale_.displayText(v));
        return true;
      case NativeKind::Text: text(v); return true;
      case NativeKind::Memo: AppendTextLiteral(out_, locale_.displayText(v)); return true;
      case NativeKind::Bytes:
        if (const Bytes* b = v.get<Bytes>()) appendHex(out_, *b);
        return v.is<Bytes>();
    }
    return false;
  }

 private:
  bool logical(const Value& v) {
    if (const bool* b = v.get<bool>()) out_ += *b ? ".T." : ".F.";
    else if (const std::int64_t* n = v.get<std::int64_t>()) out_ += *n != 0 ? ".T." : ".F.";
    else return false;
    return true;
  }

  bool number(const Value& v) {
    std::string digits;
    if (const std::int64_t* n = v.get<std::int64_t>()) digits = std::to_string(*n);
    else if (const bool* b = v.get<bool>()) digits = *b ? "1" : "0";
    else if (const Currency* c = v.get<Currency>()) digits = currencyText(*c);
    else if (const Decimal* d = v.get<Decimal>()) {
      digits = decimalText(*d);
      if (type_.decimalInDouble && !DoubleHoldsDecimal(*d)) ++losses_.inexact;
    } else if (const Single* s = v.get<Single>()) digits = NativeNumberLiteral(s->value);
    else if (const double* x = v.get<double>()) digits = NativeNumberLiteral(*x);
    if (digits.empty()) return false;  // another type, or no finite number
    out_ += digits;
    return true;
  }

  void text(const Value& v) {
    const std::string* s = v.get<std::string>();
    std::string rendered = s ? std::string() : locale_.displayText(v);
    std::string_view t = s ? std::string_view(*s) : std::string_view(rendered);
    const std::size_t fits = PrefixFittingBytes(t, type_.width, codePage_);
    if (fits < t.size()) {
      ++losses_.cut;
      t = t.substr(0, fits);
    }
    AppendTextLiteral(out_, t);
  }

  std::string& out_;
  const NativeFieldType& type_;
  const Locale& locale_;
  const CodePage& codePage_;
  ValueLosses& losses_;
};

const char* kindName(const Value& v) {
  switch (v.storage().index()) {
    case 1: return "Yes/No";
    case 2: return "integer";
    case 3:
    case 4: return "floating-point";
    case 5: return "currency";
    case 6: return "decimal";
    case 7:
    case 8: return "date";
    case 9: return "text";
    case 10: return "binary";
    case 11: return "GUID";
    default: return "";
  }
}

}  // namespace

std::string NativeCutValuesNotice(const std::string& table, std::int64_t values) {
  return "Table " + table + ": " + std::to_string(values) +
         (values == 1 ? " text was longer than its character column holds in the code page and was cut."
                      : " texts were longer than their character columns hold in the code page and were cut.");
}

std::string NativeNumberLiteral(double value) { return shortest(value); }
std::string NativeNumberLiteral(float value) { return shortest(value); }

std::string BuildNativeInsertStatement(std::string_view tableName, const NativeTableDefinition& def,
                                       const std::vector<Value>& values, const Locale& locale,
                                       AutoNumberMaxima& largest, const std::function<void()>& onField,
                                       const CodePage& codePage, ValueLosses* losses) {
  ValueLosses ignored;
  std::string statement;
  statement.reserve(64 + tableName.size() + values.size() * 16);
  statement += "INSERT INTO [";
  statement += tableName;
  statement += "] VALUES (";
  const std::size_t count = std::min(values.size(), def.types.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (onField) onField();
    if (i > 0) statement += ", ";
    const NativeFieldType& type = def.types[i];
    const Value& v = values[i];
    if (!ValueWriter(statement, type, locale, codePage, losses ? *losses : ignored).write(v))
      throw data::Failure("Data type mismatch: a " + std::string(kindName(v)) + " value cannot go into a " +
                          type.foxproType + " column.")
          .concerning(std::string(tableName), def.columns[i]);
    if (type.autoIncrement)
      if (const std::int64_t* n = v.get<std::int64_t>()) {
        auto [it, added] = largest.emplace(static_cast<int>(i), *n);
        if (!added && *n > it->second) it->second = *n;
      }
  }
  statement += ");";
  return statement;
}

}  // namespace tw
