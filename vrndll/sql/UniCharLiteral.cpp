#include "vrndll/sql/UniCharLiteral.h"

#include "vrndll/sql/ValueFormat.h"

namespace values {

namespace {

const char kHexDigits[] = "0123456789abcdef";

uint16_t CodeUnit(const uint8_t *bytes, size_t i) {
    return static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

bool IsHighSurrogate(uint32_t u) { return u >= 0xd800 && u <= 0xdbff; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xdc00 && u <= 0xdfff; }
bool IsPrintableAscii(uint32_t u) { return u >= 0x20 && u <= 0x7e; }

enum class Shape { Plain, Escaped, NotUtf16 };

Shape ShapeOf(const uint8_t *bytes, size_t len) {
    if (len % 2 != 0) return Shape::NotUtf16;
    const size_t units = len / 2;
    Shape shape = Shape::Plain;
    for (size_t i = 0; i < units; ++i) {
        const uint16_t u = CodeUnit(bytes, i);
        if (IsPrintableAscii(u)) continue;
        if (IsLowSurrogate(u)) return Shape::NotUtf16;
        if (IsHighSurrogate(u)) {
            if (i + 1 >= units || !IsLowSurrogate(CodeUnit(bytes, i + 1))) return Shape::NotUtf16;
            ++i;
        }
        shape = Shape::Escaped;
    }
    return shape;
}

void AppendHex(std::string &out, uint32_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out.push_back(kHexDigits[(value >> shift) & 15]);
}

void AppendPlain(std::string &out, const uint8_t *bytes, size_t units) {
    out.push_back('\'');
    for (size_t i = 0; i < units; ++i) {
        const char c = static_cast<char>(CodeUnit(bytes, i));
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
    }
    out.push_back('\'');
}

// Called only for well-formed UTF-16 (ShapeOf said so).
void AppendEscaped(std::string &out, const uint8_t *bytes, size_t units) {
    out.append("U&'");
    for (size_t i = 0; i < units; ++i) {
        const uint32_t u = CodeUnit(bytes, i);
        if (IsPrintableAscii(u) && u != '\'' && u != '\\') {
            out.push_back(static_cast<char>(u));
        } else if (IsHighSurrogate(u)) {
            const uint32_t low = CodeUnit(bytes, ++i);
            out.append("\\+");
            AppendHex(out, 0x10000 + ((u - 0xd800) << 10) + (low - 0xdc00), 6);
        } else {
            out.push_back('\\');
            AppendHex(out, u, 4);
        }
    }
    out.push_back('\'');
}

} // namespace

void AppendUniChars(std::string &out, const uint8_t *bytes, size_t len) {
    switch (ShapeOf(bytes, len)) {
    case Shape::Plain:
        AppendPlain(out, bytes, len / 2);
        break;
    case Shape::Escaped:
        AppendEscaped(out, bytes, len / 2);
        break;
    case Shape::NotUtf16:
        AppendBinary(out, bytes, len);
        break;
    }
}

void UniTextLiteralWriter::End() {
    AppendUniChars(out_, bytes_.data(), bytes_.size());
    bytes_.clear();
    bytes_.shrink_to_fit();
}

} // namespace values
