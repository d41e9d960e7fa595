// Locale-aware conversions of values and texts, chosen per instance so that tests can run
// en_US and de_DE side by side. Implemented with QLocale (Qt Core only).
//
// Rendering rules (the display text the row statements start from):
//   null -> ""; booleans "True"/"False"; integers in decimal; singles with 7 and doubles
//   with 15 significant digits, or as many more as they need to read back as the same
//   value; currency and decimal exactly, without trailing zeros after the
//   decimal separator; no digit grouping; the locale's decimal separator; dates in the
//   locale's short date form, always with a four-digit year, followed by the long time form
//   without a time zone when the time of day is not midnight (only the time when the date
//   part is zero); extended dates as "yyyy-mm-dd hh:nn:ss.fffffff"; bytes as upper-case
//   hexadecimal digits; GUIDs as {XXXXXXXX-XXXX-...}.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/calendar.h"
#include "platform/value.h"

namespace tw {

class Locale {
 public:
  // A locale by name ("en_US", "de_DE"); an unknown name gives Qt's fallback ("C").
  explicit Locale(const std::string& name);
  // The user's locale as Qt reads it (LANG / LC_ALL).
  static Locale system();
  Locale(const Locale&);
  Locale& operator=(const Locale&);
  ~Locale();

  std::string name() const;
  char32_t decimalSeparator() const;
  // The decimal separator as UTF-8 text ("." or "," in most locales).
  const std::string& decimalSeparatorText() const;
  const std::string& dateSeparator() const;
  const std::string& timeSeparator() const;

  std::string displayText(const Value& value) const;

  // True when the text reads as a number here: optional blanks, an optional sign, digits
  // with at most one decimal separator of this locale, an optional exponent.
  bool readsAsNumber(std::string_view text) const;

  // The date or time the text stands for, when it is recognised as one here: the locale's
  // short date order (two- or four-digit year) or year-month-day, with "/", "-", "." or the
  // locale's own separator; optionally followed by a time of day (h:mm or h:mm:ss, 12-hour
  // with AM/PM or 24-hour); or a time of day alone, which stands on 30 December 1899.
  std::optional<DateTimeParts> parseDateOrTime(std::string_view text) const;
  bool isDateOrTime(std::string_view text) const { return parseDateOrTime(text).has_value(); }

  // Formats with the pattern "mm/dd/yyyy" or, with `withTime`, "mm/dd/yyyy hh:nn:ss", where
  // "/" and ":" are this locale's date and time separators; the month always comes first.
  std::string formatDate(const DateTimeParts& parts, bool withTime) const;
  // An extended date in the pattern "mm/dd/yyyy hh:nn:ss.fffffff", with this locale's date
  // and time separators as in formatDate: 27 characters, exact to 100 nanoseconds.
  std::string formatExtendedDate(const ExtendedDateTime& value) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  explicit Locale(std::unique_ptr<Impl> impl);
};

}  // namespace tw
