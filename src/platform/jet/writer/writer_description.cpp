#include "platform/jet/writer/writer_description.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <set>

#include "platform/calendar.h"
#include "platform/case_rules.h"
#include "platform/jet/writer/format_encode.h"

namespace tw::jet {

namespace {

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }

// A place in the description, for messages: `tables[1] "Orders", rows[3]`.
class Place {
 public:
  explicit Place(std::string text) : text_(std::move(text)) {}
  Place operator/(const std::string& more) const { return Place(text_ + ", " + more); }
  [[noreturn]] void fail(const std::string& what) const { throw WriteError(text_ + ": " + what); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

std::string indexed(const char* list, qsizetype i) { return std::string(list) + "[" + std::to_string(i) + "]"; }

void checkKeys(const QJsonObject& o, std::initializer_list<const char*> allowed, const Place& at) {
  for (auto it = o.begin(); it != o.end(); ++it) {
    bool known = false;
    for (const char* a : allowed) known = known || it.key() == QLatin1String(a);
    if (!known) at.fail("unknown key " + inQuotes(it.key().toStdString()));
  }
}

std::string requireString(const QJsonObject& o, const char* key, const Place& at) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (!v.isString()) at.fail(std::string("needs a text \"") + key + "\"");
  return v.toString().toStdString();
}

std::string optionalString(const QJsonObject& o, const char* key, const Place& at) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isUndefined() || v.isNull()) return {};
  if (!v.isString()) at.fail(std::string("\"") + key + "\" must be text");
  return v.toString().toStdString();
}

std::int64_t wholeNumber(const QJsonValue& v, const Place& at, const char* what = "a whole number") {
  if (!v.isDouble()) at.fail(std::string("expected ") + what);
  const double d = v.toDouble();
  if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 9007199254740992.0)
    at.fail(std::string("expected ") + what);
  return v.toInteger();
}

int smallNumber(const QJsonObject& o, const char* key, int fallback, const Place& at) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isUndefined()) return fallback;
  const std::int64_t n = wholeNumber(v, at / (std::string("\"") + key + "\""));
  if (n < 0 || n > 100000) at.fail(std::string("\"") + key + "\" is out of range");
  return static_cast<int>(n);
}

// ---------------------------------------------------------------------------------------
// Values.

// "-12.345" -> Decimal {true, "12345", 3}. False when the text is no plain decimal number.
bool parseDecimal(const std::string& text, Decimal& out) {
  static const QRegularExpression re(QStringLiteral("^([+-]?)(\\d+)(?:\\.(\\d+))?$"));
  const auto m = re.match(QString::fromStdString(text));
  if (!m.hasMatch()) return false;
  std::string whole = m.captured(2).toStdString();
  const std::string fraction = m.captured(3).toStdString();
  std::string digits = whole + fraction;
  const std::size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? "0" : digits.substr(first);
  out.negative = m.captured(1) == QLatin1String("-") && digits != "0";
  out.digits = digits;
  out.scale = static_cast<int>(fraction.size());
  return true;
}

Decimal decimalValue(const QJsonValue& v, const Place& at) {
  Decimal d;
  std::string text;
  if (v.isString()) {
    text = v.toString().toStdString();
  } else if (v.isDouble()) {
    text = QString::number(v.toDouble(), 'g', 15).toStdString();
  } else {
    at.fail("expected an amount such as \"12.50\"");
  }
  if (!parseDecimal(text, d)) at.fail(inQuotes(text) + " is not a plain decimal number");
  return d;
}

Currency currencyValue(const QJsonValue& v, const Place& at) {
  const Decimal d = decimalValue(v, at);
  if (d.scale > 4) at.fail("currency has at most 4 digits after the decimal point");
  std::string digits = d.digits + std::string(static_cast<std::size_t>(4 - d.scale), '0');
  if (digits.size() > 19) at.fail("too large for currency");
  unsigned __int128 m = 0;
  for (char c : digits) m = m * 10 + static_cast<unsigned>(c - '0');
  const unsigned __int128 limit = static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max());
  if (m > limit + (d.negative ? 1 : 0)) at.fail("too large for currency");
  const auto magnitude = static_cast<std::uint64_t>(m);
  return Currency{static_cast<std::int64_t>(d.negative ? 0 - magnitude : magnitude)};
}

DateTime dateValue(const QJsonValue& v, const Place& at) {
  if (!v.isString()) at.fail("expected a date such as \"2021-02-03\" or \"2021-02-03 14:30:00\"");
  const QString s = v.toString();
  static const QRegularExpression full(
      QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?)?$"));
  static const QRegularExpression timeOnly(QStringLiteral("^(\\d{2}):(\\d{2})(?::(\\d{2}))?$"));
  int y = 1899, mo = 12, d = 30, h = 0, mi = 0, se = 0;
  if (auto m = full.match(s); m.hasMatch()) {
    y = m.captured(1).toInt();
    mo = m.captured(2).toInt();
    d = m.captured(3).toInt();
    h = m.captured(4).toInt();
    mi = m.captured(5).toInt();
    se = m.captured(6).toInt();
  } else if (auto t = timeOnly.match(s); t.hasMatch()) {
    h = t.captured(1).toInt();
    mi = t.captured(2).toInt();
    se = t.captured(3).toInt();
  } else {
    at.fail(inQuotes(s.toStdString()) + " is not a date of the form YYYY-MM-DD [hh:mm[:ss]]");
  }
  if (y < 100 || y > 9999 || !isValidDate(y, mo, d) || h > 23 || mi > 59 || se > 59)
    at.fail(s.toStdString() + " is not a valid date");
  return DateTime{oleDate(y, mo, d, h, mi, se)};
}

