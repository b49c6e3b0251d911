#include "vrndll/call/RecoveryOptions.h"

#include <cctype>

namespace {

char Fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Glob match without recursion: the last '*' is remembered and retried one
// character further on a mismatch, so the time stays bounded by
// |pattern| x |name|.
bool Matches(const std::string &pattern, const std::string &name) {
    size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

} // namespace

bool MatchesAnyPattern(const std::vector<std::string> &patterns, const std::string &name) {
    if (patterns.empty()) return true;
    for (const std::string &pattern : patterns)
        if (Matches(pattern, name)) return true;
    return false;
}

bool MatchesAnyPattern(const std::vector<std::string> &patterns, const std::string &name, std::vector<bool> &hit) {
    if (patterns.empty()) return true;
    hit.resize(patterns.size(), false);
    bool any = false;
    for (size_t k = 0; k < patterns.size(); ++k) {
        if (!Matches(patterns[k], name)) continue;
        hit[k] = true;
        any = true;
    }
    return any;
}

std::vector<std::string> SplitPatternLines(const char *text) {
    std::vector<std::string> lines;
    if (!text) return lines;
    std::string line;
    for (const char *c = text;; ++c) {
        if (*c == '\n' || *c == '\r' || *c == '\0') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
            if (*c == '\0') break;
        } else {
            line += *c;
        }
    }
    return lines;
}
