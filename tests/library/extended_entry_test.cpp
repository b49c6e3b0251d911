// The extended entry point through the built library: each option changes
// the output as documented, and the report counts what the dump writer put
// in and what damage took away.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
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
using testsupport::IgnoreDiag;
using testsupport::IgnorePercent;
using testsupport::TempFolder;
using testsupport::TheLibrary;
namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

namespace {

constexpr int kOrders = 250;
constexpr int kItems = 10;

// What the callbacks saw.
struct Seen {
    std::vector<VrnTableReport> tables;
    std::vector<std::string> columns;
    std::vector<std::string> reasons;
    int progress_calls = 0;
    uint64_t last_rows = 0;
};

void VRN_CDECL OnProgress(const VrnProgress *p, uintptr_t user) {
    Seen *seen = reinterpret_cast<Seen *>(user);
    seen->progress_calls += 1;
    seen->last_rows = p->rows_written;
}
void VRN_CDECL OnTable(const VrnTableReport *t, uintptr_t user) {
    Seen *seen = reinterpret_cast<Seen *>(user);
    seen->tables.push_back(*t);
    seen->columns.push_back(t->columns ? t->columns : "");
    seen->reasons.push_back(t->reason ? t->reason : "");
}

void LayOutSales(dumpwriter::Dump &dump) {
    dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    auto &orders = schema.table(101, "orders").column("id", types::kInt).column("note", types::kVarChar, 20, dumpwriter::kNull);
    for (int i = 0; i < kOrders; ++i) orders.row({encode::Int(i), encode::Chars("n" + std::to_string(i))});
    auto &items = schema.table(16000158, "items").column("k", types::kInt);
    for (int i = 0; i < kItems; ++i) items.row({encode::Int(i)});
    schema.add_to(dump.database("sales", 5, 4));
}

class ExtendedEntry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TheLibrary().loaded());
        ASSERT_NE(TheLibrary().file_recover_ex, nullptr);
        TheLibrary().set_break_flag(nullptr);
        dumpwriter::Dump dump(2);
        LayOutSales(dump);
        ASSERT_TRUE(dump.write_file(dump_));
    }
    // Runs with `options` completed by the size, the callbacks and the log.
    int Run(VrnOptions o, VrnReport &report, const std::string &dump = "") {
        o.size = sizeof o;
        o.progress = OnProgress;
        o.table_done = OnTable;
        o.user_data = reinterpret_cast<uintptr_t>(&seen_);
        const std::string log = folder_ / "ex.log";
        o.log_file = log.c_str();
        report = VrnReport();
        report.size = sizeof report;
        return TheLibrary().file_recover_ex((dump.empty() ? dump_ : dump).c_str(), &o, &report);
    }
    std::vector<std::string> Files(const std::string &folder) const {
        std::vector<std::string> files;
        for (const std::string &f : ListTree(folder))
            if (f.back() != '/') files.push_back(f);
        return files;
    }

    TempFolder folder_{"extended"};
    std::string dump_ = folder_ / "sales.dmp";
    std::string out_ = folder_ / "deep/out/put";
    Seen seen_;
};

bool Has(const std::vector<std::string> &files, const std::string &name) {
    return std::find(files.begin(), files.end(), name) != files.end();
}

