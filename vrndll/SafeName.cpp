#include "vrndll/SafeName.h"

#include "vrndll/PrintableName.h"

namespace {

bool IsMappedCharacter(unsigned char c) {
    if (IsControlCharacter(c)) return true;
    switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
    case ' ': case '&': case '^': case '%': case '!':
        return true;
    default:
        return false;
    }
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows opens a device, not a file, for these stems whatever follows the
// first dot.
bool IsReservedDeviceName(const std::string &name) {
    std::string stem = FoldFileNameCase(name.substr(0, name.find('.')));
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
    if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
        stem[3] >= '1' && stem[3] <= '9')
        return true;
    return false;
}

} // namespace

std::string FoldFileNameCase(const std::string &name) {
    std::string folded(name);
    for (char &c : folded) c = Lower(c);
    return folded;
}

std::string SafeFileName(const std::string &name) {
    std::string safe(name.substr(0, kMaxSafeNameLength));
    for (char &c : safe) {
        if (IsMappedCharacter(static_cast<unsigned char>(c))) c = '_';
    }
    // "." and ".." end here as "_" and "__": Windows drops trailing dots.
    for (size_t i = safe.size(); i > 0 && (safe[i - 1] == '.' || safe[i - 1] == ' '); --i)
        safe[i - 1] = '_';
    // A leading dot hides the file on POSIX.
    if (!safe.empty() && safe[0] == '.') safe[0] = '_';
    if (safe.empty()) return "_";
    if (IsReservedDeviceName(safe)) {
        safe.insert(safe.begin(), '_');
        if (safe.size() > kMaxSafeNameLength) safe.resize(kMaxSafeNameLength);
    }
    return safe;
}
