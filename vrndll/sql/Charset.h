// Character data of a dump as UTF-8 text.
//
// The server stores char, varchar and text values as bytes of its own
// character set, and unichar, univarchar and unitext values as UTF-16 code
// units, little-endian. Outputs that must be UTF-8 convert them here; the
// T-SQL output keeps the stored bytes and does not use this.
//
// Single-byte sets go through a table of the Unicode code point of each of
// the upper 128 bytes; the lower 128 are ASCII in every set named here and
// are copied in runs. UTF-8 input is validated: an overlong form, a
// surrogate (U+D800..U+DFFF), a code point above U+10FFFF, a stray
// continuation byte, a lead byte that cannot start a sequence (C0, C1,
// F5..FF) and a sequence cut short are invalid.
//
// Invalid bytes. A byte the set does not define (cp1252's 0x81, 0x8D, 0x8F,
// 0x90 and 0x9D, roman8's 0xFF) or a byte of an invalid UTF-8 sequence is
// counted, one per byte, and written as the code point with the same
// number, as ISO 8859-1 would read it: byte 0x81 becomes U+0081. A
// replacement character would lose the byte; this keeps it, so the count
// tells a reader that a value holds such bytes and each one can be turned
// back into the byte it was. For cp1252 the mapping stays one to one, since
// it maps its defined bytes 0x80..0x9F elsewhere; roman8's 0xFF comes out
// as U+00FF like its defined 0xEF, and in UTF-8 input a validly encoded
// U+0080..U+00FF looks the same as an invalid byte: there only the count
// sets them apart.
//
// UTF-16: an unpaired surrogate code unit is counted and written as U+FFFD
// (a lone surrogate has no UTF-8 form any target accepts); an odd last byte
// is counted and written, like an invalid byte above, as the code point with
// its number.
//
// The default set is cp1252. It reads every byte as iso_1 does except
// 0x80..0x9F, where iso_1 has C1 control characters that text practically
// never holds and cp1252 has the euro sign, typographic quotes and dashes
// that Windows clients wrote into servers declared iso_1 without any
// conversion. Its five undefined bytes come out exactly as iso_1 gives
// them, counted, so nothing an iso_1 reading would keep is lost, and
// "--charset iso_1" gives the strict reading when it is wanted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace values {

enum class Charset : uint8_t {
    Iso1,   // ISO 8859-1
    Cp1252, // Windows Western European
    Cp850,  // DOS Latin-1
    Cp437,  // DOS United States
    Roman8, // HP Roman-8
    Utf8,
};

constexpr Charset kDefaultCharset = Charset::Cp1252;

// The set a user names: iso_1, iso88591, iso-8859-1, latin1, cp1252,
// windows-1252, cp850, ibm850, cp437, ibm437, roman8, hp-roman8, utf8,
// utf-8. Case, '-' and '_' do not matter. Nothing for any other name.
std::optional<Charset> CharsetByName(std::string_view name);

// The set's canonical name, as the summary shows it: "iso_1", "cp1252",
// "cp850", "cp437", "roman8" or "utf8".
const char *CharsetName(Charset cs);

// The length of the run of ASCII bytes at the start of bytes[0..n). ASCII
// bytes are their own UTF-8 in every set above, so a run of them needs no
// conversion.
size_t AsciiRun(const uint8_t *bytes, size_t n);

// Appends the UTF-8 text of `n` bytes stored in `cs` to `out`, and adds the
// number of invalid bytes to *invalid (when not null).
void AppendUtf8(std::string &out, const uint8_t *bytes, size_t n, Charset cs, size_t *invalid);

// Appends the UTF-8 text of `n` bytes of UTF-16 code units, little-endian,
// and adds the number of unpaired surrogates and odd bytes to *invalid
// (when not null).
void AppendUtf8FromUtf16Le(std::string &out, const uint8_t *bytes, size_t n, size_t *invalid);

// Converts a value whose bytes arrive page by page (a text or unitext
// chain): Append any number of times, then End. A UTF-8 sequence or a
// UTF-16 code unit or surrogate pair split between pages is held back and
// joined, so the text and the count are those of one call for all bytes.
class Utf8Converter {
public:
    explicit Utf8Converter(Charset cs) : utf16_(false), cs_(cs) {}
    static Utf8Converter ForUtf16Le() { return Utf8Converter(); }

    void Append(std::string &out, const uint8_t *bytes, size_t n);
    void End(std::string &out); // what is held back, then ready for the next value
    size_t Invalid() const { return invalid_; } // over every value so far

private:
    Utf8Converter() : utf16_(true), cs_(Charset::Utf8) {}
    size_t Convert(std::string &out, const uint8_t *bytes, size_t n, bool last);

    bool utf16_;
    Charset cs_;
    uint8_t held_[3] = {};
    size_t heldLen_ = 0;
    size_t invalid_ = 0;
};

} // namespace values
