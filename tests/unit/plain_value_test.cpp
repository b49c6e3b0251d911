// Stored values as plain text for the outputs other than T-SQL: every type
// at its extremes, and what is not exact reported as a change.
#include "vrndll/sql/PlainValue.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tests/support/table_builder.h"

using namespace values;
namespace encode = dumpwriter::encode;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const char *hex) {
    Bytes bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        bytes.push_back(static_cast<uint8_t>(std::strtoul(pair, nullptr, 16)));
    }
    return bytes;
}

struct Case {
    const char *what;
    uint8_t user_type;
    Bytes bytes;
    int scale;
    const char *text;
    PlainKind kind;
    PlainChange change;
};

constexpr PlainChange kExact = PlainChange::kNone;
constexpr int32_t kLastTick = kTicksPerDay - 1;

TEST(PlainValue, EveryTypeAtItsExtremes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"tinyint max", kTinyInt, encode::TinyInt(255), 0, "255", PlainKind::kNumber, kExact},
        {"smallint min", kSmallInt, encode::SmallInt(INT16_MIN), 0, "-32768", PlainKind::kNumber, kExact},
        {"int min", kInt, encode::Int(INT32_MIN), 0, "-2147483648", PlainKind::kNumber, kExact},
        {"bigint min", kBigInt, encode::BigInt(INT64_MIN), 0, "-9223372036854775808", PlainKind::kNumber, kExact},
        {"bigint max", kBigInt, encode::BigInt(INT64_MAX), 0, "9223372036854775807", PlainKind::kNumber, kExact},
        {"unsigned smallint max", kUnsignedSmallInt, encode::Unsigned(65535, 2), 0, "65535", PlainKind::kNumber, kExact},
        {"unsigned int max", kUnsignedInt, encode::Unsigned(UINT32_MAX, 4), 0, "4294967295", PlainKind::kNumber, kExact},
        {"unsigned bigint 2^63", kUnsignedBigInt, encode::Unsigned(uint64_t{1} << 63, 8), 0, "9223372036854775808",
         PlainKind::kNumber, kExact},
        {"unsigned bigint 2^64-1", kUnsignedBigInt, encode::Unsigned(UINT64_MAX, 8), 0, "18446744073709551615",
         PlainKind::kNumber, kExact},
        {"bit 0", kBit, encode::Bit(false), 0, "0", PlainKind::kBoolean, kExact},
        {"bit 1", kBit, encode::Bit(true), 0, "1", PlainKind::kBoolean, kExact},
        {"bit byte 2 reads as set", kBit, {2}, 0, "1", PlainKind::kBoolean, kExact},
        {"float -0.0", kFloat, encode::Float(-0.0), 0, "-0", PlainKind::kNumber, kExact},
        {"float of 17 digits", kFloat, encode::Float(0.1 + 0.2), 0, "0.30000000000000004", PlainKind::kNumber, kExact},
        {"float max", kFloat, encode::Float(-DBL_MAX), 0, "-1.7976931348623157e+308", PlainKind::kNumber, kExact},
        {"float least subnormal", kFloat, encode::Float(4.9406564584124654e-324), 0, "5e-324", PlainKind::kNumber,
         kExact},
        {"float NaN", kFloat, encode::Float(nan), 0, "NaN", PlainKind::kNumber, PlainChange::kNotANumber},
        {"float infinity", kFloat, encode::Float(inf), 0, "Infinity", PlainKind::kNumber, PlainChange::kInfinity},
        {"real -0.0", kReal, encode::Real(-0.0f), 0, "-0", PlainKind::kNumber, kExact},
        {"real 0.1", kReal, encode::Real(0.1f), 0, "0.1", PlainKind::kNumber, kExact},
        {"real -infinity", kReal, encode::Real(-std::numeric_limits<float>::infinity()), 0, "-Infinity",
         PlainKind::kNumber, PlainChange::kInfinity},
        {"decimal(38,10) min", kDecimal, Hex("014b3b4ca85a86c47a098a223fffffffff"), 10,
         "-9999999999999999999999999999.9999999999", PlainKind::kNumber, kExact},
        {"numeric below one", kNumeric, encode::Numeric(-5, 3), 2, "-0.05", PlainKind::kNumber, kExact},
        {"numeric without sign byte", kNumeric, {}, 0, "", PlainKind::kNull, kExact},
        {"money min", kMoney, encode::Money(INT64_MIN), 0, "-922337203685477.5808", PlainKind::kNumber, kExact},
        {"money max", kMoney, encode::Money(INT64_MAX), 0, "922337203685477.5807", PlainKind::kNumber, kExact},
        {"smallmoney min", kSmallMoney, encode::SmallMoney(INT32_MIN), 0, "-214748.3648", PlainKind::kNumber, kExact},
        {"datetime first day", kDateTime, encode::DateTime(-53690, 0), 0, "1753-01-01 00:00:00.000",
         PlainKind::kDateTime, kExact},
        {"datetime last instant", kDateTime, encode::DateTime(2958463, kLastTick), 0, "9999-12-31 23:59:59.997",
         PlainKind::kDateTime, kExact},
        {"datetime a tick", kDateTime, encode::DateTime(0, 1), 0, "1900-01-01 00:00:00.003", PlainKind::kDateTime,
         kExact},
        {"datetime after year 9999", kDateTime, encode::DateTime(2958464, 0), 0, "9999-12-31 00:00:00.000",
         PlainKind::kDateTime, PlainChange::kOutOfRange},
        {"datetime ticks of a day", kDateTime, encode::DateTime(0, kTicksPerDay), 0, "1900-01-01 23:59:59.997",
         PlainKind::kDateTime, PlainChange::kOutOfRange},
        {"smalldatetime last minute", kSmallDateTime, encode::SmallDateTime(65535, 1439), 0, "2079-06-06 23:59:00",
         PlainKind::kDateTime, kExact},
        {"smalldatetime minutes of a day", kSmallDateTime, encode::SmallDateTime(0, 1440), 0, "1900-01-01 23:59:00",
         PlainKind::kDateTime, PlainChange::kOutOfRange},
        {"date first day", kDate, encode::Date(kFirstDateDay), 0, "0001-01-01", PlainKind::kDateTime, kExact},
        {"date before year 1", kDate, encode::Date(kFirstDateDay - 1), 0, "0001-01-01", PlainKind::kDateTime,
         PlainChange::kOutOfRange},
        {"date last day", kDate, encode::Date(kLastDay), 0, "9999-12-31", PlainKind::kDateTime, kExact},
        {"time last tick", kTime, encode::Time(kLastTick), 0, "23:59:59.997", PlainKind::kDateTime, kExact},
        {"time negative", kTime, encode::Time(-1), 0, "00:00:00.000", PlainKind::kDateTime, PlainChange::kOutOfRange},
        {"binary(4) ending in zeros", kBinary, Hex("12340000"), 0, "12340000", PlainKind::kBytes, kExact},
        {"varbinary empty", kVarBinary, {}, 0, "", PlainKind::kBytes, kExact},
        {"timestamp", kTimestamp, Hex("00000000000a1bff"), 0, "00000000000a1bff", PlainKind::kBytes, kExact},
        {"timestamp of no bytes", kTimestamp, {}, 0, "", PlainKind::kNull, kExact},
        {"char(4) with its blanks", kChar, encode::Chars("a\xe9  "), 0, "a\xe9  ", PlainKind::kText, kExact},
        {"sysname", kSysname, encode::Chars("o'k"), 0, "o'k", PlainKind::kText, kExact},
        {"univarchar", kUniVarChar, encode::UniChars("\xc3\xa9"), 0, "\xe9", PlainKind::kUniText, kExact},
        {"text pointer", kText, encode::TextPointer(99), 0, "", PlainKind::kChain, kExact},
        {"int of 3 bytes", kInt, {1, 2, 3}, 0, "", PlainKind::kNull, PlainChange::kTooShort},
    };
    for (const Case &c : cases) {
        std::string out = "<";
        PlainChange change = PlainChange::kOutOfRange;
        const PlainKind kind = AppendPlainValue(out, c.user_type, c.bytes.data(), c.bytes.size(), c.scale, &change);
        // The univarchar's bytes are UTF-16LE: U+00E9 is e9 00.
        const std::string expected =
            "<" + (c.kind == PlainKind::kUniText ? std::string(c.text) + '\0' : std::string(c.text));
        EXPECT_EQ(out, expected) << c.what;
        EXPECT_EQ(kind, c.kind) << c.what;
        EXPECT_EQ(change, c.change) << c.what;
    }
}

