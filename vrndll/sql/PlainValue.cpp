#include "vrndll/sql/PlainValue.h"

#include <cmath>
#include <cstring>

#include "vrndll/sql/StoredNumbers.h"

namespace values {

namespace {

int32_t Clamp(int32_t v, int32_t low, int32_t high) { return v < low ? low : v > high ? high : v; }

// Days 1 January 0001 and 31 December 9999: the years a date text of four
// digits holds.
bool DayInRange(int32_t day) { return day >= kFirstDateDay && day <= kLastDay; }

bool TicksInRange(int32_t ticks) { return ticks >= 0 && ticks < kTicksPerDay; }

// `v` (0 <= v < 10^width) in exactly `width` digits at `at`, zeros in
// front; the end of the digits.
char *PutDigits(char *at, uint32_t v, int width) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return at + width;
}

// "YYYY-MM-DD" of a day within DayInRange, at `at` (10 bytes).
char *PutDate(char *at, int32_t day) {
    const CivilDate d = CivilFromDayNumber(day);
    at = PutDigits(at, static_cast<uint32_t>(d.year), 4);
    *at++ = '-';
    at = PutDigits(at, static_cast<uint32_t>(d.month), 2);
    *at++ = '-';
    return PutDigits(at, static_cast<uint32_t>(d.day), 2);
}

// "HH:MM:SS.mmm" of ticks within TicksInRange, at `at` (12 bytes).
char *PutTime(char *at, int32_t ticks) {
    at = PutDigits(at, static_cast<uint32_t>(ticks / kTicksPerHour), 2);
    *at++ = ':';
    at = PutDigits(at, static_cast<uint32_t>(ticks / kTicksPerMinute % 60), 2);
    *at++ = ':';
    at = PutDigits(at, static_cast<uint32_t>(ticks / kTicksPerSecond % 60), 2);
    *at++ = '.';
    return PutDigits(at, static_cast<uint32_t>(MillisecondsOfTicks(ticks % kTicksPerSecond)), 3);
}

// A date and time text is composed in a buffer and appended in one piece.
struct DateText {
    char text[32];
    char *end = text;
    void AppendTo(std::string &out) const { out.append(text, static_cast<size_t>(end - text)); }
};

// A date part outside its range becomes the nearest valid one, and the
// change is noted.
int32_t DayWithin(int32_t day, PlainChange &change) {
    if (DayInRange(day)) return day;
    change = PlainChange::kOutOfRange;
    return Clamp(day, kFirstDateDay, kLastDay);
}

int32_t TicksWithin(int32_t ticks, PlainChange &change) {
    if (TicksInRange(ticks)) return ticks;
    change = PlainChange::kOutOfRange;
    return Clamp(ticks, 0, kTicksPerDay - 1);
}

// "NaN", "Infinity" or "-Infinity" for a value that is not finite, with
// its change; else the shortest text of the value.
template <typename Number>
PlainChange AppendFloating(std::string &out, Number value) {
    if (std::isnan(value)) {
        out.append("NaN");
        return PlainChange::kNotANumber;
    }
    if (std::isinf(value)) {
        out.append(value < 0 ? "-Infinity" : "Infinity");
        return PlainChange::kInfinity;
    }
    // Finite values: the T-SQL writers' text is the shortest that reads
    // back as the same bits (a real also through a double).
    return sizeof(Number) == sizeof(float) ? AppendSingle(out, static_cast<float>(value))
                                           : AppendDouble(out, static_cast<double>(value));
}

double DoubleAt(const uint8_t *p) {
    const uint64_t bits = Load64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float SingleAt(const uint8_t *p) {
    const uint32_t bits = Load32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

PlainKind PlainKindOf(uint8_t user_type) {
    switch (user_type) {
    case kChar: case kVarChar: case kNChar: case kNVarChar: case kSysname: case kLongSysname: case kText:
        return PlainKind::kText;
    case kUniChar: case kUniVarChar: case kUniText:
        return PlainKind::kUniText;
    case kTinyInt: case kSmallInt: case kInt: case kBigInt: case kUnsignedSmallInt: case kUnsignedInt:
    case kUnsignedBigInt: case kReal: case kFloat: case kMoney: case kSmallMoney: case kNumeric:
    case kDecimal:
        return PlainKind::kNumber;
    case kBit:
        return PlainKind::kBoolean;
    case kDateTime: case kSmallDateTime: case kDate: case kTime:
        return PlainKind::kDateTime;
    default: // binary, varbinary, image, timestamp, unknown codes
        return PlainKind::kBytes;
    }
}

PlainKind AppendPlainValue(std::string &out, uint8_t user_type, const uint8_t *p, size_t len, int scale,
                           PlainChange *change) {
    PlainChange ignored = PlainChange::kNone;
    PlainChange &changed = change ? *change : ignored;
    changed = PlainChange::kNone;
    if (IsChainType(user_type)) return PlainKind::kChain;
    const int width = StoredWidth(user_type);
    if (width > 0 && len < static_cast<size_t>(width)) {
        changed = PlainChange::kTooShort;
        return PlainKind::kNull;
    }
    const PlainKind kind = PlainKindOf(user_type);
    switch (user_type) {
    case kChar: case kVarChar: case kNChar: case kNVarChar: case kSysname: case kLongSysname:
    case kUniChar: case kUniVarChar:
        out.append(reinterpret_cast<const char *>(p), len);
        return kind;
    case kBit:
        out.push_back(p[0] != 0 ? '1' : '0');
        return kind;
    case kTinyInt:
        AppendTinyInt(out, p);
        return kind;
    case kSmallInt:
        AppendSmallInt(out, p);
        return kind;
    case kInt:
        AppendInt(out, p);
        return kind;
    case kBigInt:
        AppendBigInt(out, p);
        return kind;
    case kUnsignedSmallInt:
        AppendUnsignedSmallInt(out, p);
        return kind;
    case kUnsignedInt:
        AppendUnsignedInt(out, p);
        return kind;
    case kUnsignedBigInt:
        AppendUnsignedBigInt(out, p);
        return kind;
    case kReal:
        changed = AppendFloating(out, SingleAt(p));
        return kind;
    case kFloat:
        changed = AppendFloating(out, DoubleAt(p));
        return kind;
    case kMoney:
        AppendMoney(out, p);
        return kind;
    case kSmallMoney:
        AppendSmallMoney(out, p);
        return kind;
    case kNumeric: case kDecimal:
        if (len == 0) return PlainKind::kNull; // no sign byte: the T-SQL writer's NULL too
        AppendNumeric(out, p, len, scale);
        return kind;
    case kDateTime: {
        DateText t;
        t.end = PutDate(t.end, DayWithin(AsSigned32(Load32(p)), changed));
        *t.end++ = ' ';
        t.end = PutTime(t.end, TicksWithin(AsSigned32(Load32(p + 4)), changed));
        t.AppendTo(out);
        return kind;
    }
    case kSmallDateTime: {
        int32_t minutes = Load16(p + 2);
        if (minutes >= kMinutesPerDay) { // every stored day number is a valid day
            changed = PlainChange::kOutOfRange;
            minutes = kMinutesPerDay - 1;
        }
        DateText t;
        t.end = PutDate(t.end, Load16(p));
        *t.end++ = ' ';
        t.end = PutDigits(t.end, static_cast<uint32_t>(minutes / 60), 2);
        *t.end++ = ':';
        t.end = PutDigits(t.end, static_cast<uint32_t>(minutes % 60), 2);
        *t.end++ = ':';
        *t.end++ = '0';
        *t.end++ = '0';
        t.AppendTo(out);
        return kind;
    }
    case kDate: {
        DateText t;
        t.end = PutDate(t.end, DayWithin(AsSigned32(Load32(p)), changed));
        t.AppendTo(out);
        return kind;
    }
    case kTime: {
        DateText t;
        t.end = PutTime(t.end, TicksWithin(AsSigned32(Load32(p)), changed));
        t.AppendTo(out);
        return kind;
    }
    default: // binary in either area, varbinary, timestamp, unknown codes
        if (len == 0 && user_type != kBinary && user_type != kVarBinary) return PlainKind::kNull;
        AppendHexDigits(out, p, len);
        return kind;
    }
}

void AppendFiniteStandIn(std::string &out, uint8_t user_type, const uint8_t *p) {
    if (user_type == kReal)
        AppendReal(out, p, false);
    else
        AppendFloat(out, p, false);
}

} // namespace values
