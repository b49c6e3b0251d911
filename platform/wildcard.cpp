// Wildcard matching by the greedy star with one backtrack point: linear in
// practice and never recursive, so hostile patterns cannot exhaust the stack.
#include "platform/wildcard.h"

namespace platform {
namespace detail {

namespace {

char fold(char c, bool ignoreCase) {
    if (ignoreCase && c >= 'A' && c <= 'Z')
        return static_cast<char>(c - 'A' + 'a');
    return c;
}

} // namespace

bool matchesWildcard(const std::string &name, const std::string &pattern, bool ignoreCase) {
    if (pattern == "*.*")
        return true;
    size_t n = 0, p = 0;
    size_t starPattern = std::string::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || fold(pattern[p], ignoreCase) == fold(name[n], ignoreCase))) {
            ++p;
            ++n;
        } else if (starPattern != std::string::npos) {
            // Let the last star swallow one more character and retry.
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace detail
} // namespace platform
