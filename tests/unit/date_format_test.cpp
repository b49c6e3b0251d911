// Day numbers and tick counts as the text of date and time literals.
#include "vrndll/sql/DateFormat.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace values;

namespace {

std::string DateTime(int32_t day, int32_t ticks) {
    std::string out;
    FormatDateTime(out, day, ticks);
    return out;
}

std::string SmallDateTime(int32_t day, int32_t minutes) {
    std::string out;
    FormatSmallDateTime(out, day, minutes);
    return out;
}

std::string Date(int32_t day) {
    std::string out;
    FormatDate(out, day);
    return out;
}

std::string Time(int32_t ticks) {
    std::string out;
    FormatTime(out, ticks);
    return out;
}

int32_t Ticks(int h, int m, int s, int fraction) {
    return h * kTicksPerHour + m * kTicksPerMinute + s * kTicksPerSecond + fraction;
}

// How the server stores a millisecond value: the nearest 1/300 s.
int TicksOfMilliseconds(int ms) { return (ms * 3 + 5) / 10; }

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

} // namespace

// ------------------------------------------------------------------ calendar

TEST(Calendar, KnownDays) {
    EXPECT_EQ(Date(0), "1/1/1900");
    EXPECT_EQ(Date(59), "3/1/1900"); // 1900 has no 29 February
    EXPECT_EQ(Date(36525), "1/2/2000");
    EXPECT_EQ(Date(-1), "12/31/1899");
    EXPECT_EQ(Date(-53690), "1/1/1753");
    EXPECT_EQ(Date(2958463), "12/31/9999");
    EXPECT_EQ(Date(36583), "2/29/2000"); // 2000 has one
    // Years below 1000 in four digits, never taken for two-digit years.
    EXPECT_EQ(Date(-693595), "1/1/0001");
    EXPECT_EQ(Date(-675698), "1/1/0050");
    EXPECT_EQ(Date(-328719), "12/31/0999");
    EXPECT_EQ(Date(-328718), "1/1/1000");
}

TEST(Calendar, FollowsMonthLengthsDayByDay) {
    // Walk 800 years forward and backward from 1900 one day at a time with
    // DaysInMonth and compare every date.
    CivilDate expected{1900, 1, 1};
    for (int32_t day = 0; day < 800 * 366; ++day) {
        CivilDate got = CivilFromDayNumber(day);
        ASSERT_EQ(got.year, expected.year) << day;
        ASSERT_EQ(got.month, expected.month) << day;
        ASSERT_EQ(got.day, expected.day) << day;
        if (++expected.day > DaysInMonth(expected.month, IsLeap(expected.year) ? 1 : 0)) {
            expected.day = 1;
            if (++expected.month > 12) {
                expected.month = 1;
                ++expected.year;
            }
        }
    }
    expected = {1900, 1, 1};
    for (int32_t day = 0; day > -800 * 366; --day) {
        CivilDate got = CivilFromDayNumber(day);
        ASSERT_EQ(got.year, expected.year) << day;
        ASSERT_EQ(got.month, expected.month) << day;
        ASSERT_EQ(got.day, expected.day) << day;
        if (--expected.day < 1) {
            if (--expected.month < 1) {
                expected.month = 12;
                --expected.year;
            }
            expected.day = DaysInMonth(expected.month, IsLeap(expected.year) ? 1 : 0);
        }
    }
}

TEST(Calendar, AnyDayNumberGivesAValidDateAtOnce) {
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        int32_t day = static_cast<int32_t>(random());
        if (i == 0) day = std::numeric_limits<int32_t>::min();
        if (i == 1) day = std::numeric_limits<int32_t>::max();
        CivilDate d = CivilFromDayNumber(day);
        ASSERT_GE(d.month, 1);
        ASSERT_LE(d.month, 12);
        ASSERT_GE(d.day, 1);
        ASSERT_LE(d.day, DaysInMonth(d.month, IsLeap(d.year) ? 1 : 0));
    }
    EXPECT_EQ(Date(std::numeric_limits<int32_t>::max()), "7/12/5881510");
    EXPECT_EQ(Date(std::numeric_limits<int32_t>::min()), "6/22/-5877711");
}

