#include "platform/locale.h"

#include "platform/case_rules.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

namespace tw {

namespace {

// Removes the time-zone tokens ("t" ... "tttt") outside quoted literals, with the blanks
// around them, from a Qt time format.
QString withoutTimeZone(const QString& format) {
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    QChar c = format[i];
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && c == QLatin1Char('t')) continue;
    out += c;
  }
  return out.simplified();
}

// The first separator character of a date or time format: neither a letter, a blank nor a
// quote.
std::string firstSeparator(const QString& format, const char* fallback) {
  bool quoted = false;
  for (QChar c : format) {
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      continue;
    }
    if (quoted || c.isLetter() || c.isSpace()) continue;
    return QString(c).toStdString();
  }
  return fallback;
}

// The locale's short date form reduced to day, month and four-digit year as numbers, in
// the locale's order and with its separator. Forms that spell the month ("d MMM yyyy" in
// the C locale) or name the weekday would not read back as dates; a blank separator
// becomes "/".
QString numericShortDate(const QString& format) {
  QString order;  // the letters d, M, y in the order they appear
  QString dayToken = QStringLiteral("d"), monthToken = QStringLiteral("M");
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    QChar c = format[i];
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      continue;
    }
    if (quoted || (c != QLatin1Char('d') && c != QLatin1Char('M') && c != QLatin1Char('y'))) continue;
    qsizetype run = 1;
    while (i + run < format.size() && format[i + run] == c) ++run;
    if (c == QLatin1Char('d') && run <= 2) dayToken = QString(run, c);
    if (c == QLatin1Char('M') && run <= 2) monthToken = QString(run, c);
    bool weekday = c == QLatin1Char('d') && run > 2;
    if (!weekday && !order.contains(c)) order += c;
    i += run - 1;
  }
  if (order.size() != 3) order = QStringLiteral("Mdy");
  QString sep = QString::fromStdString(firstSeparator(format, "/"));
  if (sep != QLatin1String("/") && sep != QLatin1String("-") && sep != QLatin1String(".")) sep = QStringLiteral("/");
  QString out;
  for (QChar c : order) {
    if (!out.isEmpty()) out += sep;
    out += c == QLatin1Char('d') ? dayToken : c == QLatin1Char('M') ? monthToken : QStringLiteral("yyyy");
  }
  return out;
}

