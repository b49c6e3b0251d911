// Settings of the product line, read from tlvcmn.ini beside this library.
//
//   [vrndll]
//   LogLevel=debug
//
// The environment variable VRN_LOGLEVEL overrides LogLevel, so a single run
// can be logged in detail without touching the installation.
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tlvcmn/tlvcmn.h"

namespace {

const char kDefaultSection[] = "vrndll";
const char kSettingsFileName[] = "tlvcmn.ini";
const char kLogLevelKey[] = "LogLevel";
const char kLogLevelVariable[] = "VRN_LOGLEVEL";

bool SameKey(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return *a == *b;
}

std::string SettingsFilePath() {
    const std::string self = platform::modulePath(platform::sharedLibraryFileName("tlvcmn"));
    const size_t sep = platform::lastSeparator(self);
    if (sep == std::string::npos) return kSettingsFileName;
    return self.substr(0, sep + 1) + kSettingsFileName;
}

} // namespace

extern "C" TLVCMN_API int TLVCMN_CDECL ReadProfileString(const char *section, const char *key,
                                                          const char *def, char *out, int size,
                                                          int /*flags*/) {
    if (!out || size <= 0) return 0;
    try {
        const std::string fallback = def ? def : "";
        std::string value = fallback;
        if (key && *key) {
            if (SameKey(key, kLogLevelKey) && platform::getEnvironment(kLogLevelVariable, value)) {
                // taken from the environment
            } else {
                value = platform::readProfileString(
                    SettingsFilePath(), section && *section ? section : kDefaultSection, key,
                    fallback);
            }
        }
        if (value.size() > static_cast<size_t>(size - 1)) value.resize(static_cast<size_t>(size - 1));
        std::memcpy(out, value.data(), value.size());
        out[value.size()] = '\0';
        return static_cast<int>(value.size());
    } catch (...) {
        out[0] = '\0';
        return 0;
    }
}
