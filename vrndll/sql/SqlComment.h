// Text kept in a load script as comment lines: every line starts with "--",
// so neither the SQL nor a client's own commands (a line starting with '\'
// for psql, with '.' for the sqlite3 shell) can come out of it.
#pragma once

#include <string>

namespace values {

// Appends `text` (UTF-8) as "-- " lines; carriage returns are dropped.
inline void AppendCommentLines(std::string &out, const std::string &text) {
    out += "-- ";
    for (char c : text) {
        if (c == '\r' || c == '\0') continue;
        out += c;
        if (c == '\n') out += "-- ";
    }
    out += '\n';
}

} // namespace values