void appendTwoDigits(std::string& out, int v) {
  out += static_cast<char>('0' + (v / 10) % 10);
  out += static_cast<char>('0' + v % 10);
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int toInt(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

// Removes trailing zeros after a decimal point, and the point itself when nothing follows.
void trimFraction(std::string& s) {
  if (s.find('.') == std::string::npos) return;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
}

// An extended date as "mm/dd/yyyy hh:nn:ss.fffffff" (or, with `yearFirst`,
// "yyyy-mm-dd hh:nn:ss.fffffff") with the given separators.
std::string extendedText(const ExtendedDateTime& x, const std::string& dateSep, const std::string& timeSep,
                         bool yearFirst) {
  const CivilDate date = civilFromExtendedDay(x.days);
  const int y = date.year, m = date.month, d = date.day;
  const long long seconds = x.ticks / kTicksPerSecond, fraction = x.ticks % kTicksPerSecond;
  char year[8], frac[16];
  std::snprintf(year, sizeof year, "%04d", y);
  std::snprintf(frac, sizeof frac, ".%07lld", fraction);
  std::string out;
  out.reserve(28);
  if (yearFirst) {
    out += year;
    out += dateSep;
    appendTwoDigits(out, m);
    out += dateSep;
    appendTwoDigits(out, d);
  } else {
    appendTwoDigits(out, m);
    out += dateSep;
    appendTwoDigits(out, d);
    out += dateSep;
    out += year;
  }
  out += ' ';
  appendTwoDigits(out, static_cast<int>(seconds / 3600));
  out += timeSep;
  appendTwoDigits(out, static_cast<int>(seconds / 60 % 60));
  out += timeSep;
  appendTwoDigits(out, static_cast<int>(seconds % 60));
  out += frac;
  return out;
}

}  // namespace

struct Locale::Impl {
  QLocale locale;
  QString shortDate;  // with a four-digit year
  QString longTime;   // without time zone
  std::string decimal;
  char32_t decimalChar = U'.';
  std::string dateSep;
  std::string timeSep;
  std::string am, pm;
  enum class Order { MDY, DMY, YMD } order = Order::MDY;

  explicit Impl(QLocale l) : locale(std::move(l)) {
    QString sd = numericShortDate(locale.dateFormat(QLocale::ShortFormat));
    shortDate = sd;
    longTime = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    // A time form that spells its units in words ("H時mm分ss秒") cannot be read back as a
    // time; such locales render times as hours, minutes and seconds joined by ":".
    for (QChar c : longTime)
      if (!QStringLiteral("hHmsAaPp:. ").contains(c)) {
        longTime = QStringLiteral("H:mm:ss");
        break;
      }
    QString dp = locale.decimalPoint();
    decimal = dp.toStdString();
    decimalChar = dp.isEmpty() ? U'.' : dp.toUcs4().value(0, U'.');
    dateSep = firstSeparator(shortDate, "/");
    timeSep = firstSeparator(longTime, ":");
    // Times render with ":" whatever the locale writes, so that a rendered time is always
    // told apart from a date ("13.05.00" in Finnish reads as 13 May 2000) and the row
    // statements see the ":" that marks a value with a time of day.
    if (timeSep != ":") longTime.replace(QString::fromStdString(timeSep), QStringLiteral(":"));
    am = locale.amText().toStdString();
    pm = locale.pmText().toStdString();
    qsizetype d = sd.indexOf(QLatin1Char('d')), m = sd.indexOf(QLatin1Char('M')), y = sd.indexOf(QLatin1Char('y'));
    if (y >= 0 && y < m && y < d) order = Order::YMD;
    else if (d >= 0 && d < m) order = Order::DMY;
    else order = Order::MDY;
  }

  // The value in the general form ("%G") with 15 significant digits (7 for singles), or
  // with as many more as it needs to read back as the same value (at most 17, or 9), with
  // the locale's decimal separator.
  //
  // The shortest text that reads back the same value has some number of digits D; the
  // general form with max(D, 15) digits is then exact, and with D <= 15 it is the same as
  // with 15 digits, since every decimal of at most 15 digits reads back as itself. So the
  // shortest text is already that form unless it chose the other of fixed and scientific
  // notation. A single with fewer than 7 digits is written with 7: they are at least as
  // close to it as its shortest text, so they read back the same single too.
  template <class Real>
  std::string number(Real v) const {
    if (v == 0) return "0";  // also -0
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
    constexpr bool kSingle = std::is_same_v<Real, float>;
    constexpr int kMinDigits = kSingle ? 7 : 15;
    char buf[64];
    std::to_chars_result res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general);
    // Its digits and decimal exponent.
    const char* e = std::find(static_cast<const char*>(buf), static_cast<const char*>(res.ptr), 'e');
    int digits = 0, firstDigit = -1, lastNonZero = -1, pointAt = -1, position = 0;
    for (const char* c = buf; c != e; ++c) {
      if (*c == '.') {
        pointAt = position;
        continue;
      }
      if (*c < '0' || *c > '9') continue;
      if (*c != '0') {
        if (firstDigit < 0) firstDigit = position;
        lastNonZero = position;
      }
      ++position;
    }
    if (pointAt < 0) pointAt = position;
    digits = lastNonZero - firstDigit + 1;
    int exponent = pointAt - firstDigit - 1;
    if (e != res.ptr) {
      // "e+07", "e-300": the text is not terminated, so it is read to its end and no further.
      const char* x = e + 1;
      const bool negative = x != res.ptr && *x == '-';
      if (x != res.ptr && (*x == '+' || *x == '-')) ++x;
      exponent = 0;
      std::from_chars(x, res.ptr, exponent);
      if (negative) exponent = -exponent;
    }
    const int precision = std::max(digits, kMinDigits);
    // The general form is scientific exactly when the exponent is below -4 or reaches the
    // precision.
    const bool scientific = exponent < -4 || exponent >= precision;
    if ((kSingle && digits < kMinDigits) || scientific != (e != res.ptr))
      res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    std::string out;
    out.reserve(static_cast<std::size_t>(res.ptr - buf) + 2);
    for (const char* c = buf; c != res.ptr; ++c) {
      if (*c == 'e') out += 'E';
      else if (*c == '.') out += decimal;
      else out += *c;
    }
    return out;
  }

  // The date (in this locale's order) or the time of day a token stands for, written into
  // `p`; false when the token is not one.
  bool readDate(std::string_view tok, DateTimeParts& p) const;
  bool readTime(std::string_view tok, std::string_view ampm, DateTimeParts& p) const;

  std::string exact(bool negative, std::string digits, int scale) const {
    if (scale > 0) {
      if (static_cast<int>(digits.size()) <= scale)
        digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
      digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
      trimFraction(digits);
    }
    std::size_t firstNonZero = digits.find_first_not_of("0.");
    if (firstNonZero == std::string::npos) return "0";
    std::size_t point = digits.find('.');
    if (point != std::string::npos) digits.replace(point, 1, decimal);
    return negative ? "-" + digits : digits;
  }
};

