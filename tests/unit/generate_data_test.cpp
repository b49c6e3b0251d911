// GenerateData over a format-12 parser on a dump in memory: the numbered
// data scripts of each table, their commit.bat lines, tables without data,
// and a cancel while rows are written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/unit/parser_test_support.h"
#include "tests/unit/row_test_support.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNRecover.h"

using namespace rowtest;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;

namespace {

// Hands the dump out like a memory file, and sets the host's cancel flag
// once a given number of reads have been served.
class CancellingFile : public platform::RandomAccessFile {
public:
    CancellingFile(std::unique_ptr<platform::MemoryFile> inner, bool *flag)
        : inner_(std::move(inner)), flag_(flag) {}
    size_t readAt(uint64_t offset, void *buffer, size_t count) override {
        if (cancel_after_ > 0 && ++reads_ >= cancel_after_) *flag_ = true;
        return inner_->readAt(offset, buffer, count);
    }
    uint64_t size() override { return inner_->size(); }
    void CancelAfter(int reads) { cancel_after_ = reads; }

private:
    std::unique_ptr<platform::MemoryFile> inner_;
    bool *flag_;
    int reads_ = 0;
    int cancel_after_ = 0;
};

struct TablePlan {
    int32_t id;
    std::string name;
    int rows;          // rows of (int k, varchar v)
    int per_page;      // rows a page
};

class DataScripts : public ::testing::Test {
protected:
    DataScripts() : db_(dump_.database("master", 1, 0)) {
        saved_flag_ = TheHost().break_flag;
        TheHost().break_flag = &stop_;
    }
    ~DataScripts() override {
        recover_.reset();
        TheHost().break_flag = saved_flag_;
    }

    // A table of two columns, k int and v varchar(20) NULL, with `rows`
    // rows; every row k holds k and "v<k>".
    void Table(const TablePlan &desc) {
        tables_.push_back(desc);
        if (desc.rows < 0) return; // no data chain
        std::vector<Bytes> rows;
        for (int k = 0; k < desc.rows; ++k)
            rows.push_back(Row(static_cast<uint8_t>(k), Le(k, 4), {Text("v" + std::to_string(k))}));
        dumpwriter::ChainOptions o;
        o.firoff = 6;
        o.records_per_page = desc.per_page;
        db_.chain(desc.id, rows, o);
    }

    // The driver over a parser whose catalogue holds the tables; the
    // database folder "db" and its commit.bat header are made as
    // GenerateDll makes them.
    void Open() {
        file_.reset(new CancellingFile(dump_.memory_file(), &stop_));
        auto parser = std::make_unique<VRNParser12>(file_.get(), 2, static_cast<int64_t>(file_->size()), 0);
        parser->VRN_bl_count = static_cast<int32_t>(file_->size() / 2048);
        for (const TablePlan &desc : tables_) {
            SysobjEntry t;
            t.id = desc.id;
            t.type = 'U';
            std::strncpy(t.name, desc.name.c_str(), sizeof t.name - 1);
            const std::vector<int32_t> pages = db_.pages_of(desc.id);
            t.first_block = pages.empty() ? 0 : pages.front();
            t.first_field = static_cast<int32_t>(parser->fields.size());
            parser->pSysobj.push_back(t);
            parser->fields.push_back(Column("k", 7, 0, false, 0, 0, desc.id));
            parser->fields.push_back(Column("v", 2, 20, true, 0, 0, desc.id));
        }
        parser->iSysobj = static_cast<uint32_t>(parser->pSysobj.size());
        parser_ = parser.get();
        recover_.reset(new VRNRecover(std::move(parser), static_cast<int64_t>(file_->size()),
                                      target_.path().c_str(), ""));
        ASSERT_EQ(recover_->outfiles.CreateBatFile("db"), 0);
        ASSERT_EQ(recover_->outfiles.WriteBatText(BatHeader), 0);
    }
    int Generate() {
        const int rc = recover_->GenerateData();
        recover_->outfiles.CloseAll();
        return rc;
    }
    std::string File(const std::string &name) const { return ReadFileText(target_ / ("db/" + name)); }
    std::vector<std::string> Files() const { return ListTree(target_ / "db"); }
    // The commit.bat lines that load scripts: their file names.
    std::vector<std::string> Loaded() const {
        std::vector<std::string> names;
        for (const std::string &line : testsupport::SplitLines(File("commit.bat"))) {
            const size_t at = line.find(" -i ");
            if (line.rfind("%1\\isql.exe", 0) == 0 && at != std::string::npos) names.push_back(line.substr(at + 4));
        }
        return names;
    }
    static size_t Inserts(const std::string &text) {
        size_t n = 0;
        for (size_t at = text.find("INSERT INTO"); at != std::string::npos; at = text.find("INSERT INTO", at + 1)) ++n;
        return n;
    }

