// The index and reference catalogues of both generations: what GetIndex,
// GetIndexEx, GetFkey and GetFkeyEx read from the rows the dump writer lays
// out, and how a lying row length ends a page's walk.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/key_rows.h"
#include "tests/support/table_builder.h"
#include "tests/unit/parser_test_support.h"

using dumpwriter::Dump;
using dumpwriter::Format;
using dumpwriter::IndexRow;
using dumpwriter::ReferenceRow;
using dumpwriter::Schema;
using parsertest::Parsed;
namespace types = dumpwriter::types;

namespace {

// The master database of a dump of either generation, its catalogue read
// as the driver reads it, then the detail catalogues.
struct KeyDump {
    explicit KeyDump(Format format) : dump(4, format) {}
    Dump dump;
    dumpwriter::Database &master = dump.database("master", 1, 0);
    std::unique_ptr<Parsed<VRNParser12>> p12;
    std::unique_ptr<Parsed<VRNParser15>> p15;

    VRNParser &Read(int *rc) {
        if (dump.format() == Format::k12) {
            p12.reset(new Parsed<VRNParser12>(dump));
            *rc = p12->List();
            if (*rc == 0) *rc = p12->parser->ReadDetailCatalogues();
            return *p12->parser;
        }
        p15.reset(new Parsed<VRNParser15>(dump));
        *rc = p15->Detect();
        p15->count = 0;
        if (*rc == 0) *rc = p15->parser->PrepareEx(&p15->databases, &p15->count);
        if (*rc == 0) *rc = p15->parser->ReadDetailCatalogues();
        return *p15->parser;
    }
};

} // namespace

class KeyCatalogues : public ::testing::TestWithParam<Format> {};

// Every field of index and reference rows, the same in both generations:
// the primary key, a unique constraint and an index of two columns, an
// entry without key parts kept as it is, a foreign key of sixteen columns
// filling both lists.
TEST_P(KeyCatalogues, EveryFieldOfIndexAndReferenceRows) {
    KeyDump d(GetParam());
    Schema s;
    s.table(110, "customers").column("id", types::kInt);
    s.table(111, "orders").column("id", types::kInt);
    s.add_to(d.master);
    std::vector<ReferenceRow> references = {{150, 111, 110, {3}, {1}}, {151, 120, 121, {}, {}}};
    for (int16_t k = 1; k <= 16; ++k) {
        references[1].foreign_keys.push_back(k);
        references[1].referenced_keys.push_back(k);
    }
    dumpwriter::AddKeyRows(d.master,
                           {{110, 1, 0, 1, "pk_customers", {1}},
                            {111, 1, 0, 1, "pk_orders", {1}},
                            {111, 2, 2, 2, "uq_no", {2}},
                            {111, 3, 0, 3, "ix_cust", {3, 4}},
                            {111, 5, 0, 0, "statistics_only", {}}},
                           references);
    int rc = -1;
    VRNParser &p = d.Read(&rc);
    ASSERT_EQ(0, rc);
    struct Expected {
        int32_t tab_id;
        int16_t index_id, flags, key_count;
        const char *name;
        int32_t key0, key1;
    } expected[] = {
        {110, 1, 0, 1, "pk_customers", 1, 0}, {111, 1, 0, 1, "pk_orders", 1, 0}, {111, 2, 2, 2, "uq_no", 2, 0},
        {111, 3, 0, 3, "ix_cust", 3, 4},      {111, 5, 0, 0, "statistics_only", 0, 0},
    };
    ASSERT_EQ(std::size(expected), p.indexes.size());
    for (size_t k = 0; k < p.indexes.size(); ++k) {
        const IndexEntry &e = p.indexes[k];
        SCOPED_TRACE(expected[k].name);
        EXPECT_EQ(expected[k].tab_id, e.tab_id);
        EXPECT_EQ(expected[k].index_id, e.index_id);
        EXPECT_EQ(expected[k].flags, e.constraint_flags);
        EXPECT_EQ(expected[k].key_count, e.key_count);
        EXPECT_STREQ(expected[k].name, e.name);
        EXPECT_EQ(expected[k].key0, e.keys[4]);
        EXPECT_EQ(expected[k].key1, e.keys[20]);
        EXPECT_GT(e.rec_len, 0);
    }

    ASSERT_EQ(2u, p.fkeys.size());
    const ForeignKeyEntry &f = p.fkeys[0];
    EXPECT_EQ(150, f.constraint_id);
    EXPECT_EQ(111, f.tab_id);
    EXPECT_EQ(110, f.ref_tab_id);
    EXPECT_EQ(1, f.key_cnt);
    EXPECT_EQ(3, f.foreign_keys[0]);
    EXPECT_EQ(0, f.foreign_keys[1]) << "a 0 ends the list";
    EXPECT_EQ(1, f.referenced_keys[0]);
    const ForeignKeyEntry &w = p.fkeys[1];
    EXPECT_EQ(16, w.key_cnt);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(k + 1, w.foreign_keys[k]);
        EXPECT_EQ(k + 1, w.referenced_keys[k]);
    }
}

