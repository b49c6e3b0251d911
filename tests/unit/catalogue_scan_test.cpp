// The format-12 catalogue scan: objects, first pages, databases, usage and
// device records, moving to each database, and what damaged pages do.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/unit/parser_test_support.h"

using dumpwriter::Bytes;
using dumpwriter::Dump;
using dumpwriter::Page;
using parsertest::CancelFlag;
using parsertest::Parsed;
using parsertest::TimeBound;

namespace {

Bytes Rows(int n, uint8_t fill) { return Bytes(static_cast<size_t>(n), fill); }

void SetInt16(Bytes &b, size_t at, int16_t v) {
    b[at] = static_cast<uint8_t>(v & 0xff);
    b[at + 1] = static_cast<uint8_t>((static_cast<uint16_t>(v) >> 8) & 0xff);
}

// Names of the catalogue entries in order.
std::vector<std::string> Names(const VRNParser &p) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < p.iSysobj; ++i) out.push_back(p.pSysobj[i].name);
    return out;
}

std::vector<std::string> DatabaseNames(const std::vector<DatabaseEntry> &list) {
    std::vector<std::string> out;
    for (const auto &e : list) out.push_back(e.name);
    return out;
}

// What the driver does once the databases are listed: find the usage
// records of each, from the master database. Returns the usable count.
int LocateAll(Parsed<> &p) {
    int found = 0;
    for (auto &entry : p.databases) {
        entry.usage_size = -1;
        found += p->FindDatabaseUsage(entry);
    }
    return found;
}

// What the driver does for one database: move the base to it and rebuild
// the catalogue there.
int MoveTo(Parsed<> &p, const DatabaseEntry &entry) {
    const int64_t offset = (static_cast<int64_t>(entry.start_page) * p->bl.kb - 8) * 1024;
    int base_mb = static_cast<int>(offset >> 20);
    const int rc = p->big(&base_mb);
    if (rc != 0) return rc;
    uint32_t count = 1;
    return p->Prepare(nullptr, &count);
}

// A master database with only user objects (no system entries), so the
// records of page 1 are exactly the ones a test declares; a chain of object
// 500 lets detection find the block size whatever the test does to the
// catalogue.
dumpwriter::Database &PlainMaster(Dump &d) {
    d.without_master_device();
    dumpwriter::ChainOptions one_per_page;
    one_per_page.records_per_page = 1;
    return d.database("master", 1, 0).without_system_entries().chain(500, {Rows(8, 1), Rows(8, 1)},
                                                                     one_per_page);
}

} // namespace

// ------------------------------------------------------------------ objects and first pages

TEST(CatalogueScan, ListsObjectsAndTheFirstPageOfEach) {
    Dump d(4);
    auto &db = d.database("master", 1, 0);
    db.table(101, "orders").object(140, 'V', "open_orders").table(102, "empty_table");
    db.chain(101, {Rows(40, 1), Rows(40, 2)});
    db.chain(140, {Rows(10, 3)});
    d.build();
    Parsed<> p(d);
    ASSERT_EQ(p.List(), 0);

    EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"sysobjects", "sysdatabases", "sysusages",
                                                          "sysdevices", "orders", "open_orders",
                                                          "empty_table"}));
    const SysobjEntry *orders = p.Object("orders");
    ASSERT_NE(orders, nullptr);
    EXPECT_EQ(orders->id, 101);
    EXPECT_EQ(orders->type, 'U');
    EXPECT_EQ(orders->name_len, 6);
    EXPECT_EQ(orders->first_field, -1);
    EXPECT_EQ(orders->first_block, db.pages_of(101)[0]);
    EXPECT_EQ(p.Object("open_orders")->type, 'V');
    EXPECT_EQ(p.Object("open_orders")->first_block, db.pages_of(140)[0]);
    EXPECT_EQ(p.Object("empty_table")->first_block, 0); // owns no page
    EXPECT_EQ(p->first_obj_block, 1);
    EXPECT_EQ(p->first_db_block, db.pages_of(30)[0]);
    EXPECT_EQ(p->first_col_block, -1);

}

