// The recovery driver over a scripted parser: which databases are
// recovered, the progress the host sees, the result codes, and the folders
// written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/temp_folder.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNRecover.h"

using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;

namespace {

// What the host saw, in order: "diag:<text>" and "bar:<percent>".
std::vector<std::string> g_seen;
std::function<void(int)> g_on_bar;

void RecordDiag(const char *text, uintptr_t) { g_seen.push_back(std::string("diag:") + text); }
void RecordBar(const char *, int percent, uintptr_t) {
    g_seen.push_back("bar:" + std::to_string(percent));
    if (g_on_bar) g_on_bar(percent);
}

DatabaseEntry Db(const char *name, int32_t start_page, int32_t usage_size = 10) {
    DatabaseEntry e;
    std::strncpy(e.name, name, sizeof e.name - 1);
    e.name_len = static_cast<int32_t>(std::strlen(name));
    e.start_page = start_page;
    e.usage_size = usage_size;
    return e;
}

SysobjEntry Obj(int32_t id, char type, const char *name) {
    SysobjEntry e;
    e.id = id;
    e.type = type;
    std::strncpy(e.name, name, sizeof e.name - 1);
    e.name_len = static_cast<int32_t>(std::strlen(name));
    return e;
}

ColumnEntry Col(int32_t tab_id, int16_t col_id, const char *name) {
    ColumnEntry c;
    c.tab_id = tab_id;
    c.col_id = col_id;
    c.user_type = 7;
    std::strncpy(c.name, name, sizeof c.name - 1);
    c.var_len = static_cast<int32_t>(std::strlen(name));
    return c;
}

// A parser that answers from a script instead of a dump.
class ScriptedParser : public VRNParser {
public:
    explicit ScriptedParser(DumpFormat format) : VRNParser(nullptr, 2, 0, 0, format) {}

    int detect_result = 0;
    int detected_kb = 4;
    std::vector<DatabaseEntry> listing;
    int list_result = 0;
    int catalogue_result = 0;
    std::vector<SysobjEntry> catalogue;
    std::vector<ColumnEntry> columns;
    int big_result = 0;
    bool throw_in_detect = false;
    std::function<void()> on_catalogue; // runs when a database's catalogue is read

    std::vector<int> big_calls;      // base MiB asked for
    std::vector<std::string> details; // detail catalogue reads, in order
    int detail_result = 0;
    int catalogue_reads = 0;

    int Detect(int) override {
        if (throw_in_detect) throw std::runtime_error("scripted");
        bl.kb = detected_kb;
        return detect_result;
    }
    int Prepare(std::vector<DatabaseEntry> *databases, uint32_t *count) override {
        if (databases) {
            *databases = listing;
            *count = static_cast<uint32_t>(listing.size());
            return list_result;
        }
        ++catalogue_reads;
        if (on_catalogue) on_catalogue();
        pSysobj = catalogue;
        iSysobj = this_obj = static_cast<uint32_t>(catalogue.size());
        fields = columns;
        return catalogue_result;
    }
    int PrepareEx(std::vector<DatabaseEntry> *databases, uint32_t *count) override {
        return Prepare(databases, count);
    }
    int big(int *mb) override {
        big_calls.push_back(*mb);
        if (!TheHost().MayContinue()) return -1000;
        return big_result;
    }
    int GetCol() override { return Detail("GetCol"); }
    int GetIndex() override { return Detail("GetIndex"); }
    int GetFkey() override { return Detail("GetFkey"); }
    int GetFieldEx() override { return Detail("GetFieldEx"); }
    int GetIndexEx() override { return Detail("GetIndexEx"); }
    int GetFkeyEx() override { return Detail("GetFkeyEx"); }
    int Detail(const char *what) {
        details.push_back(what);
        return detail_result;
    }
    // The scripted listing already carries usage sizes, start pages and
    // skip marks: only the device limit is set.
    void LocateDatabases(std::vector<DatabaseEntry> &, size_t) override { start_page_limit = limit; }
    uint32_t limit = 0xFFFFFFFFu;
    void FreeCatalogue() override {
        pSysobj.clear();
        iSysobj = 0;
        fields.clear();
    }
};

class ScriptedDriver : public VRNRecover {
public:
    ScriptedDriver(std::unique_ptr<ScriptedParser> p, const std::string &target, const std::string &source,
                   int64_t size = 64 << 20)
        : VRNRecover(std::move(p), size, target.c_str(), source.c_str()) {}
};

class RecoverDriver : public ::testing::Test {
protected:
    void SetUp() override {
        SA_interractions::SetDefaultPassTexts();
        SA_interractions &host = TheHost();
        host.write_diag = RecordDiag;
        host.status_bar = RecordBar;
        host.pass_count = 3;
        host.pass_no = 0;
        host.break_flag = &stop_;
        g_seen.clear();
        g_on_bar = nullptr;
    }
    void TearDown() override {
        TheHost().break_flag = nullptr;
        TheHost().write_diag = nullptr;
        TheHost().status_bar = nullptr;
        g_on_bar = nullptr;
    }

