#include "vrndll/output/LoadScriptDatabase.h"

#include "vrndll/output/PrintableName.h"

bool DatabaseNamePassable(const std::string &name) {
    if (name.empty()) return false;
    for (const char c : name)
        if (c == '"' || IsControlCharacter(static_cast<unsigned char>(c))) return false;
    return true;
}

namespace {

// A byte the batch file and isql take as part of a plain word.
bool IsPlainByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
           c == '@' || c == '$' || c == '.' || c == '-' || c >= 0x80;
}

} // namespace

std::string BatchQuotedDatabase(const std::string &name) {
    std::string text = DatabaseNamePassable(name) ? name : PrintableName(name);
    bool plain = !text.empty();
    for (const char c : text) plain = plain && IsPlainByte(static_cast<unsigned char>(c));
    if (plain) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '_';
        else if (c == '%')
            quoted += "%%";
        else
            quoted += c;
    }
    // Backslashes before the closing quote: each doubled, so that the quote
    // still closes the argument.
    size_t trailing = 0;
    while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\') ++trailing;
    quoted.append(trailing, '\\');
    return quoted + "\"";
}
