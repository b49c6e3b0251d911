// Numbers, money, numerics, binaries and the any-type writer as SQL literals.
#include "vrndll/sql/ValueFormat.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <utility>
#include <vector>

using namespace values;

namespace {

using Bytes = std::vector<uint8_t>;

std::string Written(void (*writer)(std::string &, const uint8_t *), const Bytes &bytes) {
    std::string out;
    writer(out, bytes.data());
    return out;
}

std::string Written(ValueChange (*writer)(std::string &, const uint8_t *, bool), const Bytes &bytes) {
    std::string out;
    EXPECT_EQ(writer(out, bytes.data(), true), ValueChange::kNone);
    return out;
}

std::string Written(void (*writer)(std::string &, const uint8_t *, size_t), const Bytes &bytes) {
    std::string out;
    writer(out, bytes.data(), bytes.size());
    return out;
}

std::string Numeric(const Bytes &bytes, int scale) {
    std::string out;
    AppendNumeric(out, bytes.data(), bytes.size(), scale);
    return out;
}

std::string Money(int64_t units) {
    std::string out;
    AppendMoneyUnits(out, units);
    return out;
}

Bytes Hex(const char *hex) {
    Bytes bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        bytes.push_back(static_cast<uint8_t>(std::strtoul(pair, nullptr, 16)));
    }
    return bytes;
}

uint64_t BitsOf(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

uint32_t BitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Reads the literal back the way the server does for both float and real:
// as a double, narrowed to a single for a real.
double ReadBack(const std::string &text) {
    char *end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    EXPECT_EQ(*end, '\0') << "not a number: " << text;
    return d;
}

void ExpectDoubleRoundTrip(double d) {
    std::string out;
    AppendDouble(out, d);
    EXPECT_EQ(BitsOf(ReadBack(out)), BitsOf(d)) << out;
}

void ExpectSingleRoundTrip(float f) {
    std::string out;
    AppendSingle(out, f);
    EXPECT_EQ(BitsOf(static_cast<float>(ReadBack(out))), BitsOf(f)) << out;
}

} // namespace

// ------------------------------------------------------------------ integers

TEST(IntegerLiterals, ReadLittleEndianWithTheirSignedness) {
    EXPECT_EQ(Written(AppendTinyInt, {255}), "255");
    EXPECT_EQ(Written(AppendSmallInt, {0x02, 0x01}), "258");
    EXPECT_EQ(Written(AppendSmallInt, {0x00, 0x80}), "-32768");
    EXPECT_EQ(Written(AppendInt, {0x00, 0x00, 0x00, 0x80}), "-2147483648");
    EXPECT_EQ(Written(AppendInt, {0xff, 0xff, 0xff, 0x7f}), "2147483647");
    EXPECT_EQ(Written(AppendBigInt, {0, 0, 0, 0, 0, 0, 0, 0x80}), "-9223372036854775808");
    EXPECT_EQ(Written(AppendBigInt, {0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), "-2");
}

TEST(IntegerLiterals, UnsignedTypesUseTheirWholeRange) {
    EXPECT_EQ(Written(AppendUnsignedSmallInt, {0xff, 0xff}), "65535");
    EXPECT_EQ(Written(AppendUnsignedInt, {0xff, 0xff, 0xff, 0xff}), "4294967295");
    EXPECT_EQ(Written(AppendUnsignedBigInt, Bytes(8, 0xff)), "18446744073709551615");
}

// ------------------------------------------------------------------ float and real

TEST(FloatLiterals, AreTheShortestTextThatReadsBack) {
    std::string out;
    AppendDouble(out, 1e-10);
    EXPECT_EQ(out, "1e-10"); // never 0.000000
    out.clear();
    AppendDouble(out, 0.1);
    EXPECT_EQ(out, "0.1");
    out.clear();
    AppendDouble(out, -2.5);
    EXPECT_EQ(out, "-2.5");
    out.clear();
    AppendDouble(out, 100.0);
    EXPECT_EQ(out, "100");
    out.clear();
    AppendSingle(out, 0.1f);
    EXPECT_EQ(out, "0.1");
    EXPECT_EQ(Written(AppendFloat, Hex("000000000000f03f")), "1"); // 1.0, little-endian
    EXPECT_EQ(Written(AppendReal, Hex("0000c0bf")), "-1.5");
}

TEST(FloatLiterals, SpecialValuesRoundTrip) {
    for (double d : {0.0, -0.0, 1e-10, 0.1, 1.0 / 3, 3.141592653589793, 9007199254740993.0, 1e22,
                     1e23, 5e-324, DBL_MIN, DBL_MAX, -DBL_MAX, 123456789012345678.0})
        ExpectDoubleRoundTrip(d);
    for (float f : {0.0f, -0.0f, 1e-10f, 0.1f, 1.0f / 3, 16777217.0f, 1e-45f, FLT_MIN, FLT_MAX,
                    -FLT_MAX, 3.4028233e38f})
        ExpectSingleRoundTrip(f);
    // Its shortest text, 7.038531e-26, rounds twice to the wrong single when
    // read as a double first: the only such single.
    uint32_t twice = 0x15ae43fd;
    float f;
    std::memcpy(&f, &twice, sizeof f);
    ExpectSingleRoundTrip(f);
    ExpectSingleRoundTrip(-f);
}

TEST(FloatLiterals, RandomBitPatternsRoundTrip) {
    std::mt19937_64 random(20240611);
    int checked = 0;
    while (checked < 200000) {
        uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) continue;
        ExpectDoubleRoundTrip(d);
        uint32_t half = static_cast<uint32_t>(bits >> 32);
        float f;
        std::memcpy(&f, &half, sizeof f);
        if (std::isfinite(f)) ExpectSingleRoundTrip(f);
        ++checked;
        if (HasFailure()) break;
    }
}

