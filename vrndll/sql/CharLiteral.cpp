#include "vrndll/sql/CharLiteral.h"

#include <cstring>

#include "vrndll/sql/PlainRun.h"

namespace values {

namespace {

// Line starts the client acts on, lower case. A line is split when it
// starts with one of them; "going" is split too, which costs nothing.
constexpr const char *kClientCommands[] = {"go", "reset", "quit", "exit", "vi", "!!", ":r"};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

// 1: `word` (lower case) is a whole command; 0: a proper prefix of one;
// -1: not the start of any command.
int MatchCommand(const char *word, size_t len) {
    bool prefix = false;
    for (const char *command : kClientCommands) {
        size_t n = std::strlen(command);
        if (len > n) continue;
        bool same = true;
        for (size_t i = 0; i < len; ++i) {
            if (Lower(word[i]) != command[i]) {
                same = false;
                break;
            }
        }
        if (!same) continue;
        if (len == n) return 1;
        prefix = true;
    }
    return prefix ? 0 : -1;
}

bool MayStartCommand(char c) {
    c = Lower(c);
    for (const char *command : kClientCommands)
        if (command[0] == c) return true;
    return false;
}

} // namespace

void CharLiteralWriter::Begin() {
    out_.push_back('\'');
    lineStart_ = false;
    afterBackslash_ = false;
    heldLen_ = 0;
}

void CharLiteralWriter::End() {
    Flush(false);
    out_.push_back('\'');
}

// Writes what was held back; `split` first closes the literal and opens the
// next piece of the concatenation.
void CharLiteralWriter::Flush(bool split) {
    if (split) out_.append("'+'");
    AppendPlain(held_, heldLen_);
    heldLen_ = 0;
}

void CharLiteralWriter::AppendPlain(const char *bytes, size_t len) {
    if (len > 0) afterBackslash_ = bytes[len - 1] == '\\';
    // Whole runs without a quote or a NUL go in one append.
    while (len > 0) {
        const size_t run = PlainRun<'\'', '\0'>(bytes, len);
        out_.append(bytes, run);
        if (run == len) return;
        AppendSpecial(bytes[run]);
        bytes += run + 1;
        len -= run + 1;
    }
}

void CharLiteralWriter::AppendSpecial(char c) {
    // A NUL would end the text where the script writer stops: it is written
    // as a concatenation, 'a' + char(0) + 'b', as it arrives, so that a
    // value of many NUL bytes is never held twice.
    if (c == '\0')
        out_.append("'+char(0)+'");
    else
        out_.append("''");
}

void CharLiteralWriter::Put(char c) {
    if (heldLen_ > 0) {
        if (!IsLineBreak(c)) {
            held_[heldLen_++] = c;
            int match = MatchCommand(held_, heldLen_);
            if (match == 0) return; // still undecided
            if (match == 1) {
                Flush(true);
                return;
            }
            --heldLen_; // `c` starts no command: written below on its own
        }
        Flush(false);
    }
    if (IsLineBreak(c)) {
        // The server's parser joins a line ending in a backslash inside a
        // literal to the next, dropping both: the literal is closed after
        // the backslash and goes on with the line break, 'a\'+'<break>b'.
        if (afterBackslash_) out_.append("'+'");
        afterBackslash_ = false;
        out_.push_back(c);
        lineStart_ = true;
        return;
    }
    afterBackslash_ = c == '\\';
    if (lineStart_) {
        if (IsBlank(c)) {
            out_.push_back(c);
            return;
        }
        lineStart_ = false;
        if (MayStartCommand(c)) {
            held_[heldLen_++] = c;
            return;
        }
    }
    if (c == '\'' || c == '\0')
        AppendSpecial(c);
    else
        out_.push_back(c);
}

void CharLiteralWriter::Append(const uint8_t *bytes, size_t len) {
    const char *p = reinterpret_cast<const char *>(bytes);
    const char *end = p + len;
    while (p < end) {
        if (heldLen_ == 0 && !lineStart_) {
            // Fast path: everything up to the next line break needs at most
            // quote doubling.
            const char *lineBreak = p + PlainRun<'\n', '\r'>(p, static_cast<size_t>(end - p));
            AppendPlain(p, static_cast<size_t>(lineBreak - p));
            p = lineBreak;
            if (p == end) break;
        }
        Put(*p++);
    }
}

void AppendQuotedChars(std::string &out, const uint8_t *bytes, size_t len) {
    if (PlainRun<'\'', '\0', '\n', '\r'>(reinterpret_cast<const char *>(bytes), len) == len) {
        // Nearly every value: one line without a quote or a NUL, written as
        // it is.
        out.push_back('\'');
        out.append(reinterpret_cast<const char *>(bytes), len);
        out.push_back('\'');
        return;
    }
    CharLiteralWriter literal(out);
    literal.Begin();
    literal.Append(bytes, len);
    literal.End();
}

} // namespace values
