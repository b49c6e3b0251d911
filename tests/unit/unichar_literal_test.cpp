// Unicode character values as literals that load back to the same code units.
#include "vrndll/sql/UniCharLiteral.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

using namespace values;

namespace {

using Bytes = std::vector<uint8_t>;

// Code units as stored: little-endian, two bytes each.
Bytes Stored(std::initializer_list<uint16_t> units) {
    Bytes bytes;
    for (uint16_t u : units) {
        bytes.push_back(static_cast<uint8_t>(u & 0xff));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    return bytes;
}

std::string Literal(const Bytes &bytes) {
    std::string out;
    AppendUniChars(out, bytes.data(), bytes.size());
    return out;
}

void PutUnit(Bytes &bytes, uint32_t u) {
    bytes.push_back(static_cast<uint8_t>(u & 0xff));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
}

uint32_t HexValue(const std::string &text, size_t at, size_t digits, bool &ok) {
    if (at + digits > text.size()) {
        ok = false;
        return 0;
    }
    std::string part = text.substr(at, digits);
    char *end = nullptr;
    unsigned long v = std::strtoul(part.c_str(), &end, 16);
    ok = ok && *end == '\0';
    return static_cast<uint32_t>(v);
}

// Reads a literal back the way the server does, into the stored bytes:
// 'plain' (a doubled quote is one quote, each character one code unit),
// U&'escaped' (\xxxx a code unit, \+xxxxxx a code point beyond the BMP) or
// 0x followed by the bytes. Fails unless the whole text is one literal and
// nothing in it is outside printable ASCII.
bool ReadBack(const std::string &text, Bytes &bytes) {
    bytes.clear();
    for (char c : text)
        if (c < 0x20 || c > 0x7e) return false;
    bool ok = true;
    if (text.compare(0, 2, "0x") == 0) {
        if (text.size() % 2 != 0) return false;
        for (size_t i = 2; i < text.size(); i += 2) bytes.push_back(static_cast<uint8_t>(HexValue(text, i, 2, ok)));
        return ok;
    }
    const bool escaped = text.compare(0, 3, "U&'") == 0;
    size_t i = escaped ? 3 : 1;
    if (!escaped && (text.empty() || text[0] != '\'')) return false;
    for (;;) {
        if (i >= text.size()) return false;
        const char c = text[i];
        if (c == '\'') {
            if (i + 1 < text.size() && text[i + 1] == '\'') {
                PutUnit(bytes, '\'');
                i += 2;
                continue;
            }
            return ok && i + 1 == text.size();
        }
        if (escaped && c == '\\') {
            if (i + 1 < text.size() && text[i + 1] == '+') {
                uint32_t cp = HexValue(text, i + 2, 6, ok) - 0x10000;
                PutUnit(bytes, 0xd800 + (cp >> 10));
                PutUnit(bytes, 0xdc00 + (cp & 0x3ff));
                i += 8;
            } else {
                PutUnit(bytes, HexValue(text, i + 1, 4, ok));
                i += 5;
            }
            continue;
        }
        PutUnit(bytes, static_cast<uint8_t>(c));
        ++i;
    }
}

} // namespace

TEST(UniCharLiteral, PlainWhenPrintableAsciiEscapedOtherwiseBytesWhenNotUtf16) {
    struct Case {
        Bytes stored;
        const char *text;
    } cases[] = {
        {Stored({'a', 'b', ' '}), "'ab '"},
        {Stored({'i', 't', '\'', 's'}), "'it''s'"},
        {Stored({}), "''"},
        {Stored({'c', 'a', 'f', 0xe9}), "U&'caf\\00e9'"},
        {Stored({0x4f60, 0x597d}), "U&'\\4f60\\597d'"},
        // Once escaped, the quote and the backslash are escaped too.
        {Stored({0xe9, '\'', '\\'}), "U&'\\00e9\\0027\\005c'"},
        // A line break is escaped: "go" can never start a line of the script.
        {Stored({'a', '\n', 'g', 'o'}), "U&'a\\000ago'"},
        {Stored({0, 0xffff}), "U&'\\0000\\ffff'"},
        {Stored({'x', 0xd83d, 0xde00}), "U&'x\\+01f600'"}, // a surrogate pair
        {Stored({0xdbff, 0xdfff}), "U&'\\+10ffff'"},
        {Stored({'a', 0xd83d}), "0x61003dd8"},               // high surrogate at the end
        {Stored({0xde00, 'a'}), "0x00de6100"},               // low surrogate alone
        {Stored({0xd83d, 'a'}), "0x3dd86100"},               // high surrogate, no partner
        {Bytes{'a', 0, 'b'}, "0x610062"},                    // an odd byte count
    };
    for (const Case &c : cases) {
        std::string text = Literal(c.stored);
        EXPECT_EQ(text, c.text);
        Bytes back;
        EXPECT_TRUE(ReadBack(text, back)) << text;
        EXPECT_EQ(back, c.stored) << text;
    }
}

TEST(UniCharLiteral, AnyStoredBytesLoadBackUnchangedAlsoWhenWrittenInPieces) {
    std::mt19937 random(1515);
    const uint16_t interesting[] = {'a', '\'', '\\', '\n', '\r', 'g', 'o', 0, 0x7f, 0xe9, 0x4f60,
                                    0xd800, 0xdbff, 0xdc00, 0xdfff, 0xfffe};
    for (int round = 0; round < 3000; ++round) {
        Bytes stored;
        const size_t units = random() % 12;
        for (size_t i = 0; i < units; ++i) {
            uint32_t u = random() % 3 == 0 ? random() & 0xffff : interesting[random() % 16];
            PutUnit(stored, u);
        }
        if (round % 7 == 0) stored.push_back(static_cast<uint8_t>(random())); // odd length

        const std::string whole = Literal(stored);
        Bytes back;
        ASSERT_TRUE(ReadBack(whole, back)) << whole;
        ASSERT_EQ(back, stored) << whole;

        std::string pieces;
        UniTextLiteralWriter writer(pieces);
        writer.Begin();
        for (size_t at = 0; at < stored.size();) { // cut anywhere, also inside a code unit
            size_t n = std::min(stored.size() - at, static_cast<size_t>(1 + random() % 5));
            writer.Append(stored.data() + at, n);
            at += n;
        }
        writer.End();
        ASSERT_EQ(pieces, whole);
    }
}
