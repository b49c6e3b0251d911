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
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;

namespace {

std::vector<std::string> g_diag;
std::vector<int> g_bars;

void VRN_CDECL OnDiag(const char *text, uintptr_t) { g_diag.push_back(text ? text : ""); }
void VRN_CDECL OnBar(const char *, int percent, uintptr_t) { g_bars.push_back(percent); }

// The library beside this test program.
class Library {
public:
    Library() {
        const std::string self = platform::modulePath("");
        const size_t cut = platform::lastSeparator(self);
        const std::string folder = cut == std::string::npos ? std::string() : self.substr(0, cut + 1);
        lib_ = platform::DynamicLibrary::load(folder + platform::sharedLibraryFileName("vrndll"));
        if (lib_.isLoaded()) {
            file_recover = reinterpret_cast<FileRecoverProc>(lib_.symbol("FileRecover"));
            set_break_flag = reinterpret_cast<SetBreakFlagProc>(lib_.symbol("SetBreakFlag"));
        }
    }
    FileRecoverProc file_recover = nullptr;
    SetBreakFlagProc set_break_flag = nullptr;

private:
    platform::DynamicLibrary lib_;
};

Library &TheLibrary() {
    static Library library;
    return library;
}

class Recovery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, TheLibrary().file_recover);
        ASSERT_TRUE(platform::createDirectory(target_));
        g_diag.clear();
        g_bars.clear();
        stop_ = false;
        TheLibrary().set_break_flag(&stop_);
    }
    void TearDown() override { TheLibrary().set_break_flag(nullptr); }

    // Runs FileRecover on `dump` written to the scratch folder; returns its
    // result and, in `seconds`, how long it took.
    int Run(dumpwriter::Dump &dump, double *seconds = nullptr) {
        const std::string path = outer_ / "sample.dmp";
        if (!dump.write_file(path)) return 12345;
        return RunFile(path, seconds);
    }
    int RunFile(const std::string &path, double *seconds = nullptr) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = TheLibrary().file_recover(path.c_str(), target_.c_str(), 0, OnDiag, OnBar, 0,
                                                 (outer_ / "recovery.log").c_str());
        if (seconds)
            *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return rc;
    }

    // The output folders made in the target ("Recovered sample.dmp <date>").
    std::vector<std::string> OutputFolders() const {
        std::vector<std::string> folders;
        for (const std::string &entry : ListTree(target_)) {
            if (std::count(entry.begin(), entry.end(), '/') == 1 && entry.back() == '/')
                folders.push_back(entry.substr(0, entry.size() - 1));
        }
        return folders;
    }
    // The tree of the only output folder.
    std::vector<std::string> OutputTree() const {
        const std::vector<std::string> folders = OutputFolders();
        if (folders.size() != 1) return {"<" + std::to_string(folders.size()) + " output folders>"};
        return ListTree(testsupport::JoinPath(target_, folders[0]));
    }
    std::string OutputFile(const std::string &relative) const {
        const std::vector<std::string> folders = OutputFolders();
        if (folders.empty()) return std::string();
        return ReadFileText(testsupport::JoinPath(testsupport::JoinPath(target_, folders[0]), relative));
    }
    // Nothing but the dump, the log and the target in the scratch folder.
    void ExpectNothingOutsideTheTarget() const {
        for (const std::string &entry : ListTree(outer_.path())) {
            const bool inside = entry.rfind("target/", 0) == 0 || entry == "sample.dmp" ||
                                entry == "recovery.log";
            EXPECT_TRUE(inside) << entry << " was written outside the target";
        }
    }

    TempFolder outer_{"recovery"};
    std::string target_ = outer_ / "target";
    bool stop_ = false;
};

// User tables with one int column each (a table without columns gets no
// script).
dumpwriter::Database &Tables(dumpwriter::Database &db,
                             const std::vector<std::pair<int32_t, std::string>> &tables) {
    dumpwriter::Schema schema;
    for (const auto &t : tables) schema.table(t.first, t.second).column("id", dumpwriter::types::kInt);
    schema.add_to(db);
    return db;
}

