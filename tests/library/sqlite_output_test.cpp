// The SQLite output loaded by the real sqlite3 shell: every value read back
// with its storage class and its exact bytes (a REAL's bits), compared with
// the value the dump description put in.
#include <gtest/gtest.h>

// The sqlite3 shell is a program of this machine, which a Windows build of
// the tests (run under Wine) cannot start: there the output is tested by the
// native build only.
#ifndef _WIN32

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/dump_description.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"
#include "tests/support/value_words.h"

using testsupport::JoinPath;
using testsupport::ReadFileText;

namespace {

std::string Hex(const std::string &bytes) {
    static const char d[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

std::string Bits(double v) {
    unsigned char b[8];
    std::memcpy(b, &v, 8);
    std::string big;
    for (int i = 7; i >= 0; --i) big += static_cast<char>(b[i]);
    return Hex(big);
}

void Utf8(std::string &out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

// Bytes of the server's set (cp1252; the tests use ASCII, 0x80 and
// 0xA0..0xFF) as UTF-8.
std::string FromCp1252(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) Utf8(out, c == 0x80 ? 0x20ac : c);
    return out;
}

std::string FromHex(const std::string &word) {
    std::string out;
    for (size_t i = 2; i + 1 < word.size(); i += 2) out += static_cast<char>(std::stoi(word.substr(i, 2), nullptr, 16));
    return out;
}

// The number word with `scale` decimals.
std::string Scaled(std::string w, int scale) {
    if (scale == 0) return w;
    size_t point = w.find('.');
    if (point == std::string::npos) {
        w += '.';
        point = w.size() - 1;
    }
    while (static_cast<int>(w.size() - point - 1) < scale) w += '0';
    return w;
}

struct ColumnWord {
    std::string name, type;
    bool nullable = false;
};

// What the shell gives back for the value `word` of a column of type
// `type` ("I:", "R:", "T:", "B:" and the digits, bits or hex bytes; "N"
// for NULL).
std::string Expected(const ColumnWord &c, const std::string &word) {
    if (word == "NULL") return "N";
    const std::string &t = c.type;
    auto base = t.substr(0, t.find('('));
    int n = 0, scale = 0, precision = 0;
    if (t.find('(') != std::string::npos) {
        std::sscanf(t.c_str() + t.find('(') + 1, "%d,%d", &n, &scale);
        precision = n;
    }
    auto text = [](const std::string &utf8) { return "T:" + Hex(utf8); };
    if (base == "int" || base == "smallint" || base == "tinyint" || base == "bigint" || base == "bit" ||
        base == "usmallint" || base == "uint")
        return "I:" + word;
    if (base == "ubigint") return text(word);
    if (base == "numeric" || base == "decimal")
        return scale == 0 && precision <= 18 ? "I:" + word : text(Scaled(word, scale));
    if (base == "money" || base == "smallmoney") return text(Scaled(word, 4));
    if (base == "float") return "R:" + Bits(std::strtod(word.c_str(), nullptr));
    if (base == "real") return "R:" + Bits(static_cast<float>(std::strtod(word.c_str(), nullptr)));
    const std::string quoted = dumpwriter::NameWord(word);
    // A row stores an empty value of a nullable column other than text,
    // image and unitext (which have chains) as no bytes: NULL.
    if (c.nullable && (word == "''" || word == "0x") && base != "text" && base != "image" && base != "unitext")
        return "N";
    if (base == "datetime") {
        std::string v = quoted;
        if (v.size() == 10) v += " 00:00";
        if (v.size() == 16) v += ":00";
        if (v.size() == 19) v += ".000";
        return text(v);
    }
    if (base == "smalldatetime") return text(quoted + ":00");
    if (base == "date") return text(quoted);
    if (base == "time") return text(quoted.size() == 8 ? quoted + ".000" : quoted);
    if (base == "binary" || base == "varbinary" || base == "image" || base == "timestamp") {
        std::string bytes = FromHex(word);
        if (base == "binary" && !c.nullable) bytes.resize(static_cast<size_t>(n), '\0');
        return "B:" + Hex(bytes);
    }
    if (base == "unichar" || base == "univarchar" || base == "unitext") {
        std::string utf8;
        if (word[0] == '\'') {
            utf8 = quoted;
        } else {
            const std::string units = FromHex(word);
            for (size_t i = 0; i + 1 < units.size(); i += 2)
                Utf8(utf8, static_cast<unsigned char>(units[i]) | static_cast<unsigned char>(units[i + 1]) << 8);
        }
        size_t chars = 0;
        for (char ch : utf8) chars += (static_cast<unsigned char>(ch) & 0xc0) != 0x80;
        if (base == "unichar" && !c.nullable) utf8.append(static_cast<size_t>(n) - std::min<size_t>(chars, n), ' ');
        return text(utf8);
    }
    std::string bytes = quoted; // char, varchar, text, sysname
    if (base == "char" && !c.nullable) bytes.resize(static_cast<size_t>(n), ' ');
    return text(FromCp1252(bytes));
}

struct TableWords {
    std::string name;
    std::vector<ColumnWord> columns;
    std::vector<std::string> rows; // expected, "|" between the values
};

// The user databases of a description, their tables and expected rows
// ("master" and the server's "mon" tables are not recovered).
std::map<std::string, std::vector<TableWords>> ReadWords(const std::string &description) {
    std::map<std::string, std::vector<TableWords>> out;
    std::istringstream in(description);
    std::string line, database, error;
    TableWords *table = nullptr;
    while (std::getline(in, line)) {
        std::vector<std::string> w;
        if (!dumpwriter::SplitWords(line, w, error) || w.empty()) continue;
        if (w[0] == "database") {
            database = w[1]; // a database name is the word as it stands
            table = nullptr;
        } else if (w[0] == "skip") {
            out.erase(database);
            database = "master"; // skipped: not recovered
        } else if (w[0] == "table" && database != "master" && w[2].rfind("mon", 0) != 0) {
            out[database].push_back({dumpwriter::NameWord(w[2]), {}, {}});
            table = &out[database].back();
        } else if (w[0] == "table") {
            table = nullptr;
        } else if (w[0] == "column" && table) {
            table->columns.push_back({dumpwriter::NameWord(w[1]), w[2], w.size() > 3 && w[3] == "null"});
        } else if (w[0] == "row" && table) {
            std::string row;
            for (size_t i = 1; i < w.size(); ++i) row += (i > 1 ? "|" : "") + Expected(table->columns[i - 1], w[i]);
            table->rows.push_back(row);
        }
    }
    return out;
}

std::string Quoted(const std::string &name) {
    std::string q = "\"";
    for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// Runs the shell on `script` in `folder` with its output in files there;
// returns what it wrote to standard output, and its errors in *errors.
std::string Shell(const std::string &folder, const std::string &script, std::string *errors) {
    const std::string in = JoinPath(folder, "query.sql"), out = JoinPath(folder, "query.out"),
                      err = JoinPath(folder, "query.err");
    std::FILE *f = std::fopen(in.c_str(), "wb");
    if (!f) {
        ADD_FAILURE() << "no folder " << folder;
        return "";
    }
    std::fwrite(script.data(), 1, script.size(), f);
    std::fclose(f);
    // The folder's name holds no '"', '$', '`' or '\\' (they are mapped).
    const std::string command = "cd \"" + folder + "\" && sqlite3 -batch test.db < query.sql > query.out 2> query.err";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    *errors = ReadFileText(err);
    return ReadFileText(out);
}

std::string UniHex(const std::string &ascii) {
    std::string out = "0x";
    char b[8];
    for (unsigned char c : ascii) {
        std::snprintf(b, sizeof b, "%02x00", c);
        out += b;
    }
    return out;
}

// Every type with its extremes, NULLs, hostile values and names; format 15
// adds its own types and values with line breaks.
std::string Hostile(bool format15) {
    std::string d = std::string("format ") + (format15 ? "15" : "12") + "\nblock_size 4\n";
    d += "database master 1 0\n";
    d += "database 'odd \"db\"' 5 4\n";
    d += "table 110 'it''s \"a\" .shell'\n";
    d += "column id int\n"
         "column '.shell rm -rf x' varchar(60) null\n"
         "column \"c\"\"q\" char(6)\n"
         "column t tinyint\ncolumn s smallint\ncolumn b bit\n"
         "column f float null\ncolumn r real null\n"
         "column m money null\ncolumn sm smallmoney null\n"
         "column n18 numeric(18,0) null\ncolumn d decimal(18,6) null\n"
         "column dt datetime null\ncolumn sdt smalldatetime null\n"
         "column bin binary(4)\ncolumn vb varbinary(8) null\n"
         "column tx text null\ncolumn im image null\n"
         "primary_key pk_odd id\n";
    d += "row -2147483648 '.shell touch PWNED' 'a''b' 255 -32768 1 1.7976931348623157e308 3.4028235e38 "
         "-92233720368547.5807 -214748.3648 -999999999999999999 -999999999999.999999 '1753-01-01' "
         "'1900-01-01 00:00' 0x01 0x00 '\xe9t\xe9 \x80 \xff' 0x00ff00\n";
    d += "row 2147483647 '''; DROP TABLE x; --' '\xc4\xd6' 0 32767 0 4.9406564584124654e-324 1.4e-45 "
         "92233720368547.5807 214748.3647 999999999999999999 0.000001 '9999-12-31 23:59:59.997' "
         "'2079-06-06 23:59' 0xffffffff 0xff '.read /etc/passwd' 0x\n";
    d += "row 0 '' '' 1 0 1 -0.0 -0.0 0 0 0 0 NULL NULL 0x00000000 NULL '' NULL\n";
    d += "row 3 NULL 'x' 2 -1 0 2.2250738585072009e-308 0.1 NULL NULL NULL NULL NULL NULL 0x0a0d0000 NULL NULL NULL\n";
    d += "row 4 'tab\there | pipe \\ back' '\"' 3 3 1 0.1 -2.5 0.0001 -0.0001 1 -0.5 '2024-02-29 13:45:10.500' NULL "
         "0x0000 0x2e7368656c6c NULL NULL\n";
    if (format15) {
        d += "table 111 uni\n"
             "column id bigint\ncolumn u ubigint\ncolumn us usmallint\ncolumn ui uint null\n"
             "column uc unichar(4)\ncolumn uv univarchar(40) null\ncolumn ut unitext null\n"
             "column da date null\ncolumn ti time null\ncolumn ts timestamp null\n";
        d += "row -9223372036854775808 18446744073709551615 65535 4294967295 'ab' " + UniHex("x\n.shell touch PWNED\r\ny") +
             " " + UniHex("\n.shell touch PWNED\n") + " '0001-01-01' '00:00:00' 0x0001020304050607\n";
        d += "row 9223372036854775807 9223372036854775808 0 NULL '\xc3\xa9\xe2\x82\xac' '' '\xe2\x82\xac''x' '9999-12-31' "
             "'23:59:59.997' NULL\n";
        d += "row 0 0 1 0 ' ' NULL NULL NULL NULL 0x\n";
    }
    return d;
}

struct Case {
    const char *name;
    std::string description;
};


// `word` quoted for the POSIX shell.
std::string ShellWord(const std::string &word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The load.sql of every database's folder, and the stream of each database
// on standard output piped into the shell: the same values come back.
TEST(SqliteOutput, EveryValueReadsBackExactlyInTheShell) {
    const std::vector<Case> cases = {
        {"sample", ReadFileText(std::string(VRN_TEST_SOURCE) + "/../examples/sample.dump.txt")},
        {"sample15", ReadFileText(std::string(VRN_TEST_SOURCE) + "/../examples/sample15.dump.txt")},
        {"hostile12", Hostile(false)},
        {"hostile15", Hostile(true)},
    };
    for (const bool stream : {false, true})
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + (stream ? " (stream)" : ""));
        ASSERT_GT(c.description.size(), 100u);
        testsupport::TempFolder temp("sqlite_output");
        std::istringstream in(c.description);
        std::string error;
        auto dump = dumpwriter::ReadDescription(in, error);
        ASSERT_TRUE(dump) << error;
        const std::string dump_path = JoinPath(temp.path(), "x.dmp"), out = JoinPath(temp.path(), "out");
        ASSERT_TRUE(dump->write_file(dump_path));
        ASSERT_TRUE(platform::createDirectoryWithParents(out));
        VrnOptions options = VrnOptions();
        options.output_format = VRN_FORMAT_SQLITE;
        VrnReport report;
        ASSERT_EQ(testsupport::RecoverWithOptions(dump_path, out, options, report), 0);
        const std::string &root = out; // one folder per database below it

        const auto databases = ReadWords(c.description);
        ASSERT_FALSE(databases.empty());
        size_t tables = 0;
        for (const auto &db : databases) {
            SCOPED_TRACE(db.first);
            std::string safe = db.first; // as the folder is named: one plain component
            for (char &ch : safe)
                if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '-' && ch != '\'') ch = '_';
            std::string folder = JoinPath(root, safe);
            std::string errors;
            if (stream) {
                // vrnrecover runs in the tests' folder, beside the library.
                folder = JoinPath(temp.path(), "stream_" + safe);
                ASSERT_TRUE(platform::createDirectoryWithParents(folder));
                const std::string command = "./vrnrecover --format sqlite -q -o - -d " + ShellWord(db.first) + " " +
                                            ShellWord(dump_path) + " | sqlite3 -batch " +
                                            ShellWord(JoinPath(folder, "test.db"));
                EXPECT_EQ(std::system(command.c_str()), 0) << command;
            } else {
                if (!platform::exists(JoinPath(folder, "load.sql")))
                    for (const std::string &e : testsupport::ListTree(root)) ADD_FAILURE() << e;
                Shell(folder, ".read load.sql\n", &errors);
                EXPECT_EQ(errors, "");
            }
            for (const TableWords &t : db.second) {
                SCOPED_TRACE(t.name);
                std::string select = "SELECT ";
                for (size_t i = 0; i < t.columns.size(); ++i) {
                    const std::string q = Quoted(t.columns[i].name);
                    select += (i ? "||'|'||" : "") + std::string("CASE typeof(") + q + ") WHEN 'integer' THEN 'I:'||" +
                              q + " WHEN 'real' THEN 'R:'||hex(ieee754_to_blob(" + q + ")) WHEN 'text' THEN 'T:'||hex(" +
                              q + ") WHEN 'blob' THEN 'B:'||hex(" + q + ") ELSE 'N' END";
                }
                select += " FROM " + Quoted(t.name) + ";\n";
                std::istringstream lines(Shell(folder, select, &errors));
                EXPECT_EQ(errors, "");
                std::vector<std::string> got, want = t.rows;
                for (std::string l; std::getline(lines, l);) got.push_back(l);
                std::sort(got.begin(), got.end());
                std::sort(want.begin(), want.end());
                EXPECT_EQ(got, want);
                ++tables;
            }
            EXPECT_FALSE(platform::exists(JoinPath(folder, "PWNED")));
        }
        EXPECT_GT(tables, 0u);
    }
}

} // namespace

#endif // _WIN32
