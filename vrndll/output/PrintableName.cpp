#include "vrndll/output/PrintableName.h"

bool IsControlCharacter(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string PrintableName(const std::string &name) {
    std::string printable(name);
    for (char &c : printable)
        if (IsControlCharacter(static_cast<unsigned char>(c))) c = '_';
    return printable;
}
