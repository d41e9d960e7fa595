#include "platform/locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tw {
namespace {

TEST(LocaleDisplayText, NumbersInBothLocales) {
  Locale us("en_US"), de("de_DE");
  EXPECT_EQ(us.displayText(Value(1234567.25)), "1234567.25");  // no grouping
  EXPECT_EQ(de.displayText(Value(1234567.25)), "1234567,25");
  // 15 significant digits (7 for singles), or as many more as read back the same value.
  EXPECT_EQ(us.displayText(Value(1.0 / 3)), "0.3333333333333333");
  EXPECT_EQ(us.displayText(Value(0.1 + 0.2)), "0.30000000000000004");
  EXPECT_EQ(de.displayText(Value(2.0 / 3)), "0,6666666666666666");
  EXPECT_EQ(us.displayText(Value(100000.0)), "100000");
  EXPECT_EQ(us.displayText(Value(Single{1.0f / 3})), "0.33333334");
  EXPECT_EQ(us.displayText(Value(Single{16777216.0f})), "16777216");
  EXPECT_EQ(us.displayText(Value(Single{1e7f})), "1E+07");
  EXPECT_EQ(us.displayText(Value(Single{0.1f})), "0.1");
  EXPECT_EQ(us.displayText(Value(0.00001)), "1E-05");
  EXPECT_EQ(us.displayText(Value(1e300)), "1E+300");
  for (double d : {1.0 / 3, 0.1 + 0.2, 123456789.123456789, 5e-324, 1.7976931348623157e308, -2.5e-8}) {
    const std::string text = us.displayText(Value(d));
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
  }
  // Doubles that 15 digits hold render exactly as before; the others read back the same.
  std::uint64_t seed = 99;
  for (int k = 0; k < 20000; ++k) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    const int decimals = static_cast<int>(seed >> 60) % 8;
    const double scaled = static_cast<double>(static_cast<std::int64_t>(seed >> 20) - (std::int64_t{1} << 43));
    double d = scaled / std::pow(10.0, decimals);
    if (k % 3 == 0) std::memcpy(&d, &seed, sizeof d);  // any bit pattern
    if (!std::isfinite(d)) continue;
    char old[64];
    std::snprintf(old, sizeof old, "%.15G", d);
    const std::string text = us.displayText(Value(d));
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
    if (std::strtod(old, nullptr) == d && d != 0) {
      std::string expected = old;
      if (auto e = expected.find('E'); e != std::string::npos && expected[e + 2] == '0' && expected.size() > e + 4)
        expected.erase(e + 2, 1);  // printf writes three exponent digits where to_chars writes two
      ASSERT_EQ(text, expected) << d;
    }
  }
  for (float f : {1.0f / 3, 16777217.0f, 3.4028235e38f, 1.17549435e-38f, -0.3f}) {
    const std::string text = us.displayText(Value(Single{f}));
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
  }
  EXPECT_EQ(us.displayText(Value(std::int64_t{-42})), "-42");
  EXPECT_EQ(us.displayText(Value(Currency{30000})), "3");
  EXPECT_EQ(us.displayText(Value(Currency{-5})), "-0.0005");
  EXPECT_EQ(de.displayText(Value(Currency{922337203685477580LL * 10 + 7})), "922337203685477,5807");
  EXPECT_EQ(us.displayText(Value(Currency{INT64_MIN})), "-922337203685477.5808");
  EXPECT_EQ(us.displayText(Value(Decimal{false, "1250", 2})), "12.5");
  EXPECT_EQ(us.displayText(Value(Decimal{false, "0", 4})), "0");
  EXPECT_EQ(us.displayText(Value(Decimal{true, "7", 3})), "-0.007");
  EXPECT_EQ(us.displayText(Value(true)), "True");
  EXPECT_EQ(de.displayText(Value(false)), "False");
  EXPECT_EQ(us.displayText(Value()), "");
}

TEST(LocaleDisplayText, ExtendedDatesKeepEveryDigit) {
  Locale us("en_US"), de("de_DE");
  // 2021-06-14 22:45:12.3456789: day 737954 after 0001-01-01.
  const ExtendedDateTime x{737954, (22 * 3600 + 45 * 60 + 12) * 10000000LL + 3456789};
  EXPECT_EQ(us.displayText(Value(x)), "2021-06-14 22:45:12.3456789");
  EXPECT_EQ(us.formatExtendedDate(x), "06/14/2021 22:45:12.3456789");
  EXPECT_EQ(de.formatExtendedDate(x), "06.14.2021 22:45:12.3456789");
  EXPECT_EQ(us.formatExtendedDate(ExtendedDateTime{0, 1}), "01/01/0001 00:00:00.0000001");
  EXPECT_EQ(us.formatExtendedDate(ExtendedDateTime{3652058, 863999999999}), "12/31/9999 23:59:59.9999999");
}