TEST(FloatLiterals, InfinitiesAndNanHaveNoLiteralAndAreChanged) {
    // An infinity becomes the largest finite value of its type with its
    // sign; a NaN NULL where the column takes it, else 0. Each is reported.
    const ValueChange inf = ValueChange::kInfinity, nan = ValueChange::kNotANumber;
    struct Case {
        uint8_t type;
        const char *stored; // little-endian
        bool nullable;
        ValueChange change;
        const char *text;   // nullptr: read back as `read_back`
        double read_back;
    } cases[] = {
        {kFloat, "000000000000f07f", true, inf, nullptr, DBL_MAX},                 // +inf
        {kFloat, "000000000000f0ff", false, inf, nullptr, -DBL_MAX},               // -inf
        {kReal, "0000807f", true, inf, nullptr, static_cast<double>(FLT_MAX)},    // exactly, no overflow on reading
        {kReal, "000080ff", false, inf, nullptr, -static_cast<double>(FLT_MAX)},
        {kFloat, "000000000000f87f", true, nan, "NULL", 0},                       // quiet NaN
        {kFloat, "010000000000f0ff", false, nan, "0", 0},                         // signalling, negative: never NULL
        {kReal, "0000c07f", true, nan, "NULL", 0},
        {kReal, "0100807f", false, nan, "0", 0},
    };
    for (const Case &c : cases) {
        const Bytes bytes = Hex(c.stored);
        std::string out;
        ValueChange change = ValueChange::kNone;
        EXPECT_TRUE(AppendValue(out, c.type, bytes.data(), bytes.size(), 0, !c.nullable, c.nullable, &change));
        EXPECT_EQ(change, c.change) << c.stored;
        if (c.text)
            EXPECT_EQ(out, c.text) << c.stored;
        else
            EXPECT_EQ(ReadBack(out), c.read_back) << c.stored;
    }
    // Every finite value, the largest included, is written as it is stored.
    std::string out;
    EXPECT_EQ(AppendDouble(out, DBL_MAX, false), ValueChange::kNone);
    EXPECT_EQ(AppendSingle(out, -FLT_MAX, false), ValueChange::kNone);
    EXPECT_EQ(AppendDouble(out, 5e-324, false), ValueChange::kNone);
}

// ------------------------------------------------------------------ money and smallmoney