TEST(CatalogueScan, TheCatalogueGrowsInStepsOfAHundredWithoutLosingEntries) {
    Dump d(2);
    auto &db = d.database("master", 1, 0);
    for (int i = 0; i < 150; ++i) db.table(1000 + i, "table_" + std::to_string(i));
    Parsed<> p(d);
    ASSERT_EQ(p.List(), 0);
    ASSERT_EQ(p->iSysobj, 154u);
    EXPECT_EQ(p->this_obj, 200u);
    for (int i = 0; i < 150; ++i) {
        EXPECT_EQ(p->pSysobj[4 + i].id, 1000 + i);
        EXPECT_EQ(std::string(p->pSysobj[4 + i].name), "table_" + std::to_string(i));
    }
}

TEST(CatalogueScan, EntriesOfTheSameIdTakeSuccessivePagesOfThatObject) {
    Dump d(4);
    auto &db = d.database("master", 1, 0);
    db.table(101, "first").table(101, "second");
    db.chain(101, {Rows(10, 1)}).chain(101, {Rows(10, 2)});
    d.build();
    Parsed<> p(d);
    ASSERT_EQ(p.List(), 0);
    EXPECT_EQ(p.Object("first")->first_block, db.pages_of(101)[0]);
    EXPECT_EQ(p.Object("second")->first_block, db.pages_of(101)[1]);
}

TEST(CatalogueScan, CollectObjectIdsListsUserOwnersOnceUpToTheNextDatabase) {
    Dump d(2);
    auto &db = d.database("master", 1, 0);
    db.chain(150, {Rows(5, 1)}).chain(120, {Rows(5, 1)}).chain(150, {Rows(5, 1)}).chain(90, {Rows(5, 1)});
    d.database("other", 5, 1).chain(130, {Rows(5, 1)});
    Parsed<> p(d);
    ASSERT_EQ(p.Detect(), 0);
    EXPECT_EQ(p->CollectObjectIds(1), 0);
    EXPECT_EQ(p->obj_ids, (std::vector<int32_t>{150, 120}));
}

// ------------------------------------------------------------------ databases

TEST(CatalogueScan, TwoDatabasesAreListedFromTheFirstAndEachGetsItsOwnCatalogue) {
    Dump d(4);
    d.database("master", 1, 0).table(101, "in_master");
    auto &sales = d.database("sales", 5, 2);
    sales.table(101, "orders").table(102, "lines");
    sales.chain(101, {Rows(50, 1)}).chain(102, {Rows(50, 1)});
    d.build();
    Parsed<> p(d);
    ASSERT_EQ(p.List(), 0);
    ASSERT_EQ(p.count, 2u);
    EXPECT_EQ(DatabaseNames(p.databases), (std::vector<std::string>{"master", "sales"}));
    EXPECT_EQ(p.databases[1].dbid, 5);
    EXPECT_EQ(p.databases[1].row, 1);
    // The sweep of the master stopped at the page 1 of sales: the master's
    // table 101 did not take a page of sales' table 101.
    EXPECT_EQ(p.Object("in_master")->first_block, 0);

    int low = -1, high = -1;
    ASSERT_EQ(p->FindMasterDevice(&low, &high), 1);
    EXPECT_GT(high, sales.start_page(4));
    ASSERT_EQ(LocateAll(p), 2);
    ASSERT_EQ(MoveTo(p, p.databases[1]), 0);
    EXPECT_EQ(p->bl.base_mb, 2);
    EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"sysobjects", "orders", "lines"}));
    EXPECT_EQ(p.Object("lines")->first_block, sales.pages_of(102)[0]);
    EXPECT_EQ(p.count, 2u); // a rebuild leaves the list alone
}

