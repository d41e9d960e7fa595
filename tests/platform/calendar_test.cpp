// Calendar arithmetic, checked day by day against QDate's own proleptic Gregorian count.
#include "platform/calendar.h"

#include <gtest/gtest.h>

#include <QDate>

#include <array>

namespace tw {
namespace {

TEST(Calendar, EveryDayFromTheYearOneTo9999CountsLikeQDate) {
  const qint64 first = QDate(1, 1, 1).toJulianDay(), end = QDate(10000, 1, 1).toJulianDay();
  const QDate oleZero(1899, 12, 30), unixZero(1970, 1, 1);
  for (qint64 jd = first; jd < end; ++jd) {
    const QDate q = QDate::fromJulianDay(jd);
    const std::int64_t days = daysFromCivil(q.year(), q.month(), q.day());
    ASSERT_EQ(days, unixZero.daysTo(q)) << q.toString(Qt::ISODate).toStdString();
    ASSERT_EQ(julianDayFromCivil(q.year(), q.month(), q.day()), jd);
    ASSERT_EQ(oleDayFromCivil(q.year(), q.month(), q.day()), oleZero.daysTo(q));
    ASSERT_EQ(extendedDayFromCivil(q.year(), q.month(), q.day()), jd - first);
    const CivilDate back = civilFromDays(days);
    ASSERT_EQ(QDate(back.year, back.month, back.day), q) << days;
  }
}

TEST(Calendar, NamedDaysAreTheFormatsLimits) {
  EXPECT_EQ(oleDayFromCivil(100, 1, 1), kOleFirstDay);
  EXPECT_EQ(oleDayFromCivil(10000, 1, 1), kOleDaysEnd);
  EXPECT_EQ(extendedDayFromCivil(10000, 1, 1), kExtendedDaysEnd);
  const CivilDate last = civilFromExtendedDay(kExtendedDaysEnd - 1);
  EXPECT_EQ((QDate(last.year, last.month, last.day)), QDate(9999, 12, 31));
}

TEST(Calendar, LeapYearsAndMonthLengths) {
  EXPECT_TRUE(isLeapYear(2000));
  EXPECT_TRUE(isLeapYear(2024));
  EXPECT_FALSE(isLeapYear(1900));
  EXPECT_FALSE(isLeapYear(2023));
  EXPECT_TRUE(isValidDate(2000, 2, 29));
  EXPECT_FALSE(isValidDate(1900, 2, 29));
  EXPECT_TRUE(isValidDate(2023, 12, 31));
  for (auto [y, m, d] : {std::array{2023, 0, 1}, {2023, 13, 1}, {2023, 1, 0}, {2023, 4, 31}, {2023, 1, 32}})
    EXPECT_FALSE(isValidDate(y, m, d)) << y << "-" << m << "-" << d;
}

// The time of day counts away from zero before 30 December 1899, in both directions.
TEST(Calendar, OleDatesCarryTheTimeOfDayAwayFromZero) {
  EXPECT_DOUBLE_EQ(oleDate(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_DOUBLE_EQ(oleDateFromJulian(julianDayFromCivil(1899, 12, 29), 6 * 3600 * 1000), -1.25);
  EXPECT_DOUBLE_EQ(oleDateFromJulian(julianDayFromCivil(2021, 2, 3), 12 * 3600 * 1000), 44230.5);
  const DateTimeParts p = splitDateTime(-1.25);
  EXPECT_EQ((std::array{p.year, p.month, p.day, p.hour, p.minute, p.second}), (std::array{1899, 12, 29, 6, 0, 0}));
  // 23:59:59.6 rounds up into the next day.
  const DateTimeParts q = splitDateTime(44230.0 + 86399.6 / 86400);
  EXPECT_EQ((std::array{q.year, q.month, q.day, q.hour, q.minute, q.second}), (std::array{2021, 2, 4, 0, 0, 0}));
}

}  // namespace
}  // namespace tw
