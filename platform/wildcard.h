// Name matching with the wildcards of folder listings. Internal to the
// platform layer.
#pragma once

#include <string>

namespace platform {
namespace detail {

// True when `name` matches `pattern`: '*' stands for any run of characters
// (also none), '?' for exactly one. The patterns "*" and "*.*" match every
// name, with or without a dot. With `ignoreCase` ASCII letters compare
// without regard to case, as file names do on Windows.
bool matchesWildcard(const std::string &name, const std::string &pattern, bool ignoreCase);

} // namespace detail
} // namespace platform