TEST(CatalogueScan, ThreeDatabasesInAnyOrderOfPlacement) {
    Dump d(8);
    d.database("master", 1, 0);
    d.database("zeta", 7, 9).table(101, "z_table").chain(101, {Rows(5, 1)});
    d.database("alpha", 6, 3).table(101, "a_table").chain(101, {Rows(5, 1)});
    Parsed<> p(d);
    ASSERT_EQ(p.List(), 0);
    ASSERT_EQ(DatabaseNames(p.databases), (std::vector<std::string>{"master", "zeta", "alpha"}));
    ASSERT_EQ(LocateAll(p), 3);
    ASSERT_EQ(MoveTo(p, p.databases[1]), 0);
    EXPECT_EQ(p->bl.base_mb, 9);
    EXPECT_NE(p.Object("z_table"), nullptr);
    ASSERT_EQ(MoveTo(p, p.databases[2]), 0);
    EXPECT_EQ(p->bl.base_mb, 3);
    EXPECT_NE(p.Object("a_table"), nullptr);
    EXPECT_NE(p.Object("a_table")->first_block, 0);
    ASSERT_EQ(MoveTo(p, p.databases[0]), 0);
    EXPECT_EQ(p->bl.base_mb, 0);
}

TEST(CatalogueScan, ADatabaseBeyondFourGiBIsFoundInASparseFile) {
    testsupport::TempFolder folder("parser_sparse");
    Dump d(2);
    // A page with id 1 after the master's pages stands for the rest of a
    // real dump: the master's sweeps end there instead of reading the whole
    // 4 GiB gap.
    d.database("master", 1, 0).edit_page(40, [](Page &p) { p.id = 1; });
    auto &far = d.database("far_away", 9, 4200);
    far.table(101, "distant").chain(101, {Rows(30, 7)});
    const std::string path = folder / "far.dump";
    if (!d.write_file(path)) GTEST_SKIP() << "the file system refused a sparse file";
    platform::File file = platform::File::openForReading(path);
    ASSERT_TRUE(file.isOpen());
    ASSERT_GT(file.size(), uint64_t(4200) << 20);
    Parsed<> p(std::unique_ptr<platform::RandomAccessFile>(new platform::File(std::move(file))));
    ASSERT_GT(p->file_size, int64_t(1) << 32);
    ASSERT_EQ(p.List(), 0);
    ASSERT_EQ(p.count, 2u);
    ASSERT_EQ(LocateAll(p), 2);
    ASSERT_EQ(MoveTo(p, p.databases[1]), 0);
    EXPECT_EQ(p->bl.base_mb, 4200);
    ASSERT_NE(p.Object("distant"), nullptr);
    EXPECT_EQ(p.Object("distant")->first_block, far.pages_of(101)[0]);
}

TEST(CatalogueScan, ADumpWithoutDatabaseInformationIsNoCatalogue) {
    Dump d(4);
    PlainMaster(d).table(101, "t");
    d.build();
    d.master().edit_page(d.master().pages_of(30)[0], [](Page &p) { p.type = 77; });
    Parsed<> p(d);
    EXPECT_EQ(p.List(), -3);
}

// ------------------------------------------------------------------ usage and device

TEST(DatabaseUsage, KeepsTheSmallestStartPageAndTheLastSizeOverTheWholeChain) {
    Dump d(4);
    d.database("master", 1, 0);
    d.database("sales", 5, 2).without_usage();
    // The records of sales lie on each of the three pages of the usage
    // chain (169 records of 24 bytes fill a 4 KiB page).
    d.usage(5, 100, 800);
    for (int k = 0; k < 300; ++k) d.usage(static_cast<int16_t>(1000 + k), 1, 5000 + k);
    d.usage(5, 200, 600);
    for (int k = 0; k < 200; ++k) d.usage(static_cast<int16_t>(2000 + k), 1, 6000 + k);
    d.usage(5, 300, 700);
    Parsed<> p(d);
    ASSERT_EQ(p.Detect(), 0);
    ASSERT_EQ(d.master().pages_of(31).size(), 3u);
    DatabaseEntry e;
    e.dbid = 5;
    EXPECT_EQ(p->FindDatabaseUsage(e), 1);
    EXPECT_EQ(e.start_page, 600);
    EXPECT_EQ(e.usage_size, 300);

    DatabaseEntry unknown;
    unknown.dbid = 42;
    EXPECT_EQ(p->FindDatabaseUsage(unknown), 0);
    EXPECT_EQ(unknown.usage_size, -1);
}

