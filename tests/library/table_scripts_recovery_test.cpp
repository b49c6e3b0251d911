// Table scripts written by the built library, loaded as a host loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::ReadFileText;
namespace types = dumpwriter::types;

namespace {

void VRN_CDECL Quiet(const char *, uintptr_t) {}
void VRN_CDECL QuietBar(const char *, int, uintptr_t) {}

testsupport::LoadedVrndll &TheLibrary() {
    static testsupport::LoadedVrndll library;
    return library;
}

// The tree below the one output folder, and its files.
struct Output {
    std::string root;
    explicit Output(const std::string &target) {
        for (const std::string &entry : ListTree(target))
            if (std::count(entry.begin(), entry.end(), '/') == 1 && entry.back() == '/')
                root = JoinPath(target, entry.substr(0, entry.size() - 1));
    }
    std::string File(const std::string &relative) const { return ReadFileText(JoinPath(root, relative)); }
    std::vector<std::string> Tree() const { return ListTree(root); }
};

} // namespace

TEST(TableScriptsRecovery, EveryTableWithColumnsGetsItsDefinition) {
    ASSERT_TRUE(TheLibrary().loaded());
    testsupport::TempFolder outer("table_scripts_recovery");
    const std::string target = outer / "target";
    ASSERT_TRUE(platform::createDirectory(target));

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

    const std::string path = outer / "tables.dmp";
    ASSERT_TRUE(dump.write_file(path));
    ASSERT_EQ(VRN_RESULT_OK, TheLibrary().file_recover(path.c_str(), target.c_str(), 0, Quiet, QuietBar, 0,
                                                       (outer / "recovery.log").c_str()));
    const Output out(target);
    EXPECT_EQ((std::vector<std::string>{"int0.ini", "master/", "master/Table1.sql", "master/commit.bat", "master/commit.sh", "sales/",
                                        "sales/commit.bat", "sales/commit.sh", "sales/notes.sql", "sales/order_lines.sql"}),
              out.Tree());
    EXPECT_EQ("CREATE TABLE [order lines](\nprice  decimal(10,2) NULL, \n[line no]  smallint NOT NULL)\n\nGO",
              out.File("sales/order_lines.sql"));
    EXPECT_EQ("CREATE TABLE notes(\nbody  text NULL)\n\nGO", out.File("sales/notes.sql"));
    EXPECT_EQ("CREATE TABLE Table1(\norphan  int NOT NULL)\n\nGO", out.File("master/Table1.sql"));
    EXPECT_EQ(std::string::npos, out.File("sales/commit.bat").find("no_columns"));
}
