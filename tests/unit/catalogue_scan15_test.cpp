// The catalogue of format-15 dumps: map entries, objects by page and row
// number, databases, the name search, usage rows and columns.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/table_builder.h"
#include "tests/unit/parser_test_support.h"

using dumpwriter::Bytes;
using dumpwriter::Dump;
using dumpwriter::Format;
using dumpwriter::Page;
using parsertest::Parsed;
using parsertest::TimeBound;
namespace r15 = dumpwriter::records15;

namespace {

// Detect, then the first PrepareEx, which lists the databases.
int ListEx(Parsed<VRNParser15> &p) {
    const int rc = p.Detect();
    if (rc != 0) return rc;
    p.count = 0;
    return p->PrepareEx(&p.databases, &p.count);
}

std::vector<std::string> Names(Parsed<VRNParser15> &p) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < p->iSysobj; ++i) out.push_back(p->pSysobj[i].name);
    return out;
}

// One map form: how to write an entry naming (page, row) with a status,
// and how to read entry *k.
struct MapForm {
    const char *name;
    int first;
    std::function<Bytes(int32_t page, uint8_t row, uint8_t status)> entry;
    std::function<int(VRNParser15 &, int *, int *, int *)> read;
};

const MapForm kForms[] = {
    {"object index", r15::kObjectIndexStart,
     [](int32_t p, uint8_t r, uint8_t s) { return r15::ObjectIndexEntry("t" + std::to_string(p), p, r, s); },
     [](VRNParser15 &x, int *k, int *p, int *r) { return x.GetOneSysobjectBlockAndRecNum(k, p, r); }},
    {"name index", r15::kNameIndexStart, r15::NameIndexEntry,
     [](VRNParser15 &x, int *k, int *p, int *r) { return x.GetOnePageAndRecNum(k, p, r); }},
    {"column map", r15::kColumnMapStart, r15::ColumnMapEntry,
     [](VRNParser15 &x, int *k, int *p, int *r) { return x.GetOneFieldBlockAndRecNum(k, p, r); }},
    {"index map", r15::kIndexMapStart,
     [](int32_t p, uint8_t r, uint8_t s) { return r15::IndexMapEntry(700 + p, 2, p, r, s); },
     [](VRNParser15 &x, int *k, int *p, int *r) {
         int32_t tab = 0;
         int index = 0;
         const int rc = x.GetOneIndexBlockAndRecNum(k, p, r, &tab, &index);
         if (rc == 1 && (tab != 700 + *p || index != 2)) ADD_FAILURE() << "index map: table " << tab;
         return rc;
     }},
    {"foreign-key map", r15::kForeignKeyMapStart,
     [](int32_t p, uint8_t r, uint8_t s) { return r15::ForeignKeyMapEntry(900 + p, p, r, s); },
     [](VRNParser15 &x, int *k, int *p, int *r) {
         int32_t key = 0;
         const int rc = x.GetOneIndexBlockAndRecNum(k, p, r, &key);
         if (rc == 1 && key != 900 + *p) ADD_FAILURE() << "foreign-key map: key " << key;
         return rc;
     }},
};

// A map page at page 300 holding `entries` after the form's first offset;
// `cut` bytes are taken off its used length.
Parsed<VRNParser15> MapPage(Dump &d, const MapForm &form, const std::vector<Bytes> &entries, int cut = 0) {
    Page page;
    page.id = 300;
    page.type = 2;
    page.body.assign(static_cast<size_t>(form.first), 0);
    for (const Bytes &e : entries) page.body.insert(page.body.end(), e.begin(), e.end());
    page.len = static_cast<int16_t>(32 + page.body.size() - static_cast<size_t>(cut));
    d.database("master", 1, 0).page(page);
    Parsed<VRNParser15> p(d);
    p.Detect();
    p->bl.GetBlock(300);
    p->bl.GetAllBlock(300);
    return p;
}

} // namespace

// ------------------------------------------------------------------ map entries