TEST(MasterDevice, AnyNameBeginningWithMasterIsTheMasterDevice) {
    for (const std::string name : {"master", "masterdev", "mast", "tempdb"}) {
        Dump d(2);
        d.database("master", 1, 0);
        d.master_device(name, 3, 123456);
        Parsed<> p(d);
        ASSERT_EQ(p.Detect(), 0);
        int low = -1, high = -1;
        const bool is_master = name.compare(0, 6, "master") == 0;
        EXPECT_EQ(p->FindMasterDevice(&low, &high), is_master ? 1 : 0) << name;
        EXPECT_EQ(low, is_master ? 3 : 0);
        EXPECT_EQ(high, is_master ? 123456 : 0);
    }
}

// ------------------------------------------------------------------ moving the base

TEST(DatabaseStart, BigStaysOnAStartAndSearchesForwardOtherwise) {
    Dump d(4);
    d.database("master", 1, 0);
    d.database("sales", 5, 6);
    Parsed<> p(d);
    ASSERT_EQ(p.Detect(), 0);
    int mb = 6;
    EXPECT_EQ(p->big(&mb), 0);
    EXPECT_EQ(mb, 6);
    mb = 1;
    EXPECT_EQ(p->big(&mb), 0);
    EXPECT_EQ(mb, 6);
    EXPECT_EQ(p->bl.base_mb, 6);
    CancelFlag cancel;
    cancel.Set(true);
    mb = 1;
    EXPECT_EQ(p->big(&mb), -1000);
}

TEST(DatabaseStart, BigEndsAtTheEndOfTheDumpWithNotFound) {
    Dump d(4);
    d.database("master", 1, 0);
    d.database("sales", 5, 3);
    Parsed<> p(d);
    ASSERT_EQ(p.Detect(), 0);
    TimeBound bound(5);
    int mb = 4;
    EXPECT_EQ(p->big(&mb), -3);
    EXPECT_FALSE(p->bl.InDump(1)); // the base is left where nothing is read
    // A rebuild there finds no catalogue rather than someone else's.
    uint32_t count = 1;
    EXPECT_EQ(p->Prepare(nullptr, &count), -3);

    VRNParser15 p15(p.file.get(), 4, static_cast<int64_t>(p.file->size()), 0);
    mb = 4;
    EXPECT_EQ(p15.big(&mb), -3);
    mb = 0;
    EXPECT_EQ(p15.big(&mb), 0);
}

// ------------------------------------------------------------------ damaged catalogue pages

namespace {

// Page 1 of a master whose catalogue holds exactly `names` (ids 101, 102, ...).
struct DamagedCatalogue {
    Dump d{4};
    std::vector<size_t> starts; // record offsets in page 1

    explicit DamagedCatalogue(const std::vector<std::string> &names) {
        auto &db = PlainMaster(d).catalogue_options(1000); // one page
        size_t at = 0;
        for (size_t i = 0; i < names.size(); ++i) {
            db.table(101 + static_cast<int32_t>(i), names[i]);
            starts.push_back(at);
            at += 71 + names[i].size();
        }
    }
    // Sets the length of record i of page 1.
    void SetRecLen(size_t i, int16_t rec_len) {
        const size_t at = starts[i] + 66;
        d.master().edit_page(1, [at, rec_len](Page &p) { SetInt16(p.body, at, rec_len); });
    }
    int Scan(Parsed<> &p) {
        return p.List();
    }
};

} // namespace

TEST(DamagedCatalogue, ARecordLongerThanThePageEndsThePageKeepingEarlierRecords) {
    DamagedCatalogue c({"alpha", "beta", "gamma"});
    c.SetRecLen(1, 3000);
    Parsed<> p(c.d);
    EXPECT_EQ(c.Scan(p), 0);
    EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"alpha"}));
}

