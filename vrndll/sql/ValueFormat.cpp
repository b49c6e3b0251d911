#include "vrndll/sql/ValueFormat.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "vrndll/sql/DecimalText.h"
#include "vrndll/sql/StoredNumbers.h"

namespace values {

namespace {

uint64_t Magnitude(int64_t v) {
    return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

const char kHexDigits[] = "0123456789abcdef";

// "[-]M" of a magnitude held as `count` decimal digits (most significant
// first, no leading zeros, none for zero), with `scale` of them after the
// point.
void AppendScaledDigits(std::string &out, bool negative, const char *digits, size_t count,
                        size_t scale) {
    const size_t whole = count > scale ? count - scale : 0;
    char text[48];
    if (count <= 24 && scale <= 20) {
        // The common case, composed in a buffer and appended in one piece.
        char *at = text;
        if (negative && count > 0) *at++ = '-';
        if (whole > 0) {
            std::memcpy(at, digits, whole);
            at += whole;
        } else {
            *at++ = '0';
        }
        if (scale > 0) {
            *at++ = '.';
            if (count < scale) {
                std::memset(at, '0', scale - count);
                at += scale - count;
            }
            std::memcpy(at, digits + whole, count - whole);
            at += count - whole;
        }
        out.append(text, static_cast<size_t>(at - text));
        return;
    }
    if (negative && count > 0) out.push_back('-');
    if (whole > 0)
        out.append(digits, whole);
    else
        out.push_back('0');
    if (scale == 0) return;
    out.push_back('.');
    if (count < scale) out.append(scale - count, '0');
    out.append(digits + whole, count - whole);
}

// Decimal digits of a big-endian magnitude of more than 8 bytes, the first
// of them not zero: the bytes are packed into 32-bit limbs and divided by
// 10^9 until nothing is left, each remainder giving the next nine digits
// from the right.
std::string MagnitudeDigits(const uint8_t *p, size_t len) {
    std::string digits;
    std::vector<uint32_t> limbs((len + 3) / 4, 0); // most significant first
    size_t lead = limbs.size() * 4 - len;          // zero bytes in front of the first limb
    for (size_t i = 0; i < len; ++i) {
        size_t at = i + lead;
        limbs[at / 4] |= static_cast<uint32_t>(p[i]) << (8 * (3 - at % 4));
    }
    std::vector<uint32_t> groups; // base 10^9, least significant first
    size_t first = 0;
    while (first < limbs.size()) {
        uint64_t remainder = 0;
        for (size_t i = first; i < limbs.size(); ++i) {
            uint64_t current = (remainder << 32) | limbs[i];
            limbs[i] = static_cast<uint32_t>(current / 1000000000u);
            remainder = current % 1000000000u;
        }
        groups.push_back(static_cast<uint32_t>(remainder));
        while (first < limbs.size() && limbs[first] == 0) ++first;
    }
    char buffer[16];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, groups.back());
    digits.assign(buffer, static_cast<size_t>(r.ptr - buffer));
    for (size_t i = groups.size() - 1; i-- > 0;) AppendZeroPadded(digits, groups[i], 9);
    return digits;
}

void AppendQuoted(std::string &out, void (*format)(std::string &, int32_t, int32_t), int32_t a,
                  int32_t b) {
    out.push_back('\'');
    format(out, a, b);
    out.push_back('\'');
}

int32_t Clamp(int32_t v, int32_t low, int32_t high) { return v < low ? low : v > high ? high : v; }

// A value with a part out of its type's range: NULL where the column takes
// it, else nothing (the caller writes the nearest valid value).
bool NullForOutOfRange(std::string &out, bool nullable) {
    if (nullable) out.append("NULL");
    return nullable;
}

} // namespace

const char *ValueChangeText(ValueChange change) {
    switch (change) {
    case ValueChange::kNotANumber:
        return "a NaN";
    case ValueChange::kInfinity:
        return "an infinity";
    case ValueChange::kOutOfRange:
        return "a date or time out of its type's range";
    case ValueChange::kTooShort:
        return "fewer bytes than its type takes";
    default:
        return "";
    }
}

int StoredWidth(uint8_t user_type) {
    switch (user_type) {
    case kTinyInt: case kBit:
        return 1;
    case kSmallInt: case kUnsignedSmallInt:
        return 2;
    case kInt: case kReal: case kSmallMoney: case kSmallDateTime: case kDate: case kTime:
    case kUnsignedInt:
        return 4;
    case kFloat: case kMoney: case kDateTime: case kBigInt: case kUnsignedBigInt:
        return 8;
    case kText: case kImage: case kUniText:
        return 16;
    default:
        return 0;
    }
}

// ------------------------------------------------------------------ integers

void AppendTinyInt(std::string &out, const uint8_t *p) {
    AppendDecimal(out, static_cast<uint64_t>(p[0]));
}

void AppendSmallInt(std::string &out, const uint8_t *p) {
    AppendDecimal(out, static_cast<int64_t>(AsSigned16(Load16(p))));
}

void AppendInt(std::string &out, const uint8_t *p) {
    AppendDecimal(out, static_cast<int64_t>(AsSigned32(Load32(p))));
}

void AppendBigInt(std::string &out, const uint8_t *p) { AppendDecimal(out, AsSigned64(Load64(p))); }

void AppendUnsignedSmallInt(std::string &out, const uint8_t *p) {
    AppendDecimal(out, static_cast<uint64_t>(Load16(p)));
}

void AppendUnsignedInt(std::string &out, const uint8_t *p) {
    AppendDecimal(out, static_cast<uint64_t>(Load32(p)));
}

void AppendUnsignedBigInt(std::string &out, const uint8_t *p) { AppendDecimal(out, Load64(p)); }

// ------------------------------------------------------------------ floating point

ValueChange AppendDouble(std::string &out, double value, bool nullable) {
    if (std::isnan(value)) {
        out.append(nullable ? "NULL" : "0");
        return ValueChange::kNotANumber;
    }
    ValueChange change = ValueChange::kNone;
    if (std::isinf(value)) {
        value = value < 0 ? -DBL_MAX : DBL_MAX;
        change = ValueChange::kInfinity;
    }
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, static_cast<size_t>(r.ptr - buffer));
    return change;
}

