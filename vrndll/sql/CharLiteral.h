// Character data as a quoted SQL literal.
//
// The literal is the value's bytes between single quotes, every quote inside
// doubled, so that the literal ends exactly where the value ends, and every
// NUL byte written as a concatenation, 'a'+char(0)+'b'. No character set
// conversion takes place.
//
// The load script is run by a command-line client that reads it line by
// line and acts on some lines itself before the server sees them: "go" ends
// a batch, "reset" drops it, "quit"/"exit" stop the client, "!!" runs an
// operating-system command, ":r" reads a file, "vi" starts an editor. A
// value holding a line break followed by such a word would cut the INSERT
// there and hand the rest of the value to the client. So when a line of the
// value starts (after blanks) with one of these words, compared without
// regard to case and as a prefix, the literal is closed and continued with
// a concatenation: 'first line' + 'go on...' puts a quote, not the word, at
// the start of the script line. The server joins the pieces to the same
// value.
//
// The server's parser takes a backslash followed by a line break inside a
// literal for a line continuation and drops both. So a line break that
// follows a backslash of the value starts a piece of its own: 'a\'+'
// b' loads as the three bytes a, backslash, line break and b.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace values {

// Writes one literal in pieces, as text chains arrive page by page:
// Begin, any number of Append calls, End. The pieces join as if written in
// one call.
class CharLiteralWriter {
public:
    explicit CharLiteralWriter(std::string &out) : out_(out) {}

    void Begin(); // the opening quote
    void Append(const uint8_t *bytes, size_t len);
    void End();   // anything held back, then the closing quote

private:
    void Put(char c);
    void AppendPlain(const char *bytes, size_t len);
    void AppendSpecial(char c); // a quote doubled, a NUL as + char(0) +
    void Flush(bool split);

    std::string &out_;
    bool lineStart_ = false; // only blanks since a line break of the value
    bool afterBackslash_ = false; // the last byte written of the value is a backslash
    char held_[8] = {};      // start of a line that may become a client command
    size_t heldLen_ = 0;
};

// "'", the bytes with quotes doubled (and command lines split as above), "'".
void AppendQuotedChars(std::string &out, const uint8_t *bytes, size_t len);

} // namespace values
