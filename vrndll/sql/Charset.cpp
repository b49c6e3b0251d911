#include "vrndll/sql/Charset.h"

#include <cstring>

namespace values {

namespace {

// Code points of the bytes 0x80..0xFF; 0 marks a byte the set leaves
// undefined (no set here maps an upper byte to U+0000).
using UpperHalf = uint16_t[128];

const UpperHalf kCp1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,      // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, // 98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, // C8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, // E8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF, // F8
};

const UpperHalf kCp850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0, // F8
};

const UpperHalf kCp437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // F8
};

const UpperHalf kRoman8 = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087, // 80
    0x0088, 0x0089, 0x008A, 0x008B, 0x008C, 0x008D, 0x008E, 0x008F, // 88
    0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097, // 90
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F, // 98
    0x00A0, 0x00C0, 0x00C2, 0x00C8, 0x00CA, 0x00CB, 0x00CE, 0x00CF, // A0
    0x00B4, 0x02CB, 0x02C6, 0x00A8, 0x02DC, 0x00D9, 0x00DB, 0x20A4, // A8
    0x00AF, 0x00DD, 0x00FD, 0x00B0, 0x00C7, 0x00E7, 0x00D1, 0x00F1, // B0
    0x00A1, 0x00BF, 0x00A4, 0x00A3, 0x00A5, 0x00A7, 0x0192, 0x00A2, // B8
    0x00E2, 0x00EA, 0x00F4, 0x00FB, 0x00E1, 0x00E9, 0x00F3, 0x00FA, // C0
    0x00E0, 0x00E8, 0x00F2, 0x00F9, 0x00E4, 0x00EB, 0x00F6, 0x00FC, // C8
    0x00C5, 0x00EE, 0x00D8, 0x00C6, 0x00E5, 0x00ED, 0x00F8, 0x00E6, // D0
    0x00C4, 0x00EC, 0x00D6, 0x00DC, 0x00C9, 0x00EF, 0x00DF, 0x00D4, // D8
    0x00C1, 0x00C3, 0x00E3, 0x00D0, 0x00F0, 0x00CD, 0x00CC, 0x00D3, // E0
    0x00D2, 0x00D5, 0x00F5, 0x0160, 0x0161, 0x00DA, 0x0178, 0x00FF, // E8
    0x00DE, 0x00FE, 0x00B7, 0x00B5, 0x00B6, 0x00BE, 0x2014, 0x00BC, // F0
    0x00BD, 0x00AA, 0x00BA, 0x00AB, 0x25A0, 0x00BB, 0x00B1, 0,      // F8
};

const uint16_t *UpperHalfOf(Charset cs) {
    switch (cs) {
    case Charset::Cp1252: return kCp1252;
    case Charset::Cp850: return kCp850;
    case Charset::Cp437: return kCp437;
    case Charset::Roman8: return kRoman8;
    case Charset::Iso1:
    case Charset::Utf8: break;
    }
    return nullptr;
}

// Code points up to U+FFFF (every table entry, an invalid byte, U+FFFD).
void PutBmp(std::string &out, uint32_t u) {
    if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        const char two[2] = {static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F))};
        out.append(two, 2);
    } else {
        const char three[3] = {static_cast<char>(0xE0 | (u >> 12)), static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
                               static_cast<char>(0x80 | (u & 0x3F))};
        out.append(three, 3);
    }
}

void PutSupplementary(std::string &out, uint32_t u) {
    const char four[4] = {static_cast<char>(0xF0 | (u >> 18)), static_cast<char>(0x80 | ((u >> 12) & 0x3F)),
                          static_cast<char>(0x80 | ((u >> 6) & 0x3F)), static_cast<char>(0x80 | (u & 0x3F))};
    out.append(four, 4);
}

} // namespace

size_t AsciiRun(const uint8_t *bytes, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < n && bytes[i] < 0x80) ++i;
    return i;
}

namespace {

void SingleByteToUtf8(std::string &out, const uint8_t *bytes, size_t n, const uint16_t *upper, size_t &invalid) {
    size_t i = 0;
    while (i < n) {
        const size_t run = AsciiRun(bytes + i, n - i);
        out.append(reinterpret_cast<const char *>(bytes + i), run);
        i += run;
        for (; i < n && bytes[i] >= 0x80; ++i) {
            const uint8_t b = bytes[i];
            uint32_t u = upper ? upper[b - 0x80] : b;
            if (u == 0) {
                u = b;
                ++invalid;
            }
            PutBmp(out, u);
        }
    }
}

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// The length of the UTF-8 sequence that starts with lead byte `b`, and the
// range its second byte must lie in; 0 when `b` cannot start one.
size_t SequenceLength(uint8_t b, uint8_t &low, uint8_t &high) {
    low = 0x80;
    high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) {
        if (b == 0xE0) low = 0xA0; // below: overlong
        if (b == 0xED) high = 0x9F; // above: surrogates
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (b == 0xF0) low = 0x90; // below: overlong
        if (b == 0xF4) high = 0x8F; // above: beyond U+10FFFF
        return 4;
    }
    return 0;
}