ValueChange AppendSingle(std::string &out, float value, bool nullable) {
    if (std::isnan(value)) {
        out.append(nullable ? "NULL" : "0");
        return ValueChange::kNotANumber;
    }
    // The shortest text of the largest single ("3.4028235e+38") reads as a
    // double just above it, which a server may refuse as an overflow; the
    // double's own text is exactly the largest single.
    if (std::isinf(value) || std::fabs(value) == FLT_MAX) {
        AppendDouble(out, value < 0 ? -static_cast<double>(FLT_MAX) : static_cast<double>(FLT_MAX));
        return std::isinf(value) ? ValueChange::kInfinity : ValueChange::kNone;
    }
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    // The server reads the text as a double and then narrows it: two
    // roundings, which for a rare text land on the neighbouring single (of
    // all singles only +-7.038531e-26 do). Such a value is written as the
    // text of its exact double instead.
    double read = 0;
    std::from_chars(buffer, r.ptr, read);
    if (static_cast<float>(read) != value) {
        AppendDouble(out, static_cast<double>(value));
        return ValueChange::kNone;
    }
    out.append(buffer, static_cast<size_t>(r.ptr - buffer));
    return ValueChange::kNone;
}

ValueChange AppendFloat(std::string &out, const uint8_t *p, bool nullable) {
    uint64_t bits = Load64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return AppendDouble(out, value, nullable);
}

ValueChange AppendReal(std::string &out, const uint8_t *p, bool nullable) {
    uint32_t bits = Load32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return AppendSingle(out, value, nullable);
}

// ------------------------------------------------------------------ money