TEST(MapEntries15, DeletedEntriesArePassedOverAndKEndsOnTheEntryUsed) {
    for (const MapForm &form : kForms) {
        SCOPED_TRACE(form.name);
        Dump d(2, Format::k15);
        // Entries naming pages 10, 11 (deleted), 12; row numbers 1, 2, 3.
        auto p = MapPage(d, form, {form.entry(10, 1, 0), form.entry(11, 2, 16), form.entry(12, 3, 0)});
        int k = 0, page = 0, row = 0;
        ASSERT_EQ(form.read(*p.parser, &k, &page, &row), 1);
        EXPECT_EQ(k, 0);
        EXPECT_EQ(page, 10);
        EXPECT_EQ(row, 1);
        k = 1;
        ASSERT_EQ(form.read(*p.parser, &k, &page, &row), 1);
        EXPECT_EQ(k, 2);
        EXPECT_EQ(page, 12);
        EXPECT_EQ(row, 3);
        k = 3;
        EXPECT_EQ(form.read(*p.parser, &k, &page, &row), 0);

        // An entry the record area cuts short is not read.
        Dump cut(2, Format::k15);
        auto c = MapPage(cut, form, {form.entry(10, 1, 0), form.entry(12, 3, 0)}, 1);
        k = 1;
        EXPECT_EQ(form.read(*c.parser, &k, &page, &row), 0);
    }
}

TEST(MapEntries15, TheNameIndexAndColumnMapAlsoPassOverStatus48AndForeignKeysEndWithoutTheirMarker) {
    for (size_t f : {1u, 2u}) {
        Dump d(2, Format::k15);
        auto p = MapPage(d, kForms[f], {kForms[f].entry(10, 1, 48), kForms[f].entry(12, 3, 0)});
        int k = 0, page = 0, row = 0;
        ASSERT_EQ(kForms[f].read(*p.parser, &k, &page, &row), 1) << kForms[f].name;
        EXPECT_EQ(k, 1);
    }
    Dump d(2, Format::k15);
    Bytes unmarked = r15::ForeignKeyMapEntry(1, 10, 1);
    unmarked[11] = 0;
    auto p = MapPage(d, kForms[4], {unmarked, r15::ForeignKeyMapEntry(1, 12, 3)});
    int k = 0, page = 0, row = 0;
    EXPECT_EQ(kForms[4].read(*p.parser, &k, &page, &row), 0);
}

// ------------------------------------------------------------------ objects and databases

class CatalogueScan15 : public ::testing::TestWithParam<int> {};