TEST(LocaleDisplayText, DatesAlwaysCarryFourDigitYearsAndNoTimeZone) {
  Locale us("en_US"), de("de_DE");
  EXPECT_EQ(us.displayText(Value(DateTime{44230.0})), "2/3/2021");
  EXPECT_EQ(de.displayText(Value(DateTime{44230.0})), "03.02.2021");
  EXPECT_EQ(us.displayText(Value(DateTime{44230.75})), "2/3/2021 6:00:00 PM");
  EXPECT_EQ(de.displayText(Value(DateTime{44230.75})), "03.02.2021 18:00:00");
  EXPECT_EQ(us.displayText(Value(DateTime{9498.0})), "1/1/1926");  // not 1/1/26
  EXPECT_EQ(us.displayText(Value(DateTime{0.5})), "12:00:00 PM");  // time only
  EXPECT_EQ(us.displayText(Value(DateTime{-1.0})), "12/29/1899");
  EXPECT_EQ(us.displayText(Value(DateTime{-657434.0})), "1/1/0100");
  // 23:59:59.6 rounds to the next midnight.
  EXPECT_EQ(us.displayText(Value(DateTime{44230.0 + 86399.6 / 86400})), "2/4/2021");
}

TEST(LocaleDisplayText, RenderedValuesAreRecognisedAgain) {
  for (const char* name :
       {"en_US", "de_DE", "fr_FR", "fi_FI", "ja_JP", "C", "hu_HU", "ko_KR", "ar_SA", "en_GB", "nl_NL"}) {
    Locale l(name);
    for (double d : {44230.0, 44230.75, 0.5, -1.25, 2958465.0, -657434.0}) {
      std::string text = l.displayText(Value(DateTime{d}));
      auto parts = l.parseDateOrTime(text);
      ASSERT_TRUE(parts) << name << " " << text;
      DateTimeParts want = splitDateTime(d);
      EXPECT_EQ(parts->year, want.year) << name << " " << text;
      EXPECT_EQ(parts->month, want.month) << name << " " << text;
      EXPECT_EQ(parts->day, want.day) << name << " " << text;
      EXPECT_EQ(parts->hour, want.hour) << name << " " << text;
      EXPECT_EQ(parts->minute, want.minute) << name << " " << text;
    }
    for (double v : {1234.5, -0.001, 1e20, 3.0}) EXPECT_TRUE(l.readsAsNumber(l.displayText(Value(v)))) << name;
    EXPECT_TRUE(l.readsAsNumber(l.displayText(Value(Currency{-12345})))) << name;
  }
}

TEST(LocaleNumbers, ReadsAsNumber) {
  Locale us("en_US"), de("de_DE");
  for (const char* t : {"1", "-1", "+2.5", " 3 ", ".5", "5.", "1E+15", "1e-5"}) EXPECT_TRUE(us.readsAsNumber(t)) << t;
  for (const char* t : {"", "abc", "1.2.3", "1,5", "1E", "E5", "-", "12a", "1 2", "True"})
    EXPECT_FALSE(us.readsAsNumber(t)) << t;
  EXPECT_TRUE(de.readsAsNumber("3,5"));
  EXPECT_FALSE(de.readsAsNumber("3.5"));
}

TEST(LocaleDates, RecognitionAndFormatting) {
  Locale us("en_US"), de("de_DE");
  auto fmt = [](const Locale& l, const char* text, bool withTime) {
    auto p = l.parseDateOrTime(text);
    return p ? l.formatDate(*p, withTime) : std::string("-");
  };
  EXPECT_EQ(fmt(us, "2/3/2021", false), "02/03/2021");
  EXPECT_EQ(fmt(us, "2021-02-03", false), "02/03/2021");
  EXPECT_EQ(fmt(us, "12/31/99", false), "12/31/1999");
  EXPECT_EQ(fmt(us, "1/1/29", false), "01/01/2029");
  EXPECT_EQ(fmt(us, "13:05", true), "12/30/1899 13:05:00");
  EXPECT_EQ(fmt(us, "12:30:15 AM", true), "12/30/1899 00:30:15");
  EXPECT_EQ(fmt(de, "03.02.2021 18:00:00", true), "02.03.2021 18:00:00");
  for (const char* t : {"2/30/2021", "13/1/2021", "1/2", "25:00", "12:60", "1:00 XM", "Monday", "2/3/2021 x", "",
                        "1-2/2021", "99999/1/1"})
    EXPECT_FALSE(us.isDateOrTime(t)) << t;
  EXPECT_FALSE(de.isDateOrTime("2/30/2021"));
  EXPECT_TRUE(de.isDateOrTime("28.02.2021"));
}

}  // namespace
}  // namespace tw
