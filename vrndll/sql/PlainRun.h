// The length of the run of bytes at the start of a text that holds none of
// a few given bytes: the part a literal or an escaped field copies as it is.
//
// Eight bytes are tested at a time: a word holds a byte `c` exactly when the
// word XOR c-in-every-byte holds a zero byte, and (w - 0x01..01) & ~w &
// 0x80..80 is not zero exactly when w holds a zero byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace values {

namespace plain_run_detail {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

constexpr uint64_t HasZeroByte(uint64_t w) { return (w - kOnes) & ~w & kHighs; }

template <unsigned char... Stops>
constexpr uint64_t HasStop(uint64_t w) {
    return (HasZeroByte(w ^ (kOnes * Stops)) | ...);
}

template <unsigned char... Stops>
constexpr bool IsStop(unsigned char c) {
    return ((c == Stops) || ...);
}

} // namespace plain_run_detail

template <unsigned char... Stops>
size_t PlainRun(const char *text, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, text + i, 8);
        if (plain_run_detail::HasStop<Stops...>(w)) break;
    }
    while (i < n && !plain_run_detail::IsStop<Stops...>(static_cast<unsigned char>(text[i]))) ++i;
    return i;
}

} // namespace values
