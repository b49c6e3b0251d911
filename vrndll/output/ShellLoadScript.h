// commit.sh: the POSIX twin of commit.bat. It loads the same scripts in the
// same order with isql, stops at the first script isql fails on, and names
// it. Every name in it is single-quoted. The password goes to isql on its
// standard input (isql asks for it when -P is not given), so that it never
// shows in the process list; it comes from the fourth argument, the
// variable ISQL_PASSWORD, or the terminal.
#pragma once

#include <string>

// The script's start: usage check, the database name (its own, not the
// folder's; a name that cannot be passed stops the script), the load
// function.
std::string ShellScriptHeader(const std::string &database);
// Loads `script_file` (a file name in the database folder).
std::string ShellScriptLine(const std::string &script_file);
// The script's end: says that every script was loaded, or (`any` false)
// that the database had nothing to load.
std::string ShellScriptTrailer(bool any);
// `text` as one single-quoted shell word.
std::string ShellQuote(const std::string &text);