TEST_P(KeyCatalogues, ADatabaseWithoutReferenceRowsHasNoForeignKeys) {
    KeyDump d(GetParam());
    Schema s;
    s.table(110, "customers").column("id", types::kInt).primary_key("pk_customers", {"id"});
    s.add_to(d.master);
    int rc = -1;
    VRNParser &p = d.Read(&rc);
    ASSERT_EQ(0, rc);
    EXPECT_EQ(-1, p.first_ref_block);
    EXPECT_TRUE(p.fkeys.empty());
    EXPECT_EQ(1u, p.indexes.size());
}

INSTANTIATE_TEST_SUITE_P(Generations, KeyCatalogues, ::testing::Values(Format::k12, Format::k15),
                         [](const ::testing::TestParamInfo<Format> &info) {
                             return info.param == Format::k12 ? std::string("Format12") : std::string("Format15");
                         });

// A row length of 0 ends the walk of its page: the rows before it are kept,
// nothing after it is read, and the reader returns (the reference reader
// ends altogether, with the keys read so far).
TEST(KeyCatalogues, AZeroRowLengthStopsTheReader) {
    struct Case {
        const char *what;
        int32_t owner;
        int16_t firoff;
        std::function<dumpwriter::Bytes(int)> row; // row k
        int length_at;                             // where the row keeps its length
    } cases[] = {
        {"index rows", dumpwriter::kIndexCatalogue, dumpwriter::kIndexFiroff12,
         [](int k) { return dumpwriter::IndexRow12({110 + k, 1, 0, 1, "pk", {1}}); }, dumpwriter::kIndexFiroff12},
        {"reference rows", dumpwriter::kReferenceCatalogue, dumpwriter::kReferenceFiroff12,
         [](int k) {
             // A row that says it has variable fields keeps its length at firoff.
             dumpwriter::Record r(dumpwriter::kReferenceFiroff12 + 2);
             r.raw(0, dumpwriter::ReferenceRow12({150 + k, 110 + k, 100, {1}, {1}}));
             r.u8(0, 1).i16(dumpwriter::kReferenceFiroff12, static_cast<int16_t>(r.size()));
             return r.bytes();
         },
         dumpwriter::kReferenceFiroff12},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        KeyDump d(Format::k12);
        d.master.table(110, "t"); // no pages: the search for first pages sweeps the whole database
        std::vector<dumpwriter::Bytes> rows = {c.row(0), c.row(1), c.row(2)};
        rows[1][static_cast<size_t>(c.length_at)] = 0;
        rows[1][static_cast<size_t>(c.length_at) + 1] = 0;
        dumpwriter::ChainOptions o;
        o.firoff = c.firoff;
        d.master.chain(c.owner, rows, o);
        parsertest::TimeBound bound(5);
        int rc = -1;
        VRNParser &p = d.Read(&rc);
        EXPECT_EQ(0, rc);
        const bool indexes = c.owner == dumpwriter::kIndexCatalogue;
        ASSERT_EQ(1u, indexes ? p.indexes.size() : p.fkeys.size());
        EXPECT_EQ(110, indexes ? p.indexes[0].tab_id : p.fkeys[0].tab_id);
    }
}

// Format 15 names and key descriptions longer than their fields are cut to
// them; a key description that does not fit its row passes the row over.
TEST(KeyCatalogues, Format15FieldsAreCutToTheirRoom) {
    KeyDump d(Format::k15);
    const std::string long_name(300, 'n');
    dumpwriter::AddKeyRows(d.master, {IndexRow{110, 1, 0, 1, long_name, {1}}, IndexRow{111, 1, 0, 1, "lying", {2}}},
                           {});
    d.dump.build();
    // The index rows come first among the pages of object 2; the last row
    // of their page says its key description is 195 bytes (slot 9, four
    // bytes before the row's end).
    const int32_t page = d.master.pages_of(dumpwriter::kIndexCatalogue).front();
    d.master.edit_page(page, [](dumpwriter::Page &pg) { pg.body[pg.body.size() - 4] = 255; });
    int rc = -1;
    VRNParser &p = d.Read(&rc);
    ASSERT_EQ(0, rc);
    ASSERT_EQ(1u, p.indexes.size());
    EXPECT_EQ(std::string(255, 'n'), p.indexes[0].name);
    EXPECT_EQ(1, p.indexes[0].keys[4]);
}