TEST_F(ExtendedEntry, EachOptionChangesTheOutputAsDocumented) {
    struct Case {
        const char *what;
        std::function<void(VrnOptions &)> set;
        uint64_t rows;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::string out = out_;
    const Case cases[] = {
        {"defaults into an exact folder made with its parents", [](VrnOptions &) {}, kOrders + kItems,
         {"int0.ini", "sales/commit.bat", "sales/commit.sh", "sales/orders.sql", "sales/orders_1.sql", "sales/orders_2.sql",
          "sales/items.sql", "sales/items_1.sql"},
         {}},
        {"table patterns", [](VrnOptions &o) { o.tables = "ORD*\nor?ers"; }, kOrders,
         {"sales/orders.sql", "sales/orders_1.sql"}, {"sales/items.sql", "sales/items_1.sql"}},
        {"database patterns", [](VrnOptions &o) { o.databases = "sal?s"; }, kOrders + kItems,
         {"sales/orders.sql"}, {"master/commit.bat", "master/commit.sh"}},
        {"schema only", [](VrnOptions &o) { o.flags = VRN_SCHEMA_ONLY; }, 0,
         {"sales/orders.sql", "sales/items.sql"}, {"sales/orders_1.sql", "sales/items_1.sql"}},
        {"data only", [](VrnOptions &o) { o.flags = VRN_DATA_ONLY; }, kOrders + kItems,
         {"sales/orders_1.sql", "sales/items_1.sql"}, {"sales/orders.sql", "sales/items.sql"}},
        {"rows per file", [](VrnOptions &o) { o.rows_per_file = 1000; }, kOrders + kItems,
         {"sales/orders_1.sql"}, {"sales/orders_2.sql"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::RemoveTree(JoinPath(folder_.path(), "deep"));
        seen_ = Seen();
        VrnOptions o{};
        o.output_folder = out.c_str();
        c.set(o);
        VrnReport report;
        ASSERT_EQ(Run(o, report), VRN_STATUS_OK) << report.message;
        EXPECT_EQ(std::string(report.output_folder), out);
        EXPECT_EQ(report.rows_written, c.rows);
        EXPECT_EQ(report.lost, 0);
        const std::vector<std::string> files = Files(out);
        for (const std::string &f : c.present) EXPECT_TRUE(Has(files, f)) << f;
        for (const std::string &f : c.absent) EXPECT_FALSE(Has(files, f)) << f;
        EXPECT_GT(seen_.progress_calls, 0);
        EXPECT_EQ(seen_.last_rows, c.rows) << "the last progress has the final count";
    }
}

TEST_F(ExtendedEntry, ListModeWritesNothingAndReportsTablesWithTheirRows) {
    VrnOptions o{};
    o.flags = VRN_LIST_ONLY;
    o.output_folder = out_.c_str();
    VrnReport report;
    ASSERT_EQ(Run(o, report), VRN_STATUS_OK) << report.message;
    EXPECT_EQ(platform::pathKind(JoinPath(folder_.path(), "deep")), platform::PathKind::Missing);
    EXPECT_EQ(std::string(report.output_folder), "");
    std::vector<std::string> listed;
    for (size_t k = 0; k < seen_.tables.size(); ++k) {
        const VrnTableReport &t = seen_.tables[k];
        if (t.kind != VRN_TABLE_ENTRY) continue;
        listed.push_back(std::string(t.database) + "." + t.table + " " + std::to_string(t.rows_written) + " (" +
                         seen_.columns[k] + ")");
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"sales.orders 250 (id int, note varchar(20))", "sales.items 10 (k int)"}));
}

// A template beside the dump switches template mode on (folders named
// database_<i>); off ignores it; a template named by the host is used from
// where it lies.
TEST_F(ExtendedEntry, TemplateModes) {
    VrnOptions first{};
    first.output_folder = out_.c_str();
    VrnReport report;
    ASSERT_EQ(Run(first, report), VRN_STATUS_OK);
    const std::string ini = ReadFileText(JoinPath(out_, "int0.ini"));
    ASSERT_FALSE(ini.empty());

    const std::string elsewhere = folder_ / "kept.ini";
    ASSERT_TRUE(testsupport::WriteFileText(elsewhere, ini));
    const std::string beside = folder_ / "int0.ini";
    struct Case {
        const char *what;
        bool ini_beside;
        int mode;
        const char *file;
        bool template_folder;
    };
    const Case cases[] = {
        {"auto, nothing beside", false, VRN_TEMPLATE_AUTO, nullptr, false},
        {"auto, int0.ini beside", true, VRN_TEMPLATE_AUTO, nullptr, true},
        {"off, int0.ini beside", true, VRN_TEMPLATE_OFF, nullptr, false},
        {"a named file", false, VRN_TEMPLATE_FILE, elsewhere.c_str(), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        platform::deleteFile(beside);
        if (c.ini_beside) {
            ASSERT_TRUE(testsupport::WriteFileText(beside, ini));
        }
        testsupport::RemoveTree(JoinPath(folder_.path(), "deep"));
        VrnOptions o{};
        o.output_folder = out_.c_str();
        o.template_mode = c.mode;
        o.template_file = c.file;
        ASSERT_EQ(Run(o, report), VRN_STATUS_OK) << report.message;
        const std::vector<std::string> files = Files(out_);
        EXPECT_EQ(Has(files, "database_1/orders_1.sql"), c.template_folder);
        EXPECT_EQ(Has(files, "sales/orders_1.sql"), !c.template_folder);
        EXPECT_EQ(report.rows_written, uint64_t(kOrders + kItems));
    }
    platform::deleteFile(beside);

    // Output into the dump's own folder: the description written after the
    // first database is not read back as a template for the next one.
    VrnOptions own{};
    own.output_folder = folder_.path().c_str();
    ASSERT_EQ(Run(own, report), VRN_STATUS_OK) << report.message;
    std::vector<std::string> files = Files(folder_.path());
    EXPECT_TRUE(Has(files, "sales/orders_1.sql"));
    EXPECT_FALSE(Has(files, "database_1/orders_1.sql"));
    EXPECT_EQ(report.rows_written, uint64_t(kOrders + kItems));
    platform::deleteFile(beside);

    // A template that cannot serve is refused before any output is made.
    const std::string no_total = folder_ / "no_total.ini", no_table = folder_ / "no_table.ini";
    ASSERT_TRUE(testsupport::WriteFileText(no_total, "[table_0]\nname=orders\n"));
    ASSERT_TRUE(testsupport::WriteFileText(no_table, "[Total]\ntab_count=0\ncol_count=0\n"));
    const std::string dated = folder_ / "dated";
    ASSERT_TRUE(platform::createDirectory(dated));
    for (const std::string &bad : {folder_ / "missing.ini", folder_.path(), no_total, no_table}) {
        SCOPED_TRACE(bad);
        for (bool exact : {true, false}) {
            VrnOptions o{};
            o.template_mode = VRN_TEMPLATE_FILE;
            o.template_file = bad.c_str();
            o.output_folder = exact ? out_.c_str() : nullptr;
            o.target_directory = dated.c_str();
            testsupport::RemoveTree(JoinPath(folder_.path(), "deep"));
            EXPECT_EQ(Run(o, report), VRN_STATUS_NO_CATALOGUE);
            EXPECT_NE(std::string(report.message).find("the template '" + bad + "'"), std::string::npos)
                << report.message;
            EXPECT_EQ(platform::pathKind(out_), platform::PathKind::Missing);
            EXPECT_EQ(ListTree(dated), std::vector<std::string>{});
        }
    }
    // The entry point of the specified interface: the same refusal, as -3.
    ASSERT_TRUE(testsupport::WriteFileText(beside, "[table_0]\nname=orders\n"));
    EXPECT_EQ(TheLibrary().file_recover(dump_.c_str(), dated.c_str(), 0, IgnoreDiag, IgnorePercent, 0, ""),
              VRN_RESULT_NO_CATALOGUE);
    EXPECT_EQ(ListTree(dated), std::vector<std::string>{});
    platform::deleteFile(beside);
}

// A dump cut inside the data names its losses; a whole one loses nothing.
TEST_F(ExtendedEntry, ReportNamesTheLossesOfADamagedDump) {
    dumpwriter::Dump dump(2);
        LayOutSales(dump);
    const uint64_t whole = dump.size();
    dump.cut(whole - 2 * 2048);
    const std::string cut = folder_ / "cut.dmp";
    ASSERT_TRUE(dump.write_file(cut));
    VrnOptions o{};
    o.output_folder = out_.c_str();
    VrnReport report;
    EXPECT_EQ(Run(o, report, cut), VRN_STATUS_LOSSES) << report.message;
    EXPECT_EQ(report.lost, 1);
    EXPECT_LT(report.rows_written, uint64_t(kOrders + kItems));
    EXPECT_GT(report.chains_broken + report.pages_unreadable, 0u);
    uint64_t summed = 0;
    for (const VrnTableReport &t : seen_.tables) {
        if (t.kind == VRN_TABLE_ENTRY) summed += t.rows_written;
    }
    EXPECT_EQ(summed, report.rows_written) << "the tables add up to the totals";

    // Databases whose usage records place them on the pages of sales: the
    // rows of sales come back once, the clones are lost and named.
    dumpwriter::Dump clones(2);
    LayOutSales(clones);
    for (int16_t k = 1; k <= 3; ++k) {
        clones.listed(static_cast<int16_t>(100 + k), "clone_" + std::to_string(k));
        clones.usage(static_cast<int16_t>(100 + k), 512, clones.databases()[1]->start_page(2) + k);
    }
    const std::string cloned = folder_ / "clones.dmp";
    ASSERT_TRUE(clones.write_file(cloned));
    testsupport::RemoveTree(JoinPath(folder_.path(), "deep"));
    seen_ = Seen();
    EXPECT_EQ(Run(o, report, cloned), VRN_STATUS_LOSSES) << report.message;
    EXPECT_EQ(report.databases, 2u);
    EXPECT_EQ(report.databases_lost, 3u);
    EXPECT_EQ(report.rows_written, uint64_t(kOrders + kItems));
    std::vector<std::string> lost;
    for (size_t k = 0; k < seen_.tables.size(); ++k)
        if (seen_.tables[k].kind == VRN_LOST_DATABASE_ENTRY)
            lost.push_back(std::string(seen_.tables[k].database) + ": " + seen_.reasons[k]);
    const std::string why = ": its usage records place it on the pages of database sales, recovered already";
    EXPECT_EQ(lost, (std::vector<std::string>{"clone_1" + why, "clone_2" + why, "clone_3" + why}));
    for (const char *folder : {"clone_1", "clone_2", "clone_3"})
        EXPECT_FALSE(platform::exists(JoinPath(out_, folder))) << folder;
}

TEST_F(ExtendedEntry, ValuesWithoutALiteralAreCountedAndNeverNullInANotNullColumn) {
    // A NaN, infinities and times of a day or more have no literal that
    // loads them back: each is written as its column allows (NULL only where
    // the table script allows it) and counted as changed, per table and in
    // the totals. A backslash before a line break is kept by closing the
    // literal after it; the rest of the row is written as stored.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const int32_t day = 25920000; // ticks of one day
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    schema.table(101, "readings")
        .column("id", types::kInt)
        .column("f", types::kFloat)
        .column("dt", types::kDateTime)
        .column("fn", types::kFloat, 0, dumpwriter::kNull)
        .column("atn", types::kDateTime, 0, dumpwriter::kNull)
        .column("note", types::kVarChar, 20, dumpwriter::kNull)
        .row({encode::Int(1), encode::Float(nan), encode::DateTime(36524, day), encode::Float(inf),
              encode::DateTime(36524, 0x7fffffff), encode::Chars("C:\\dir\\\nnext")})
        .row({encode::Int(2), encode::Float(-inf), encode::DateTime(36524, 300), encode::Float(nan),
              encode::DateTime(36524, 300), encode::Chars("plain")});
    schema.table(102, "calm").column("x", types::kFloat).row({encode::Float(0.5)});
    schema.add_to(dump.database("sales", 5, 4));
    const std::string path = folder_ / "values.dmp";
    ASSERT_TRUE(dump.write_file(path));

    VrnOptions o{};
    o.output_folder = out_.c_str();
    VrnReport report;
    EXPECT_EQ(Run(o, report, path), VRN_STATUS_LOSSES) << report.message;
    EXPECT_EQ(report.lost, 1);
    EXPECT_EQ(report.rows_written, 3u);
    EXPECT_EQ(report.values_changed, 6u);
    EXPECT_EQ(report.values_null, 0u);
    std::map<std::string, uint64_t> changed;
    for (const VrnTableReport &t : seen_.tables)
        if (t.kind == VRN_TABLE_ENTRY) changed[t.table] = t.values_changed;
    EXPECT_EQ(changed, (std::map<std::string, uint64_t>{{"calm", 0}, {"readings", 6}}));
    EXPECT_EQ(ReadFileText(JoinPath(out_, "sales/readings_1.sql")),
              "set dateformat mdy\nGO\n"
              "INSERT INTO readings(id,f,dt,fn,atn,note) \n VALUES(1,0,'1/1/2000 23:59:59.997',"
              "1.7976931348623157e+308,NULL,'C:\\dir\\'+'\nnext')\n"
              "INSERT INTO readings(id,f,dt,fn,atn,note) \n VALUES(2,-1.7976931348623157e+308,'1/1/2000 0:0:1',"
              "NULL,'1/1/2000 0:0:1','plain')\n\nGO\n");
}

TEST_F(ExtendedEntry, UnreadableDumpsAndBadOptionsAreNamed) {
    dumpwriter::Dump dump(2);
        LayOutSales(dump);
    dumpwriter::Bytes bytes = dump.bytes();
    // Byte-swapped page ids: every page header's id read big-endian.
    dumpwriter::Bytes swapped = bytes;
    for (uint64_t at = 8192; at + 4 <= swapped.size(); at += 2048) std::reverse(swapped.begin() + at, swapped.begin() + at + 4);
    const std::string big = folder_ / "big.dmp";
    {
        platform::File f = platform::File::createAlways(big);
        ASSERT_TRUE(f.isOpen());
        f.write(swapped.data(), swapped.size());
    }
    const std::string gz = folder_ / "sales.dmp.gz";
#if !defined(_WIN32)
    const bool have_gzip = std::system(("gzip -c '" + dump_ + "' > '" + gz + "'").c_str()) == 0;
#else
    const bool have_gzip = false;
#endif
    VrnReport report;
    VrnOptions o{};
    o.output_folder = out_.c_str();
    EXPECT_EQ(Run(o, report, big), VRN_STATUS_BIG_ENDIAN);
    EXPECT_NE(std::string(report.message).find("big-endian"), std::string::npos);
    if (have_gzip) {
        EXPECT_EQ(Run(o, report, gz), VRN_STATUS_COMPRESSED);
        EXPECT_NE(std::string(report.message).find("decompress it first"), std::string::npos);
    }
    EXPECT_EQ(Run(o, report, folder_ / "missing.dmp"), VRN_STATUS_NO_SOURCE);
    EXPECT_NE(std::string(report.message).find("missing.dmp"), std::string::npos);
    o.flags = VRN_SCHEMA_ONLY | VRN_DATA_ONLY;
    EXPECT_EQ(Run(o, report), VRN_STATUS_BAD_OPTIONS);
    EXPECT_EQ(TheLibrary().file_recover_ex(dump_.c_str(), nullptr, &report), VRN_STATUS_BAD_OPTIONS);
    // A character set nobody knows, a stream the format cannot be, a thread
    // count below 0 or above 64: refused before anything is written.
    struct Refused {
        uint32_t flags;
        int32_t format;
        const char *charset, *databases;
        int32_t threads;
    };
    for (const Refused &r : {Refused{0, VRN_FORMAT_POSTGRES, "klingon", nullptr, 0},
                             Refused{VRN_STANDARD_OUTPUT, VRN_FORMAT_TSQL, nullptr, nullptr, 0},
                             Refused{VRN_STANDARD_OUTPUT, VRN_FORMAT_CSV, nullptr, nullptr, 0},
                             Refused{VRN_STANDARD_OUTPUT, VRN_FORMAT_SQLITE, nullptr, nullptr, 0},
                             Refused{0, VRN_FORMAT_TSQL, nullptr, nullptr, -1},
                             Refused{0, VRN_FORMAT_TSQL, nullptr, nullptr, 65}}) {
        VrnOptions bad{};
        bad.output_folder = out_.c_str();
        bad.flags = r.flags;
        bad.output_format = r.format;
        bad.charset = r.charset;
        bad.databases = r.databases;
        bad.threads = r.threads;
        EXPECT_EQ(Run(bad, report), VRN_STATUS_BAD_OPTIONS) << r.format << " " << r.threads;
        EXPECT_EQ(platform::pathKind(out_), platform::PathKind::Missing);
    }
}

} // namespace
