// A field value as the data-access layer hands it over: the variant of one database cell.
//
// The kinds are those an Access table can hold and a FoxPro table can receive: null,
// boolean, integer, single and double floating point, currency (exact, scaled by 10,000),
// decimal (exact digits and scale), date/time (days since 30 December 1899, the Access and
// ADO date type), extended date/time (exact to 100 nanoseconds), text (UTF-8), bytes and
// GUID. Values are plain data: copyable, comparable,
// and free of any locale; turning them into text for a user or a statement is the job of
// `Locale` (locale.h).
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tw {

struct Null {
  friend bool operator==(Null, Null) { return true; }
};

// An exact amount of money: the value times 10,000, as Access and ADO store currency.
struct Currency {
  std::int64_t scaled = 0;
  friend bool operator==(const Currency&, const Currency&) = default;
};

// An exact decimal number: `digits` is the unscaled magnitude in decimal (no sign, no
// leading zeros except the single digit "0"), `scale` the number of those digits that
// stand after the decimal point. 12.50 with scale 2 is {false, "1250", 2}.
struct Decimal {
  bool negative = false;
  std::string digits = "0";
  int scale = 0;
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

// A date and time as an OLE automation date: whole days since 30 December 1899 (negative
// before it) and the time of day as the fraction, whose magnitude counts even for negative
// days (-1.25 is 29 December 1899, 06:00), as Access stores it.
struct DateTime {
  double days = 0.0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// A Date/Time Extended value, exactly as Access stores it: whole days since 1 January of
// the year 1 (proleptic Gregorian calendar) and the time of day in units of 100
// nanoseconds (0 to 863,999,999,999).
struct ExtendedDateTime {
  std::int64_t days = 0;
  std::int64_t ticks = 0;
  friend bool operator==(const ExtendedDateTime&, const ExtendedDateTime&) = default;
};

// A GUID in its 16 stored bytes (the first three groups little-endian, as Windows keeps it).
struct Guid {
  std::array<std::uint8_t, 16> bytes{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

using Bytes = std::vector<std::uint8_t>;

// Single-precision floats are kept apart from doubles because they render with 7 significant
// digits instead of 15.
struct Single {
  float value = 0.0f;
  friend bool operator==(const Single&, const Single&) = default;
};

class Value {
 public:
  using Storage = std::variant<Null, bool, std::int64_t, Single, double, Currency, Decimal, DateTime,
                               ExtendedDateTime, std::string, Bytes, Guid>;

  Value() = default;
  Value(Null) {}
  Value(bool v) : v_(v) {}
  Value(int v) : v_(static_cast<std::int64_t>(v)) {}
  Value(std::int64_t v) : v_(v) {}
  Value(Single v) : v_(v) {}
  Value(double v) : v_(v) {}
  Value(Currency v) : v_(v) {}
  Value(Decimal v) : v_(std::move(v)) {}
  Value(DateTime v) : v_(v) {}
  Value(ExtendedDateTime v) : v_(v) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(const char* v) : v_(std::string(v)) {}
  Value(Bytes v) : v_(std::move(v)) {}
  Value(Guid v) : v_(v) {}

  bool isNull() const { return std::holds_alternative<Null>(v_); }
  template <class T>
  bool is() const {
    return std::holds_alternative<T>(v_);
  }
  template <class T>
  const T& as() const {
    return std::get<T>(v_);
  }
  template <class T>
  const T* get() const {
    return std::get_if<T>(&v_);
  }
  const Storage& storage() const { return v_; }

  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage v_;
};

}  // namespace tw
