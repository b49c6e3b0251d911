// Stored character data as UTF-8: every byte of every set, invalid input
// counted and kept, values split between pages.
#include "vrndll/sql/Charset.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace values;

namespace {

using Bytes = std::vector<uint8_t>;

const Charset kSingleByteSets[] = {Charset::Iso1, Charset::Cp1252, Charset::Cp850, Charset::Cp437,
                                   Charset::Roman8};

std::string Utf8Of(const Bytes &bytes, Charset cs, size_t &invalid) {
    std::string out = "~"; // appended to, not replaced
    AppendUtf8(out, bytes.data(), bytes.size(), cs, &invalid);
    EXPECT_EQ(out[0], '~');
    return out.substr(1);
}

std::string Utf8OfUtf16(const Bytes &bytes, size_t &invalid) {
    std::string out;
    AppendUtf8FromUtf16Le(out, bytes.data(), bytes.size(), &invalid);
    return out;
}

// A strict UTF-8 reader: the code points of `text`, or nothing when it is
// not well formed (overlong, surrogate, beyond U+10FFFF, cut short).
bool CodePoints(const std::string &text, std::vector<uint32_t> &points) {
    points.clear();
    for (size_t i = 0; i < text.size();) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        const size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
        if (len == 0 || i + len > text.size()) return false;
        uint32_t u = len == 1 ? b : b & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            const uint8_t c = static_cast<uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            u = (u << 6) | (c & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (u < least[len] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
        points.push_back(u);
        i += len;
    }
    return true;
}

uint32_t OnlyCodePoint(const std::string &text) {
    std::vector<uint32_t> points;
    if (!CodePoints(text, points) || points.size() != 1) return 0xFFFFFFFF;
    return points[0];
}

TEST(Charset, KnownBytesOfEachSetGiveTheirCodePoints) {
    const struct {
        Charset cs;
        uint8_t byte;
        uint32_t point;
        size_t invalid;
    } cases[] = {
        {Charset::Iso1, 0xE9, 0x00E9, 0},   {Charset::Iso1, 0x80, 0x0080, 0},
        {Charset::Iso1, 0xFF, 0x00FF, 0},   {Charset::Cp1252, 0x80, 0x20AC, 0},
        {Charset::Cp1252, 0x92, 0x2019, 0}, {Charset::Cp1252, 0x9F, 0x0178, 0},
        {Charset::Cp1252, 0xE9, 0x00E9, 0}, {Charset::Cp1252, 0x81, 0x0081, 1},
        {Charset::Cp1252, 0x8D, 0x008D, 1}, {Charset::Cp1252, 0x8F, 0x008F, 1},
        {Charset::Cp1252, 0x90, 0x0090, 1}, {Charset::Cp1252, 0x9D, 0x009D, 1},
        {Charset::Cp850, 0x81, 0x00FC, 0},  {Charset::Cp850, 0xD5, 0x0131, 0},
        {Charset::Cp850, 0xF2, 0x2017, 0},  {Charset::Cp850, 0xFF, 0x00A0, 0},
        {Charset::Cp437, 0xB0, 0x2591, 0},  {Charset::Cp437, 0xE0, 0x03B1, 0},
        {Charset::Cp437, 0x9E, 0x20A7, 0},  {Charset::Cp437, 0xFE, 0x25A0, 0},
        {Charset::Roman8, 0xA1, 0x00C0, 0}, {Charset::Roman8, 0xAF, 0x20A4, 0},
        {Charset::Roman8, 0xEB, 0x0160, 0}, {Charset::Roman8, 0xFC, 0x25A0, 0},
        {Charset::Roman8, 0x85, 0x0085, 0}, {Charset::Roman8, 0xFF, 0x00FF, 1},
        {Charset::Utf8, 0x41, 0x0041, 0},   {Charset::Utf8, 0xE9, 0x00E9, 1},
    };
    for (const auto &c : cases) {
        size_t invalid = 0;
        const std::string text = Utf8Of({c.byte}, c.cs, invalid);
        EXPECT_EQ(OnlyCodePoint(text), c.point) << CharsetName(c.cs) << " byte " << int(c.byte);
        EXPECT_EQ(invalid, c.invalid) << CharsetName(c.cs) << " byte " << int(c.byte);
    }
}

// All 256 bytes at once give 256 well-formed code points, ASCII unchanged,
// one per byte, distinct except where an undefined byte meets the defined
// byte of the same code point (roman8 0xFF and 0xEF).
TEST(Charset, EveryByteOfEverySetIsKeptAsOneCodePoint) {
    Bytes all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
    const size_t undefined[] = {0, 5, 0, 0, 1};
    for (size_t s = 0; s < 5; ++s) {
        const Charset cs = kSingleByteSets[s];
        size_t invalid = 0;
        std::vector<uint32_t> points;
        ASSERT_TRUE(CodePoints(Utf8Of(all, cs, invalid), points)) << CharsetName(cs);
        ASSERT_EQ(points.size(), 256u) << CharsetName(cs);
        EXPECT_EQ(invalid, undefined[s]) << CharsetName(cs);
        for (uint32_t b = 0; b < 0x80; ++b) EXPECT_EQ(points[b], b) << CharsetName(cs);
        const std::set<uint32_t> distinct(points.begin(), points.end());
        EXPECT_EQ(distinct.size(), cs == Charset::Roman8 ? 255u : 256u) << CharsetName(cs);
    }
}

// Non-ASCII bytes anywhere in a run of ASCII, across the word boundaries
// of the fast path.
TEST(Charset, AsciiRunsAroundOtherBytesAtEveryOffset) {
    for (size_t at = 0; at < 20; ++at) {
        Bytes bytes(20, 'a');
        bytes[at] = 0xE9;
        bytes.push_back(0x80);
        std::string expected(20, 'a');
        expected.replace(at, 1, "\xC3\xA9");
        expected += "\xE2\x82\xAC";
        size_t invalid = 0;
        EXPECT_EQ(Utf8Of(bytes, Charset::Cp1252, invalid), expected) << at;
        EXPECT_EQ(invalid, 0u);
    }
}

// Valid UTF-8 is copied; each byte of an invalid sequence is counted and
// written as the Latin-1 code point of its number.
TEST(Charset, Utf8IsValidatedAndInvalidBytesKept) {
    const struct {
        Bytes in;
        std::string out;
        size_t invalid;
    } cases[] = {
        {{'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80},
         "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 0},                                      // 2, 3, 4 bytes
        {{0xF4, 0x8F, 0xBF, 0xBF, 0xED, 0x9F, 0xBF}, "\xF4\x8F\xBF\xBF\xED\x9F\xBF", 0}, // U+10FFFF, U+D7FF
        {{0xC0, 0xAF}, "\xC3\x80\xC2\xAF", 2},                                           // overlong '/'
        {{0xE0, 0x80, 0xAF}, "\xC3\xA0\xC2\x80\xC2\xAF", 3},                             // overlong, 3 bytes
        {{0xF0, 0x80, 0x80, 0xAF}, "\xC3\xB0\xC2\x80\xC2\x80\xC2\xAF", 4},               // overlong, 4 bytes
        {{0xED, 0xA0, 0x80}, "\xC3\xAD\xC2\xA0\xC2\x80", 3},                             // surrogate U+D800
        {{0xF4, 0x90, 0x80, 0x80}, "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80", 4},               // U+110000
        {{0xF5, 'x', 0xFF}, "\xC3\xB5x\xC3\xBF", 2},                                     // no such lead
        {{'a', 0x80, 'b'}, "a\xC2\x80" "b", 1},                                          // stray continuation
        {{'a', 0xE2, 0x82}, "a\xC3\xA2\xC2\x82", 2},                                     // cut short at the end
        {{0xE2, 0x82, 'z'}, "\xC3\xA2\xC2\x82z", 2},                                     // cut short by ASCII
        {{0xC3, 0xC3, 0xA9}, "\xC3\x83\xC3\xA9", 1},                                     // lead, then a valid pair
    };
    for (const auto &c : cases) {
        size_t invalid = 0;
        EXPECT_EQ(Utf8Of(c.in, Charset::Utf8, invalid), c.out) << c.out;
        EXPECT_EQ(invalid, c.invalid) << c.out;
    }
}

TEST(Charset, Utf16UnpairedSurrogatesAndOddBytesAreCounted) {
    const struct {
        Bytes in;
        std::string out;
        size_t invalid;
    } cases[] = {
        {{'a', 0, 0xE9, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 0},
        {{0xFF, 0xDB, 0xFF, 0xDF}, "\xF4\x8F\xBF\xBF", 0},            // U+10FFFF
        {{0x3D, 0xD8, 'x', 0}, "\xEF\xBF\xBDx", 1},                   // high surrogate alone
        {{0x00, 0xDE, 'x', 0}, "\xEF\xBF\xBDx", 1},                   // low surrogate alone
        {{'x', 0, 0x3D, 0xD8}, "x\xEF\xBF\xBD", 1},                   // high surrogate last
        {{0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, "\xEF\xBF\xBD\xF0\x9F\x98\x80", 1},
        {{'x', 0, 0xE9}, "x\xC3\xA9", 1},                             // odd last byte
        {{}, "", 0},
    };
    for (const auto &c : cases) {
        size_t invalid = 0;
        EXPECT_EQ(Utf8OfUtf16(c.in, invalid), c.out) << c.out;
        EXPECT_EQ(invalid, c.invalid) << c.out;
    }
}

// A value cut into pages at any two points converts as in one call.
TEST(Charset, ValuesSplitBetweenPagesConvertAsOne) {
    const Bytes utf8 = {'a', 0xF0, 0x9F, 0x98, 0x80, 0xE2, 0x82, 0xAC, 0xC3, 0xA9, 0xE2, 0x82, 'b', 0xF0, 0x9F};
    const Bytes utf16 = {'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x3D, 0xD8, 'b', 0, 0xE9, 0, 0x00, 0xDE, 0x3D};
    const Bytes latin = {'a', 0x80, 0x81, 'b', 0xE9};
    const struct {
        const Bytes *bytes;
        bool utf16;
        Charset cs;
    } cases[] = {{&utf8, false, Charset::Utf8}, {&utf16, true, Charset::Utf8}, {&latin, false, Charset::Cp1252}};
    for (const auto &c : cases) {
        const Bytes &b = *c.bytes;
        size_t wholeInvalid = 0;
        const std::string whole = c.utf16 ? Utf8OfUtf16(b, wholeInvalid) : Utf8Of(b, c.cs, wholeInvalid);
        for (size_t i = 0; i <= b.size(); ++i)
            for (size_t j = i; j <= b.size(); ++j) {
                Utf8Converter conv = c.utf16 ? Utf8Converter::ForUtf16Le() : Utf8Converter(c.cs);
                std::string out;
                conv.Append(out, b.data(), i);
                conv.Append(out, b.data() + i, j - i);
                conv.Append(out, b.data() + j, b.size() - j);
                conv.End(out);
                EXPECT_EQ(out, whole) << i << "/" << j;
                EXPECT_EQ(conv.Invalid(), wholeInvalid) << i << "/" << j;
            }
    }
}

TEST(Charset, NamesUsersTypeFindTheSet) {
    const struct {
        const char *name;
        Charset cs;
    } cases[] = {
        {"iso_1", Charset::Iso1},      {"ISO88591", Charset::Iso1},     {"iso-8859-1", Charset::Iso1},
        {"Latin1", Charset::Iso1},     {"cp1252", Charset::Cp1252},     {"Windows-1252", Charset::Cp1252},
        {"CP850", Charset::Cp850},     {"cp437", Charset::Cp437},       {"roman8", Charset::Roman8},
        {"HP-Roman8", Charset::Roman8}, {"utf8", Charset::Utf8},        {"UTF-8", Charset::Utf8},
    };
    for (const auto &c : cases) EXPECT_EQ(CharsetByName(c.name), c.cs) << c.name;
    for (const char *unknown : {"", "ascii", "utf16", "cp1251", "iso_2"})
        EXPECT_FALSE(CharsetByName(unknown).has_value()) << unknown;
    const std::string canonical[] = {"iso_1", "cp1252", "cp850", "cp437", "roman8", "utf8"};
    const Charset all[] = {Charset::Iso1, Charset::Cp1252, Charset::Cp850, Charset::Cp437, Charset::Roman8,
                           Charset::Utf8};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(CharsetName(all[i]), canonical[i]);
        EXPECT_EQ(CharsetByName(canonical[i]), all[i]);
    }
}

} // namespace