// Converts bytes[0..n) and returns how many were consumed: all of them when
// `last`, otherwise all but a sequence the end of the bytes cuts short.
size_t Utf8ToUtf8(std::string &out, const uint8_t *bytes, size_t n, bool last, size_t &invalid) {
    size_t i = 0;
    while (i < n) {
        const size_t run = AsciiRun(bytes + i, n - i);
        out.append(reinterpret_cast<const char *>(bytes + i), run);
        i += run;
        while (i < n && bytes[i] >= 0x80) {
            uint8_t low, high;
            const size_t len = SequenceLength(bytes[i], low, high);
            size_t good = 0; // bytes of the sequence present and well formed
            if (len != 0) {
                good = 1;
                while (good < len && i + good < n) {
                    const uint8_t c = bytes[i + good];
                    if (good == 1 ? (c < low || c > high) : !IsContinuation(c)) break;
                    ++good;
                }
            }
            if (len != 0 && good == len) {
                out.append(reinterpret_cast<const char *>(bytes + i), len);
                i += len;
                continue;
            }
            if (len != 0 && i + good == n && !last) return i; // completed by the next bytes
            PutBmp(out, bytes[i]);
            ++invalid;
            ++i;
        }
    }
    return n;
}

uint32_t CodeUnit(const uint8_t *p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }

// As Utf8ToUtf8, for UTF-16 code units, little-endian.
size_t Utf16LeToUtf8(std::string &out, const uint8_t *bytes, size_t n, bool last, size_t &invalid) {
    size_t i = 0;
    while (i + 2 <= n) {
        const uint32_t u = CodeUnit(bytes + i);
        if (u < 0xD800 || u > 0xDFFF) {
            PutBmp(out, u);
            i += 2;
        } else if (u <= 0xDBFF && i + 4 <= n && CodeUnit(bytes + i + 2) >= 0xDC00 &&
                   CodeUnit(bytes + i + 2) <= 0xDFFF) {
            PutSupplementary(out, 0x10000 + ((u - 0xD800) << 10) + (CodeUnit(bytes + i + 2) - 0xDC00));
            i += 4;
        } else if (u <= 0xDBFF && i + 4 > n && !last) {
            return i; // its partner may come with the next bytes
        } else {
            PutBmp(out, 0xFFFD);
            ++invalid;
            i += 2;
        }
    }
    if (i < n) {
        if (!last) return i;
        PutBmp(out, bytes[i]);
        ++invalid;
    }
    return n;
}

} // namespace

std::optional<Charset> CharsetByName(std::string_view name) {
    std::string key;
    for (char c : name) {
        if (c == '-' || c == '_') continue;
        key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    static const struct {
        const char *name;
        Charset cs;
    } kNames[] = {
        {"iso1", Charset::Iso1},       {"iso88591", Charset::Iso1},       {"latin1", Charset::Iso1},
        {"cp1252", Charset::Cp1252},   {"windows1252", Charset::Cp1252}, {"cp850", Charset::Cp850},
        {"ibm850", Charset::Cp850},    {"cp437", Charset::Cp437},         {"ibm437", Charset::Cp437},
        {"roman8", Charset::Roman8},   {"hproman8", Charset::Roman8},     {"utf8", Charset::Utf8},
    };
    for (const auto &entry : kNames)
        if (key == entry.name) return entry.cs;
    return std::nullopt;
}

const char *CharsetName(Charset cs) {
    switch (cs) {
    case Charset::Iso1: return "iso_1";
    case Charset::Cp1252: return "cp1252";
    case Charset::Cp850: return "cp850";
    case Charset::Cp437: return "cp437";
    case Charset::Roman8: return "roman8";
    case Charset::Utf8: return "utf8";
    }
    return "?";
}

void AppendUtf8(std::string &out, const uint8_t *bytes, size_t n, Charset cs, size_t *invalid) {
    size_t count = 0;
    if (cs == Charset::Utf8)
        Utf8ToUtf8(out, bytes, n, true, count);
    else
        SingleByteToUtf8(out, bytes, n, UpperHalfOf(cs), count);
    if (invalid) *invalid += count;
}

void AppendUtf8FromUtf16Le(std::string &out, const uint8_t *bytes, size_t n, size_t *invalid) {
    size_t count = 0;
    Utf16LeToUtf8(out, bytes, n, true, count);
    if (invalid) *invalid += count;
}

size_t Utf8Converter::Convert(std::string &out, const uint8_t *bytes, size_t n, bool last) {
    if (utf16_) return Utf16LeToUtf8(out, bytes, n, last, invalid_);
    if (cs_ == Charset::Utf8) return Utf8ToUtf8(out, bytes, n, last, invalid_);
    SingleByteToUtf8(out, bytes, n, UpperHalfOf(cs_), invalid_);
    return n;
}

void Utf8Converter::Append(std::string &out, const uint8_t *bytes, size_t n) {
    size_t from = 0;
    if (heldLen_ > 0) {
        // The held bytes start one unfinished sequence of at most four bytes;
        // with three more it is decided, and bytes after it are decoded again
        // below with all that follows them.
        uint8_t joined[6];
        const size_t more = n < 3 ? n : 3;
        std::memcpy(joined, held_, heldLen_);
        std::memcpy(joined + heldLen_, bytes, more);
        const size_t used = Convert(out, joined, heldLen_ + more, false);
        if (used < heldLen_) { // too few new bytes to decide it: hold them all
            const size_t keep = heldLen_ + more - used;
            std::memmove(held_, joined + used, keep);
            heldLen_ = keep;
            return;
        }
        from = used - heldLen_;
        heldLen_ = 0;
    }
    const size_t used = Convert(out, bytes + from, n - from, false);
    heldLen_ = n - from - used;
    std::memcpy(held_, bytes + from + used, heldLen_);
}

void Utf8Converter::End(std::string &out) {
    if (heldLen_ > 0) Convert(out, held_, heldLen_, true);
    heldLen_ = 0;
}

} // namespace values
