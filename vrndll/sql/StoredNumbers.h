// Integers as rows store them: little-endian, read from a byte buffer of at
// least the width named, with two's complement reinterpretations that are
// well defined for every bit pattern.
#pragma once

#include <cstdint>
#include <cstring>

namespace values {

inline uint16_t Load16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t Load32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Load64(const uint8_t *p) {
    return static_cast<uint64_t>(Load32(p)) | (static_cast<uint64_t>(Load32(p + 4)) << 32);
}

inline int16_t AsSigned16(uint16_t v) { return static_cast<int16_t>(v); }
inline int32_t AsSigned32(uint32_t v) { return static_cast<int32_t>(v); }
inline int64_t AsSigned64(uint64_t v) {
    int64_t s;
    std::memcpy(&s, &v, sizeof s);
    return s;
}

} // namespace values
