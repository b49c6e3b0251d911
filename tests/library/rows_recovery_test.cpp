// Table rows recovered through the built library, loaded as a host loads
// it: a dump with typed tables and rows goes in, the numbered data scripts
// come out.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_chain.h"
#include "vrndll.h"

using dumpwriter::kNull;
using dumpwriter::kNullValue;
using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;
using testsupport::TheLibrary;
namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

namespace {

class RowsRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TheLibrary().loaded());
        ASSERT_TRUE(platform::createDirectory(target_));
        stop_ = false;
        TheLibrary().set_break_flag(&stop_);
        dump_.database("master", 1, 0);
    }
    void TearDown() override { TheLibrary().set_break_flag(nullptr); }

    // The user database "sales" with the schema laid out in it.
    dumpwriter::Database &Sales() {
        if (!sales_) sales_ = &dump_.database("sales", 5, 4);
        return *sales_;
    }
    // Lays the schema out in "sales" (once).
    void LayOut() {
        if (laid_out_) return;
        schema_.add_to(Sales());
        laid_out_ = true;
    }
    int Run() {
        LayOut();
        return testsupport::RecoverAsHost(dump_, outer_.path()).rc;
    }
    std::string Root() const { return testsupport::OutputFolder(target_); }
    std::string Script(const std::string &name) const { return ReadFileText(JoinPath(Root(), "sales/" + name)); }
    std::vector<std::string> SalesFiles() const { return ListTree(JoinPath(Root(), "sales")); }
    // Script names in the order commit.bat loads them.
    std::vector<std::string> Loaded() const {
        std::vector<std::string> names;
        for (const std::string &line : testsupport::SplitLines(Script("commit.bat"))) {
            const size_t at = line.find(" -i ");
            if (at != std::string::npos && line.rfind("%1", 0) == 0) names.push_back(line.substr(at + 4));
        }
        return names;
    }
    static size_t Inserts(const std::string &text) { return testsupport::Occurrences(text, "INSERT INTO"); }

    TempFolder outer_{"rows_recovery"};
    std::string target_ = outer_ / "target";
    dumpwriter::Dump dump_{2};
    dumpwriter::Database *sales_ = nullptr;
    dumpwriter::Schema schema_;
    bool laid_out_ = false;
    bool stop_ = false;
};

// ================================================================== values

TEST_F(RowsRecovery, EveryFixedTypeComesBackFromTheFixedArea) {
    schema_.table(101, "alltypes")
        .column("ti", types::kTinyInt)
        .column("si", types::kSmallInt)
        .column("i", types::kInt)
        .column("f", types::kFloat)
        .column("r", types::kReal)
        .column("m", types::kMoney)
        .column("sm", types::kSmallMoney)
        .column("dt", types::kDateTime)
        .column("sdt", types::kSmallDateTime)
        .column("b", types::kBit)
        .column("c", types::kChar, 5)
        .column("nc", types::kNChar, 3)
        .column("bin", types::kBinary, 4)
        .numeric("n", types::kNumeric, 5, 2)
        .numeric("d", types::kDecimal, 10, 2)
        .column("sn", types::kSysname, 6)
        .row({encode::TinyInt(255), encode::SmallInt(-300), encode::Int(2147483647), encode::Float(0.1),
              encode::Real(1.5f), encode::Money(-25000), encode::SmallMoney(70000),
              encode::DateTime(36525, 300 * 3661 + 150), encode::SmallDateTime(36525, 61), encode::Bit(true),
              encode::Chars("it's"), encode::Chars("abc"), dumpwriter::Bytes{0x0a, 0x00, 0xff},
              encode::Numeric(-1234, 4), encode::Numeric(1250, 6), encode::Chars("master")});
    ASSERT_EQ(VRN_RESULT_OK, Run());
    EXPECT_EQ(Script("alltypes_1.sql"),
              "set dateformat mdy\nGO\n"
              "INSERT INTO alltypes(ti,si,i,f,r,m,sm,dt,sdt,b,c,nc,bin,n,d,sn) \n VALUES(255,-300,2147483647,0.1,"
              "1.5,-2.5000,7.0000,'1/2/2000 1:1:1.500','1/2/2000 1:1:0.0',1,'it''s ','abc',0x0a00ff,-12.34,12.50,"
              "'master')\n\nGO\n");
}