ExtendedDateTime extendedDateValue(const QJsonValue& v, const Place& at) {
  static const QRegularExpression re(
      QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d{1,7}))?)?)?$"));
  if (!v.isString()) at.fail("expected a date such as \"2021-06-14 22:45:12.3456789\"");
  const QString s = v.toString();
  const auto m = re.match(s);
  if (!m.hasMatch())
    at.fail(inQuotes(s.toStdString()) + " is not a date of the form YYYY-MM-DD [hh:mm[:ss[.fffffff]]]");
  const int y = m.captured(1).toInt(), mo = m.captured(2).toInt(), d = m.captured(3).toInt();
  const int h = m.captured(4).toInt(), mi = m.captured(5).toInt(), se = m.captured(6).toInt();
  const QString fraction = m.captured(7).leftJustified(7, QLatin1Char('0'));
  if (y < 1 || !isValidDate(y, mo, d) || h > 23 || mi > 59 || se > 59)
    at.fail(s.toStdString() + " is not a valid date");
  const std::int64_t days = extendedDayFromCivil(y, mo, d);
  const std::int64_t ticks =
      ((static_cast<std::int64_t>(h) * 60 + mi) * 60 + se) * kTicksPerSecond + fraction.toLongLong();
  return ExtendedDateTime{days, ticks};
}

int hexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

Bytes hexBytes(const QString& s, const Place& at) {
  if (s.size() % 2 != 0) at.fail("hex text needs an even number of digits");
  Bytes out;
  out.reserve(static_cast<std::size_t>(s.size() / 2));
  for (qsizetype i = 0; i < s.size(); i += 2) {
    const int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) at.fail("hex text contains a character that is not a hex digit");
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

// Repeated values stay below what a long value can hold (and what memory can bear).
constexpr std::int64_t kMaxRepeatedBytes = 256 * 1024 * 1024;

std::int64_t repeatCount(const QJsonObject& o, std::size_t unitSize, const Place& at) {
  const std::int64_t n = wholeNumber(o.value(QLatin1String("count")), at / "\"count\"");
  // An empty unit repeated any number of times is empty; it must not cost the loop.
  if (unitSize == 0) return 0;
  if (n < 0 || n > kMaxRepeatedBytes / static_cast<std::int64_t>(unitSize))
    at.fail("\"count\" is out of range: the value would exceed 256 MB");
  return n;
}

Bytes bytesValue(const QJsonValue& v, const Place& at) {
  if (!v.isObject())
    at.fail("expected bytes as {\"hex\": ...}, {\"base64\": ...} or {\"repeatHex\": ..., \"count\": n}");
  const QJsonObject o = v.toObject();
  if (o.contains(QLatin1String("hex"))) {
    checkKeys(o, {"hex"}, at);
    return hexBytes(o.value(QLatin1String("hex")).toString(), at);
  }
  if (o.contains(QLatin1String("base64"))) {
    checkKeys(o, {"base64"}, at);
    const auto decoded = QByteArray::fromBase64Encoding(o.value(QLatin1String("base64")).toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) at.fail("the base64 text is not valid");
    return Bytes(decoded.decoded.begin(), decoded.decoded.end());
  }
  if (o.contains(QLatin1String("repeatHex"))) {
    checkKeys(o, {"repeatHex", "count"}, at);
    const Bytes unit = hexBytes(o.value(QLatin1String("repeatHex")).toString(), at);
    const std::int64_t n = repeatCount(o, unit.size(), at);
    Bytes out;
    out.reserve(unit.size() * static_cast<std::size_t>(n));
    for (std::int64_t k = 0; k < n; ++k) out.insert(out.end(), unit.begin(), unit.end());
    return out;
  }
  at.fail("expected bytes as {\"hex\": ...}, {\"base64\": ...} or {\"repeatHex\": ..., \"count\": n}");
}

std::string textValue(const QJsonValue& v, const Place& at) {
  if (v.isString()) return v.toString().toStdString();
  if (v.isObject()) {
    const QJsonObject o = v.toObject();
    checkKeys(o, {"repeat", "count"}, at);
    if (!o.value(QLatin1String("repeat")).isString()) at.fail("\"repeat\" must be text");
    const std::string unit = o.value(QLatin1String("repeat")).toString().toStdString();
    const std::int64_t n = repeatCount(o, unit.size(), at);
    std::string out;
    out.reserve(unit.size() * static_cast<std::size_t>(n));
    for (std::int64_t k = 0; k < n; ++k) out += unit;
    return out;
  }
  at.fail("expected text");
}

Guid guidValue(const QJsonValue& v, const Place& at) {
  static const QRegularExpression re(QStringLiteral(
      "^\\{?([0-9A-Fa-f]{8})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{12})\\}?$"));
  if (!v.isString()) at.fail("expected a GUID such as \"{6F9619FF-8B86-D011-B42D-00C04FC964FF}\"");
  const auto m = re.match(v.toString());
  if (!m.hasMatch()) at.fail(inQuotes(v.toString().toStdString()) + " is not a GUID");
  Guid g;
  const Bytes a = hexBytes(m.captured(1), at), b = hexBytes(m.captured(2), at), c = hexBytes(m.captured(3), at),
              d = hexBytes(m.captured(4) + m.captured(5), at);
  // The first three groups are stored little-endian.
  for (int i = 0; i < 4; ++i) g.bytes[static_cast<std::size_t>(i)] = a[static_cast<std::size_t>(3 - i)];
  for (int i = 0; i < 2; ++i) g.bytes[static_cast<std::size_t>(4 + i)] = b[static_cast<std::size_t>(1 - i)];
  for (int i = 0; i < 2; ++i) g.bytes[static_cast<std::size_t>(6 + i)] = c[static_cast<std::size_t>(1 - i)];
  for (int i = 0; i < 8; ++i) g.bytes[static_cast<std::size_t>(8 + i)] = d[static_cast<std::size_t>(i)];
  return g;
}

Value fieldValue(const FieldDefinition& f, const QJsonValue& v, const Place& at) {
  if (v.isNull()) return Value();
  switch (f.kind) {
    case FieldKind::YesNo:
      if (!v.isBool()) at.fail("expected true or false");
      return Value(v.toBool());
    case FieldKind::Byte:
    case FieldKind::Integer:
    case FieldKind::Long:
    case FieldKind::AutoNumber: return Value(wholeNumber(v, at));
    case FieldKind::Single:
      if (!v.isDouble()) at.fail("expected a number");
      return Value(Single{static_cast<float>(v.toDouble())});
    case FieldKind::Double:
      if (!v.isDouble()) at.fail("expected a number");
      return Value(v.toDouble());
    case FieldKind::Currency: return Value(currencyValue(v, at));
    case FieldKind::Decimal: return Value(decimalValue(v, at));
    case FieldKind::DateTime: return Value(dateValue(v, at));
    case FieldKind::Text:
    case FieldKind::Memo:
    case FieldKind::Hyperlink: return Value(textValue(v, at));
    case FieldKind::Ole:
    case FieldKind::Binary: return Value(bytesValue(v, at));
    case FieldKind::ReplicationId: return Value(guidValue(v, at));
    case FieldKind::DateTimeExtended: return Value(extendedDateValue(v, at));
  }
  at.fail("unsupported type");
}

// ---------------------------------------------------------------------------------------
// Generated rows.

// SplitMix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [lo, hi].
  std::int64_t between(std::int64_t lo, std::int64_t hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<std::int64_t>(span == 0 ? next() : next() % span);
  }
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

 private:
  std::uint64_t state_;
};

