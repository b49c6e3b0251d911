// Unicode character data (unichar, univarchar, unitext) as an SQL literal.
//
// The server stores these values as UTF-16 code units, little-endian, two
// bytes each. The literal is chosen so that loading it gives back exactly
// the stored code units, whatever the server's character set and whatever
// its byte order:
//
//   - only printable ASCII (U+0020..U+007E): a plain literal, 'it''s', the
//     quotes doubled; the server converts ASCII to the same code units in
//     every character set;
//   - anything else: a Unicode escape literal, U&'caf\00e9', in which a
//     code unit outside printable ASCII, and the quote and the backslash
//     themselves, are written as a backslash and four hexadecimal digits,
//     and a surrogate pair as "\+" and the six digits of its code point.
//     The literal then holds no line break, so no line of the load script
//     can be taken for a client command;
//   - bytes that are not UTF-16 (an odd count, or a surrogate without its
//     partner): the bytes as a binary literal 0x..., which loses nothing.
//
// No bytes at all give the empty literal ''.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace values {

// The literal of `len` stored bytes of a unichar or univarchar value.
void AppendUniChars(std::string &out, const uint8_t *bytes, size_t len);

// Writes the literal of a unitext value whose bytes arrive page by page:
// Begin, any number of Append calls, End. Pages may split a code unit or a
// surrogate pair; the kind of literal depends on the whole value, so the
// bytes are held until End writes the literal exactly as AppendUniChars
// would for all of them.
class UniTextLiteralWriter {
public:
    explicit UniTextLiteralWriter(std::string &out) : out_(out) {}

    void Begin() { bytes_.clear(); }
    void Append(const uint8_t *bytes, size_t len) { bytes_.insert(bytes_.end(), bytes, bytes + len); }
    void End();

private:
    std::string &out_;
    std::vector<uint8_t> bytes_;
};

} // namespace values