    // Builds a driver over a parser prepared by `script`.
    std::unique_ptr<ScriptedDriver> Driver(const std::function<void(ScriptedParser &)> &script,
                                           DumpFormat format = DumpFormat::k12) {
        auto p = std::make_unique<ScriptedParser>(format);
        p->catalogue = {Obj(1, 'S', "sysobjects"), Obj(101, 'U', "orders"), Obj(102, 'V', "v")};
        script(*p);
        // Tables are scripted only when they have columns: one for each
        // user table, unless the script chose the columns itself.
        if (p->columns.empty())
            for (const SysobjEntry &t : p->catalogue)
                if (t.type == 'U') p->columns.push_back(Col(t.id, 1, "id"));
        parser_ = p.get();
        return std::make_unique<ScriptedDriver>(std::move(p), target_.path(),
                                                source_.path() + platform::kPathSeparator);
    }

    bool stop_ = false;
    TempFolder target_{"driver"};
    TempFolder source_{"driver_src"};
    ScriptedParser *parser_ = nullptr;
};

const std::string kPass1 = "diag:Pass 1: analyzing database...";
const std::string kPass2 = "diag:Pass 2: recovering database schema...";
const std::string kPass3 = "diag:Pass 3: recovering table rows...";
const std::string kDone = "diag:done";

} // namespace

// ----------------------------------------------------------------- progress

TEST_F(RecoverDriver, ProgressAndPassesFollowTheShareOfDatabasesDone) {
    struct Case {
        std::vector<DatabaseEntry> listing;
        std::vector<std::string> seen;
    };
    const DatabaseEntry unusable = Db("x", 100, -1);
    const std::vector<Case> cases = {
        // One database: 50 switches to the schema pass; rows are announced at the end.
        {{Db("a", 2048)}, {kPass1, "bar:50", kDone, kPass2, kDone, kPass3, kDone, "bar:100"}},
        // Three: nothing at 25, schema at 50, rows at 75.
        {{Db("a", 2048), Db("b", 4096), Db("c", 8192)},
         {kPass1, "bar:25", "bar:50", kDone, kPass2, "bar:75", kDone, kPass3, kDone, "bar:100"}},
        // Two usable of four: 20 and 40.
        {{Db("a", 2048), unusable, Db("b", 8192), unusable},
         {kPass1, "bar:20", "bar:40", kDone, kPass2, kDone, kPass3, kDone, "bar:100"}},
        // Exactly 30 changes nothing while the databases are walked.
        {{Db("a", 2048), Db("b", 4096), Db("c", 6000), unusable, unusable, unusable, unusable, unusable, unusable},
         {kPass1, "bar:10", "bar:20", "bar:30", kDone, kPass2, kDone, kPass3, kDone, "bar:100"}},
        // A start offset below zero is skipped after its progress step.
        {{Db("low", 1), Db("ok", 2048)}, {kPass1, "bar:33", kDone, kPass2, "bar:66", kDone, kPass3, kDone, "bar:100"}},
    };
    for (const Case &c : cases) {
        g_seen.clear();
        TheHost().pass_no = 0;
        auto driver = Driver([&](ScriptedParser &p) { p.listing = c.listing; });
        ASSERT_EQ(0, driver->Recover());
        EXPECT_EQ(c.seen, g_seen) << c.listing.size() << " databases";
    }
}

