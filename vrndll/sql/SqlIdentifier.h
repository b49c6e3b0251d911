// Names read from a dump as they stand in an SQL script.
//
// A table or column name is written as it is when it is a plain identifier:
// an ASCII letter or '_' first, then ASCII letters, digits, '_', '@', '#'
// or '$', and not a reserved word of the server's dialect. Any other name
// (blanks, punctuation, a leading digit, bytes beyond ASCII, a reserved
// word) is bracket-quoted, [name], with every ']' inside doubled, so that
// the script still parses and the server sees the stored name. An empty
// name, which no statement accepts, is written "_" (the same stand-in its
// file name gets).
//
// Control characters are mapped first (PrintableName.h): no line break of a
// name ever reaches a script, so no line of a script starts with what a name
// holds. The words the loading client takes as commands when they open a
// line ("go", "reset", "quit", "exit", "vi") are bracket-quoted too.
#pragma once

#include <cstddef>
#include <string>

// True when `name` can be written without brackets (a name without
// control characters).
bool IsPlainIdentifier(const std::string &name);

// True for the reserved words of the dialect, in any letter case.
bool IsReservedWord(const std::string &word);

// `name` as it is written in a statement, its control characters mapped.
std::string SqlIdentifier(const std::string &name);

// Appends SqlIdentifier of the `length` bytes at `name`.
void AppendSqlIdentifier(std::string &out, const char *name, size_t length);
