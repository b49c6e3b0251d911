// Date and time values as the text of SQL literals.
//
// Stored dates count days from 1 January 1900 (day 0; day -1 is 31 December
// 1899) in the Gregorian calendar. Times count ticks of 1/300 second since
// midnight, or whole minutes for smalldatetime. The writers append the text
// only; the caller puts the quotes around it.
//
// Every int32 day number and tick count gives a text in constant time: the
// calendar is computed in closed form with 64-bit arithmetic, so a corrupt
// value can neither loop nor overflow.
#pragma once

#include <cstdint>
#include <string>

namespace values {

constexpr int32_t kTicksPerSecond = 300;
constexpr int32_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr int32_t kTicksPerHour = 60 * kTicksPerMinute;
constexpr int32_t kTicksPerDay = 24 * kTicksPerHour;
constexpr int32_t kMinutesPerDay = 24 * 60;

struct CivilDate {
    int32_t year;
    int32_t month; // 1..12
    int32_t day;   // 1..31
};

// Calendar date of a day number (day 0 is 1900-01-01). Any int64 within
// +-2^33 days is converted exactly.
CivilDate CivilFromDayNumber(int64_t day);

// Days of `month` (1..12) in a year that is a leap year when `leap` is 1:
// 31, 28 + leap or 30. Any other month number is returned unchanged.
int DaysInMonth(int month, int leap);

// Milliseconds written for a fraction of `ticks` (0..299) 1/300 s: the
// nearest whole millisecond, so .000, .003, .007, .010, ... The server
// rounds a millisecond value back to the nearest tick, which gives `ticks`
// again for every fraction.
int MillisecondsOfTicks(int ticks);

// "month/day/year hours:minutes:seconds", with ".mmm" appended when the
// ticks are not a whole second. Ticks outside one day carry whole days into
// the date, so the text names the same instant. (The row writers never hand
// such ticks over: AppendDateTime of ValueFormat.h takes them for damage.)
void FormatDateTime(std::string &out, int32_t day, int32_t ticks);

// "month/day/year hours:minutes:0.0". Minutes beyond one day carry into the
// date (AppendSmallDateTime takes them for damage before).
void FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes);

// "month/day/year". Every writer here writes a year below 1000 with four
// digits ("1/1/0001"), so that it is not read as a two-digit year.
void FormatDate(std::string &out, int32_t day);

// "hours:minutes:seconds", with ".mmm" when the ticks are not a whole
// second. A tick count outside one day has no time of day; it is written
// as it stands (hours beyond 23, a leading '-' when negative); the row
// writer (AppendTime) takes such a count for damage and never writes it.
void FormatTime(std::string &out, int32_t ticks);

} // namespace values