TEST(DamagedCatalogue, ANameTooLongOrOfNegativeLengthEndsThePage) {
    const std::string long_name(200, 'x');
    {
        DamagedCatalogue c({"alpha", long_name, long_name, long_name});
        c.SetRecLen(1, 71 + 257); // a name of 257 characters
        Parsed<> p(c.d);
        EXPECT_EQ(c.Scan(p), 0);
        EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"alpha"}));
    }
    {
        DamagedCatalogue c({"alpha", "beta", "gamma"});
        c.SetRecLen(1, 40); // shorter than its own fixed part
        Parsed<> p(c.d);
        EXPECT_EQ(c.Scan(p), 0);
        EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"alpha"}));
    }
    {
        DamagedCatalogue c({"alpha", "beta"});
        c.SetRecLen(1, 0); // a zero length ends the page quietly
        Parsed<> p(c.d);
        EXPECT_EQ(c.Scan(p), 0);
        EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"alpha"}));
    }
}

TEST(DamagedCatalogue, ALyingPageLengthOrFiroffNeverLeavesTheBlock) {
    DamagedCatalogue c({"alpha", "beta"});
    c.d.master().edit_page(1, [](Page &p) { p.len = 32767; });
    Parsed<> p(c.d);
    EXPECT_EQ(c.Scan(p), 0);
    EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"alpha", "beta"}));

    // No record at all: the first-page sweep, having no object to look
    // for, ends at once and the database list is not found either.
    DamagedCatalogue f({"alpha", "beta"});
    f.d.master().edit_page(1, [](Page &p) { p.firoff = 4090; });
    Parsed<> q(f.d);
    EXPECT_EQ(f.Scan(q), -3);
    EXPECT_EQ(q->iSysobj, 0u);
}

TEST(DamagedCatalogue, AnEmptyPageInTheChainAddsNothingAndTheWalkGoesOn) {
    Dump d(4);
    PlainMaster(d).catalogue_options(1).table(101, "a").table(102, "b").table(103, "c");
    d.master().edit_page(2, [](Page &p) { p.body.clear(); });
    Parsed<> p(d);
    EXPECT_EQ(p.List(), 0);
    EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"a", "c"}));
}

TEST(DamagedCatalogue, LoopsInTheChainEndAtThePageReadBefore) {
    for (int32_t back_to : {1, 2, 3}) {
        Dump d(4);
        PlainMaster(d).catalogue_options(1).table(101, "a").table(102, "b").table(103, "c");
        d.master().edit_page(3, [back_to](Page &p) { p.next_id = back_to; });
        TimeBound bound(5);
        Parsed<> p(d);
        EXPECT_EQ(p.List(), 0);
        EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"a", "b", "c"})) << back_to;
    }
}

TEST(DamagedCatalogue, APageThatKeepsFailingToReadEndsTheWalk) {
    // A device error on one page of the catalogue: the read is retried a few
    // times, then the walk ends there and the scan goes on.
    class BadSector : public platform::RandomAccessFile {
    public:
        BadSector(Bytes bytes, uint64_t from, uint64_t to) : file_(std::move(bytes)), from_(from), to_(to) {}
        size_t readAt(uint64_t offset, void *buffer, size_t count) override {
            if (offset + count > from_ && offset < to_) {
                ++failures;
                throw std::runtime_error("bad sector");
            }
            return file_.readAt(offset, buffer, count);
        }
        uint64_t size() override { return file_.size(); }
        int failures = 0;

    private:
        platform::MemoryFile file_;
        uint64_t from_, to_;
    };
    Dump d(4);
    PlainMaster(d).catalogue_options(1).table(101, "a").table(102, "b").table(103, "c");
    const uint64_t page2 = d.page_offset(d.master(), 2);
    auto *file = new BadSector(d.bytes(), page2 + 32, page2 + 4096);
    Parsed<> p{std::unique_ptr<platform::RandomAccessFile>(file)};
    ASSERT_EQ(p.Detect(), 0);
    TimeBound bound(5);
    std::vector<DatabaseEntry> list;
    uint32_t count = 0;
    EXPECT_EQ(p->Prepare(&list, &count), 0);
    EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"a"}));
    EXPECT_EQ(count, 1u);
    EXPECT_GE(file->failures, 3);
    EXPECT_LT(file->failures, 20);
}

