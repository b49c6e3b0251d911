// Integers appended to a text as decimal digits, without a scratch buffer
// of the caller's and without printf.
//
// Texts are appended by pointer and length: std::string's append of a
// pointer pair goes through its general replace, several times the cost for
// a few digits.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

namespace values {

inline void AppendDecimal(std::string &out, int64_t v) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, static_cast<size_t>(r.ptr - digits));
}

inline void AppendDecimal(std::string &out, uint64_t v) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, static_cast<size_t>(r.ptr - digits));
}

// `v` (0 <= v < 10^width) in exactly `width` (1..9) digits, zeros in front.
inline void AppendZeroPadded(std::string &out, uint32_t v, int width) {
    char digits[9];
    if (width < 1 || width > 9) width = 9;
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    out.append(digits, static_cast<size_t>(width));
}

} // namespace values
