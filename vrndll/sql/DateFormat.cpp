#include "vrndll/sql/DateFormat.h"

#include <charconv>

namespace values {

namespace {

// Day number of 1900-01-01 counted from 0000-03-01 of the proleptic
// Gregorian calendar, the origin the closed-form conversion works from.
constexpr int64_t kDay0FromMarchYear0 = 693901;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// A date or time text is composed here and appended in one piece. The
// longest is "12/31/-5877711 23:59:59.997", far below the capacity; writes
// beyond it are dropped all the same.
class Composer {
public:
    void Put(char c) {
        if (used_ < sizeof text_) text_[used_++] = c;
    }
    void Put(const char *s) {
        while (*s) Put(*s++);
    }
    void Number(int64_t v) {
        if (v >= 0 && v < 100) { // months, days, hours, minutes, seconds
            if (v >= 10) Put(static_cast<char>('0' + v / 10));
            Put(static_cast<char>('0' + v % 10));
            return;
        }
        auto r = std::to_chars(text_ + used_, text_ + sizeof text_, v);
        used_ = static_cast<size_t>(r.ptr - text_);
    }
    // `v` (0..9999) in four digits, zeros in front.
    void FourDigits(int64_t v) {
        Put(static_cast<char>('0' + v / 1000));
        ThreeDigits(static_cast<int>(v % 1000));
    }
    void ThreeDigits(int v) {
        Put(static_cast<char>('0' + v / 100));
        Put(static_cast<char>('0' + v / 10 % 10));
        Put(static_cast<char>('0' + v % 10));
    }
    void AppendTo(std::string &out) const { out.append(text_, used_); }

private:
    char text_[80];
    size_t used_ = 0;
};

void PutDate(Composer &text, int64_t day) {
    CivilDate d = CivilFromDayNumber(day);
    text.Number(d.month);
    text.Put('/');
    text.Number(d.day);
    text.Put('/');
    // A year of one or two digits would be read by the server as one of
    // the years around 2000 (and three digits may be too): years below
    // 1000 are written with four digits, 0001, 0050, 0999.
    if (d.year >= 0 && d.year < 1000)
        text.FourDigits(d.year);
    else
        text.Number(d.year);
}

// "h:m:s" of a non-negative tick count, then ".mmm" for a fraction of a
// second.
void PutTime(Composer &text, int64_t ticks) {
    text.Number(ticks / kTicksPerHour);
    text.Put(':');
    text.Number(ticks / kTicksPerMinute % 60);
    text.Put(':');
    text.Number(ticks / kTicksPerSecond % 60);
    int fraction = static_cast<int>(ticks % kTicksPerSecond);
    if (fraction != 0) {
        text.Put('.');
        text.ThreeDigits(MillisecondsOfTicks(fraction));
    }
}

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
    Composer text;
    PutDate(text, static_cast<int64_t>(day) + carry);
    text.Put(' ');
    PutTime(text, static_cast<int64_t>(ticks) - carry * kTicksPerDay);
    text.AppendTo(out);
}

void FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes) {
    const int64_t carry = FloorDiv(minutes, kMinutesPerDay);
    const int64_t m = static_cast<int64_t>(minutes) - carry * kMinutesPerDay;
    Composer text;
    PutDate(text, static_cast<int64_t>(day) + carry);
    text.Put(' ');
    text.Number(m / 60);
    text.Put(':');
    text.Number(m % 60);
    text.Put(":0.0");
    text.AppendTo(out);
}

void FormatDate(std::string &out, int32_t day) {
    Composer text;
    PutDate(text, day);
    text.AppendTo(out);
}

void FormatTime(std::string &out, int32_t ticks) {
    int64_t t = ticks;
    Composer text;
    if (t < 0) {
        text.Put('-');
        t = -t;
    }
    PutTime(text, t);
    text.AppendTo(out);
}

} // namespace values
