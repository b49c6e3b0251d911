// Table scripts written by the built library, loaded as a host loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TheLibrary;
namespace types = dumpwriter::types;

namespace {

// The tree below the one output folder of a recovery, and its files.
struct Output {
    std::string root;
    explicit Output(const testsupport::HostRecovery &run) : root(run.root) {}
    std::string File(const std::string &relative) const { return ReadFileText(JoinPath(root, relative)); }
    std::vector<std::string> Tree() const { return ListTree(root); }
};

// `text` with its "\r\n" line ends (int0.ini's) as "\n".
std::string WithoutCarriageReturns(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    return text;
}

} // namespace

TEST(TableScriptsRecovery, EveryTableWithColumnsGetsItsDefinition) {
    ASSERT_TRUE(TheLibrary().loaded());
    testsupport::TempFolder outer("table_scripts_recovery");

    dumpwriter::Dump dump(2);
    dumpwriter::Schema master_schema;
    master_schema.table(900, "-").without_object().column("orphan", types::kInt);
    master_schema.add_to(dump.database("master", 1, 0));

    dumpwriter::Schema sales;
    sales.column_firoff(32);
    dumpwriter::Column late;
    late.name = "line no";
    late.user_type = types::kSmallInt;
    late.length = 2;
    late.col_id = 2;
    sales.table(101, "order lines").numeric("price", types::kDecimal, 10, 2, dumpwriter::kNull).add(late);
    sales.table(102, "notes").column("body", types::kText, 0, dumpwriter::kNull);
    sales.add_to(dump.database("sales", 5, 4).table(103, "no_columns"));

    const testsupport::HostRecovery run = testsupport::RecoverAsHost(dump, outer.path());
    ASSERT_EQ(VRN_RESULT_OK, run.rc);
    const Output out(run);
    EXPECT_EQ((std::vector<std::string>{"int0.ini", "manifest.json", "master/", "master/Table1.sql", "master/commit.bat", "master/commit.sh", "sales/",
                                        "sales/commit.bat", "sales/commit.sh", "sales/notes.sql", "sales/order_lines.sql"}),
              out.Tree());
    EXPECT_EQ("CREATE TABLE [order lines](\nprice  decimal(10,2) NULL, \n[line no]  smallint NOT NULL)\n\nGO\n",
              out.File("sales/order_lines.sql"));
    EXPECT_EQ("CREATE TABLE notes(\nbody  text NULL)\n\nGO\n", out.File("sales/notes.sql"));
    EXPECT_EQ("CREATE TABLE Table1(\norphan  int NOT NULL)\n\nGO\n", out.File("master/Table1.sql"));
    EXPECT_EQ(std::string::npos, out.File("sales/commit.bat").find("no_columns"));
}

// Names holding line breaks, the loading client's commands and other control
// characters: no control character of a name reaches any file, so no line
// starts with what a name holds, and each name is mapped the same way in
// the table script, the INSERT lists, int0.ini, commit.bat and commit.sh.
TEST(TableScriptsRecovery, NamesNeverBreakALineOfAnyFile) {
    struct Case {
        std::string table, column;           // as stored in the dump
        std::string table_printable, column_printable; // in int0.ini
        std::string table_sql, column_sql;   // in the statements
        std::string stem;                    // the scripts' file name
    };
    const std::vector<Case> cases = {
        {"t\ngo\ndrop table x", "c\r\n!! rm -rf ~", "t_go_drop table x", "c__!! rm -rf ~", "[t_go_drop table x]",
         "[c__!! rm -rf ~]", "t_go_drop_table_x"},
        {":r /etc/passwd", "go", ":r /etc/passwd", "go", "[:r /etc/passwd]", "[go]", "_r__etc_passwd"},
        {"x\n:r file", "a\x01\x1b[2J\x7f", "x_:r file", "a__[2J_", "[x_:r file]", "[a__[2J_]", "x__r_file"},
        {std::string("n\0go", 4), "\tGO\n", "n", "_GO_", "n", "_GO_", "n"},
    };
    ASSERT_TRUE(TheLibrary().loaded());
    testsupport::TempFolder outer("hostile_names");
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dumpwriter::Schema sales;
    for (size_t k = 0; k < cases.size(); ++k)
        sales.table(101 + static_cast<int32_t>(k), cases[k].table)
            .column(cases[k].column, types::kInt)
            .row({dumpwriter::encode::Int(static_cast<int32_t>(k))});
    sales.add_to(dump.database("sales", 5, 4));
    const testsupport::HostRecovery run = testsupport::RecoverAsHost(dump, outer.path());
    ASSERT_EQ(VRN_RESULT_OK, run.rc);
    const Output out(run);

    for (const std::string &file : out.Tree()) {
        if (file.back() == '/') continue;
        SCOPED_TRACE(file);
        const std::string text = WithoutCarriageReturns(out.File(file));
        EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t';
        }));
        for (std::string line : testsupport::SplitLines(text)) {
            line.erase(0, line.find_first_not_of(" \t"));
            for (const char *command : {"go", "!!", ":r", "drop", "rm "})
                EXPECT_NE(line.rfind(command, 0), 0u) << line;
        }
    }
    const std::string ini = WithoutCarriageReturns(out.File("int0.ini"));
    const std::string bat = out.File("sales/commit.bat");
    const std::string sh = out.File("sales/commit.sh");
    for (size_t k = 0; k < cases.size(); ++k) {
        const Case &c = cases[k];
        SCOPED_TRACE(c.stem);
        EXPECT_EQ(out.File("sales/" + c.stem + ".sql"),
                  "CREATE TABLE " + c.table_sql + "(\n" + c.column_sql + "  int NOT NULL)\n\nGO\n");
        EXPECT_EQ(out.File("sales/" + c.stem + "_1.sql"),
                  "INSERT INTO " + c.table_sql + "(" + c.column_sql + ") \n VALUES(" + std::to_string(k) + ")\n\nGO\n");
        EXPECT_NE(ini.find("name=" + c.table_printable + "\n"), std::string::npos);
        EXPECT_NE(ini.find("name=" + c.column_printable + "\n"), std::string::npos);
        EXPECT_NE(bat.find(" -i " + c.stem + "_1.sql\n"), std::string::npos);
        EXPECT_NE(sh.find("load '" + c.stem + "_1.sql'\n"), std::string::npos);
    }
}