TEST_F(RowsRecovery, ColumnsLongerThan127BytesKeepTheColumnsAfterThemInPlace) {
    // At the default column layout the declared length is one byte: char(200)
    // fills 200 bytes of the fixed area, and the int after it follows them.
    schema_.table(101, "wide")
        .column("c", types::kChar, 200)
        .column("i", types::kInt)
        .column("v", types::kVarChar, 255, kNull)
        .row({encode::Chars("z"), encode::Int(7), encode::Chars("v")});
    ASSERT_EQ(VRN_RESULT_OK, Run());
    EXPECT_EQ(Script("wide.sql"), "CREATE TABLE wide(\nc  char(200) NOT NULL, \ni  int NOT NULL, \nv  varchar(255) NULL)\n\nGO\n");
    EXPECT_EQ(Script("wide_1.sql"),
              "INSERT INTO wide(c,i,v) \n VALUES('z" + std::string(199, ' ') + "',7,'v')\n\nGO\n");
}

TEST_F(RowsRecovery, EveryNullableTypeComesBackFromTheVariableArea) {
    schema_.table(101, "loose")
        .column("k", types::kInt)
        .column("vc", types::kVarChar, 20, kNull)
        .column("vb", types::kVarBinary, 8, kNull)
        .column("nvc", types::kNVarChar, 20, kNull)
        .column("c", types::kChar, 10, kNull)
        .column("si", types::kSmallInt, 0, kNull)
        .column("f", types::kFloat, 0, kNull)
        .column("sm", types::kSmallMoney, 0, kNull)
        .numeric("n", types::kNumeric, 9, 3, kNull)
        .column("dt", types::kDateTime, 0, kNull)
        .column("sdt", types::kSmallDateTime, 0, kNull)
        .column("bin", types::kBinary, 6, kNull)
        .row({encode::Int(1), encode::Chars("a 'quote'"), dumpwriter::Bytes{0xde, 0xad, 0x00},
              encode::Chars("n"), encode::Chars("ab"), encode::SmallInt(-2), encode::Float(-2.5),
              encode::SmallMoney(-5000), encode::Numeric(5, 5), encode::DateTime(0, 1),
              encode::SmallDateTime(59, 1439), dumpwriter::Bytes{1, 0, 0}})
        .row({encode::Int(2), kNullValue, encode::Chars("x"), kNullValue, kNullValue, kNullValue, kNullValue,
              kNullValue, kNullValue, kNullValue, kNullValue, encode::Chars("z")})
        .row({encode::Int(3), kNullValue, kNullValue, kNullValue, kNullValue, kNullValue, kNullValue,
              kNullValue, kNullValue, kNullValue, kNullValue, kNullValue});
    ASSERT_EQ(VRN_RESULT_OK, Run());
    EXPECT_EQ(Script("loose_1.sql"),
              "set dateformat mdy\nGO\n"
              "INSERT INTO loose(k,vc,vb,nvc,c,si,f,sm,n,dt,sdt,bin) \n VALUES(1,'a ''quote''',0xdead00,'n','ab',"
              "-2,-2.5,-0.5000,0.005,'1/1/1900 0:0:0.003','3/1/1900 23:59:0.0',0x010000)\n"
              "INSERT INTO loose(k,vb,bin) \n VALUES(2,0x78,0x7a)\n"
              "INSERT INTO loose(k) \n VALUES(3)\n\nGO\n");
}

// ================================================================== text and image