// ----------------------------------------------------------------- which databases are recovered

TEST_F(RecoverDriver, SkipsDatabasesWithoutUsageAboveTheDeviceLimitOrBelowOffsetZero) {
    auto driver = Driver([](ScriptedParser &p) {
        p.listing = {Db("nousage", 2048, -1), Db("above", 5000), Db("negative", -4), Db("low", 1), Db("ok", 2048)};
    });
    parser_->limit = 5000;
    ASSERT_EQ(0, driver->Recover());
    EXPECT_EQ((std::vector<int>{7}), parser_->big_calls) << "only ok is read: (2048*4-8)*1024 >> 20";
    EXPECT_EQ((std::vector<std::string>{"int0.ini", "manifest.json", "ok/", "ok/commit.bat", "ok/commit.sh", "ok/orders.sql"}),
              ListTree(target_.path()));
    EXPECT_EQ(1, parser_->catalogue_reads);
}

TEST_F(RecoverDriver, FormatFifteenSkipsMarkedDatabasesAndMonTables) {
    auto driver = Driver(
        [](ScriptedParser &p) {
            // 0x7FFFFFF0 pages of 4 KiB: the base lies far beyond 4 GiB.
            p.listing = {Db("marked", 2048), Db("kept", 0x7FFFFFF0)};
            p.listing[0].skip = 1;
            p.catalogue.push_back(Obj(103, 'U', "sptvalues"));
            p.catalogue.push_back(Obj(104, 'U', "monitor"));
        },
        DumpFormat::k15);
    parser_->limit = 10; // a format-12 rule only
    ASSERT_EQ(0, driver->Recover());
    EXPECT_EQ((std::vector<int>{static_cast<int>(((0x7FFFFFF0LL * 4 - 8) * 1024) >> 20)}), parser_->big_calls);
    EXPECT_EQ((std::vector<std::string>{"int0.ini", "kept/", "kept/commit.bat", "kept/commit.sh", "kept/orders.sql", "manifest.json"}),
              ListTree(target_.path()));
}

TEST_F(RecoverDriver, StoresTheBlockCountOfTheDetectedBlockSize) {
    auto driver = Driver([](ScriptedParser &p) { p.detected_kb = 8; });
    ASSERT_EQ(0, driver->Recover());
    EXPECT_EQ((64 << 20) / 8192, driver->block_count);
    EXPECT_EQ(driver->block_count, parser_->VRN_bl_count);
}

// ----------------------------------------------------------------- result codes