// master plus the databases named, each with the tables given.
void AddSales(dumpwriter::Dump &d) {
    d.database("master", 1, 0);
    Tables(d.database("sales", 5, 4), {{101, "orders"}, {102, "customers"}});
}

std::vector<std::string> SalesTree() {
    return {"int0.ini", "master/", "master/commit.bat", "sales/", "sales/commit.bat",
            "sales/customers.sql", "sales/orders.sql"};
}

} // namespace

// ----------------------------------------------------------------- good dumps

class RecoveryPerBlockSize : public Recovery, public ::testing::WithParamInterface<int> {};

TEST_P(RecoveryPerBlockSize, WritesOneFolderWithCommitBatPerDatabase) {
    dumpwriter::Dump d(GetParam());
    AddSales(d);
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    EXPECT_EQ(SalesTree(), OutputTree());
    const std::string bat = OutputFile("sales/commit.bat");
    EXPECT_EQ(0u, bat.find("@echo Varnoth\n"));
    EXPECT_NE(std::string::npos, bat.find("%1\\isql.exe -S %2 -U %3 -D sales -P %4 -i orders.sql\n"));
    EXPECT_NE(std::string::npos, bat.find("-D sales -P %4 -i customers.sql\n"));
    EXPECT_NE(std::string::npos, bat.find("\t:exit\n"));
    ASSERT_FALSE(g_bars.empty());
    EXPECT_EQ(100, g_bars.back());
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, RecoveryPerBlockSize, ::testing::Values(2, 4, 8, 16));

TEST_F(Recovery, ThreeDatabasesGiveThreeFoldersAndAllPasses) {
    dumpwriter::Dump d(2);
    AddSales(d);
    Tables(d.database("hr", 6, 8), {{201, "staff"}});
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    std::vector<std::string> expected = SalesTree();
    for (const char *e : {"hr/", "hr/commit.bat", "hr/staff.sql"}) expected.push_back(e);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, OutputTree());
    EXPECT_EQ((std::vector<int>{25, 50, 75, 100}), g_bars);
    EXPECT_NE(g_diag.end(), std::find_if(g_diag.begin(), g_diag.end(), [](const std::string &s) {
                  return s.find("recovering table rows") != std::string::npos;
              }));
    EXPECT_EQ("staff", platform::readProfileString(
                           testsupport::JoinPath(testsupport::JoinPath(target_, OutputFolders()[0]),
                                                 "int0.ini"),
                           "table_0", "name", ""))
        << "the description file describes the last database written";
}

TEST_F(Recovery, ADatabaseWithoutUsageIsLeftOut) {
    dumpwriter::Dump d(4);
    AddSales(d);
    Tables(d.database("lost", 7, 8), {{301, "t"}}).without_usage();
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    EXPECT_EQ(SalesTree(), OutputTree());
}

TEST_F(Recovery, RerunningIntoTheSameTargetOverwrites) {
    dumpwriter::Dump d(4);
    AddSales(d);
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    const std::string first = OutputFile("sales/commit.bat");
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    // Within the same minute both runs share one output folder.
    for (const std::string &folder : OutputFolders()) {
        const std::string root = testsupport::JoinPath(target_, folder);
        EXPECT_EQ(SalesTree(), ListTree(root));
        EXPECT_EQ(first, ReadFileText(testsupport::JoinPath(root, "sales/commit.bat")));
    }
}

TEST_F(Recovery, HostileDatabaseAndTableNamesStayInsideTheTarget) {
    dumpwriter::Dump d(4);
    d.database("master", 1, 0);
    Tables(d.database("../../evil", 5, 4), {{101, "..\\..\\x"}, {102, "/tmp/abs"}, {103, "CON"}});
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    EXPECT_EQ((std::vector<std::string>{".._.._evil/", ".._.._evil/.._.._x.sql", ".._.._evil/_CON.sql",
                                        ".._.._evil/_tmp_abs.sql", ".._.._evil/commit.bat",
                                        "int0.ini", "master/", "master/commit.bat"}),
              OutputTree());
    ExpectNothingOutsideTheTarget();
    EXPECT_NE(std::string::npos, OutputFile(".._.._evil/commit.bat").find("-D .._.._evil -P %4 -i _CON.sql\n"));
}