    dumpwriter::Dump dump_{2};
    dumpwriter::Database &db_;
    std::vector<TablePlan> tables_;
    std::unique_ptr<CancellingFile> file_;
    VRNParser12 *parser_ = nullptr;
    std::unique_ptr<VRNRecover> recover_;
    TempFolder target_{"generate_data"};
    bool stop_ = false;
    bool *saved_flag_ = nullptr;
};

TEST_F(DataScripts, OnePageOfManyRowsIsOneScript) {
    Table({101, "wide", 150, 0});
    Open();
    ASSERT_EQ(Generate(), 0);
    EXPECT_EQ(Inserts(File("wide_1.sql")), 150u);
    EXPECT_EQ(Loaded(), std::vector<std::string>{"wide_1.sql"});
}

TEST_F(DataScripts, TablesWithoutDataGetNoNumberedScript) {
    Table({101, "empty", -1, 0});
    Table({102, "full", 3, 0});
    Table({103, "lost", -1, 0});
    Open();
    parser_->pSysobj[2].first_block = -7; // never a page to read
    ASSERT_EQ(Generate(), 0);
    EXPECT_EQ(Loaded(), std::vector<std::string>{"full_1.sql"});
    EXPECT_EQ(Files(), (std::vector<std::string>{"commit.bat", "commit.sh", "full_1.sql"}));
}

TEST_F(DataScripts, TablesWithoutColumnsAndOtherObjectsAreSkipped) {
    Table({101, "nocols", 3, 0});
    Table({102, "sptvalues", 3, 0});
    Table({103, "view", 3, 0});
    Open();
    parser_->pSysobj[2].type = 'V';
    for (ColumnEntry &c : parser_->fields)
        if (c.tab_id == 101) c.tab_id = 99; // columns of no table
    std::stable_sort(parser_->fields.begin(), parser_->fields.end(),
                     [](const ColumnEntry &a, const ColumnEntry &b) { return a.tab_id < b.tab_id; });
    ASSERT_EQ(Generate(), 0);
    EXPECT_EQ(Files(), (std::vector<std::string>{"commit.bat", "commit.sh"}));
    // A database without a table to write still gets the trailer.
    EXPECT_NE(File("commit.bat").find("@goto exit\n"), std::string::npos);
}

TEST_F(DataScripts, ColumnsInAnyOrderStillFindTheirTable) {
    Table({101, "a", 2, 0});
    Table({102, "b", 2, 0});
    Open();
    std::reverse(parser_->fields.begin(), parser_->fields.end()); // v, k of b, then of a
    std::swap(parser_->fields[0], parser_->fields[1]);
    std::swap(parser_->fields[2], parser_->fields[3]);
    ASSERT_EQ(Generate(), 0);
    EXPECT_EQ(File("a_1.sql"), "INSERT INTO a(k,v) \n VALUES(0,'v0')\nINSERT INTO a(k,v) \n VALUES(1,'v1')\n\nGO\n");
    EXPECT_EQ(Inserts(File("b_1.sql")), 2u);
}

TEST_F(DataScripts, ACancelWhileRowsAreWrittenStopsTheStep) {
    Table({101, "orders", 250, 30});
    Table({102, "later", 5, 0});
    Open();
    file_->CancelAfter(4); // a few pages into the first table
    EXPECT_EQ(Generate(), -1000);
    const std::vector<std::string> files = Files();
    EXPECT_EQ(std::count(files.begin(), files.end(), "later_1.sql"), 0);
    EXPECT_EQ(File("commit.bat").find("@goto exit"), std::string::npos);
}

TEST_F(DataScripts, ACancelWhileColumnsAreLoggedOpensNoScript) {
    Table({101, "orders", 5, 0});
    Open();
    stop_ = true;
    EXPECT_EQ(Generate(), -1000);
    EXPECT_EQ(Files(), (std::vector<std::string>{"commit.bat", "commit.sh"}));
}

TEST_F(DataScripts, ADataChainThatLoopsEndsTheTableNotTheDatabase) {
    Table({101, "looped", 6, 2});
    Table({102, "after", 2, 0});
    dump_.build();
    const std::vector<int32_t> pages = db_.pages_of(101);
    db_.edit_page(pages[2], [&](dumpwriter::Page &p) { p.next_id = pages[0]; });
    Open();
    ASSERT_EQ(Generate(), 0);
    EXPECT_EQ(Inserts(File("looped_1.sql")), 6u);
    EXPECT_EQ(Inserts(File("after_1.sql")), 2u);
}

} // namespace