TEST_F(RecoverDriver, EachStepsFailureEndsTheRecoveryWithItsCode) {
    struct Case {
        const char *step;
        int result;
        int expected;
        std::function<void(ScriptedParser &, int)> set;
    };
    const std::vector<Case> cases = {
        {"Detect", -300, -3, [](ScriptedParser &p, int r) { p.detect_result = r; }},
        {"Detect", -5, -5, [](ScriptedParser &p, int r) { p.detect_result = r; }},
        {"Detect", -2, -2, [](ScriptedParser &p, int r) { p.detect_result = r; }},
        {"Detect", -1000, -1000, [](ScriptedParser &p, int r) { p.detect_result = r; }},
        {"Detect", 7, 0, [](ScriptedParser &p, int r) { p.detect_result = r; }},
        {"listing", -200, 0, [](ScriptedParser &p, int r) { p.list_result = r; }},
        {"listing", -3, -3, [](ScriptedParser &p, int r) { p.list_result = r; }},
        {"listing", -5, -5, [](ScriptedParser &p, int r) { p.list_result = r; }},
        {"listing", -2, -2, [](ScriptedParser &p, int r) { p.list_result = r; }},
        {"listing", -1000, -1000, [](ScriptedParser &p, int r) { p.list_result = r; }},
        {"catalogue", -5, -5, [](ScriptedParser &p, int r) { p.catalogue_result = r; }},
        {"catalogue", -2, -2, [](ScriptedParser &p, int r) { p.catalogue_result = r; }},
        {"catalogue", -3, 0, [](ScriptedParser &p, int r) { p.catalogue_result = r; }},
        {"big", -2, -2, [](ScriptedParser &p, int r) { p.big_result = r; }},
        {"big", -3, 0, [](ScriptedParser &p, int r) { p.big_result = r; }},
        {"details", -2, -2, [](ScriptedParser &p, int r) { p.detail_result = r; }},
        {"details", -1000, -1000, [](ScriptedParser &p, int r) { p.detail_result = r; }},
        {"details", -5, 0, [](ScriptedParser &p, int r) { p.detail_result = r; }},
    };
    for (const Case &c : cases) {
        testsupport::RemoveTree(target_.path());
        platform::createDirectory(target_.path());
        g_seen.clear();
        auto driver = Driver([&](ScriptedParser &p) {
            p.listing = {Db("a", 2048), Db("b", 4096)};
            c.set(p, c.result);
        });
        const int rc = driver->Recover();
        EXPECT_EQ(c.expected, rc) << c.step << " " << c.result;
        if (c.expected != 0) {
            EXPECT_FALSE(platform::exists(target_ / "b")) << c.step << " " << c.result << ": b was written";
            EXPECT_TRUE(std::find(g_seen.begin(), g_seen.end(), "bar:100") == g_seen.end());
        } else {
            EXPECT_TRUE(platform::exists(target_ / "b" + "/commit.bat")) << c.step << " " << c.result;
        }
        if (std::string(c.step) == "listing" && (c.result == -3 || c.result == -5)) {
            EXPECT_EQ(0u, parser_->iSysobj);
        }
        if (std::string(c.step) == "listing" && (c.result == -2 || c.result == -1000)) {
            EXPECT_EQ(0u, driver->database_count) << "released";
        }
        if (std::string(c.step) == "details" && c.expected != 0) {
            const std::string bat = ReadFileText(target_ / "a" + "/commit.bat");
            EXPECT_EQ(std::string::npos, bat.find("isql.exe -S")) << "no script before the details";
            EXPECT_NE(std::string::npos, bat.find("\t:exit\n")) << "the load script ends whole";
        }
    }
    auto throwing = Driver([](ScriptedParser &p) { p.throw_in_detect = true; });
    EXPECT_EQ(-2, throwing->Recover()) << "an exception";
}

TEST_F(RecoverDriver, ACancelFromTheProgressCallbackStopsAtOnce) {
    auto driver = Driver([](ScriptedParser &p) { p.listing = {Db("a", 2048), Db("b", 4096), Db("c", 8192)}; });
    g_on_bar = [this](int percent) {
        if (percent == 50) stop_ = true;
    };
    EXPECT_EQ(-1000, driver->Recover());
    EXPECT_EQ(2u, parser_->big_calls.size()) << "c is never started";
    EXPECT_EQ(kPass2, g_seen.back()) << "the step's pass change, then nothing more";
    EXPECT_FALSE(platform::exists(target_ / "b"));
}

TEST_F(RecoverDriver, ACancelWhileColumnsAreLoggedOpensNoNumberedScript) {
    auto driver = Driver([this](ScriptedParser &p) {
        p.listing = {Db("a", 2048)};
        p.on_catalogue = [this] { stop_ = true; };
        p.catalogue[1].first_block = 9;
        p.columns = {Col(101, 1, "id"), Col(101, 2, "name")};
    });
    EXPECT_EQ(-1000, driver->Recover());
    EXPECT_EQ((std::vector<std::string>{"INCOMPLETE", "a/", "a/commit.bat", "a/commit.sh", "a/orders.sql", "int0.ini", "manifest.json"}),
              ListTree(target_.path()));
}