void AppendMoneyUnits(std::string &out, int64_t units) {
    // Composed in a buffer and appended in one piece: "-922337203685477.5808"
    // at the most.
    const uint64_t magnitude = Magnitude(units);
    char text[32];
    char *at = text;
    if (units < 0) *at++ = '-';
    at = std::to_chars(at, text + sizeof text, magnitude / 10000).ptr;
    *at++ = '.';
    uint32_t fraction = static_cast<uint32_t>(magnitude % 10000);
    for (int i = 3; i >= 0; --i) {
        at[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    at += 4;
    out.append(text, static_cast<size_t>(at - text));
}

void AppendMoney(std::string &out, const uint8_t *p) {
    const uint64_t high = Load32(p);
    const uint64_t low = Load32(p + 4);
    AppendMoneyUnits(out, AsSigned64((high << 32) | low));
}

void AppendSmallMoney(std::string &out, const uint8_t *p) {
    AppendMoneyUnits(out, AsSigned32(Load32(p)));
}

// ------------------------------------------------------------------ numeric, decimal

void AppendNumeric(std::string &out, const uint8_t *p, size_t len, int scale) {
    if (len == 0) {
        out.append("NULL");
        return;
    }
    const bool negative = p[0] == 1;
    // The scale is a byte of the catalogue; anything beyond it is corrupt
    // and would only pad the text with zeros.
    const size_t digitsAfterPoint = static_cast<size_t>(scale < 0 ? 0 : scale > 255 ? 255 : scale);
    const uint8_t *magnitude = p + 1;
    size_t bytes = len - 1;
    while (bytes > 0 && *magnitude == 0) { // leading zero bytes
        ++magnitude;
        --bytes;
    }
    if (bytes <= 8) { // the common case: fits 64 bits
        uint64_t m = 0;
        for (size_t i = 0; i < bytes; ++i) m = (m << 8) | magnitude[i];
        char digits[24];
        size_t count = 0;
        if (m != 0) {
            auto r = std::to_chars(digits, digits + sizeof digits, m);
            count = static_cast<size_t>(r.ptr - digits);
        }
        AppendScaledDigits(out, negative, digits, count, digitsAfterPoint);
        return;
    }
    std::string digits = MagnitudeDigits(magnitude, bytes);
    AppendScaledDigits(out, negative, digits.data(), digits.size(), digitsAfterPoint);
}

// ------------------------------------------------------------------ characters

void AppendSysname(std::string &out, const uint8_t *p, size_t len) {
    AppendQuotedChars(out, p, len);
}

// ------------------------------------------------------------------ binary

void AppendHexDigits(std::string &out, const uint8_t *p, size_t len) {
    size_t at = out.size();
    out.resize(at + 2 * len);
    char *d = &out[0] + at;
    for (size_t i = 0; i < len; ++i) {
        *d++ = kHexDigits[p[i] >> 4];
        *d++ = kHexDigits[p[i] & 15];
    }
}

void AppendBinary(std::string &out, const uint8_t *p, size_t len) {
    out.append("0x");
    AppendHexDigits(out, p, len);
}

void AppendFixedBinary(std::string &out, const uint8_t *p, size_t len) {
    while (len > 1 && p[len - 1] == 0) --len;
    if (len == 0) {
        out.append("0x00");
        return;
    }
    AppendBinary(out, p, len);
}

void AppendStoredBytes(std::string &out, const uint8_t *p, size_t len) {
    if (len == 0) {
        out.append("NULL");
        return;
    }
    AppendBinary(out, p, len);
}

// ------------------------------------------------------------------ dates and times

ValueChange AppendDateTime(std::string &out, const uint8_t *p, bool nullable) {
    int32_t day = AsSigned32(Load32(p));
    int32_t ticks = AsSigned32(Load32(p + 4));
    ValueChange change = ValueChange::kNone;
    if (ticks < 0 || ticks >= kTicksPerDay || day < kFirstDateTimeDay || day > kLastDay) {
        // Ticks of a day or more would be carried into the date: a
        // different instant, not the stored one.
        change = ValueChange::kOutOfRange;
        if (NullForOutOfRange(out, nullable)) return change;
        day = Clamp(day, kFirstDateTimeDay, kLastDay);
        ticks = Clamp(ticks, 0, kTicksPerDay - 1);
    }
    AppendQuoted(out, FormatDateTime, day, ticks);
    return change;
}

ValueChange AppendSmallDateTime(std::string &out, const uint8_t *p, bool nullable) {
    int32_t minutes = Load16(p + 2);
    ValueChange change = ValueChange::kNone;
    if (minutes >= kMinutesPerDay) { // every stored day number is a valid day
        change = ValueChange::kOutOfRange;
        if (NullForOutOfRange(out, nullable)) return change;
        minutes = kMinutesPerDay - 1;
    }
    AppendQuoted(out, FormatSmallDateTime, Load16(p), minutes);
    return change;
}

ValueChange AppendDate(std::string &out, const uint8_t *p, bool nullable) {
    int32_t day = AsSigned32(Load32(p));
    ValueChange change = ValueChange::kNone;
    if (day < kFirstDateDay || day > kLastDay) {
        change = ValueChange::kOutOfRange;
        if (NullForOutOfRange(out, nullable)) return change;
        day = Clamp(day, kFirstDateDay, kLastDay);
    }
    out.push_back('\'');
    FormatDate(out, day);
    out.push_back('\'');
    return change;
}

ValueChange AppendTime(std::string &out, const uint8_t *p, bool nullable) {
    int32_t ticks = AsSigned32(Load32(p));
    ValueChange change = ValueChange::kNone;
    if (ticks < 0 || ticks >= kTicksPerDay) {
        change = ValueChange::kOutOfRange;
        if (NullForOutOfRange(out, nullable)) return change;
        ticks = Clamp(ticks, 0, kTicksPerDay - 1);
    }
    out.push_back('\'');
    FormatTime(out, ticks);
    out.push_back('\'');
    return change;
}

// ------------------------------------------------------------------ any type

bool AppendValue(std::string &out, uint8_t user_type, const uint8_t *p, size_t len, int scale,
                 bool fixed_area, bool nullable, ValueChange *change) {
    ValueChange ignored = ValueChange::kNone;
    ValueChange &changed = change ? *change : ignored;
    changed = ValueChange::kNone;
    if (IsChainType(user_type)) return false;
    const int width = StoredWidth(user_type);
    if (width > 0 && len < static_cast<size_t>(width)) {
        out.append("NULL");
        changed = ValueChange::kTooShort;
        return true;
    }
    switch (user_type) {
    case kChar: case kVarChar: case kNChar: case kNVarChar:
        AppendQuotedChars(out, p, len);
        break;
    case kUniChar: case kUniVarChar:
        AppendUniChars(out, p, len);
        break;
    case kSysname: case kLongSysname:
        AppendSysname(out, p, len);
        break;
    case kBinary:
        if (fixed_area)
            AppendFixedBinary(out, p, len);
        else
            AppendBinary(out, p, len);
        break;
    case kVarBinary:
        AppendBinary(out, p, len);
        break;
    case kTinyInt: case kBit:
        AppendTinyInt(out, p);
        break;
    case kSmallInt:
        AppendSmallInt(out, p);
        break;
    case kInt:
        AppendInt(out, p);
        break;
    case kBigInt:
        AppendBigInt(out, p);
        break;
    case kUnsignedSmallInt:
        AppendUnsignedSmallInt(out, p);
        break;
    case kUnsignedInt:
        AppendUnsignedInt(out, p);
        break;
    case kUnsignedBigInt:
        AppendUnsignedBigInt(out, p);
        break;
    case kReal:
        changed = AppendReal(out, p, nullable);
        break;
    case kFloat:
        changed = AppendFloat(out, p, nullable);
        break;
    case kMoney:
        AppendMoney(out, p);
        break;
    case kSmallMoney:
        AppendSmallMoney(out, p);
        break;
    case kNumeric: case kDecimal:
        AppendNumeric(out, p, len, scale);
        break;
    case kDateTime:
        changed = AppendDateTime(out, p, nullable);
        break;
    case kSmallDateTime:
        changed = AppendSmallDateTime(out, p, nullable);
        break;
    case kDate:
        changed = AppendDate(out, p, nullable);
        break;
    case kTime:
        changed = AppendTime(out, p, nullable);
        break;
    default: // timestamp, unknown codes
        AppendStoredBytes(out, p, len);
        break;
    }
    return true;
}

} // namespace values