TEST_F(Recovery, ADatabaseBeyondFourGibibytesIsFoundWhereItLies) {
#if defined(_WIN32)
    GTEST_SKIP() << "needs a sparse file of more than 4 GiB";
#endif
    dumpwriter::Dump d(4);
    AddSales(d);
    Tables(d.database("far", 7, 4200), {{401, "distant"}}); // 4200 MiB into the dump
    const int rc = Run(d);
    if (rc == 12345) GTEST_SKIP() << "no room for a sparse dump file";
    ASSERT_EQ(VRN_RESULT_OK, rc);
    std::vector<std::string> expected = SalesTree();
    for (const char *e : {"far/", "far/commit.bat", "far/distant.sql"}) expected.push_back(e);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, OutputTree());
    platform::deleteFile(outer_ / "sample.dmp");
}

// ----------------------------------------------------------------- damaged input

TEST_F(Recovery, AnEmptyFileEndsWithAResultCode) {
    const std::string path = outer_ / "sample.dmp";
    ASSERT_TRUE(testsupport::WriteFileText(path, ""));
    double seconds = 0;
    const int rc = RunFile(path, &seconds);
    EXPECT_NE(VRN_RESULT_OK, rc);
    EXPECT_LT(seconds, 30.0);
    ExpectNothingOutsideTheTarget();
}

TEST_F(Recovery, RandomBytesEndWithAResultCodeInBoundedTime) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 3; ++round) {
        std::string bytes(256 * 1024 + round * 4093, '\0');
        for (char &c : bytes) c = static_cast<char>(random());
        const std::string path = outer_ / "sample.dmp";
        ASSERT_TRUE(testsupport::WriteFileText(path, bytes));
        double seconds = 0;
        const int rc = RunFile(path, &seconds);
        EXPECT_TRUE(rc == VRN_RESULT_OK || rc < 0) << rc;
        EXPECT_LT(seconds, 60.0);
        ExpectNothingOutsideTheTarget();
    }
}

TEST_F(Recovery, ACutDumpEndsWithAResultCodeInBoundedTime) {
    dumpwriter::Dump full(4);
    AddSales(full);
    const uint64_t size = full.size();
    for (uint64_t keep : {size / 2, size - 1000, static_cast<uint64_t>(9000)}) {
        dumpwriter::Dump d(4);
        AddSales(d);
        d.cut(keep);
        double seconds = 0;
        const int rc = Run(d, &seconds);
        EXPECT_TRUE(rc == VRN_RESULT_OK || rc < 0) << rc;
        EXPECT_LT(seconds, 60.0) << keep;
        ExpectNothingOutsideTheTarget();
        testsupport::RemoveTree(target_);
        ASSERT_TRUE(platform::createDirectory(target_));
    }
}

TEST_F(Recovery, ACutThroughTheLastDatabaseKeepsTheOnesBeforeIt) {
    dumpwriter::Dump d(4);
    AddSales(d);
    Tables(d.database("hr", 6, 8), {{201, "staff"}});
    d.cut(8u << 20); // hr starts here
    ASSERT_EQ(VRN_RESULT_OK, Run(d));
    const std::vector<std::string> tree = OutputTree();
    for (const char *kept : {"sales/commit.bat", "sales/customers.sql", "sales/orders.sql"})
        EXPECT_NE(tree.end(), std::find(tree.begin(), tree.end(), kept)) << kept;
    EXPECT_EQ(tree.end(), std::find(tree.begin(), tree.end(), "hr/staff.sql"));
    ExpectNothingOutsideTheTarget();
}

TEST_F(Recovery, ACancelFlagSetBeforehandWritesNoDatabase) {
    dumpwriter::Dump d(4);
    AddSales(d);
    stop_ = true;
    EXPECT_NE(VRN_RESULT_OK, Run(d));
    for (const std::string &entry : ListTree(target_))
        EXPECT_EQ(std::string::npos, entry.find("commit.bat")) << entry;
}