constexpr const char* kWords[] = {"order",    "delivery", "invoice",  "customer", "shipment",  "payment",  "account",
                                  "pallet",   "urgent",   "please",   "confirm",  "warehouse", "discount", "monthly",
                                  "contract", "supplier", "returned", "damaged",  "express",   "standard", "priority",
                                  "call",     "before",   "after",    "noon",     "office",    "closed",   "Friday",
                                  "Monday",   "stock",    "reorder",  "sample",   "quality",   "checked",  "approved",
                                  "pending",  "billing",  "address",  "changed",  "note"};

using Generator = std::function<Value(std::int64_t row, Random& rng)>;

std::pair<std::int64_t, std::int64_t> numberPair(const QJsonValue& v, const Place& at) {
  const QJsonArray a = v.toArray();
  if (!v.isArray() || a.size() != 2) at.fail("expected a pair [low, high]");
  const std::int64_t lo = wholeNumber(a[0], at), hi = wholeNumber(a[1], at);
  if (lo > hi) at.fail("the low end is above the high end");
  return {lo, hi};
}

std::string decimalText(std::int64_t scaled, int decimals) {
  const bool negative = scaled < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::string digits = std::to_string(magnitude);
  if (decimals > 0) {
    while (digits.size() <= static_cast<std::size_t>(decimals)) digits.insert(digits.begin(), '0');
    digits.insert(digits.end() - decimals, '.');
  }
  return (negative ? "-" : "") + digits;
}

// One maker per kind of generator: each checks the keys of its object `o` and returns the
// generator for field `f`.

Generator sequenceGenerator(const FieldDefinition&, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"sequence", "step", "nulls"}, at);
  const std::int64_t start = wholeNumber(o.value(QLatin1String("sequence")), at);
  const std::int64_t step = o.contains(QLatin1String("step")) ? wholeNumber(o.value(QLatin1String("step")), at) : 1;
  return [start, step](std::int64_t row, Random&) { return Value(start + row * step); };
}

