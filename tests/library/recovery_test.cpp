// Whole recoveries through the built library, loaded as a host loads it:
// dumps made by the dump writer go in, the output tree is compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
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
using testsupport::Occurrences;
using testsupport::TempFolder;
using testsupport::TheLibrary;

namespace {

std::vector<int> g_bars;
void VRN_CDECL OnBar(const char *, int percent, uintptr_t) { g_bars.push_back(percent); }

// User tables with one int column each and `rows` rows, 60 to a page.
dumpwriter::Database &Tables(dumpwriter::Database &db, const std::vector<std::pair<int32_t, std::string>> &tables,
                             int rows = 0) {
    dumpwriter::Schema schema;
    for (const auto &t : tables) {
        auto &table = schema.table(t.first, t.second).column("id", dumpwriter::types::kInt).rows_per_page(60);
        for (int r = 0; r < rows; ++r) table.row({dumpwriter::encode::Int(r)});
    }
    schema.add_to(db);
    return db;
}

void AddSales(dumpwriter::Dump &d) {
    d.database("master", 1, 0);
    Tables(d.database("sales", 5, 4), {{101, "orders"}, {102, "customers"}});
}

std::vector<std::string> Tree(std::vector<std::string> entries) {
    std::sort(entries.begin(), entries.end());
    return entries;
}

const std::vector<std::string> kSalesTree = {"int0.ini", "manifest.json", "master/", "master/commit.bat", "master/commit.sh", "sales/",
                                             "sales/commit.bat", "sales/commit.sh", "sales/customers.sql", "sales/orders.sql"};

class Recovery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, TheLibrary().file_recover);
        ASSERT_TRUE(platform::createDirectory(target_));
        g_bars.clear();
        TheLibrary().set_break_flag(&stop_);
    }
    void TearDown() override { TheLibrary().set_break_flag(nullptr); }

    // FileRecover on `dump`; `seconds` receives how long it took.
    int Run(dumpwriter::Dump &dump, double *seconds = nullptr) {
        const std::string path = outer_ / "sample.dmp";
        return dump.write_file(path) ? RunFile(path, seconds) : 12345;
    }
    int RunFile(const std::string &path, double *seconds = nullptr) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = TheLibrary().file_recover(path.c_str(), target_.c_str(), 0, testsupport::IgnoreDiag, OnBar, 0,
                                                 (outer_ / "recovery.log").c_str());
        if (seconds) *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return rc;
    }
    // The output folders ("Recovered sample.dmp <date>") in the target.
    std::vector<std::string> OutputFolders() const {
        std::vector<std::string> folders;
        for (const std::string &e : ListTree(target_))
            if (std::count(e.begin(), e.end(), '/') == 1 && e.back() == '/') folders.push_back(JoinPath(target_, e));
        return folders;
    }
    std::vector<std::string> OutputTree() const {
        const std::vector<std::string> folders = OutputFolders();
        return folders.size() == 1 ? ListTree(folders[0]) : std::vector<std::string>{"<not one output folder>"};
    }
    std::string OutputFile(const std::string &relative) const {
        const std::vector<std::string> folders = OutputFolders();
        return folders.empty() ? std::string() : ReadFileText(folders[0] + relative);
    }
    void ExpectNothingOutsideTheTarget() const {
        for (const std::string &e : ListTree(outer_.path()))
            EXPECT_TRUE(e.rfind("target/", 0) == 0 || e == "sample.dmp" || e == "recovery.log") << e << " is outside";
    }
    void EmptyTarget() {
        testsupport::RemoveTree(target_);
        ASSERT_TRUE(platform::createDirectory(target_));
    }

    TempFolder outer_{"recovery"};
    std::string target_ = outer_ / "target";
    bool stop_ = false;
};

} // namespace

// ----------------------------------------------------------------- good dumps

TEST_F(Recovery, WritesOneFolderWithCommitBatPerDatabaseForEveryBlockSize) {
    for (int kb : {2, 4, 8, 16}) {
        EmptyTarget();
        g_bars.clear();
        dumpwriter::Dump d(kb);
        AddSales(d);
        ASSERT_EQ(VRN_RESULT_OK, Run(d)) << kb;
        EXPECT_EQ(kSalesTree, OutputTree()) << kb;
        const std::string bat = OutputFile("sales/commit.bat");
        EXPECT_EQ(0u, bat.find("@echo off\n@echo Varnoth\n"));
        EXPECT_NE(std::string::npos, bat.find("%1\\isql.exe -S %2 -U %3 -D sales -P %4 -i orders.sql\n"));
        EXPECT_EQ(bat.size() - 7, bat.find("\t:exit\n"));
        EXPECT_EQ((std::vector<int>{33, 66, 100}), g_bars) << kb;
    }
}

TEST_F(Recovery, ThreeDatabasesRowsInNumberedScriptsAndADatabaseWithoutUsageLeftOut) {
    dumpwriter::Dump d(2);
    AddSales(d);
    Tables(d.database("hr", 6, 8), {{201, "staff"}}, 150); // pages of 60 rows
    Tables(d.database("lost", 7, 12), {{301, "t"}}).without_usage();
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    std::vector<std::string> expected = kSalesTree;
    for (const char *e : {"hr/", "hr/commit.bat", "hr/commit.sh", "hr/staff.sql", "hr/staff_1.sql", "hr/staff_2.sql"})
        expected.push_back(e);
    EXPECT_EQ(Tree(expected), OutputTree());
    EXPECT_EQ((std::vector<int>{20, 40, 60, 100}), g_bars) << "three usable of four listed";
    const std::string bat = OutputFile("hr/commit.bat");
    EXPECT_LT(bat.find("-i staff.sql\n"), bat.find("-i staff_1.sql\n"));
    EXPECT_LT(bat.find("-i staff_1.sql\n"), bat.find("-i staff_2.sql\n"));
    // Pages of 60 rows: the second page takes staff_1 past 100 rows.
    EXPECT_EQ(120u, Occurrences(OutputFile("hr/staff_1.sql"), "INSERT INTO"));
    EXPECT_EQ(30u, Occurrences(OutputFile("hr/staff_2.sql"), "INSERT INTO"));
    EXPECT_EQ("staff", platform::readProfileString(OutputFolders()[0] + "int0.ini", "table_0", "name", ""))
        << "the description file describes the last database written";
}

