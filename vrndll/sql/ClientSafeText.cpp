#include "vrndll/sql/ClientSafeText.h"

#include <cstring>

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool IsWordChar(char c) {
    c = Lower(c);
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '@' || c == '#' || c == '$';
}

// Words the client takes as commands when they stand as a word at the start
// of a line, and the prefixes it acts on whatever follows them.
constexpr const char *kCommandWords[] = {"go", "reset", "quit", "exit", "vi"};
constexpr const char *kCommandPrefixes[] = {"!!", ":r"};

// True when the line starting at `line` (up to `end`) begins, after blanks,
// with a client command.
bool StartsWithCommand(const char *line, const char *end) {
    while (line < end && IsBlank(*line)) ++line;
    const size_t left = static_cast<size_t>(end - line);
    for (const char *prefix : kCommandPrefixes) {
        const size_t n = std::strlen(prefix);
        if (left >= n && Lower(line[0]) == prefix[0] && Lower(line[1]) == prefix[1]) return true;
    }
    for (const char *word : kCommandWords) {
        const size_t n = std::strlen(word);
        if (left < n) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i) same = Lower(line[i]) == word[i];
        if (same && (left == n || !IsWordChar(line[n]))) return true;
    }
    return false;
}

} // namespace

std::string ClientSafeText(const std::string &text, int *changed) {
    std::string out;
    out.reserve(text.size() + 16);
    int lines = 0;
    const char *p = text.data();
    const char *const end = p + text.size();
    while (p < end) {
        const char *eol = p;
        while (eol < end && *eol != '\n' && *eol != '\r') ++eol;
        if (StartsWithCommand(p, eol)) {
            out += "/**/";
            ++lines;
        }
        for (const char *c = p; c < eol; ++c) out += *c == '\0' ? ' ' : *c;
        // The line break (CR, LF or both) as it stands.
        while (eol < end && (*eol == '\n' || *eol == '\r')) out += *eol++;
        p = eol;
    }
    if (changed) *changed = lines;
    return out;
}