TEST(MoneyLiterals, WriteFourDecimalsAndOneSign) {
    EXPECT_EQ(Money(10500), "1.0500");
    EXPECT_EQ(Money(-25000), "-2.5000");
    EXPECT_EQ(Money(-5000), "-0.5000");
    EXPECT_EQ(Money(-1), "-0.0001");
    EXPECT_EQ(Money(0), "0.0000");
}

TEST(MoneyLiterals, IntegerPartBeyond32BitsIsExact) {
    EXPECT_EQ(Money(30000000001234LL), "3000000000.1234");
    EXPECT_EQ(Money(-30000000001234LL), "-3000000000.1234");
    EXPECT_EQ(Money(std::numeric_limits<int64_t>::max()), "922337203685477.5807");
    EXPECT_EQ(Money(std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
}

TEST(MoneyLiterals, StoredHighWordFirst) {
    EXPECT_EQ(Written(AppendMoney, Hex("0000000004290000")), "1.0500"); // high 0, low 10500
    EXPECT_EQ(Written(AppendMoney, Hex("ffffffffffffffff")), "-0.0001");
    // 30000000001234 units: high word 6984, low word 3948405970 (above 2^31)
    EXPECT_EQ(Written(AppendMoney, Hex("481b0000d2e457eb")), "3000000000.1234");
    EXPECT_EQ(Written(AppendSmallMoney, Hex("70110100")), "7.0000");
    EXPECT_EQ(Written(AppendSmallMoney, Hex("78ecffff")), "-0.5000");
    EXPECT_EQ(Written(AppendSmallMoney, Hex("00000080")), "-214748.3648");
}

// ------------------------------------------------------------------ numeric and decimal

TEST(NumericLiterals, ScaleAndSign) {
    EXPECT_EQ(Numeric({1, 0x04, 0xd2}, 2), "-12.34");
    EXPECT_EQ(Numeric({0, 0x04, 0xd2}, 2), "12.34");
    EXPECT_EQ(Numeric({0, 5}, 2), "0.05");
    EXPECT_EQ(Numeric({1, 5}, 2), "-0.05");
    EXPECT_EQ(Numeric({0, 5}, 5), "0.00005");
    EXPECT_EQ(Numeric({1, 0x04, 0xd2}, 0), "-1234"); // no point at scale 0
    EXPECT_EQ(Numeric({0, 0x04, 0xd2}, 4), "0.1234");
}

TEST(NumericLiterals, ZeroAndMissingBytes) {
    EXPECT_EQ(Numeric({1, 0, 0}, 2), "0.00"); // no minus before a zero
    EXPECT_EQ(Numeric({0}, 0), "0");
    EXPECT_EQ(Numeric({}, 2), "NULL");
    EXPECT_EQ(Numeric({0, 1}, 1 << 30).size(), 2u + 255u); // a corrupt scale stays bounded
    EXPECT_EQ(Numeric({0, 1}, -3), "1");
}

TEST(NumericLiterals, ThirtyEightDigitsAndBeyondAreExact) {
    Bytes nines = Hex("01004b3b4ca85a86c47a098a223fffffffff"); // sign, 17 magnitude bytes
    EXPECT_EQ(Numeric(nines, 0), "-99999999999999999999999999999999999999");
    EXPECT_EQ(Numeric(nines, 38), "-0.99999999999999999999999999999999999999");
    EXPECT_EQ(Numeric(nines, 10), "-9999999999999999999999999999.9999999999");
    // 10^27 + 5: inner groups of nine zeros must keep their zeros.
    EXPECT_EQ(Numeric(Hex("00033b2e3c9fd0803ce8000005"), 1), "100000000000000000000000000.5");
    // 2^128, one byte more than the widest column holds.
    Bytes big(18, 0);
    big[1] = 1;
    EXPECT_EQ(Numeric(big, 0), "340282366920938463463374607431768211456");
    // Longest magnitude a row could hold: finishes and writes every digit.
    Bytes huge(1000, 0xff);
    huge[0] = 0;
    std::string text = Numeric(huge, 0);
    EXPECT_EQ(text.size(), 2406u); // 2^7992 - 1 has 2406 digits
    EXPECT_EQ(text.substr(text.size() - 1), "5"); // 2^7992 - 1 ends in 5
}

// ------------------------------------------------------------------ binary

TEST(BinaryLiterals, LowercaseHexWithPrefix) {
    EXPECT_EQ(Written(AppendBinary, {0xab, 0x00, 0x0f}), "0xab000f");
    EXPECT_EQ(Written(AppendBinary, {0x0a, 0x00}), "0x0a00"); // variable binary keeps its zeros
    std::string digits;
    AppendHexDigits(digits, Hex("00ff10").data(), 3);
    EXPECT_EQ(digits, "00ff10");
}

TEST(BinaryLiterals, FixedBinaryDropsTrailingZeros) {
    EXPECT_EQ(Written(AppendFixedBinary, {0x0a, 0x00, 0xff, 0x00}), "0x0a00ff");
    EXPECT_EQ(Written(AppendFixedBinary, {0x00, 0x00, 0x00, 0x00}), "0x00");
    EXPECT_EQ(Written(AppendFixedBinary, {0x01}), "0x01");
}

TEST(BinaryLiterals, TypesWithoutLiteralKeepTheirBytes) {
    EXPECT_EQ(Written(AppendStoredBytes, {0x41, 0x00, 0x42, 0x00}), "0x41004200");
    EXPECT_EQ(Written(AppendStoredBytes, Bytes{}), "NULL");
}

// ------------------------------------------------------------------ any type

TEST(AnyTypeWriter, PicksTheWriterOfEachType) {
    struct Case {
        uint8_t type;
        Bytes bytes;
        int scale;
        bool fixed;
        const char *text;
    } cases[] = {
        {kChar, {'a', '\'', 'b'}, 0, true, "'a''b'"},
        {kVarChar, {'x'}, 0, false, "'x'"},
        {kNChar, {'n'}, 0, false, "'n'"},
        {kNVarChar, {'v'}, 0, false, "'v'"},
        {kSysname, {'s', 'y', 's'}, 0, true, "'sys'"},
        {kLongSysname, {'l', 'o'}, 0, true, "'lo'"},
        {kBinary, {1, 0}, 0, true, "0x01"},
        {kBinary, {1, 0}, 0, false, "0x0100"},
        {kVarBinary, {1, 0}, 0, false, "0x0100"},
        {kTinyInt, {200}, 0, true, "200"},
        {kBit, {1}, 0, true, "1"},
        {kSmallInt, {0xff, 0xff}, 0, true, "-1"},
        {kInt, {7, 0, 0, 0}, 0, true, "7"},
        {kBigInt, {0, 0, 0, 0, 1, 0, 0, 0}, 0, true, "4294967296"},
        {kUnsignedSmallInt, {0xff, 0xff}, 0, true, "65535"},
        {kUnsignedInt, {0xff, 0xff, 0xff, 0xff}, 0, true, "4294967295"},
        {kUnsignedBigInt, Bytes(8, 0xff), 0, true, "18446744073709551615"},
        {kReal, Hex("0000c03f"), 0, true, "1.5"},
        {kFloat, Hex("000000000000f83f"), 0, true, "1.5"},
        {kMoney, Hex("0000000004290000"), 0, true, "1.0500"},
        {kSmallMoney, Hex("70110100"), 0, true, "7.0000"},
        {kNumeric, {1, 0x04, 0xd2}, 2, true, "-12.34"},
        {kDecimal, {0, 5}, 2, false, "0.05"},
        {kDateTime, {0, 0, 0, 0, 1, 0, 0, 0}, 0, true, "'1/1/1900 0:0:0.003'"},
        {kSmallDateTime, {0xad, 0x8e, 0x3c, 0x00}, 0, true, "'1/2/2000 1:0:0.0'"},
        {kDate, {0xff, 0xff, 0xff, 0xff}, 0, true, "'12/31/1899'"},
        {kDate, {0, 0, 0, 0}, 0, true, "'1/1/1900'"},
        {kDate, Hex("7f242d00"), 0, true, "'12/31/9999'"},   // day 2958463
        {kDate, Hex("a56af5ff"), 0, true, "'1/1/0001'"},     // day -693595
        {kTime, {0x2c, 0x01, 0, 0}, 0, true, "'0:0:1'"},
        {kTime, {1, 0, 0, 0}, 0, true, "'0:0:0.003'"},
        {kTime, Hex("ff818b01"), 0, true, "'23:59:59.997'"}, // the day's last tick
        {kBigInt, Hex("ffffffffffffff7f"), 0, true, "9223372036854775807"},
        {kBigInt, Bytes(8, 0xff), 0, true, "-1"},
        {kUnsignedSmallInt, {0x00, 0x80}, 0, true, "32768"},
        {kUnsignedInt, {0x00, 0x00, 0x00, 0x80}, 0, true, "2147483648"},
        {kUnsignedBigInt, Hex("0000000000000080"), 0, true, "9223372036854775808"},
        {kUnsignedBigInt, Bytes(8, 0), 0, true, "0"},
        {kLongSysname, {'o', '\'', 'k', ' ', 'n', 'a', 'm', 'e'}, 0, true, "'o''k name'"},
        {kUniChar, {0x41, 0x00, 0x20, 0x00}, 0, true, "'A '"},
        {kUniVarChar, {'c', 0, 'a', 0, 'f', 0, 0xe9, 0}, 0, false, "U&'caf\\00e9'"},
        {kUniVarChar, {0x00, 0xd8}, 0, false, "0x00d8"}, // a lone surrogate: the bytes
        {kTimestamp, {0, 0, 0, 0, 0, 0, 0x12, 0x34}, 0, true, "0x0000000000001234"},
        {kTimestamp, Bytes(8, 0), 0, true, "0x0000000000000000"},
        {99, {0xde, 0xad}, 0, false, "0xdead"},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_TRUE(AppendValue(out, c.type, c.bytes.data(), c.bytes.size(), c.scale, c.fixed));
        EXPECT_EQ(out, c.text) << "user type " << int(c.type);
    }
}

TEST(AnyTypeWriter, DatePartsOutOfRangeAreDamage) {
    // Ticks of a day or more (or below 0), smalldatetime minutes of 1440 or
    // more, days outside the type: NULL where the column takes it, else the
    // nearest valid value, and reported either way; never carried into the
    // date.
    const auto le = [](std::initializer_list<std::pair<int64_t, int>> parts) {
        Bytes b;
        for (auto part : parts)
            for (int i = 0; i < part.second; ++i) b.push_back(static_cast<uint8_t>(part.first >> (8 * i)));
        return b;
    };
    const auto dt = [&](int64_t day, int64_t ticks) { return le({{day, 4}, {ticks, 4}}); };
    const auto sdt = [&](int64_t day, int64_t minutes) { return le({{day, 2}, {minutes, 2}}); };
    const auto four = [&](int64_t v) { return le({{v, 4}}); };
    const ValueChange out_of_range = ValueChange::kOutOfRange, none = ValueChange::kNone;
    const int64_t day = kTicksPerDay;
    struct Case {
        uint8_t type;
        Bytes bytes;
        bool nullable;
        ValueChange change;
        const char *text;
    } cases[] = {
        {kDateTime, dt(36524, day), true, out_of_range, "NULL"},
        {kDateTime, dt(36524, day), false, out_of_range, "'1/1/2000 23:59:59.997'"},
        {kDateTime, dt(36524, 0x7fffffff), false, out_of_range, "'1/1/2000 23:59:59.997'"}, // not 3/23/2000
        {kDateTime, dt(36524, -1), false, out_of_range, "'1/1/2000 0:0:0'"},
        {kDateTime, dt(-53691, 0), false, out_of_range, "'1/1/1753 0:0:0'"},
        {kDateTime, dt(2958464, 0), true, out_of_range, "NULL"},
        {kDateTime, dt(2958464, 0), false, out_of_range, "'12/31/9999 0:0:0'"},
        {kDateTime, dt(-53690, day - 1), false, none, "'1/1/1753 23:59:59.997'"},
        {kDateTime, dt(2958463, 0), true, none, "'12/31/9999 0:0:0'"},
        {kSmallDateTime, sdt(0, 1440), true, out_of_range, "NULL"},
        {kSmallDateTime, sdt(0, 1440), false, out_of_range, "'1/1/1900 23:59:0.0'"},
        {kSmallDateTime, sdt(65535, 65535), false, out_of_range, "'6/6/2079 23:59:0.0'"},
        {kSmallDateTime, sdt(65535, 1439), true, none, "'6/6/2079 23:59:0.0'"},
        {kDate, four(-693596), true, out_of_range, "NULL"},
        {kDate, four(-693596), false, out_of_range, "'1/1/0001'"},
        {kDate, four(2958464), false, out_of_range, "'12/31/9999'"},
        {kTime, four(day), true, out_of_range, "NULL"},
        {kTime, four(day), false, out_of_range, "'23:59:59.997'"},
        {kTime, four(-1), false, out_of_range, "'0:0:0'"},
        {kTime, four(day - 1), false, none, "'23:59:59.997'"},
    };
    for (const Case &c : cases) {
        std::string out;
        ValueChange change = ValueChange::kOutOfRange;
        EXPECT_TRUE(AppendValue(out, c.type, c.bytes.data(), c.bytes.size(), 0, !c.nullable, c.nullable, &change));
        EXPECT_EQ(out, c.text) << "user type " << int(c.type);
        EXPECT_EQ(change, c.change) << c.text;
    }
}

TEST(AnyTypeWriter, TooFewBytesForAFixedWidthWriteNull) {
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (uint8_t type : {kSmallInt, kInt, kBigInt, kReal, kFloat, kMoney, kSmallMoney, kDateTime,
                         kSmallDateTime, kDate, kTime, kUnsignedBigInt}) {
        std::string out;
        size_t oneShort = static_cast<size_t>(StoredWidth(type)) - 1;
        ValueChange change = ValueChange::kNone;
        EXPECT_TRUE(AppendValue(out, type, bytes, oneShort, 0, true, false, &change));
        EXPECT_EQ(out, "NULL") << "user type " << int(type);
        EXPECT_EQ(change, ValueChange::kTooShort) << "user type " << int(type);
    }
    std::string out;
    EXPECT_TRUE(AppendValue(out, kInt, bytes, 8, 0, false)); // extra bytes are not read
    EXPECT_EQ(out, "67305985");
}

TEST(AnyTypeWriter, ArbitraryBytesNeverReadBeyondTheValue) {
    // Every type code with lengths around each width and random scales; each
    // value sits in a buffer of exactly its length so that a sanitizer build
    // reports any read past it.
    std::mt19937 random(4242);
    for (int type = 0; type < 256; ++type) {
        for (size_t len = 0; len <= 40; ++len) {
            Bytes bytes(len);
            for (uint8_t &b : bytes) b = static_cast<uint8_t>(random());
            std::string out;
            bool written = AppendValue(out, static_cast<uint8_t>(type), bytes.data(), len,
                                       static_cast<int>(random() % 256), (len & 1) != 0);
            EXPECT_EQ(written, !IsChainType(static_cast<uint8_t>(type)));
            EXPECT_EQ(written, !out.empty());
        }
    }
}

TEST(AnyTypeWriter, LeavesChainTypesToTheChainReaders) {
    const uint8_t pointer[16] = {5};
    for (uint8_t type : {kText, kImage, kUniText}) {
        std::string out = "kept";
        EXPECT_FALSE(AppendValue(out, type, pointer, sizeof pointer, 0, false));
        EXPECT_EQ(out, "kept");
        EXPECT_TRUE(IsChainType(type));
        EXPECT_EQ(StoredWidth(type), 16);
    }
    EXPECT_EQ(StoredWidth(kChar), 0);
    EXPECT_EQ(StoredWidth(kNumeric), 0);
    EXPECT_EQ(StoredWidth(kTimestamp), 0);
}
