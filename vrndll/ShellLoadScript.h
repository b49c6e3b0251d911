// commit.sh: the POSIX twin of commit.bat. It loads the same scripts in the
// same order with isql, stops at the first script isql fails on, and names
// it. Every name in it is single-quoted.
#pragma once

#include <string>

// The script's start: usage check, the database name, the load function.
std::string ShellScriptHeader(const std::string &database);
// Loads `script_file` (a file name in the database folder).
std::string ShellScriptLine(const std::string &script_file);
// The script's end: says that every script was loaded.
std::string ShellScriptTrailer();
// `text` as one single-quoted shell word.
std::string ShellQuote(const std::string &text);
