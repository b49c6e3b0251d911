#include "vrndll/output/SafeName.h"

#include <array>

#include "vrndll/output/PrintableName.h"

namespace {

bool IsMappedCharacter(unsigned char c) {
    if (IsControlCharacter(c)) return true;
    switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
    case ' ': case '&': case '^': case '%': case '!': case '~':
        return true;
    default:
        return false;
    }
}

// Byte -> its small letter (itself when it is none), in code page 1252.
std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> fold{};
    for (int c = 0; c < 256; ++c) fold[c] = static_cast<unsigned char>(c);
    for (int c = 'A'; c <= 'Z'; ++c) fold[c] = static_cast<unsigned char>(c + 0x20);
    for (int c = 0xC0; c <= 0xDE; ++c) fold[c] = static_cast<unsigned char>(c + 0x20);
    fold[0x8A] = 0x9A; // S caron
    fold[0x8C] = 0x9C; // OE
    fold[0x8E] = 0x9E; // Z caron
    fold[0x9F] = 0xFF; // Y diaeresis
    return fold;
}

const std::array<unsigned char, 256> &FoldTable() {
    static const std::array<unsigned char, 256> table = MakeFoldTable();
    return table;
}

// The digits that make COM and LPT a device: 0-9 and the code page's
// superscripts one, two and three.
bool IsDeviceDigit(unsigned char c) { return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3; }

// Windows opens a device, not a file, for these stems whatever follows the
// first dot.
bool IsReservedDeviceName(const std::string &name) {
    const std::string stem = FoldFileNameCase(name.substr(0, name.find('.')));
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul" || stem == "conin$" || stem == "conout$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
           IsDeviceDigit(static_cast<unsigned char>(stem[3]));
}

} // namespace

std::string FoldFileNameCase(const std::string &name) {
    const std::array<unsigned char, 256> &fold = FoldTable();
    std::string folded(name);
    for (char &c : folded) c = static_cast<char>(fold[static_cast<unsigned char>(c)]);
    return folded;
}

namespace {

// Windows drops trailing dots and spaces: "a." would be the file "a".
void MapTrailingDots(std::string &name) {
    for (size_t i = name.size(); i > 0 && (name[i - 1] == '.' || name[i - 1] == ' '); --i) name[i - 1] = '_';
}

} // namespace

std::string SafeFileName(const std::string &name) {
    std::string safe(name.substr(0, kMaxSafeNameLength));
    for (char &c : safe) {
        if (IsMappedCharacter(static_cast<unsigned char>(c))) c = '_';
    }
    // "." and ".." end here as "_" and "__".
    MapTrailingDots(safe);
    // A leading dot hides the file on POSIX.
    if (!safe.empty() && safe[0] == '.') safe[0] = '_';
    if (safe.empty()) return "_";
    if (IsReservedDeviceName(safe)) {
        safe.insert(safe.begin(), '_');
        if (safe.size() > kMaxSafeNameLength) safe.resize(kMaxSafeNameLength);
        MapTrailingDots(safe); // the cut may end on a dot
    }
    return safe;
}