Generator rangeGenerator(const FieldDefinition& f, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"range", "decimals", "nulls"}, at);
  const int decimals = smallNumber(o, "decimals", 0, at);
  if (decimals > 8) at.fail("\"decimals\" must be 0 to 8");
  const QJsonArray a = o.value(QLatin1String("range")).toArray();
  if (a.size() != 2 || !a[0].isDouble() || !a[1].isDouble()) at.fail("\"range\" must be [low, high]");
  const double scale = std::pow(10.0, decimals);
  const auto lo = static_cast<std::int64_t>(std::llround(a[0].toDouble() * scale));
  const auto hi = static_cast<std::int64_t>(std::llround(a[1].toDouble() * scale));
  if (lo > hi) at.fail("the low end is above the high end");
  const FieldKind kind = f.kind;
  if (decimals > 0 && (kind == FieldKind::Byte || kind == FieldKind::Integer || kind == FieldKind::Long ||
                       kind == FieldKind::AutoNumber))
    at.fail("whole-number fields take no \"decimals\"");
  return [lo, hi, decimals, scale, kind](std::int64_t, Random& rng) {
    const std::int64_t n = rng.between(lo, hi);
    switch (kind) {
      case FieldKind::Single: return Value(Single{static_cast<float>(static_cast<double>(n) / scale)});
      case FieldKind::Double: return Value(static_cast<double>(n) / scale);
      case FieldKind::Currency: {
        std::int64_t scaled = n;
        for (int k = decimals; k < 4; ++k) scaled *= 10;
        for (int k = 4; k < decimals; ++k) scaled /= 10;
        return Value(Currency{scaled});
      }
      case FieldKind::Decimal: {
        Decimal d;
        parseDecimal(decimalText(n, decimals), d);
        return Value(d);
      }
      case FieldKind::Text:
      case FieldKind::Memo:
      case FieldKind::Hyperlink: return Value(decimalText(n, decimals));
      default: return Value(n);
    }
  };
}

Generator choiceGenerator(const FieldDefinition& f, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"choice", "nulls"}, at);
  const QJsonArray a = o.value(QLatin1String("choice")).toArray();
  if (a.isEmpty()) at.fail("\"choice\" needs a list of values");
  std::vector<Value> values;
  for (qsizetype i = 0; i < a.size(); ++i) values.push_back(fieldValue(f, a[i], at / indexed("choice", i)));
  return [values](std::int64_t, Random& rng) {
    return values[static_cast<std::size_t>(rng.between(0, static_cast<std::int64_t>(values.size()) - 1))];
  };
}

Generator datesGenerator(const FieldDefinition&, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"dates", "time", "nulls"}, at);
  const QJsonArray a = o.value(QLatin1String("dates")).toArray();
  if (a.size() != 2) at.fail("\"dates\" must be [first, last]");
  const double first = dateValue(a[0], at).days, last = dateValue(a[1], at).days;
  if (first > last || first < 0) at.fail("\"dates\" must run forwards from 1899-12-30 on");
  const bool withTime = o.value(QLatin1String("time")).toBool(false);
  return [first, last, withTime](std::int64_t, Random& rng) {
    double day = static_cast<double>(rng.between(static_cast<std::int64_t>(first), static_cast<std::int64_t>(last)));
    if (withTime) day += static_cast<double>(rng.between(8 * 60, 18 * 60 - 1)) / 1440.0;
    return Value(DateTime{day});
  };
}

Generator patternGenerator(const FieldDefinition&, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"pattern", "nulls"}, at);
  const QString pattern = o.value(QLatin1String("pattern")).toString();
  static const QRegularExpression slot(QStringLiteral("\\{n(?::(\\d+))?\\}"));
  const auto m = slot.match(pattern);
  if (!m.hasMatch()) at.fail("\"pattern\" needs a {n} or {n:width} slot");
  const int width = m.captured(1).isEmpty() ? 0 : m.captured(1).toInt();
  const std::string before = pattern.left(m.capturedStart()).toStdString();
  const std::string after = pattern.mid(m.capturedEnd()).toStdString();
  return [before, after, width](std::int64_t row, Random&) {
    std::string n = std::to_string(row + 1);
    if (static_cast<int>(n.size()) < width) n.insert(0, static_cast<std::size_t>(width) - n.size(), '0');
    return Value(before + n + after);
  };
}

Generator wordsGenerator(const FieldDefinition&, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"words", "nulls"}, at);
  // Plain variables rather than a structured binding: clang before 16 cannot capture one.
  const auto range = numberPair(o.value(QLatin1String("words")), at);
  const std::int64_t lo = range.first, hi = range.second;
  if (lo < 1 || hi > 10000) at.fail("\"words\" must lie within 1 to 10000");
  return [lo, hi](std::int64_t, Random& rng) {
    const std::int64_t n = rng.between(lo, hi);
    std::string s;
    for (std::int64_t k = 0; k < n; ++k) {
      if (k) s += ' ';
      s += kWords[rng.between(0, static_cast<std::int64_t>(std::size(kWords)) - 1)];
    }
    s[0] = asciiUpper(s[0]);
    return Value(s + ".");
  };
}

