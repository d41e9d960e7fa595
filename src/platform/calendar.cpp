#include "platform/calendar.h"

#include <cmath>

namespace tw {

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isValidDate(int year, int month, int day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

// Both directions after Howard Hinnant's algorithms: the year is counted from 1 March, so
// that the leap day falls at its end, in eras of 400 years (146097 days).
std::int64_t daysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;                                 // year of the era
  const std::int64_t doy = (153 * ((month + 9) % 12) + 2) / 5 + day - 1;  // day of the year
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;         // day of the era
  return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(std::int64_t days) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  CivilDate date;
  date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
  return date;
}

std::int64_t oleDayFromCivil(int year, int month, int day) { return daysFromCivil(year, month, day) - kOleDayZero; }

std::int64_t extendedDayFromCivil(int year, int month, int day) {
  return daysFromCivil(year, month, day) - kExtendedDayZero;
}

std::int64_t julianDayFromCivil(int year, int month, int day) {
  return daysFromCivil(year, month, day) + kJulianDayOf1970;
}

CivilDate civilFromExtendedDay(std::int64_t days) { return civilFromDays(days + kExtendedDayZero); }

double oleDate(int year, int month, int day, int hour, int minute, double second) {
  const double days = static_cast<double>(oleDayFromCivil(year, month, day));
  const double fraction = (hour * 3600.0 + minute * 60.0 + second) / static_cast<double>(kSecondsPerDay);
  return days < 0 ? days - fraction : days + fraction;
}

double oleDateFromJulian(std::int64_t julianDay, std::int64_t milliseconds) {
  const double days = static_cast<double>(julianDay - kJulianDayOf1970 - kOleDayZero);
  const double fraction = static_cast<double>(milliseconds) / static_cast<double>(kMillisecondsPerDay);
  // The time of day counts as a positive fraction even before the epoch.
  return days >= 0 ? days + fraction : days - fraction;
}

DateTimeParts splitDateTime(double days) {
  const double whole = std::trunc(days);
  const double fraction = std::fabs(days - whole);
  long long seconds = std::llround(fraction * static_cast<double>(kSecondsPerDay));
  long long day = static_cast<long long>(whole);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    day += 1;
  }
  const CivilDate date = civilFromDays(kOleDayZero + day);
  DateTimeParts p;
  p.year = date.year;
  p.month = date.month;
  p.day = date.day;
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

}  // namespace tw
