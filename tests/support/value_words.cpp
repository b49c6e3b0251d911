#include "tests/support/value_words.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace dumpwriter {

namespace {

struct TypeName {
    const char *word;
    uint8_t code;
    int args; // 0: none; 1: length; 2: precision and scale
};

const TypeName kTypeNames[] = {
    {"char", types::kChar, 1},           {"varchar", types::kVarChar, 1},
    {"binary", types::kBinary, 1},       {"varbinary", types::kVarBinary, 1},
    {"tinyint", types::kTinyInt, 0},     {"smallint", types::kSmallInt, 0},
    {"int", types::kInt, 0},             {"float", types::kFloat, 0},
    {"numeric", types::kNumeric, 2},     {"money", types::kMoney, 0},
    {"datetime", types::kDateTime, 0},   {"bit", types::kBit, 0},
    {"sysname", types::kSysname, 1},     {"text", types::kText, 0},
    {"image", types::kImage, 0},         {"smallmoney", types::kSmallMoney, 0},
    {"smalldatetime", types::kSmallDateTime, 0}, {"real", types::kReal, 0},
    {"nchar", types::kNChar, 1},         {"nvarchar", types::kNVarChar, 1},
    {"decimal", types::kDecimal, 2},
    // format 15
    {"unichar", types::kUniChar, 1},     {"univarchar", types::kUniVarChar, 1},
    {"unitext", types::kUniText, 0},     {"date", types::kDate, 0},
    {"time", types::kTime, 0},           {"longsysname", types::kLongSysname, 1},
    {"bigint", types::kBigInt, 0},       {"usmallint", types::kUnsignedSmallInt, 0},
    {"uint", types::kUnsignedInt, 0},    {"ubigint", types::kUnsignedBigInt, 0},
    {"timestamp", types::kTimestamp, 0},
};

// unichar(n) and univarchar(n) declare characters; the column's length is
// in bytes, two per character.
bool CountsCharacters(uint8_t t) { return t == types::kUniChar || t == types::kUniVarChar; }

bool ToLong(const std::string &word, long long low, long long high, long long &value) {
    if (word.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoll(word.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool IsQuoted(const std::string &w) { return w.size() >= 2 && w.front() == '\'' && w.back() == '\''; }

std::string Unquote(const std::string &w) {
    std::string out;
    for (size_t i = 1; i + 1 < w.size(); ++i) {
        out += w[i];
        if (w[i] == '\'') ++i; // '' stands for one quote
    }
    return out;
}

bool Hex(const std::string &w, Bytes &out) {
    if (w.size() < 2 || w[0] != '0' || (w[1] != 'x' && w[1] != 'X') || w.size() % 2 != 0) return false;
    out.clear();
    for (size_t i = 2; i < w.size(); i += 2) {
        char pair[3] = {w[i], w[i + 1], 0};
        char *end = nullptr;
        const long v = std::strtol(pair, &end, 16);
        if (*end != '\0') return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

// "[-]digits[.digits]" as an integer scaled by 10^scale; false when it has
// more decimals than `scale` or does not fit 63 bits.
bool Scaled(const std::string &w, int scale, int64_t &out) {
    size_t i = 0;
    const bool negative = !w.empty() && w[0] == '-';
    if (negative) ++i;
    uint64_t v = 0;
    int decimals = -1;
    bool digits = false;
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    for (; i < w.size(); ++i) {
        if (w[i] == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (w[i] < '0' || w[i] > '9') return false;
        if (decimals >= 0 && ++decimals > scale) return false;
        if (v > (limit - 9) / 10) return false;
        v = v * 10 + static_cast<uint64_t>(w[i] - '0');
        digits = true;
    }
    if (!digits) return false;
    for (int k = decimals < 0 ? 0 : decimals; k < scale; ++k) {
        if (v > limit / 10) return false;
        v *= 10;
    }
    out = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

// Days from 1 January 1970 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// 'YYYY-MM-DD[ HH:MM[:SS[.mmm]]]' as days since 1900-01-01 and
// milliseconds since midnight.
bool DateTimeText(const std::string &text, int64_t &days, int64_t &millis) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    char rest[8] = {};
    const int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%3d%7s", &y, &mo, &d, &h, &mi, &s, &ms, rest);
    if (n != 3 && n != 5 && n != 6 && n != 7) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return false;
    days = DaysFromCivil(y, mo, d) - DaysFromCivil(1900, 1, 1);
    millis = ((static_cast<int64_t>(h) * 60 + mi) * 60 + s) * 1000 + ms;
    return true;
}

} // namespace

bool SplitWords(const std::string &line, std::vector<std::string> &words, std::string &error) {
    words.clear();
    std::string word;
    bool in_word = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'') {
            const size_t start = i;
            for (++i;; ++i) {
                if (i >= line.size()) {
                    error = "a quoted string is not closed";
                    return false;
                }
                if (line[i] == '\'') {
                    if (i + 1 < line.size() && line[i + 1] == '\'') {
                        ++i;
                        continue;
                    }
                    break;
                }
            }
            word += line.substr(start, i - start + 1);
            in_word = true;
            continue;
        }
        if (c == '#') break;
        if (c == ' ' || c == '\t' || c == '\r') {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
            continue;
        }
        word += c;
        in_word = true;
    }
    if (in_word) words.push_back(word);
    return true;
}

std::string NameWord(const std::string &word) { return IsQuoted(word) ? Unquote(word) : word; }

bool ParseColumnType(const std::string &word, Column &column, std::string &error) {
    const size_t open = word.find('(');
    const std::string base = word.substr(0, open);
    std::vector<long long> args;
    if (open != std::string::npos) {
        if (word.back() != ')') {
            error = "type '" + word + "' lacks its ')'";
            return false;
        }
        std::string inside = word.substr(open + 1, word.size() - open - 2);
        size_t at = 0;
        while (at <= inside.size()) {
            const size_t comma = inside.find(',', at);
            const std::string part = inside.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            long long v = 0;
            if (!ToLong(part, -32768, 32767, v)) {
                error = "type '" + word + "' has a bad number";
                return false;
            }
            args.push_back(v);
            if (comma == std::string::npos) break;
            at = comma + 1;
        }
    }
    int wanted = -1;
    if (base.compare(0, 4, "code") == 0) {
        long long code = 0;
        if (!ToLong(base.substr(4), 0, 255, code)) {
            error = "type '" + word + "': codeN takes a code from 0 to 255";
            return false;
        }
        column.user_type = static_cast<uint8_t>(code);
        wanted = 1;
    } else {
        for (const TypeName &t : kTypeNames)
            if (base == t.word) {
                column.user_type = t.code;
                wanted = t.args;
            }
        if (wanted < 0) {
            error = "unknown type '" + base + "'";
            return false;
        }
    }
    if (static_cast<int>(args.size()) != wanted) {
        error = "type '" + word + "' takes " +
                (wanted == 0 ? std::string("no length") : wanted == 1 ? "a length" : "a precision and a scale");
        return false;
    }
    if (wanted == 2) {
        if (args[0] < 1 || args[0] > 38 || args[1] < 0 || args[1] > args[0]) {
            error = "type '" + word + "': precision 1 to 38, scale 0 to the precision";
            return false;
        }
        column.precision = static_cast<uint8_t>(args[0]);
        column.scale = static_cast<uint8_t>(args[1]);
        column.length = NumericLength(static_cast<int>(args[0]));
    } else if (wanted == 1) {
        column.length = static_cast<int16_t>(CountsCharacters(column.user_type) ? 2 * args[0] : args[0]);
    } else {
        column.length = NaturalLength(column.user_type);
    }
    return true;
}

bool ParseValueWord(const std::string &word, const Column &c, Value &stored, std::optional<Bytes> &chain,
                    std::string &error) {
    stored = kNullValue;
    chain.reset();
    if (word == "NULL") {
        if (c.in_fixed_area()) {
            error = "column " + c.name + " does not allow NULL";
            return false;
        }
        return true;
    }
    auto fail = [&](const char *what) {
        error = "value " + word + " for column " + c.name + ": " + what;
        return false;
    };
    long long n = 0;
    Bytes bytes;
    switch (c.user_type) {
    case types::kTinyInt:
        if (!ToLong(word, 0, 255, n)) return fail("tinyint is 0 to 255");
        stored = encode::TinyInt(static_cast<uint8_t>(n));
        return true;
    case types::kBit:
        if (!ToLong(word, 0, 1, n)) return fail("bit is 0 or 1");
        stored = encode::Bit(n != 0);
        return true;
    case types::kSmallInt:
        if (!ToLong(word, -32768, 32767, n)) return fail("not a smallint");
        stored = encode::SmallInt(static_cast<int16_t>(n));
        return true;
    case types::kInt:
        if (!ToLong(word, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), n))
            return fail("not an int");
        stored = encode::Int(static_cast<int32_t>(n));
        return true;
    case types::kBigInt:
        if (!ToLong(word, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), n))
            return fail("not a bigint");
        stored = encode::BigInt(n);
        return true;
    case types::kUnsignedSmallInt:
    case types::kUnsignedInt:
    case types::kUnsignedBigInt: {
        const int width = NaturalLength(c.user_type);
        char *end = nullptr;
        errno = 0;
        const unsigned long long v = std::strtoull(word.c_str(), &end, 10);
        if (word.empty() || word[0] == '-' || *end != '\0' || errno != 0 ||
            (width < 8 && (v >> (8 * width)) != 0))
            return fail("out of the unsigned range");
        stored = encode::Unsigned(v, width);
        return true;
    }
    case types::kDate:
    case types::kTime: {
        int64_t days = 0, millis = 0;
        const std::string text = IsQuoted(word) ? Unquote(word) : std::string();
        if (c.user_type == types::kDate) {
            if (!DateTimeText(text, days, millis) || millis != 0) return fail("a date is written 'YYYY-MM-DD'");
            if (days < -693595 || days > 2958463) return fail("date runs from 0001 to 9999");
            stored = encode::Date(static_cast<int32_t>(days));
        } else {
            if (!DateTimeText("1900-01-01 " + text, days, millis)) return fail("a time is written 'HH:MM:SS.mmm'");
            stored = encode::Time(static_cast<int32_t>((millis * 3 + 5) / 10));
        }
        return true;
    }
    case types::kUniChar:
    case types::kUniVarChar:
    case types::kUniText:
        if (IsQuoted(word)) {
            bytes = encode::UniChars(Unquote(word));
        } else if (!Hex(word, bytes)) {
            return fail("a string is written in quotes, bytes 0x...");
        }
        break;
    case types::kFloat:
    case types::kReal: {
        char *end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (word.empty() || *end != '\0' || !std::isfinite(v)) return fail("not a number");
        stored = c.user_type == types::kFloat ? encode::Float(v) : encode::Real(static_cast<float>(v));
        return true;
    }
    case types::kMoney:
    case types::kSmallMoney: {
        int64_t units = 0;
        if (!Scaled(word, 4, units)) return fail("money has at most 4 decimals");
        if (c.user_type == types::kMoney) {
            stored = encode::Money(units);
        } else {
            if (units < std::numeric_limits<int32_t>::min() || units > std::numeric_limits<int32_t>::max())
                return fail("out of the smallmoney range");
            stored = encode::SmallMoney(static_cast<int32_t>(units));
        }
        return true;
    }
    case types::kNumeric:
    case types::kDecimal: {
        int64_t unscaled = 0;
        if (!Scaled(word, c.scale, unscaled)) return fail("too many decimals for the scale");
        try {
            stored = encode::Numeric(unscaled, c.length);
        } catch (const std::exception &) {
            return fail("too many digits for the column");
        }
        return true;
    }
    case types::kDateTime:
    case types::kSmallDateTime: {
        int64_t days = 0, millis = 0;
        if (!IsQuoted(word) || !DateTimeText(Unquote(word), days, millis))
            return fail("a date is written 'YYYY-MM-DD HH:MM:SS.mmm'");
        if (c.user_type == types::kDateTime) {
            if (days < -53690 || days > 2958463) return fail("datetime runs from 1753 to 9999");
            stored = encode::DateTime(static_cast<int32_t>(days), static_cast<int32_t>((millis * 3 + 5) / 10));
        } else {
            if (days < 0 || days > 65535 || millis % 60000 != 0)
                return fail("smalldatetime holds whole minutes from 1900 to 2079");
            stored = encode::SmallDateTime(static_cast<uint16_t>(days), static_cast<uint16_t>(millis / 60000));
        }
        return true;
    }
    case types::kChar:
    case types::kVarChar:
    case types::kNChar:
    case types::kNVarChar:
    case types::kSysname:
    case types::kLongSysname:
    case types::kText:
        if (!IsQuoted(word)) return fail("a string is written in quotes");
        bytes = encode::Chars(Unquote(word));
        break;
    default:
        if (!Hex(word, bytes)) return fail("bytes are written 0x...");
        break;
    }
    if (c.user_type == types::kText || c.user_type == types::kImage || c.user_type == types::kUniText)
        chain = bytes;
    else
        stored = bytes;
    return true;
}

} // namespace dumpwriter