TEST(DamagedCatalogue, ALinkBeyondTheDumpEndsTheWalk) {
    Dump d(4);
    PlainMaster(d).catalogue_options(1).table(101, "a").table(102, "b");
    d.master().edit_page(1, [](Page &p) { p.next_id = 99999; });
    Parsed<> p(d);
    EXPECT_EQ(p.List(), 0);
    EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"a"}));
}

TEST(DamagedCatalogue, AFirstCataloguePageThatIsNotPageOneIsNoCatalogue) {
    Dump d(4);
    PlainMaster(d).table(101, "a");
    d.master().edit_page(1, [](Page &p) { p.id = 5; });
    Parsed<> p(d);
    EXPECT_EQ(p.List(), -3);
}

// ------------------------------------------------------------------ damaged database list

namespace {

struct DamagedList {
    Dump d{4};
    int32_t page = 0;
    std::vector<size_t> starts;

    explicit DamagedList(const std::vector<std::string> &names) {
        d.database(names[0], 1, 0);
        size_t at = 0;
        for (size_t i = 0; i < names.size(); ++i) {
            if (i > 0) d.database(names[i], static_cast<int16_t>(4 + i), static_cast<int32_t>(2 * i));
            starts.push_back(at);
            at += 46 + names[i].size();
        }
        d.build();
        page = d.master().pages_of(30)[0];
    }
    void SetRecLen(size_t i, int16_t rec_len) {
        const size_t at = starts[i] + 38;
        d.master().edit_page(page, [at, rec_len](Page &p) { SetInt16(p.body, at, rec_len); });
    }
    std::vector<std::string> List(int expected_rc = 0) {
        Parsed<> p(d);
        EXPECT_EQ(p.List(), expected_rc);
        EXPECT_EQ(p.count, p.databases.size());
        return DatabaseNames(p.databases);
    }
};

} // namespace

TEST(DamagedDatabaseList, ANonPositiveLengthEndsThePage) {
    for (int16_t bad : {0, -46}) {
        DamagedList l({"master", "sales", "stock"});
        l.SetRecLen(1, bad);
        EXPECT_EQ(l.List(), (std::vector<std::string>{"master"}));
    }
}

TEST(DamagedDatabaseList, ANameOverTwoHundredFiftyFiveCharactersEndsThePage) {
    const std::string long_name(200, 'd');
    DamagedList l({"master", long_name, long_name, long_name});
    l.SetRecLen(0, 46 + 256);
    EXPECT_TRUE(l.List().empty());
}

TEST(DamagedDatabaseList, ALoopInTheChainEnds) {
    // Twenty long names fill two pages; the second links back to the first.
    std::vector<std::string> names{"master"};
    for (int i = 1; i < 20; ++i) names.push_back(std::string(200, static_cast<char>('a' + i)));
    DamagedList l(names);
    const std::vector<int32_t> pages = l.d.master().pages_of(30);
    ASSERT_EQ(pages.size(), 2u);
    const int32_t first = pages[0];
    l.d.master().edit_page(pages[1], [first](Page &p) { p.next_id = first; });
    TimeBound bound(5);
    EXPECT_EQ(l.List(), names);
}

// ------------------------------------------------------------------ the first-page sweep

TEST(FirstPageSweep, TheEndOfDumpCheckUsesTheWhole64BitSize) {
    // A dump just over 4 GiB whose low 32 bits are small must not look as if
    // it ended at block 100.
    Dump d(2);
    d.database("master", 1, 0).table(101, "never_found");
    auto file = d.memory_file();
    VRNParser12 p(file.get(), 2, (int64_t(1) << 32) + 100, 0);
    p.VRN_bl_count = static_cast<int32_t>(file->size() / 2048);
    std::vector<DatabaseEntry> list;
    uint32_t count = 0;
    EXPECT_EQ(p.Prepare(&list, &count), 0);
    EXPECT_EQ(count, 1u);

    // A size that really is smaller than the block numbers ends the scan.
    VRNParser12 small(file.get(), 2, 3, 0);
    small.VRN_bl_count = p.VRN_bl_count;
    count = 0;
    EXPECT_EQ(small.Prepare(&list, &count), -200);
    EXPECT_EQ(count, 0u);
}

