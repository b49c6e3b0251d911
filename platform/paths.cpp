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

bool createDirectoryWithParents(const std::string &folder) {
    for (size_t at = 1; at < folder.size(); ++at) {
        // Not the separator after a drive letter ("C:\").
        if (!isPathSeparator(folder[at]) || folder[at - 1] == ':') continue;
        const std::string parent = folder.substr(0, at);
        if (!isDirectory(parent)) createDirectory(parent);
    }
    if (!isDirectory(folder)) createDirectory(folder);
    return isDirectory(folder);
}

std::string sharedLibraryFileName(const std::string &baseName) {
#if defined(_WIN32)
    return baseName + ".dll";
#else
    return "lib" + baseName + ".so";
#endif
}

} // namespace platform
