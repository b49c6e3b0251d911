#include "platform/utf16_text.h"

namespace platform {
namespace detail {

bool looksLikeUtf16(const void *buffer, size_t size) {
    if (buffer == nullptr || size < 2 || size % 2 != 0)
        return false;
    const unsigned char *bytes = static_cast<const unsigned char *>(buffer);
    size_t units = size / 2;
    if (units > 256)
        units = 256;
    const auto unitAt = [bytes](size_t i) {
        return static_cast<unsigned>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    if (unitAt(0) == 0xFEFF)
        return true;
    if (unitAt(0) == 0xFFFE)
        return false;
    size_t text = 0, asciiLike = 0;
    for (; text < units; ++text) {
        const unsigned u = unitAt(text);
        if (u == 0)
            break;
        if (u <= 0xFF)
            ++asciiLike;
    }
    return text > 0 && asciiLike * 2 > text;
}

std::string utf16ToUtf8(const uint16_t *units, size_t count) {
    std::string out;
    if (units == nullptr)
        return out;
    for (size_t i = 0; i < count && units[i] != 0; ++i) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
                ++i;
            } else {
                out += '?';
                continue;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            out += '?';
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace detail
} // namespace platform