Locale::Locale(const std::string& name) : impl_(std::make_unique<Impl>(QLocale(QString::fromStdString(name)))) {}
Locale::Locale(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Locale Locale::system() { return Locale(std::make_unique<Impl>(QLocale::system())); }
Locale::Locale(const Locale& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}
Locale& Locale::operator=(const Locale& other) {
  if (this != &other) impl_ = std::make_unique<Impl>(*other.impl_);
  return *this;
}
Locale::~Locale() = default;

std::string Locale::name() const { return impl_->locale.name().toStdString(); }
char32_t Locale::decimalSeparator() const { return impl_->decimalChar; }
const std::string& Locale::decimalSeparatorText() const { return impl_->decimal; }
const std::string& Locale::dateSeparator() const { return impl_->dateSep; }
const std::string& Locale::timeSeparator() const { return impl_->timeSep; }

std::string Locale::displayText(const Value& value) const {
  const Impl& im = *impl_;
  struct Visitor {
    const Impl& im;
    std::string operator()(Null) const { return {}; }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(Single v) const { return im.number(v.value); }
    std::string operator()(double v) const { return im.number(v); }
    std::string operator()(const Currency& c) const {
      // Magnitude without overflow for INT64_MIN.
      unsigned long long mag =
          c.scaled < 0 ? 0ULL - static_cast<unsigned long long>(c.scaled) : static_cast<unsigned long long>(c.scaled);
      return im.exact(c.scaled < 0, std::to_string(mag), 4);
    }
    std::string operator()(const Decimal& d) const { return im.exact(d.negative, d.digits, d.scale); }
    // Dates and times are laid out by the locale's own numeric forms but written with the
    // C locale, so their digits are always 0-9 (Arabic locales write native digits) and
    // the row statements can read them back.
    std::string operator()(const DateTime& dt) const {
      DateTimeParts p = splitDateTime(dt.days);
      bool dateZero = std::trunc(dt.days) == 0.0;
      bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
      QTime time(p.hour, p.minute, p.second);
      if (dateZero && p.year == 1899 && p.month == 12 && p.day == 30) {
        // Only a time of day (the date part is zero).
        return QLocale::c().toString(time, im.longTime).toStdString();
      }
      QDate date(p.year, p.month, p.day);
      std::string out = QLocale::c().toString(date, im.shortDate).toStdString();
      if (!midnight) out += " " + QLocale::c().toString(time, im.longTime).toStdString();
      return out;
    }
    std::string operator()(const ExtendedDateTime& x) const { return extendedText(x, "-", ":", true); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const Bytes& b) const {
      static const char* kHex = "0123456789ABCDEF";
      std::string out;
      out.reserve(b.size() * 2);
      for (std::uint8_t x : b) {
        out += kHex[x >> 4];
        out += kHex[x & 15];
      }
      return out;
    }
    std::string operator()(const Guid& g) const {
      const auto& b = g.bytes;
      char buf[40];
      std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                    b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
      return buf;
    }
  };
  return std::visit(Visitor{im}, value.storage());
}

bool Locale::readsAsNumber(std::string_view text) const {
  std::string_view s = trimmed(text);
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  const std::string& dec = impl_->decimal;
  bool digits = false, point = false;
  std::size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      ++i;
    } else if (!point && !dec.empty() && s.compare(i, dec.size(), dec) == 0) {
      point = true;
      i += dec.size();
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i == s.size()) return true;
  if (s[i] != 'e' && s[i] != 'E') return false;
  ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::string_view exponent = s.substr(i);
  return allDigits(exponent);
}

namespace {

// Splits a text at blanks into its tokens ([date] [time] [AM/PM]); false for more than
// three.
bool splitTokens(std::string_view s, std::string_view (&tokens)[3], int& count) {
  count = 0;
  while (!s.empty()) {
    if (count == 3) return false;
    std::size_t blank = s.find(' ');
    tokens[count++] = s.substr(0, blank);
    s = blank == std::string_view::npos ? std::string_view{} : trimmed(s.substr(blank));
  }
  return true;
}

// Splits a date into exactly three groups of digits joined by one and the same separator:
// `localeSep`, "/", "-" or ".".
bool splitDateGroups(std::string_view tok, const std::string& localeSep, std::string_view (&parts)[3]) {
  std::string_view sep;
  int n = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= tok.size(); ++i) {
    bool end = i == tok.size();
    if (!end && tok[i] >= '0' && tok[i] <= '9') continue;
    if (n == 3) return false;
    parts[n++] = tok.substr(start, i - start);
    if (end) break;
    std::string_view here;
    if (!localeSep.empty() && tok.compare(i, localeSep.size(), localeSep) == 0)
      here = tok.substr(i, localeSep.size());
    else if (tok[i] == '/' || tok[i] == '-' || tok[i] == '.') here = tok.substr(i, 1);
    else return false;
    if (!sep.empty() && here != sep) return false;
    sep = here;
    i += here.size() - 1;
    start = i + 1;
  }
  if (n != 3) return false;
  for (auto& part : parts)
    if (!allDigits(part) || part.size() > 4) return false;
  return true;
}

