// Calendar arithmetic in the proleptic Gregorian calendar, and the day numbers the two
// file formats store. Every date conversion in the program goes through here.
//
// The day counts:
//   - Access Date/Time (and the program's DateTime values): an OLE automation date, whole
//     days since 30 December 1899, with the time of day as a fraction whose magnitude
//     counts away from zero before that day (-1.25 is 29 December 1899, 06:00);
//   - Access Date/Time Extended: whole days since 1 January of the year 1 and ticks of
//     100 nanoseconds since midnight;
//   - FoxPro DateTime: the Julian day number and milliseconds since midnight.
// All of them are written here as offsets from one count, days since 1 January 1970.
// Qt-free: the reader, the writer and the FoxPro engine all use it.
#pragma once

#include <cstdint>

namespace tw {

// A calendar date and time of day (a date as read from a text, or an OLE date split up).
struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// A calendar date.
struct CivilDate {
  int year = 1970, month = 1, day = 1;
};

// The origin of each day count, as days since 1 January 1970.
inline constexpr std::int64_t kOleDayZero = -25569;        // 30 December 1899
inline constexpr std::int64_t kExtendedDayZero = -719162;  // 1 January of the year 1
inline constexpr std::int64_t kJulianDayOf1970 = 2440588;  // Julian day number of 1970-01-01

// The dates Access stores: OLE days from 1 January 100 up to (not including) 1 January
// 10000; extended days from 1 January 1 up to (not including) 1 January 10000.
inline constexpr std::int64_t kOleFirstDay = -657434;
inline constexpr std::int64_t kOleDaysEnd = 2958466;
inline constexpr std::int64_t kExtendedDaysEnd = 3652059;

inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;  // ticks of 100 nanoseconds
inline constexpr std::int64_t kTicksPerDay = kSecondsPerDay * kTicksPerSecond;

bool isLeapYear(int year);
// The days of a month (1 to 12) of a year.
int daysInMonth(int year, int month);
// True for a month from 1 to 12 and a day that month has; any year.
bool isValidDate(int year, int month, int day);

// Days since 1 January 1970 of a valid date (negative before it), and back.
std::int64_t daysFromCivil(int year, int month, int day);
CivilDate civilFromDays(std::int64_t days);

// The day counts of a valid date: OLE days, extended days and the Julian day number.
std::int64_t oleDayFromCivil(int year, int month, int day);
std::int64_t extendedDayFromCivil(int year, int month, int day);
std::int64_t julianDayFromCivil(int year, int month, int day);
CivilDate civilFromExtendedDay(std::int64_t days);

// An OLE automation date from a valid date and a time of day.
double oleDate(int year, int month, int day, int hour, int minute, double second);
// The OLE automation date of a Julian day number and milliseconds since midnight.
double oleDateFromJulian(std::int64_t julianDay, std::int64_t milliseconds);
// Splits an OLE automation date into calendar parts, rounding to the nearest second.
DateTimeParts splitDateTime(double days);

}  // namespace tw