TEST_F(Recovery, RerunningIntoTheSameTargetOverwrites) {
    dumpwriter::Dump d(4);
    AddSales(d);
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    const std::string first = OutputFile("sales/commit.bat");
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    for (const std::string &folder : OutputFolders()) { // one, unless the minute turned
        EXPECT_EQ(kSalesTree, ListTree(folder));
        EXPECT_EQ(first, ReadFileText(folder + "sales/commit.bat"));
    }
}

TEST_F(Recovery, HostileDatabaseAndTableNamesStayInsideTheTarget) {
    dumpwriter::Dump d(4);
    d.database("master", 1, 0);
    // A line break in a name must not write a line of the dump author's
    // choosing into the log either.
    const std::string forged = "x\n!! rm -rf /\n  INFO  | forged";
    Tables(d.database("../../evil", 5, 4), {{101, "..\\..\\x"}, {102, "/tmp/abs"}, {103, "CON"}, {104, forged}});
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    EXPECT_EQ((std::vector<std::string>{"_._.._evil/", "_._.._evil/_._.._x.sql", "_._.._evil/_CON.sql",
                                        "_._.._evil/_tmp_abs.sql", "_._.._evil/commit.bat", "_._.._evil/commit.sh",
                                        "_._.._evil/x____rm_-rf_____INFO____forged.sql", "int0.ini", "manifest.json", "master/",
                                        "master/commit.bat", "master/commit.sh"}),
              OutputTree());
    ExpectNothingOutsideTheTarget();
    EXPECT_NE(std::string::npos, OutputFile("_._.._evil/commit.bat").find("-D \"../../evil\" -P %4 -i _CON.sql\n"));
    const std::string log = ReadFileText(outer_ / "recovery.log");
    EXPECT_NE(std::string::npos, log.find("x_!! rm -rf /_  INFO  | forged"));
    for (const std::string &line : testsupport::SplitLines(log))
        EXPECT_TRUE(line.rfind("!!", 0) != 0 && line.rfind("  INFO  | forged", 0) != 0) << line;
}

TEST_F(Recovery, ADatabaseBeyondFourGibibytesIsFoundWhereItLies) {
#if defined(_WIN32)
    GTEST_SKIP() << "needs a sparse file of more than 4 GiB";
#endif
    dumpwriter::Dump d(4);
    AddSales(d);
    Tables(d.database("far", 7, 4200), {{401, "distant"}}); // 4200 MiB into the dump
    const int rc = Run(d);
    platform::deleteFile(outer_ / "sample.dmp");
    if (rc == 12345) GTEST_SKIP() << "no room for a sparse dump file";
    ASSERT_EQ(VRN_RESULT_OK, rc);
    std::vector<std::string> expected = kSalesTree;
    for (const char *e : {"far/", "far/commit.bat", "far/commit.sh", "far/distant.sql"}) expected.push_back(e);
    EXPECT_EQ(Tree(expected), OutputTree());
}

// ----------------------------------------------------------------- damaged input

TEST_F(Recovery, EmptyRandomAndCutFilesEndWithAResultCodeInBoundedTime) {
    std::mt19937 random(20240601);
    std::vector<std::string> inputs = {std::string()};
    for (int round = 0; round < 3; ++round) {
        std::string bytes(256 * 1024 + round * 4093, '\0');
        for (char &c : bytes) c = static_cast<char>(random());
        inputs.push_back(bytes);
    }
    dumpwriter::Dump full(4);
    AddSales(full);
    const dumpwriter::Bytes whole = full.bytes();
    for (size_t keep : {whole.size() / 2, whole.size() - 1000, size_t{9000}})
        inputs.emplace_back(whole.begin(), whole.begin() + static_cast<long>(keep));

    for (size_t i = 0; i < inputs.size(); ++i) {
        EmptyTarget();
        const std::string path = outer_ / "sample.dmp";
        ASSERT_TRUE(testsupport::WriteFileText(path, inputs[i]));
        double seconds = 0;
        const int rc = RunFile(path, &seconds);
        EXPECT_TRUE(i == 0 ? rc < 0 : rc <= 0) << "input " << i << ": " << rc;
        EXPECT_LT(seconds, 60.0) << "input " << i;
        ExpectNothingOutsideTheTarget();
    }
}

TEST_F(Recovery, ACutThroughTheLastDatabaseKeepsTheOnesBeforeIt) {
    dumpwriter::Dump d(4);
    AddSales(d);
    Tables(d.database("hr", 6, 8), {{201, "staff"}});
    d.cut(8u << 20); // hr starts here
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    const std::vector<std::string> tree = OutputTree();
    for (const char *kept : {"sales/commit.bat", "sales/commit.sh", "sales/customers.sql", "sales/orders.sql"})
        EXPECT_NE(tree.end(), std::find(tree.begin(), tree.end(), kept)) << kept;
    EXPECT_EQ(tree.end(), std::find(tree.begin(), tree.end(), "hr/staff.sql"));
}