Generator bytesGenerator(const FieldDefinition&, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"bytes", "nulls"}, at);
  // Plain variables rather than a structured binding: clang before 16 cannot capture one.
  const auto range = numberPair(o.value(QLatin1String("bytes")), at);
  const std::int64_t lo = range.first, hi = range.second;
  if (lo < 0 || hi > 16 * 1024 * 1024) at.fail("\"bytes\" must lie within 0 to 16777216");
  return [lo, hi](std::int64_t, Random& rng) {
    Bytes b(static_cast<std::size_t>(rng.between(lo, hi)));
    for (auto& x : b) x = static_cast<std::uint8_t>(rng.next());
    return Value(b);
  };
}

Generator guidGenerator(const FieldDefinition&, const QJsonObject& o, const Place& at) {
  checkKeys(o, {"guid", "nulls"}, at);
  return [](std::int64_t, Random& rng) {
    Guid id;
    for (auto& x : id.bytes) x = static_cast<std::uint8_t>(rng.next());
    return Value(id);
  };
}

// The kinds of generator by the key that names each, in the order they are looked for.
struct GeneratorKind {
  const char* key;
  Generator (*make)(const FieldDefinition& f, const QJsonObject& o, const Place& at);
};
constexpr GeneratorKind kGeneratorKinds[] = {
    {"sequence", sequenceGenerator}, {"range", rangeGenerator},     {"choice", choiceGenerator},
    {"dates", datesGenerator},       {"pattern", patternGenerator}, {"words", wordsGenerator},
    {"bytes", bytesGenerator},       {"guid", guidGenerator},
};

Generator makeGenerator(const FieldDefinition& f, const QJsonValue& generator, const Place& at) {
  if (!generator.isObject()) at.fail("a generator is an object such as {\"range\": [1, 10]}");
  const QJsonObject o = generator.toObject();
  double nulls = 0.0;
  if (o.contains(QLatin1String("nulls"))) {
    const QJsonValue n = o.value(QLatin1String("nulls"));
    if (!n.isDouble() || n.toDouble() < 0.0 || n.toDouble() > 1.0) at.fail("\"nulls\" must be a number from 0 to 1");
    nulls = n.toDouble();
  }
  const auto kind = std::find_if(std::begin(kGeneratorKinds), std::end(kGeneratorKinds),
                                 [&](const GeneratorKind& k) { return o.contains(QLatin1String(k.key)); });
  if (kind == std::end(kGeneratorKinds))
    at.fail("unknown generator; use sequence, range, choice, dates, pattern, words, bytes or guid");
  Generator g = kind->make(f, o, at);
  if (nulls <= 0.0) return g;
  return [g, nulls](std::int64_t row, Random& rng) { return rng.unit() < nulls ? Value() : g(row, rng); };
}

// ---------------------------------------------------------------------------------------
// The description.

bool optionalBool(const QJsonObject& o, const char* key, const Place& at) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isUndefined()) return false;
  if (!v.isBool()) at.fail(std::string("\"") + key + "\" must be true or false");
  return v.toBool();
}

FieldDefinition parseField(const QJsonValue& v, const Place& at) {
  if (!v.isObject()) at.fail("a field is an object with \"name\" and \"type\"");
  const QJsonObject o = v.toObject();
  checkKeys(o,
            {"name", "type", "size", "precision", "scale", "calculated", "expression", "required", "description",
             "caption", "default", "validationRule", "validationText"},
            at);
  FieldDefinition f;
  f.name = requireString(o, "name", at);
  const Place here = at / ("field " + inQuotes(f.name));
  const std::string type = requireString(o, "type", here);
  if (!fieldKindFromName(type, f.kind)) here.fail("unknown type " + inQuotes(type));
  const bool sized = f.kind == FieldKind::Text || f.kind == FieldKind::Binary;
  if (!sized && o.contains(QLatin1String("size"))) here.fail("only text and binary fields take a \"size\"");
  if (f.kind != FieldKind::Decimal && (o.contains(QLatin1String("precision")) || o.contains(QLatin1String("scale"))))
    here.fail("only decimal fields take \"precision\" and \"scale\"");
  if (sized) f.size = smallNumber(o, "size", 255, here);
  if (f.kind == FieldKind::Decimal) {
    f.precision = smallNumber(o, "precision", 18, here);
    f.scale = smallNumber(o, "scale", 0, here);
  }
  f.calculated = optionalBool(o, "calculated", here);
  f.required = optionalBool(o, "required", here);
  const std::pair<const char*, std::string*> texts[] = {
      {"expression", &f.expression}, {"description", &f.description},       {"caption", &f.caption},
      {"default", &f.defaultValue},  {"validationRule", &f.validationRule}, {"validationText", &f.validationText}};
  for (const auto& [key, out] : texts) *out = optionalString(o, key, here);
  if (!f.expression.empty() && !f.calculated) here.fail("only calculated fields take an \"expression\"");
  return f;
}