TEST_P(CatalogueScan15, ObjectsThroughTheIndexDatabasesAndFirstPages) {
    const int kb = GetParam();
    Dump d(kb, Format::k15);
    auto &master = d.database("master", 1, 0);
    auto &sales = d.database("sales", 5, kb * 2);
    master.table(101, "orders").chain(101, {Bytes(6, 0), Bytes(6, 0)});
    master.object(102, 'U', "dropped", r15::kDeletedRow);
    for (int i = 0; i < 200; ++i) master.table(200 + i, "t" + std::to_string(i));
    sales.table(110, "customers");
    Parsed<VRNParser15> p(d);
    ASSERT_EQ(ListEx(p), 0);

    const auto names = Names(p);
    ASSERT_EQ(names.size(), 204u); // the three system objects, orders and the 200 tables
    EXPECT_EQ(names[0], "sysobjects");
    EXPECT_EQ(names[3], "orders");
    EXPECT_EQ(names[203], "t199");
    EXPECT_EQ(p->this_obj, 300u);
    EXPECT_EQ(p.Object("dropped"), nullptr);
    EXPECT_EQ(p.Object("orders")->first_block, master.pages_of(101).front());
    EXPECT_EQ(p.Object("sysobjects")->first_block, 1);

    ASSERT_EQ(p.count, 2u);
    EXPECT_STREQ(p.databases[1].name, "sales");
    EXPECT_EQ(p.databases[1].dbid, 5);

    // The usage rows, found by name, place each database.
    const int32_t usage = p->FindSysobject("sysusages");
    ASSERT_EQ(usage, master.pages_of(31).front());
    DatabaseEntry e = p.databases[1];
    ASSERT_EQ(p->GetDatabaseUsage(usage, e), 1);
    EXPECT_EQ(e.start_page, sales.start_page(kb));
    EXPECT_EQ(e.skip, 0);
    int mb = (e.start_page * kb - 8) * 1024 >> 20;
    ASSERT_EQ(p->big(&mb), 0);
    EXPECT_EQ(mb, kb * 2);
    uint32_t count = 2;
    ASSERT_EQ(p->PrepareEx(nullptr, &count), 0);
    EXPECT_EQ(Names(p), (std::vector<std::string>{"sysobjects", "customers"}));

    // Prepare walks the chain of object rows instead of the index.
    Parsed<VRNParser15> chain(d);
    chain.Detect();
    uint32_t none = 0;
    std::vector<DatabaseEntry> list;
    ASSERT_EQ(chain->Prepare(&list, &none), 0);
    EXPECT_EQ(Names(chain), names);
    EXPECT_EQ(none, 2u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CatalogueScan15, ::testing::Values(2, 4, 8, 16));

TEST(NameSearch15, ALongerStoredNameMatchesAndTheSkipFlagIsRead) {
    Dump d(2, Format::k15);
    auto &master = d.database("master", 1, 0).without_system_entries();
    master.object(31, 'S', "sysusagesX").table(101, "x");
    d.database("old", 7, 2).skip_flag(1);
    Parsed<VRNParser15> p(d);
    ASSERT_EQ(ListEx(p), 0);
    const int32_t usage = p->FindSysobject("sysusages");
    ASSERT_EQ(usage, master.pages_of(31).front());
    EXPECT_EQ(p->FindSysobject("sysusagesXY"), 0);
    EXPECT_EQ(p->FindSysobject("sysdevices"), 0);
    DatabaseEntry old;
    old.dbid = 7;
    ASSERT_EQ(p->GetDatabaseUsage(usage, old), 1);
    EXPECT_EQ(old.skip, 1);
    DatabaseEntry unknown;
    unknown.dbid = 99;
    EXPECT_EQ(p->GetDatabaseUsage(usage, unknown), 0);
    EXPECT_EQ(unknown.usage_size, -1);
}

TEST(DatabaseRows15, ANameEndsAtItsRowsEndOrFirstNul) {
    Dump d(2, Format::k15);
    d.database("master", 1, 0);
    d.database(std::string(255, 'n'), 2, 2);
    // The row holding "abc" is given no NUL: its name ends with the row.
    d.database("abc", 3, 4);
    d.build();
    const int32_t page = d.master().pages_of(30).front();
    d.master().edit_page(page, [](Page &pg) {
        // The third row is the last on the page: drop the bytes after its name.
        pg.body.resize(pg.body.size() - 4);
        const size_t row = pg.body.size() - (44 + 3);
        pg.body[row + 42] = 44 + 3;
        pg.body[row + 43] = 0;
    });
    Parsed<VRNParser15> p(d);
    ASSERT_EQ(ListEx(p), 0);
    ASSERT_EQ(p.count, 3u);
    EXPECT_EQ(std::string(p.databases[1].name), std::string(255, 'n'));
    EXPECT_STREQ(p.databases[2].name, "abc");
}

// ------------------------------------------------------------------ columns

TEST(ColumnCatalogue15, ColumnsThroughTheMapWithFirstFieldsAndDeletedRowsPassedOver) {
    Dump d(4, Format::k15);
    auto &db = d.database("master", 1, 0);
    dumpwriter::Schema s;
    s.table(110, "a").column("id", dumpwriter::types::kBigInt).numeric("price", dumpwriter::types::kDecimal, 10, 2, dumpwriter::kNull);
    s.table(120, "b").column("u", dumpwriter::types::kUniChar, 20).column("d", dumpwriter::types::kDate, 0, dumpwriter::kNull);
    s.add_to(db);
    // A deleted column row and a deleted map entry, both naming extra columns.
    dumpwriter::Column ghost;
    ghost.name = "ghost";
    ghost.col_id = 9;
    db.addressed_rows(3, dumpwriter::kColumnFiroff15,
                      {{dumpwriter::ColumnRow15(110, ghost, r15::kDeletedRow),
                        [](int32_t page, uint8_t row) { return r15::ColumnMapEntry(page, row); }},
                       {dumpwriter::ColumnRow15(110, ghost), [](int32_t page, uint8_t row) {
                            return r15::ColumnMapEntry(page, row, r15::kDeletedEntry);
                        }}},
                      {3, r15::kColumnMapPage, r15::kColumnMapStart});
    Parsed<VRNParser15> p(d);
    ASSERT_EQ(ListEx(p), 0);
    ASSERT_EQ(p->GetFieldEx(), 0);
    ASSERT_EQ(p->field_count(), 4u);
    const ColumnEntry &price = p->fields[1];
    EXPECT_EQ(price.tab_id, 110);
    EXPECT_EQ(price.col_id, 2);
    EXPECT_EQ(price.user_type, 26);
    EXPECT_EQ(price.null_flag, dumpwriter::kNull);
    EXPECT_EQ(price.var_len, 5 + 8);
    EXPECT_EQ(price.name[5], 10); // precision, then scale
    EXPECT_EQ(price.name[6], 2);
    EXPECT_EQ(p->fields[2].length, 20);
    EXPECT_EQ(p->fields[2].fixed, 1);
    EXPECT_EQ(std::string(p->fields[3].name), "d");
    EXPECT_EQ(p.Object("a")->first_field, 0);
    EXPECT_EQ(p.Object("b")->first_field, 2);
}

// ------------------------------------------------------------------ damage

TEST(DamagedCatalogue15, ZeroedMapsLoopsAndCutsEndInBoundedTime) {
    struct Case {
        const char *what;
        std::function<void(Dump &)> damage;
        int prepare;      // PrepareEx's result
        bool usage_found; // FindSysobject("sysusages") finds the usage rows
        int columns;      // columns GetFieldEx reads
    };
    auto zero = [](int32_t page) {
        return [page](Dump &d) {
            d.master().edit_page(page, [](Page &p) {
                p = Page();
            });
        };
    };
    const Case cases[] = {
        {"intact", [](Dump &) {}, 0, true, 2},
        {"page 161 zeroed", zero(161), -3, true, 2},
        {"page 90 zeroed", zero(90), 0, false, 2},
        {"page 50 zeroed", zero(50), 0, true, 0},
        {"the object index loops", [](Dump &d) { d.master().edit_page(161, [](Page &p) { p.next_id = 161; }); }, 0, true, 2},
        {"the column map loops", [](Dump &d) { d.master().edit_page(50, [](Page &p) { p.next_id = 50; }); }, 0, true, 2},
        {"an entry names a page outside the dump",
         [](Dump &d) { d.master().edit_page(50, [](Page &p) { p.body[21] = 0x7f; p.body[24] = 0x7f; }); }, 0, true, 1},
        {"a row length of 0", [](Dump &d) { d.master().edit_page(1, [](Page &p) { p.body[12 + 70] = 0; p.body[12 + 71] = 0; }); }, 0, true, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Dump d(2, Format::k15);
        auto &db = d.database("master", 1, 0);
        dumpwriter::Schema s;
        s.table(110, "a").column("id", dumpwriter::types::kInt).column("v", dumpwriter::types::kInt);
        s.add_to(db);
        c.damage(d);
        TimeBound bound(5);
        Parsed<VRNParser15> p(d);
        p.Detect();
        p.count = 0;
        EXPECT_EQ(p->PrepareEx(&p.databases, &p.count), c.prepare);
        EXPECT_EQ(p->FindSysobject("sysusages") != 0, c.usage_found);
        if (c.prepare == 0) {
            EXPECT_EQ(p->GetFieldEx(), 0);
            EXPECT_EQ(p->field_count(), static_cast<uint32_t>(c.columns));
        }
    }
    // A dump cut anywhere: every step ends.
    for (int keep : {1, 2, 10, 40, 60, 89, 100, 160, 162}) {
        Dump d(2, Format::k15);
        dumpwriter::Schema s;
        s.table(110, "a").column("id", dumpwriter::types::kInt);
        s.add_to(d.database("master", 1, 0));
        d.cut(8192 + static_cast<uint64_t>(keep) * 2048);
        TimeBound bound(5);
        Parsed<VRNParser15> p(d);
        p.Detect();
        p.count = 0;
        const int rc = p->PrepareEx(&p.databases, &p.count);
        EXPECT_TRUE(rc == 0 || rc == -3) << keep << ": " << rc;
        p->FindSysobject("sysusages");
        EXPECT_EQ(p->GetFieldEx(), 0) << keep;
    }
}