TEST(Calendar, DaysInMonth) {
    const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int m = 1; m <= 12; ++m) EXPECT_EQ(DaysInMonth(m, 0), lengths[m - 1]);
    EXPECT_EQ(DaysInMonth(2, 1), 29);
    EXPECT_EQ(DaysInMonth(0, 0), 0); // other numbers come back unchanged
    EXPECT_EQ(DaysInMonth(13, 1), 13);
}

// ------------------------------------------------------------------ datetime

TEST(DateTimeText, MonthFirstAndPlainWholeSeconds) {
    EXPECT_EQ(DateTime(0, 0), "1/1/1900 0:0:0");
    EXPECT_EQ(DateTime(36525, Ticks(13, 5, 9, 0)), "1/2/2000 13:5:9");
    EXPECT_EQ(DateTime(-1, Ticks(23, 59, 59, 0)), "12/31/1899 23:59:59");
}

TEST(DateTimeText, FractionsAsMilliseconds) {
    EXPECT_EQ(DateTime(0, 1), "1/1/1900 0:0:0.003");
    EXPECT_EQ(DateTime(0, 2), "1/1/1900 0:0:0.007");
    EXPECT_EQ(DateTime(0, 150), "1/1/1900 0:0:0.500");
    EXPECT_EQ(DateTime(0, Ticks(23, 59, 59, 299)), "1/1/1900 23:59:59.997");
}

TEST(DateTimeText, EveryTickSurvivesTheServersRounding) {
    int previous = -1;
    for (int ticks = 0; ticks < kTicksPerSecond; ++ticks) {
        int ms = MillisecondsOfTicks(ticks);
        EXPECT_GT(ms, previous);
        EXPECT_LT(ms, 1000);
        EXPECT_EQ(TicksOfMilliseconds(ms), ticks) << ms;
        previous = ms;
    }
}

TEST(DateTimeText, TicksOutsideTheDayMoveTheDate) {
    EXPECT_EQ(DateTime(0, kTicksPerDay), "1/2/1900 0:0:0");
    EXPECT_EQ(DateTime(0, -1), "12/31/1899 23:59:59.997");
    EXPECT_EQ(DateTime(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()),
              "10/2/5881510 20:24:38.823");
    EXPECT_EQ(DateTime(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()),
              "3/31/-5877711 3:35:21.173");
}

// ------------------------------------------------------------------ smalldatetime

TEST(SmallDateTimeText, MonthFirstWithZeroSeconds) {
    EXPECT_EQ(SmallDateTime(0, 0), "1/1/1900 0:0:0.0");
    EXPECT_EQ(SmallDateTime(36525, 0), "1/2/2000 0:0:0.0");
    EXPECT_EQ(SmallDateTime(59, 1439), "3/1/1900 23:59:0.0");
}

TEST(SmallDateTimeText, MinutesBeyondTheDayMoveTheDate) {
    EXPECT_EQ(SmallDateTime(0, kMinutesPerDay), "1/2/1900 0:0:0.0");
    EXPECT_EQ(SmallDateTime(65535, 65535), "7/21/2079 12:15:0.0"); // largest stored values
}

// ------------------------------------------------------------------ date and time

TEST(TimeText, HoursMinutesSecondsAndFraction) {
    EXPECT_EQ(Time(0), "0:0:0");
    EXPECT_EQ(Time(Ticks(13, 45, 30, 150)), "13:45:30.500");
    EXPECT_EQ(Time(kTicksPerDay - 1), "23:59:59.997");
}

TEST(TimeText, OutOfRangeTicksAreWrittenAsTheyStand) {
    EXPECT_EQ(Time(kTicksPerDay), "24:0:0");
    EXPECT_EQ(Time(-kTicksPerSecond), "-0:0:1");
    EXPECT_EQ(Time(std::numeric_limits<int32_t>::min()), "-1988:24:38.827");
}
