#include "vrndll/sql/SqlIdentifier.h"

#include <algorithm>
#include <cstring>

#include "vrndll/output/PrintableName.h"

namespace {

// Reserved words of the server's dialect, lower case, sorted.
const char *const kReserved[] = {
    "add", "all", "alter", "and", "any", "arith_overflow", "as", "asc", "at", "authorization",
    "avg", "begin", "between", "break", "browse", "bulk", "by", "cascade", "case",
    "char_convert", "check", "checkpoint", "close", "clustered", "coalesce", "commit",
    "compute", "confirm", "connect", "constraint", "continue", "controlrow", "convert", "count",
    "count_big", "create", "current", "cursor", "database", "dbcc", "deallocate", "declare",
    "decrypt", "default", "delete", "desc", "deterministic", "disk", "distinct", "drop",
    "dual_control", "dummy", "dump", "else", "encrypt", "end", "endtran", "errlvl", "errordata",
    "errorexit", "escape", "except", "exclusive", "exec", "execute", "exists", "exit",
    "exp_row_size", "external", "fetch", "fillfactor", "for", "foreign", "from", "func",
    "function", "goto", "grant", "group", "having", "holdlock", "identity", "identity_gap",
    "identity_start", "if", "in", "index", "inout", "insensitive", "insert", "install",
    "intersect", "into", "is", "isolation", "jar", "join", "key", "kill", "level", "like",
    "lineno", "load", "lock", "materialized", "max", "max_rows_per_page", "min", "mirror",
    "mirrorexit", "modify", "national", "new", "noholdlock", "non_sensitive", "nonclustered",
    "nonscrollable", "not", "null", "nullif", "numeric_truncation", "of", "off", "offsets", "on",
    "once", "online", "only", "open", "option", "or", "order", "out", "output", "over",
    "partition", "perm", "permanent", "plan", "prepare", "primary", "print", "privileges",
    "proc", "procedure", "processexit", "proxy_table", "public", "quiesce", "raiserror", "read",
    "readpast", "readtext", "reconfigure", "references", "remove", "reorg", "replace",
    "replication", "reservepagegap", "return", "returns", "revoke", "role", "rollback",
    "rowcount", "rows", "rule", "save", "schema", "scroll", "scrollable", "select",
    "semi_sensitive", "set", "setuser", "shared", "shutdown", "some", "statistics", "stringsize",
    "stripe", "sum", "syb_identity", "syb_restree", "syb_terminate", "table", "temp",
    "temporary", "textsize", "to", "tracefile", "tran", "transaction", "trigger", "truncate",
    "tsequal", "union", "unique", "unpartition", "update", "use", "user", "user_option",
    "using", "values", "varying", "view", "waitfor", "when", "where", "while", "with", "work",
    "writetext",
};

// Words the loading client acts on at the start of a line.
bool IsClientCommand(const std::string &word) {
    std::string lower(word);
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower == "go" || lower == "reset" || lower == "quit" || lower == "exit" || lower == "vi";
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

} // namespace

bool IsReservedWord(const std::string &word) {
    std::string lower(word);
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return std::binary_search(std::begin(kReserved), std::end(kReserved), lower,
                              [](const std::string &a, const std::string &b) { return a < b; });
}

bool IsPlainIdentifier(const std::string &name) {
    if (name.empty()) return false;
    const auto first = static_cast<unsigned char>(name[0]);
    if (!IsAsciiLetter(first) && first != '_') return false;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '_' && c != '@' && c != '#' && c != '$')
            return false;
    }
    return !IsReservedWord(name) && !IsClientCommand(name);
}

std::string SqlIdentifier(const std::string &stored) {
    if (stored.empty()) return "_";
    const std::string name = PrintableName(stored);
    if (IsPlainIdentifier(name)) return name;
    std::string quoted = "[";
    for (char c : name) {
        quoted += c;
        if (c == ']') quoted += ']';
    }
    quoted += ']';
    return quoted;
}

void AppendSqlIdentifier(std::string &out, const char *name, size_t length) {
    out += SqlIdentifier(name ? std::string(name, length) : std::string());
}
