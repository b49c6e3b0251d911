#include "vrndll/DateFormat.h"

#include "vrndll/DecimalText.h"

namespace values {

namespace {

// Day number of 1900-01-01 counted from 0000-03-01 of the proleptic
// Gregorian calendar, the origin the closed-form conversion works from.
constexpr int64_t kDay0FromMarchYear0 = 693901;

void AppendDatePart(std::string &out, int64_t day) {
    CivilDate d = CivilFromDayNumber(day);
    AppendDecimal(out, static_cast<int64_t>(d.month));
    out.push_back('/');
    AppendDecimal(out, static_cast<int64_t>(d.day));
    out.push_back('/');
    AppendDecimal(out, static_cast<int64_t>(d.year));
}

// "h:m:s" of 0 <= ticks < one day, then ".mmm" for a fraction of a second.
void AppendTimeOfDay(std::string &out, int64_t ticks) {
    AppendDecimal(out, ticks / kTicksPerHour);
    out.push_back(':');
    AppendDecimal(out, ticks / kTicksPerMinute % 60);
    out.push_back(':');
    AppendDecimal(out, ticks / kTicksPerSecond % 60);
    int fraction = static_cast<int>(ticks % kTicksPerSecond);
    if (fraction != 0) {
        out.push_back('.');
        AppendZeroPadded(out, static_cast<uint32_t>(MillisecondsOfTicks(fraction)), 3);
    }
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

} // namespace

// Counts days from 1 March of year 0, so that the leap day closes each
// year, then splits them into 400-year eras (146097 days), years of the era,
// and a day of the year from which the month follows arithmetically.
CivilDate CivilFromDayNumber(int64_t day) {
    const int64_t z = day + kDay0FromMarchYear0;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t dayOfEra = z - era * 146097;                                     // [0, 146096]
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365; // [0, 399]
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;                        // 0 = March
    CivilDate d;
    d.day = static_cast<int32_t>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    d.month = static_cast<int32_t>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    d.year = static_cast<int32_t>(yearOfEra + era * 400 + (d.month <= 2 ? 1 : 0));
    return d;
}

int DaysInMonth(int month, int leap) {
    switch (month) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12:
        return 31;
    case 2:
        return 28 + leap;
    case 4: case 6: case 9: case 11:
        return 30;
    default:
        return month;
    }
}

int MillisecondsOfTicks(int ticks) {
    const int tenths = ticks * 10; // ms = ticks * 10 / 3, rounded to nearest
    return tenths / 3 + (tenths % 3 == 2 ? 1 : 0);
}

void FormatDateTime(std::string &out, int32_t day, int32_t ticks) {
    const int64_t carry = FloorDiv(ticks, kTicksPerDay);
    AppendDatePart(out, static_cast<int64_t>(day) + carry);
    out.push_back(' ');
    AppendTimeOfDay(out, static_cast<int64_t>(ticks) - carry * kTicksPerDay);
}

void FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes) {
    const int64_t carry = FloorDiv(minutes, kMinutesPerDay);
    const int64_t m = static_cast<int64_t>(minutes) - carry * kMinutesPerDay;
    AppendDatePart(out, static_cast<int64_t>(day) + carry);
    out.push_back(' ');
    AppendDecimal(out, m / 60);
    out.push_back(':');
    AppendDecimal(out, m % 60);
    out.append(":0.0");
}

void FormatDate(std::string &out, int32_t day) { AppendDatePart(out, day); }

void FormatTime(std::string &out, int32_t ticks) {
    int64_t t = ticks;
    if (t < 0) {
        out.push_back('-');
        t = -t;
    }
    AppendTimeOfDay(out, t);
}

} // namespace values