// Every float and real text reads back as the stored bits: as a double, as
// a single, and as a double narrowed to a single (how a 64-bit REAL column
// holds a single). The singles whose shortest text narrows from a double to
// the neighbouring single, the extremes, then random bit patterns.
TEST(PlainValue, FloatsReadBackBitForBit) {
    const float specials[] = {7.038531e-26f, -7.038531e-26f, FLT_MAX, -FLT_MAX, FLT_MIN, FLT_TRUE_MIN};
    std::mt19937_64 random(19);
    int checked = 0;
    for (int i = 0; i < 200000; ++i) {
        uint64_t bits = random();
        if (i < static_cast<int>(sizeof specials / sizeof specials[0])) {
            uint32_t special;
            std::memcpy(&special, &specials[i], sizeof special);
            bits = (bits & ~uint64_t{0xffffffff}) | special;
        }
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) {
            std::string out;
            AppendPlainValue(out, kFloat, encode::Float(d).data(), 8, 0);
            const double back = std::strtod(out.c_str(), nullptr);
            ASSERT_EQ(std::memcmp(&back, &d, sizeof d), 0) << out;
            ++checked;
        }
        const uint32_t bits32 = static_cast<uint32_t>(bits);
        float f;
        std::memcpy(&f, &bits32, sizeof f);
        if (std::isfinite(f)) {
            std::string out;
            AppendPlainValue(out, kReal, encode::Real(f).data(), 4, 0);
            const float direct = std::strtof(out.c_str(), nullptr);
            const float narrowed = static_cast<float>(std::strtod(out.c_str(), nullptr));
            ASSERT_EQ(std::memcmp(&direct, &f, sizeof f), 0) << out;
            ASSERT_EQ(std::memcmp(&narrowed, &f, sizeof f), 0) << out;
            ++checked;
        }
    }
    EXPECT_GT(checked, 300000);
}

// In a column that takes neither NULL nor the value: 0 for NaN, the
// type's largest finite value with the infinity's sign.
TEST(PlainValue, FiniteStandInForValuesThatAreNotFinite) {
    const struct {
        uint8_t user_type;
        Bytes bytes;
        double expected;
    } cases[] = {
        {kFloat, encode::Float(std::numeric_limits<double>::quiet_NaN()), 0.0},
        {kFloat, encode::Float(-std::numeric_limits<double>::infinity()), -DBL_MAX},
        {kReal, encode::Real(std::numeric_limits<float>::infinity()), FLT_MAX},
        {kReal, encode::Real(1.5f), 1.5},
    };
    for (const auto &c : cases) {
        std::string out;
        AppendFiniteStandIn(out, c.user_type, c.bytes.data());
        EXPECT_EQ(std::strtod(out.c_str(), nullptr), c.expected) << out;
    }
}

} // namespace