// ----------------------------------------------------------------- output folders

TEST_F(RecoverDriver, WritesAFolderWithCommitBatPerDatabaseAndTheLastDescription) {
    auto driver = Driver([](ScriptedParser &p) {
        p.listing = {Db("sales", 2048), Db("hr", 4096)};
        p.catalogue.push_back(Obj(103, 'U', "sptvalues"));
        p.catalogue.push_back(Obj(104, 'U', "monitor"));
        p.obj_ids = {101};
    });
    ASSERT_EQ(0, driver->Recover());
    EXPECT_EQ((std::vector<std::string>{"hr/", "hr/commit.bat", "hr/commit.sh", "hr/monitor.sql", "hr/orders.sql", "int0.ini",
                                        "manifest.json", "sales/", "sales/commit.bat", "sales/commit.sh", "sales/monitor.sql", "sales/orders.sql"}),
              ListTree(target_.path()));
    const std::string bat = ReadFileText(target_ / "hr" + "/commit.bat");
    EXPECT_EQ(0u, bat.find("@echo off\n@echo Varnoth\n"));
    EXPECT_NE(std::string::npos, bat.find("-D hr -P %4 -i orders.sql\n"));
    EXPECT_EQ(bat.size() - 7, bat.find("\t:exit\n")) << "the trailer ends the file";
    EXPECT_EQ("orders", platform::readProfileString(target_ / "int0.ini", "table_0", "name", ""));
    EXPECT_EQ((std::vector<std::string>{"GetCol", "GetIndex", "GetFkey", "GetCol", "GetIndex", "GetFkey"}),
              parser_->details);

    auto f15 = Driver([](ScriptedParser &p) { p.listing = {Db("a", 2048)}; }, DumpFormat::k15);
    ASSERT_EQ(0, f15->Recover());
    EXPECT_EQ((std::vector<std::string>{"GetFieldEx", "GetIndexEx", "GetFkeyEx"}), parser_->details);
}

TEST_F(RecoverDriver, ATemplateBesideTheDumpReplacesTheCatalogueAndNamesFoldersByPosition) {
    ASSERT_TRUE(testsupport::WriteFileText(source_ / "int0.ini",
                                           "[Total]\ntab_count=1\ncol_count=1\n"
                                           "[table_0]\nname=t\ntype=85\nid_num=0\n"
                                           "[field_0]\nname=id\ntype=7\nid_num=0\n"));
    auto driver = Driver([](ScriptedParser &p) {
        p.listing = {Db("skipped", 2048, -1), Db("sales", 2048), Db("hr", 4096)};
        p.obj_ids = {101};
    });
    ASSERT_EQ(0, driver->Recover());
    EXPECT_EQ((std::vector<std::string>{"database_1/", "database_1/commit.bat", "database_1/commit.sh", "database_1/t.sql",
                                        "database_2/", "database_2/commit.bat", "database_2/commit.sh", "database_2/t.sql", "manifest.json"}),
              ListTree(target_.path()));
    EXPECT_TRUE(parser_->details.empty()) << "a damaged catalogue is not read at all";
}

// A template that cannot serve ends the recovery as "no catalogue" before
// anything is read or written, and stays as it was.
TEST_F(RecoverDriver, ARefusedTemplateIsNeitherUsedNorReplaced) {
    const std::string absurd = "[Total]\ntab_count=900000\ncol_count=1\n";
    ASSERT_TRUE(testsupport::WriteFileText(source_ / "int0.ini", absurd));
    auto driver = Driver([](ScriptedParser &p) {
        p.listing = {Db("sales", 2048)};
        p.obj_ids = {101};
    });
    ASSERT_EQ(kNoCatalogue, driver->Recover());
    EXPECT_EQ(std::vector<std::string>{}, ListTree(target_.path()));
    EXPECT_TRUE(parser_->details.empty());
    EXPECT_EQ(absurd, ReadFileText(source_ / "int0.ini"));
}