// Splits a time of day into two or three groups of one or two digits joined by ":".
bool splitTimeGroups(std::string_view tok, std::string_view (&parts)[3], int& n) {
  n = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= tok.size(); ++i) {
    if (i < tok.size() && tok[i] != ':') continue;
    if (n == 3) return false;
    parts[n++] = tok.substr(start, i - start);
    start = i + 1;
  }
  if (n < 2) return false;
  for (int i = 0; i < n; ++i)
    if (!allDigits(parts[i]) || parts[i].size() > 2) return false;
  return true;
}

}  // namespace

bool Locale::Impl::readDate(std::string_view tok, DateTimeParts& p) const {
  std::string_view parts[3];
  if (!splitDateGroups(tok, dateSep, parts)) return false;
  std::string_view ys, ms, ds;
  if (parts[0].size() == 4 || order == Order::YMD) {
    ys = parts[0];
    ms = parts[1];
    ds = parts[2];
  } else if (order == Order::DMY) {
    ds = parts[0];
    ms = parts[1];
    ys = parts[2];
  } else {
    ms = parts[0];
    ds = parts[1];
    ys = parts[2];
  }
  if (ms.size() > 2 || ds.size() > 2) return false;
  int y = toInt(ys);
  if (ys.size() <= 2) y += y < 30 ? 2000 : 1900;
  int m = toInt(ms), d = toInt(ds);
  if (y < 100 || y > 9999 || !isValidDate(y, m, d)) return false;
  p.year = y;
  p.month = m;
  p.day = d;
  return true;
}

bool Locale::Impl::readTime(std::string_view tok, std::string_view ampm, DateTimeParts& p) const {
  // AM/PM may follow the digits directly ("1:05PM").
  std::size_t letters = tok.find_first_not_of("0123456789:");
  if (letters != std::string_view::npos) {
    if (!ampm.empty()) return false;
    ampm = tok.substr(letters);
    tok = tok.substr(0, letters);
  }
  std::string_view parts[3];
  int n = 0;
  if (!splitTimeGroups(tok, parts, n)) return false;
  int h = toInt(parts[0]), mi = toInt(parts[1]), se = n == 3 ? toInt(parts[2]) : 0;
  if (mi > 59 || se > 59) return false;
  if (!ampm.empty()) {
    bool isAm = equalsIgnoringAsciiCase(ampm, "AM") || equalsIgnoringAsciiCase(ampm, am);
    bool isPm = equalsIgnoringAsciiCase(ampm, "PM") || equalsIgnoringAsciiCase(ampm, pm);
    if (!isAm && !isPm) return false;
    if (h < 1 || h > 12) return false;
    h = h % 12 + (isPm ? 12 : 0);
  } else if (h > 23) {
    return false;
  }
  p.hour = h;
  p.minute = mi;
  p.second = se;
  return true;
}

std::optional<DateTimeParts> Locale::parseDateOrTime(std::string_view text) const {
  std::string_view s = trimmed(text);
  if (s.empty() || s.front() < '0' || s.front() > '9') return std::nullopt;
  std::string_view tokens[3];
  int count = 0;
  if (!splitTokens(s, tokens, count)) return std::nullopt;

  DateTimeParts p;
  int t = 0;  // the token the time of day stands in
  bool haveDate = false, haveTime = false;
  if (tokens[0].find(':') == std::string_view::npos) {
    if (!impl_->readDate(tokens[0], p)) return std::nullopt;
    haveDate = true;
    t = 1;
  }
  if (t < count) {
    std::string_view ampm = t + 1 < count ? tokens[t + 1] : std::string_view{};
    if (t + 2 < count) return std::nullopt;
    if (!impl_->readTime(tokens[t], ampm, p)) return std::nullopt;
    haveTime = true;
  }
  if (!haveDate && !haveTime) return std::nullopt;
  return p;
}

std::string Locale::formatExtendedDate(const ExtendedDateTime& value) const {
  return extendedText(value, impl_->dateSep, impl_->timeSep, false);
}

std::string Locale::formatDate(const DateTimeParts& p, bool withTime) const {
  std::string out;
  out.reserve(24);
  appendTwoDigits(out, p.month);
  out += impl_->dateSep;
  appendTwoDigits(out, p.day);
  out += impl_->dateSep;
  char year[8];
  std::snprintf(year, sizeof year, "%04d", p.year);
  out += year;
  if (withTime) {
    out += ' ';
    appendTwoDigits(out, p.hour);
    out += impl_->timeSep;
    appendTwoDigits(out, p.minute);
    out += impl_->timeSep;
    appendTwoDigits(out, p.second);
  }
  return out;
}

}  // namespace tw
