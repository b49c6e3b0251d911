// The database name as commit.bat and commit.sh hand it to isql's -D.
//
// The folder of a database is named by a safe mapping of its name
// (SafeName.h), but the load must go into the database of the name itself,
// so the scripts pass the name whole: in commit.bat inside double quotes
// (percent signs doubled, so that the batch file does not expand them, and
// backslashes before the closing quote doubled, so that isql does not take
// the quote as part of the name), in commit.sh single-quoted. A name that
// is empty, holds a control character or a double quote cannot be passed
// that way: the scripts then stop before loading anything and say so,
// rather than load into another database.
#pragma once

#include <string>

// True when `name` can be passed to isql by both load scripts.
bool DatabaseNamePassable(const std::string &name);

// `name` as one argument of a commit.bat line: a plain word as it is
// (sales_2), any other name quoted: "sales prod", "100%%".
// For a name that is not passable, its printable form with double quotes
// as '_' (a line the header never lets run).
std::string BatchQuotedDatabase(const std::string &name);