TEST(FirstPageSweep, CancelIsReportedAndPassedUp) {
    Dump d(2);
    d.database("master", 1, 0).table(101, "t");
    Parsed<> p(d);
    ASSERT_EQ(p.Detect(), 0);
    CancelFlag cancel;
    cancel.Set(true);
    EXPECT_EQ(p->data_blockread(), -1000);
    std::vector<DatabaseEntry> list;
    uint32_t count = 0;
    EXPECT_EQ(p->Prepare(&list, &count), -1000);
}

// ------------------------------------------------------------------ hostile dumps

TEST(HostileDumps, EmptyAndCutDumpsEndWithACodeInBoundedTime) {
    TimeBound bound(30);
    std::vector<DatabaseEntry> list;
    uint32_t count = 0;
    {
        Parsed<> p(std::unique_ptr<platform::RandomAccessFile>(new platform::MemoryFile()));
        EXPECT_EQ(p->Prepare(&list, &count), -3);
    }
    {
        Dump d(4);
        PlainMaster(d).catalogue_options(1).table(101, "a").table(102, "b").table(103, "c");
        d.cut(d.page_offset(d.master(), 2) + 32 + 30); // page 2 ends inside its first record
        Parsed<> p(d);
        EXPECT_EQ(p.List(), -3); // the database list lay further on
        EXPECT_EQ(Names(*p.parser), (std::vector<std::string>{"a"}));
    }
}

// ------------------------------------------------------------------ the base and the shared operations

TEST(ParserBase, TableNamesAndPowersOfTwo) {
    VRNParser15 p(nullptr, 2, 0, 0);
    char name[17];
    EXPECT_EQ(p.MakeTableName(-5, name), 7);
    EXPECT_STREQ(name, "Table-5");
    EXPECT_EQ(p.MakeTableName(-2147483647 - 1, name), 16);
    EXPECT_EQ(p.PowerOfTwo(0), 1);
    EXPECT_EQ(p.PowerOfTwo(-3), 1);
    EXPECT_EQ(p.PowerOfTwo(4), 16);
}

TEST(HostileDumps, FlippedBytesNeverCrashOrHang) {
    // A three-database dump with chains of every kind, damaged at random
    // (fixed seeds): whatever the scans make of it, they end with a code.
    Dump d(2);
    d.database("master", 1, 0).table(101, "m");
    auto &sales = d.database("sales", 5, 1);
    for (int i = 0; i < 30; ++i) sales.table(200 + i, "t" + std::to_string(i));
    sales.chain(200, {Rows(300, 1), Rows(300, 2), Rows(300, 3), Rows(300, 4), Rows(300, 5), Rows(300, 6),
                      Rows(300, 7), Rows(300, 8)});
    d.database("stock", 6, 2).table(300, "s");
    const Bytes clean = d.bytes();

    TimeBound bound(60);
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        Bytes bytes = clean;
        const int flips = 1 + static_cast<int>(random() % 200);
        for (int i = 0; i < flips; ++i) {
            // Mostly headers and record lengths, where damage matters most.
            const size_t page = random() % (bytes.size() / 2048);
            const size_t at = page * 2048 + (random() % 2 ? random() % 32 : random() % 2048);
            if (at < bytes.size()) bytes[at] = static_cast<uint8_t>(random());
        }
        if (seed % 7 == 0) bytes.resize(bytes.size() - random() % 400000);

        Parsed<> p(std::unique_ptr<platform::RandomAccessFile>(new platform::MemoryFile(bytes)));
        const int rc = p.List();
        EXPECT_TRUE(rc == 0 || rc == -3 || rc == -300 || rc == -2 || rc == -200) << seed << ": " << rc;
        if (rc != 0) continue;
        int low = 0, high = 0;
        p->FindMasterDevice(&low, &high);
        LocateAll(p);
        for (const auto &entry : p.databases) {
            const int moved = MoveTo(p, entry);
            EXPECT_TRUE(moved == 0 || moved == -3 || moved == -2 || moved == -200) << seed << ": " << moved;
        }
    }
}