TEST_F(RowsRecovery, TextAndImageChainsAcrossPagesLeaveTheRowsAfterThemWhole) {
    std::string story;
    for (int k = 0; k < 1500; ++k) story += static_cast<char>('a' + k % 26);
    dumpwriter::Bytes picture;
    for (int k = 0; k < 3000; ++k) picture.push_back(static_cast<uint8_t>(k));
    dumpwriter::TextChain(Sales(), 101, 400, dumpwriter::ToBytes(story), 1000);  // pages 400, 401
    dumpwriter::TextChain(Sales(), 101, 410, picture, 2000);                     // pages 410, 411
    schema_.table(101, "docs")
        .column("k", types::kInt)
        .column("body", types::kText, 16, kNull)
        .column("pic", types::kImage, 16, kNull)
        .row({encode::Int(1), encode::TextPointer(400), encode::TextPointer(410)})
        .row({encode::Int(2), kNullValue, kNullValue})
        .row({encode::Int(3), encode::TextPointer(400), kNullValue});
    ASSERT_EQ(VRN_RESULT_OK, Run());
    std::string hex;
    for (uint8_t b : picture) {
        const char digits[] = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    EXPECT_EQ(Script("docs_1.sql"), "INSERT INTO docs(k,body,pic) \n VALUES(1,'" + story + "',0x" + hex + ")\n" +
                                        "INSERT INTO docs(k) \n VALUES(2)\n" +
                                        "INSERT INTO docs(k,body) \n VALUES(3,NULL)\n\nGO\n");
}

// manifest.json parsed back (by python3's json): every table's count of
// values written as NULL or changed, the list of them with their data page
// and row, capped at 1000 with the rest counted, whatever bytes the names
// hold.
std::string ManifestSummary(const std::string &manifest, const std::string &scratch) {
    const std::string script = scratch + "/summary.py", out = scratch + "/summary.txt";
    testsupport::WriteFileText(script,
                               "import json, sys\n"
                               "m = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                               "print('complete' if m['complete'] else 'stopped')\n"
                               "for d in m['databases']:\n"
                               "  for t in d['tables']:\n"
                               "    v = t['lost_values']\n"
                               "    print(d['name'], ascii(t['name']), t['rows_written'], t['values_null'],\n"
                               "          t['values_changed'], len(v), t['lost_values_not_listed'],\n"
                               "          v[0]['page'] if v else 0, v[0]['row'] if v else 0,\n"
                               "          v[-1]['written'] if v else '-', len(t['files']))\n");
    if (std::system(("python3 '" + script + "' '" + manifest + "' > '" + out + "' 2>&1").c_str()) != 0)
        return "unparsed: " + ReadFileText(out);
    return ReadFileText(out);
}

TEST_F(RowsRecovery, TheManifestListsEveryLostValueWhateverTheNamesHold) {
    if (std::system("python3 -c '' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is not installed";
    struct Case {
        const char *what;
        int32_t id;
        std::string table;      // as the dump holds it
        std::string table_seen; // python's ascii() of the parsed name
        int rows;
        int32_t pointer;      // first page every row's text names
        std::string expected; // rows, NULL, changed, listed, unlisted
        const char *written;  // what the last listed value was written as
        int files;            // the table script and the data scripts
    };
    constexpr int32_t kOutside = 0x7fffff00;
    const std::vector<Case> cases = {
        {"chains outside the dump", 101, "t\x01q\"\\\xff\xc3(", "'t\\x01q\"\\\\\\xff\\xc3('", 1005, kOutside,
         "1005 1005 0 1000 5", "NULL", 8},
        {"a chain read in part", 102, "notes", "'notes'", 1, 3000, "1 0 1 1 0", "changed", 2},
    };
    dumpwriter::TextChain(Sales(), 102, 3000, dumpwriter::ToBytes("abcdef"), 3); // pages 3000, 3001
    Sales().edit_page(3000, [&](dumpwriter::Page &p) { p.next_id = kOutside; });
    for (const Case &c : cases) {
        dumpwriter::Table &t =
            schema_.table(c.id, c.table).column("k", types::kInt).column("body", types::kText, 16, kNull);
        for (int k = 0; k < c.rows; ++k) t.row({encode::Int(k), encode::TextPointer(c.pointer)});
    }
    ASSERT_EQ(VRN_RESULT_OK, Run());
    // The text pages (from 3000) are the table's too; its data pages lie below.
    const auto FirstDataPage = [&](int32_t id) {
        const std::vector<int32_t> pages = Sales().pages_of(id);
        return *std::min_element(pages.begin(), pages.end());
    };
    TempFolder scratch("manifest_summary");
    std::string expected = "complete\n";
    for (const Case &c : cases)
        expected += "sales " + c.table_seen + " " + c.expected + " " +
                    std::to_string(FirstDataPage(c.id)) + " 0 " + c.written + " " + std::to_string(c.files) + "\n";
    EXPECT_EQ(ManifestSummary(JoinPath(Root(), "manifest.json"), scratch.path()), expected);
}

// The same account in every output format: the values a chain could not
// give are counted and listed with their data page and row, whoever writes
// the rows.
TEST_F(RowsRecovery, EveryFormatListsTheLostValuesAlike) {
    if (std::system("python3 -c '' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is not installed";
    constexpr int32_t kOutside = 0x7fffff00;
    dumpwriter::TextChain(Sales(), 102, 3000, dumpwriter::ToBytes("abcdef"), 3); // pages 3000, 3001
    Sales().edit_page(3000, [&](dumpwriter::Page &p) { p.next_id = kOutside; });
    dumpwriter::Table &lost = schema_.table(101, "lost").column("k", types::kInt).column("body", types::kText, 16, kNull);
    for (int k = 0; k < 3; ++k) lost.row({encode::Int(k), encode::TextPointer(kOutside)});
    schema_.table(102, "notes").column("k", types::kInt).column("body", types::kText, 16, kNull)
        .row({encode::Int(1), encode::TextPointer(3000)});
    LayOut();
    const std::string dump_path = outer_ / "formats.dmp";
    ASSERT_TRUE(dump_.write_file(dump_path));
    const auto FirstDataPage = [&](int32_t id) {
        const std::vector<int32_t> pages = Sales().pages_of(id);
        return std::to_string(*std::min_element(pages.begin(), pages.end()));
    };
    struct Case {
        const char *what;
        int32_t format;
        int lost_files, notes_files; // the files the manifest names per table
    };
    const std::vector<Case> cases = {
        {"T-SQL", VRN_FORMAT_TSQL, 2, 2},
        {"PostgreSQL", VRN_FORMAT_POSTGRES, 0, 0},
        {"SQLite", VRN_FORMAT_SQLITE, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = outer_ / (std::string("out_") + c.what);
        ASSERT_TRUE(platform::createDirectoryWithParents(out));
        VrnOptions options = VrnOptions();
        options.output_format = c.format;
        VrnReport report;
        ASSERT_EQ(testsupport::RecoverWithOptions(dump_path, out, options, report), VRN_STATUS_LOSSES);
        TempFolder scratch("manifest_formats");
        EXPECT_EQ(ManifestSummary(JoinPath(out, "manifest.json"), scratch.path()),
                  "complete\n"
                  "sales 'lost' 3 3 0 3 0 " + FirstDataPage(101) + " 0 NULL " + std::to_string(c.lost_files) + "\n"
                  "sales 'notes' 1 0 1 1 0 " + FirstDataPage(102) + " 0 changed " + std::to_string(c.notes_files) + "\n");
    }
}

// Rows on many pages whose pointers all name one long chain of NUL bytes
// (each written as 11 characters): the chain's pages are read for the first
// value only, the rest are NULL, and the output stays near the size of that
// one value instead of growing with every row.
TEST_F(RowsRecovery, RowsThatAllNameOneChainCostItsPagesOnce) {
    constexpr int kRows = 600;
    constexpr size_t kChainBytes = 100 * 1900;
    dumpwriter::TextChain(Sales(), 101, 400, dumpwriter::Bytes(kChainBytes, 0), 1900); // pages 400 .. 499
    dumpwriter::Table &t =
        schema_.table(101, "docs").column("k", types::kInt).column("body", types::kText, 16, kNull).rows_per_page(40);
    for (int k = 0; k < kRows; ++k) t.row({encode::Int(k), encode::TextPointer(400)});
    ASSERT_EQ(VRN_RESULT_OK, Run());
    uint64_t output = 0;
    std::string rows;
    for (const std::string &name : SalesFiles()) {
        const std::string text = Script(name);
        output += text.size();
        if (name.rfind("docs_", 0) == 0) rows += text;
    }
    const auto occurrences = [&rows](const std::string &what) {
        size_t n = 0;
        for (size_t at = rows.find(what); at != std::string::npos; at = rows.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(Inserts(rows), static_cast<size_t>(kRows));
    EXPECT_EQ(occurrences("char(0)"), kChainBytes);
    EXPECT_EQ(occurrences(",NULL)"), static_cast<size_t>(kRows - 1));
    EXPECT_LT(output, 11 * kChainBytes + 100u * kRows);
}

// ================================================================== scripts

TEST_F(RowsRecovery, ATableOfManyPagesIsSplitIntoNumberedScripts) {
    dumpwriter::Table &t = schema_.table(101, "orders")
                               .column("id", types::kInt)
                               .column("note", types::kVarChar, 20, kNull)
                               .rows_per_page(30);
    for (int k = 0; k < 250; ++k) t.row({encode::Int(k), encode::Chars("n" + std::to_string(k))});
    schema_.table(102, "nothing").column("id", types::kInt);
    ASSERT_EQ(VRN_RESULT_OK, Run());
    EXPECT_EQ(Inserts(Script("orders_1.sql")), 120u);
    EXPECT_EQ(Inserts(Script("orders_2.sql")), 120u);
    EXPECT_EQ(Inserts(Script("orders_3.sql")), 10u);
    EXPECT_EQ(SalesFiles(), (std::vector<std::string>{"commit.bat", "commit.sh", "nothing.sql", "orders.sql", "orders_1.sql",
                                                      "orders_2.sql", "orders_3.sql"}));
    const std::vector<std::string> loaded = Loaded();
    ASSERT_GE(loaded.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(loaded.end() - 3, loaded.end()),
              (std::vector<std::string>{"orders_1.sql", "orders_2.sql", "orders_3.sql"}));
    EXPECT_NE(Script("orders_2.sql").find("VALUES(120,'n120')"), std::string::npos);
}

TEST_F(RowsRecovery, ACancelWhileRowsAreWrittenEndsTheRecoveryAsAFailure) {
    dumpwriter::Table &t = schema_.table(101, "big")
                               .column("id", types::kInt)
                               .column("note", types::kVarChar, 20, kNull)
                               .rows_per_page(50);
    for (int k = 0; k < 60000; ++k) t.row({encode::Int(k), encode::Chars("row " + std::to_string(k))});
    schema_.table(102, "later").column("id", types::kInt).row({encode::Int(1)});

    // The host presses cancel once the first numbered script exists.
    std::atomic<bool> done{false};
    std::thread host([&] {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!done && std::chrono::steady_clock::now() < give_up) {
            const std::string root = Root();
            if (!root.empty() && platform::exists(JoinPath(root, "sales/big_1.sql"))) {
                stop_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const int rc = Run();
    done = true;
    host.join();
    if (!stop_ || rc == VRN_RESULT_OK) GTEST_SKIP() << "the recovery ended before the cancel arrived";
    EXPECT_EQ(VRN_RESULT_FAILED, rc);
    EXPECT_FALSE(platform::exists(JoinPath(Root(), "sales/later_1.sql")));
    // The load scripts end whole, and INCOMPLETE names what was not reached.
    EXPECT_NE(Script("commit.bat").find("@goto exit"), std::string::npos);
    const std::string incomplete = ReadFileText(JoinPath(Root(), "INCOMPLETE"));
    EXPECT_NE(incomplete.find("cancelled"), std::string::npos) << incomplete;
    EXPECT_NE(incomplete.find("  later\n"), std::string::npos) << incomplete;
    // The manifest says so, and accounts for what was written before the stop.
    const std::string manifest = ReadFileText(JoinPath(Root(), "manifest.json"));
    EXPECT_NE(manifest.find("\"complete\": false"), std::string::npos) << manifest.substr(0, 300);
    EXPECT_NE(manifest.find("\"name\": \"big\""), std::string::npos) << manifest.substr(0, 300);
}

// A file-size limit, as a full disk: the data script whose write fails is cut
// back to the end of its last whole batch, and the recovery ends with -5
// and a log entry naming the file. Run in a child process, which alone gets
// the limit.
class FullDiskDeathTest : public RowsRecovery {};

TEST_F(FullDiskDeathTest, AFailedWriteLeavesTheScriptEndingWithAWholeBatch) {
    if (!platform::limitFileSize(UINT64_MAX)) GTEST_SKIP() << "no file-size limit on this system";
    constexpr uint64_t kLimit = 16 * 1024;
    dumpwriter::Table &t = schema_.table(101, "docs").column("k", types::kInt).column("note", types::kVarChar, 200);
    for (int k = 0; k < 2000; ++k) t.row({encode::Int(k), encode::Chars(std::string(190, 'a' + k % 26))});
    LayOut();
    const std::string path = outer_ / "sample.dmp";
    ASSERT_TRUE(dump_.write_file(path));
    const std::string log = outer_ / "recovery.log";
#if GTEST_HAS_DEATH_TEST
    EXPECT_EXIT(
        {
            platform::ignoreFileSizeSignal();
            platform::limitFileSize(kLimit);
            std::_Exit(-TheLibrary().file_recover(path.c_str(), target_.c_str(), 0, testsupport::IgnoreDiag, testsupport::IgnorePercent, 0, log.c_str()));
        },
        ::testing::ExitedWithCode(-VRN_RESULT_NO_SOURCE), "");
#else
    GTEST_SKIP() << "no child processes for tests here";
#endif
    std::vector<std::string> scripts;
    for (const std::string &name : SalesFiles())
        if (name.rfind("docs_", 0) == 0) scripts.push_back(name);
    ASSERT_FALSE(scripts.empty());
    const std::string last = Script(scripts.back());
    EXPECT_GT(last.size(), 0u);
    EXPECT_LE(last.size(), kLimit);
    EXPECT_EQ(last.substr(last.size() - 4), "\nGO\n");
    EXPECT_NE(ReadFileText(log).find(scripts.back()), std::string::npos);
}

} // namespace
