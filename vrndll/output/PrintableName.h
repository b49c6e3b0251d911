// A name read from a dump with its control characters mapped.
//
// A table, column or database name is untrusted: a line break inside it
// would start a new line of a script, where the client that loads the
// scripts takes "go", "!! <command>" or ":r <file>" as commands of its own,
// and a new line of int0.ini. Every place a name is written (statements,
// file names, commit.bat and commit.sh, int0.ini) maps it through
// PrintableName first, so a name comes out the same in every file.
#pragma once

#include <string>

// True for the bytes PrintableName maps: 0x00 to 0x1F and 0x7F.
bool IsControlCharacter(unsigned char c);

// `name` with each control character replaced by '_'; every other byte
// stays as it is.
std::string PrintableName(const std::string &name);