void writeTableRows(MdbWriter& writer, int handle, const TableDefinition& def, const QJsonObject& o,
                    const Place& at) {
  std::vector<Value> row(def.fields.size());
  const QJsonValue rowsValue = o.value(QLatin1String("rows"));
  if (!rowsValue.isUndefined()) {
    if (!rowsValue.isArray()) at.fail("\"rows\" must be a list of rows");
    const QJsonArray rows = rowsValue.toArray();
    for (qsizetype r = 0; r < rows.size(); ++r) {
      const Place rowAt = at / indexed("rows", r);
      if (!rows[r].isArray()) rowAt.fail("a row is a list of values");
      const QJsonArray values = rows[r].toArray();
      if (values.size() != static_cast<qsizetype>(def.fields.size()))
        rowAt.fail(std::to_string(values.size()) + " values for " + std::to_string(def.fields.size()) + " fields");
      for (std::size_t i = 0; i < def.fields.size(); ++i)
        row[i] = fieldValue(def.fields[i], values[static_cast<qsizetype>(i)],
                            rowAt / ("field " + inQuotes(def.fields[i].name)));
      try {
        writer.appendRow(handle, row);
      } catch (const WriteError& e) {
        rowAt.fail(e.what());
      }
    }
  }
  const QJsonValue genValue = o.value(QLatin1String("generate"));
  if (genValue.isUndefined()) return;
  const Place genAt = at / "generate";
  if (!genValue.isObject()) genAt.fail("\"generate\" must be an object");
  const QJsonObject gen = genValue.toObject();
  checkKeys(gen, {"rows", "seed", "fields"}, genAt);
  const std::int64_t count = wholeNumber(gen.value(QLatin1String("rows")), genAt / "\"rows\"");
  if (count < 0 || count > 10000000) genAt.fail("\"rows\" must be 0 to 10000000");
  const std::int64_t seed =
      gen.contains(QLatin1String("seed")) ? wholeNumber(gen.value(QLatin1String("seed")), genAt / "\"seed\"") : 1;
  const QJsonObject fields = gen.value(QLatin1String("fields")).toObject();
  std::vector<Generator> generators(def.fields.size());
  for (auto it = fields.begin(); it != fields.end(); ++it) {
    const std::string name = it.key().toStdString();
    std::size_t index = def.fields.size();
    for (std::size_t i = 0; i < def.fields.size(); ++i)
      if (def.fields[i].name == name) index = i;
    if (index == def.fields.size()) genAt.fail("no field " + inQuotes(name) + " in this table");
    generators[index] = makeGenerator(def.fields[index], it.value(), genAt / ("field " + inQuotes(name)));
  }
  Random rng(static_cast<std::uint64_t>(seed));
  for (std::int64_t r = 0; r < count; ++r) {
    for (std::size_t i = 0; i < def.fields.size(); ++i)
      row[i] =
          generators[i] ? generators[i](r, rng) : (def.fields[i].kind == FieldKind::YesNo ? Value(false) : Value());
    try {
      writer.appendRow(handle, row);
    } catch (const WriteError& e) {
      (genAt / ("row " + std::to_string(r + 1))).fail(e.what());
    }
  }
}

}  // namespace

