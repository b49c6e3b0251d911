// Integers appended to a text as decimal digits, without a scratch buffer
// of the caller's and without printf.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

namespace values {

inline void AppendDecimal(std::string &out, int64_t v) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, r.ptr);
}

inline void AppendDecimal(std::string &out, uint64_t v) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, r.ptr);
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
