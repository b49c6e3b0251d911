// Portable UTF-16 helpers of the POSIX backend. Internal to the platform
// layer; compiled on every platform so that they are tested everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {
namespace detail {

// A statistical guess whether `size` bytes hold little-endian UTF-16 text.
// Only the first 256 units count, up to the first zero unit. A byte-order
// mark decides at once; otherwise the text must be mostly units with a zero
// high byte and a non-zero low byte, which narrow text (two characters per
// unit) almost never produces: at most its last unit, before a terminator,
// looks like that. An odd size or an empty text is not UTF-16.
bool looksLikeUtf16(const void *buffer, size_t size);

// UTF-8 text of up to `count` UTF-16 units, stopping at a zero unit. A
// surrogate without its partner becomes '?'.
std::string utf16ToUtf8(const uint16_t *units, size_t count);

} // namespace detail
} // namespace platform