namespace {

// The description's JSON object; text that is not JSON is refused naming its line and
// column in `sourceName`.
QJsonDocument parseJson(const std::string& json, const std::string& sourceName) {
  QJsonParseError error;
  const QByteArray bytes = QByteArray::fromStdString(json);
  QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError) {
    int line = 1, column = 1;
    for (int i = 0; i < error.offset && i < bytes.size(); ++i) {
      if (bytes[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw WriteError(sourceName + ": line " + std::to_string(line) + ", column " + std::to_string(column) +
                     ": not valid JSON: " + error.errorString().toStdString());
  }
  return doc;
}

// "created", "password" and "version" of the description.
DatabaseSettings readSettings(const QJsonObject& root, const Place& top) {
  DatabaseSettings settings;
  if (root.contains(QLatin1String("created")))
    settings.creationDate = dateValue(root.value(QLatin1String("created")), top / "\"created\"").days;
  settings.password = optionalString(root, "password", top);
  if (root.contains(QLatin1String("version"))) {
    static const std::pair<const char*, FileVersion> kVersions[] = {
        {"jet4", FileVersion::Jet4},   {"ace12", FileVersion::Ace12}, {"ace14", FileVersion::Ace14},
        {"ace15", FileVersion::Ace15}, {"ace16", FileVersion::Ace16}, {"ace17", FileVersion::Ace17}};
    const std::string name = optionalString(root, "version", top);
    bool known = false;
    for (const auto& [text, version] : kVersions)
      if (name == text) {
        settings.version = version;
        known = true;
      }
    if (!known)
      (top / "\"version\"")
          .fail("unknown version " + inQuotes(name) + " (jet4, ace12, ace14, ace15, ace16 or ace17)");
  }
  return settings;
}

std::vector<std::string> nameList(const QJsonObject& o, const char* key, const Place& at) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (!v.isArray()) at.fail(std::string("needs a list \"") + key + "\" of field names");
  std::vector<std::string> out;
  for (const QJsonValue n : v.toArray()) {
    if (!n.isString()) at.fail(std::string("\"") + key + "\" lists field names");
    out.push_back(n.toString().toStdString());
  }
  return out;
}

// An entry of a table's "indexes": {"name", "columns": ["field" or {"name", "descending"}],
// "primaryKey", "unique", "ignoreNulls", "required"}.
IndexDefinition parseIndex(const QJsonValue& v, const Place& at) {
  if (!v.isObject()) at.fail("an index is an object with \"name\" and \"columns\"");
  const QJsonObject o = v.toObject();
  checkKeys(o, {"name", "columns", "primaryKey", "unique", "ignoreNulls", "required"}, at);
  IndexDefinition d;
  d.name = requireString(o, "name", at);
  const QJsonValue columns = o.value(QLatin1String("columns"));
  if (!columns.isArray()) at.fail("needs a list \"columns\"");
  for (const QJsonValue c : columns.toArray()) {
    IndexColumnDefinition column;
    if (c.isString()) {
      column.name = c.toString().toStdString();
    } else if (c.isObject()) {
      checkKeys(c.toObject(), {"name", "descending"}, at);
      column.name = requireString(c.toObject(), "name", at);
      column.descending = optionalBool(c.toObject(), "descending", at);
    } else {
      at.fail("an index column is a field name or {\"name\", \"descending\"}");
    }
    d.columns.push_back(std::move(column));
  }
  d.primaryKey = optionalBool(o, "primaryKey", at);
  d.unique = optionalBool(o, "unique", at);
  d.ignoreNulls = optionalBool(o, "ignoreNulls", at);
  d.required = optionalBool(o, "required", at);
  return d;
}

// One entry of "tables": the table, then its rows.
void writeTable(MdbWriter& writer, const QJsonValue& value, Place at) {
  if (!value.isObject()) at.fail("a table is an object with \"name\" and \"fields\"");
  const QJsonObject o = value.toObject();
  TableDefinition def;
  def.name = requireString(o, "name", at);
  at = Place(at.text() + " " + inQuotes(def.name));
  checkKeys(o, {"name", "fields", "indexes", "rows", "generate"}, at);
  const QJsonValue fieldsValue = o.value(QLatin1String("fields"));
  if (!fieldsValue.isArray()) at.fail("needs a list \"fields\"");
  const QJsonArray fields = fieldsValue.toArray();
  for (qsizetype i = 0; i < fields.size(); ++i)
    def.fields.push_back(parseField(fields[i], at / indexed("fields", i)));
  const QJsonArray indexes = o.value(QLatin1String("indexes")).toArray();
  for (qsizetype i = 0; i < indexes.size(); ++i)
    def.indexes.push_back(parseIndex(indexes[i], at / indexed("indexes", i)));
  int handle;
  try {
    handle = writer.addTable(def);
  } catch (const WriteError& e) {
    at.fail(e.what());
  }
  writeTableRows(writer, handle, def, o, at);
}

void addQueries(MdbWriter& writer, const QJsonArray& queries, const Place& top) {
  for (qsizetype i = 0; i < queries.size(); ++i) {
    const Place at = top / indexed("queries", i);
    const QJsonObject o = queries[i].toObject();
    checkKeys(o, {"name", "from", "columns", "where"}, at);
    QueryDefinition q;
    q.name = requireString(o, "name", at);
    q.from = requireString(o, "from", at);
    for (const QJsonValue c : o.value(QLatin1String("columns")).toArray())
      q.columns.push_back(c.toString().toStdString());
    q.where = optionalString(o, "where", at);
    try {
      writer.addQuery(q);
    } catch (const WriteError& e) {
      at.fail(e.what());
    }
  }
}

void addLinks(MdbWriter& writer, const QJsonArray& links, const Place& top) {
  for (qsizetype i = 0; i < links.size(); ++i) {
    const Place at = top / indexed("links", i);
    const QJsonObject o = links[i].toObject();
    checkKeys(o, {"name", "database", "foreignName"}, at);
    LinkDefinition l;
    l.name = requireString(o, "name", at);
    l.database = requireString(o, "database", at);
    l.foreignName = requireString(o, "foreignName", at);
    try {
      writer.addLink(l);
    } catch (const WriteError& e) {
      at.fail(e.what());
    }
  }
}

void addRelationships(MdbWriter& writer, const QJsonArray& relationships, const Place& top) {
  for (qsizetype i = 0; i < relationships.size(); ++i) {
    const Place at = top / indexed("relationships", i);
    const QJsonObject o = relationships[i].toObject();
    checkKeys(o,
              {"name", "table", "columns", "referencedTable", "referencedColumns", "enforced", "cascadeUpdates",
               "cascadeDeletes"},
              at);
    RelationshipDefinition r;
    r.name = optionalString(o, "name", at);
    r.table = requireString(o, "table", at);
    r.columns = nameList(o, "columns", at);
    r.referencedTable = requireString(o, "referencedTable", at);
    r.referencedColumns = nameList(o, "referencedColumns", at);
    r.enforced = !o.contains(QLatin1String("enforced")) || optionalBool(o, "enforced", at);
    r.cascadeUpdates = optionalBool(o, "cascadeUpdates", at);
    r.cascadeDeletes = optionalBool(o, "cascadeDeletes", at);
    try {
      writer.addRelationship(r);
    } catch (const WriteError& e) {
      at.fail(e.what());
    }
  }
}

}  // namespace

void writeDatabaseFromJson(const std::string& json, const std::string& outPath, const std::string& sourceName) {
  const QJsonDocument doc = parseJson(json, sourceName);
  const Place top(sourceName);
  if (!doc.isObject()) top.fail("the description must be a JSON object");
  const QJsonObject root = doc.object();
  checkKeys(root, {"created", "password", "version", "tables", "relationships", "queries", "links"}, top);
  const DatabaseSettings settings = readSettings(root, top);

  const QJsonValue tablesValue = root.value(QLatin1String("tables"));
  if (!tablesValue.isArray()) top.fail("needs a list \"tables\"");
  const QJsonArray tables = tablesValue.toArray();

  MdbWriter writer = [&]() -> MdbWriter {
    try {
      return MdbWriter(outPath, settings);
    } catch (const WriteError& e) {
      top.fail(e.what());
    }
  }();
  for (qsizetype t = 0; t < tables.size(); ++t) writeTable(writer, tables[t], top / indexed("tables", t));
  addRelationships(writer, root.value(QLatin1String("relationships")).toArray(), top);
  addQueries(writer, root.value(QLatin1String("queries")).toArray(), top);
  addLinks(writer, root.value(QLatin1String("links")).toArray(), top);
  writer.finish();
}

void writeDatabaseFromFile(const std::string& descriptionPath, const std::string& outPath) {
  QFile f(QString::fromStdString(descriptionPath));
  if (!f.open(QIODevice::ReadOnly))
    throw WriteError("Cannot read " + inQuotes(descriptionPath) + ": " + f.errorString().toStdString());
  const QByteArray bytes = f.readAll();
  writeDatabaseFromJson(bytes.toStdString(), outPath, descriptionPath);
}

void writeGeneratedDatabase(std::int64_t rows, const std::string& outPath, bool indexed) {
  if (rows < 0) throw WriteError("The row count must not be negative");
  MdbWriter writer(outPath);
  const auto f = [](const char* name, FieldKind kind, int size = 0) {
    FieldDefinition d;
    d.name = name;
    d.kind = kind;
    d.size = size;
    return d;
  };
  TableDefinition def{"Measurements",
                      {f("ID", FieldKind::AutoNumber), f("Station", FieldKind::Long), f("Code", FieldKind::Text, 12),
                       f("Remark", FieldKind::Memo), f("Reading", FieldKind::Double), f("Cost", FieldKind::Currency),
                       f("Taken", FieldKind::DateTime), f("Valid", FieldKind::YesNo), f("Ratio", FieldKind::Decimal),
                       f("Samples", FieldKind::Integer), f("Weight", FieldKind::Single)}};
  def.fields[8].precision = 12;
  def.fields[8].scale = 4;
  if (indexed) {
    def.indexes.push_back({"PrimaryKey", {{"ID"}}, true, true});
    def.indexes.push_back({"Station", {{"Station"}, {"Taken"}}});
    def.indexes.push_back({"Code", {{"Code"}}});
  }
  const int table = writer.addTable(def);
  static const char* const remarks[] = {"ok", "checked twice", "sensor cleaned before reading", "",
                                        "value looks high; recheck next visit"};
  Random rng(20240601);
  std::vector<Value> row(def.fields.size());
  char code[16];
  for (std::int64_t r = 0; r < rows; ++r) {
    const std::uint64_t x = rng.next();
    std::snprintf(code, sizeof code, "ST-%07lld", static_cast<long long>(r % 10000000));
    row[0] = Value();
    row[1] = Value(static_cast<std::int64_t>(x % 500));
    row[2] = Value(std::string(code));
    row[3] = (x >> 9) % 7 == 0 ? Value() : Value(std::string(remarks[(x >> 12) % 5]));
    row[4] = Value(static_cast<double>(static_cast<std::int64_t>(x >> 20) % 2000000) / 1000.0 - 1000.0);
    row[5] = Value(Currency{static_cast<std::int64_t>((x >> 24) % 100000000)});
    row[6] =
        Value(DateTime{40000.0 + static_cast<double>(r % 5000) + static_cast<double>((x >> 30) % 1440) / 1440.0});
    row[7] = Value(((x >> 40) & 1) != 0);
    Decimal ratio;
    ratio.digits = std::to_string((x >> 41) % 100000000);
    ratio.scale = 4;
    ratio.negative = ((x >> 63) & 1) != 0 && ratio.digits != "0";
    row[8] = Value(ratio);
    row[9] = (x >> 50) % 11 == 0 ? Value() : Value(static_cast<std::int64_t>((x >> 52) % 30000));
    row[10] = Value(Single{static_cast<float>((x >> 33) % 100000) / 100.0f});
    writer.appendRow(table, row);
  }
  writer.finish();
}

}  // namespace tw::jet
