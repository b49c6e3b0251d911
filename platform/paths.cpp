// Path helpers shared by both backends.
#include "platform/platform.h"

namespace platform {

bool isPathSeparator(char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

size_t lastSeparator(const std::string &path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1]))
            return i - 1;
    }
    return std::string::npos;
}

std::string sharedLibraryFileName(const std::string &baseName) {
#if defined(_WIN32)
    return baseName + ".dll";
#else
    return "lib" + baseName + ".so";
#endif
}

} // namespace platform
