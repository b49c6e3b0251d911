// The format-12 column catalogue: what GetCol reads from each row layout,
// which tables it hands on for column guessing, and how damaged pages end
// the walk.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/table_builder.h"
#include "tests/unit/parser_test_support.h"

using dumpwriter::Bytes;
using dumpwriter::Column;
using dumpwriter::ColumnRecord;
using dumpwriter::Dump;
using dumpwriter::kNull;
using dumpwriter::Schema;
using parsertest::CancelFlag;
using parsertest::Parsed;
namespace types = dumpwriter::types;

namespace {

// A format-12 parser that notes the tables handed to RecoverFields.
class RecordingParser : public VRNParser12 {
public:
    using VRNParser12::VRNParser12;
    std::vector<std::string> guessed;
    int RecoverFields(SysobjEntry &table) override {
        guessed.push_back(table.name);
        return 0;
    }
};

// The master database of `d` with `schema` laid out in it, read up to its
// object catalogue and first pages, then GetCol. Returns GetCol's result.
struct ColumnDump {
    Dump dump{4};
    dumpwriter::Database &master = dump.database("master", 1, 0);
    std::unique_ptr<Parsed<RecordingParser>> parsed;

    int Read() {
        parsed.reset(new Parsed<RecordingParser>(dump));
        const int listed = parsed->List();
        if (listed != 0) return 1000 + listed;
        return (*parsed)->GetCol();
    }
    RecordingParser &p() { return *parsed->parser; }
    const ColumnEntry &col(size_t i) { return p().fields.at(i); }
    const SysobjEntry *object(const std::string &name) { return parsed->Object(name); }
    std::vector<std::string> Names() {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < p().field_count(); ++i) out.push_back(p().fields[i].name);
        return out;
    }
};

Column Col(const std::string &name, uint8_t type, int16_t length, uint8_t status, int16_t col_id) {
    Column c;
    c.name = name;
    c.user_type = type;
    c.length = length;
    c.status = status;
    c.col_id = col_id;
    return c;
}

} // namespace

// ------------------------------------------------------------------ row layouts

class ColumnRowLayout : public ::testing::TestWithParam<int16_t> {};

TEST_P(ColumnRowLayout, EveryFieldOfARowIsRead) {
    ColumnDump c;
    Schema s;
    s.column_firoff(GetParam());
    s.table(101, "orders").column("id", types::kInt).column("note", types::kVarChar, 100, kNull);
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    ASSERT_EQ(2u, c.p().field_count());

    const ColumnEntry &id = c.col(0);
    EXPECT_EQ(101, id.tab_id);
    EXPECT_EQ(1, id.col_id);
    EXPECT_EQ(4, id.length);
    EXPECT_EQ(types::kInt, id.user_type);
    EXPECT_EQ(0, id.null_flag);
    EXPECT_EQ(1, id.fixed);
    EXPECT_EQ(2, id.var_len);
    EXPECT_STREQ("id", id.name);
    EXPECT_EQ(GetParam() + 2 + 2 + 3, id.rec_len);
    EXPECT_EQ(0, id.row_num);

    const ColumnEntry &note = c.col(1);
    EXPECT_EQ(2, note.col_id) << "a nullable column keeps its id in both layouts";
    EXPECT_EQ(100, note.length);
    EXPECT_EQ(8, note.null_flag);
    EXPECT_EQ(0, note.fixed);
    EXPECT_STREQ("note", note.name);
    EXPECT_EQ(1, note.row_num);
}

INSTANTIATE_TEST_SUITE_P(Firoff, ColumnRowLayout, ::testing::Values(24, 32));

TEST(ColumnCatalogue, LengthIsAnUnsignedByteAt24TwoBytesAt32AndAbsentOtherwise) {
    for (int16_t firoff : {24, 32, 28}) {
        ColumnDump c;
        Schema s;
        s.column_firoff(firoff);
        s.table(101, "t").column("small", types::kChar, 100).column("wide", types::kVarChar, 200)
            .column("widest", types::kVarChar, 255);
        if (firoff == 32) s.find(101)->column("huge", types::kVarChar, 1000);
        s.add_to(c.master);
        ASSERT_EQ(0, c.Read());
        const int16_t expect_small = firoff == 28 ? 0 : 100;
        // Lengths above 127 fill the whole byte at 24: never negative.
        EXPECT_EQ(expect_small, c.col(0).length) << firoff;
        EXPECT_EQ(firoff == 28 ? 0 : 200, c.col(1).length) << firoff;
        EXPECT_EQ(firoff == 28 ? 0 : 255, c.col(2).length) << firoff;
        if (firoff == 32) {
            EXPECT_EQ(1000, c.col(3).length);
        }
    }
}

TEST(ColumnCatalogue, OtherLayoutsTakeTheStatusFromOffsetNine) {
    ColumnDump c;
    Schema s;
    s.column_firoff(28);
    s.table(101, "t").column("a", types::kInt).column("b", types::kInt, 0, kNull);
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    EXPECT_EQ(0, c.col(0).null_flag);
    EXPECT_EQ(8, c.col(1).null_flag);
    EXPECT_EQ(2, c.col(1).col_id);
    EXPECT_EQ(types::kInt, c.col(1).user_type) << "user type at firoff - 10";
}

TEST(ColumnCatalogue, NumericNamesAreFollowedByPrecisionAndScale) {
    ColumnDump c;
    Schema s;
    s.table(101, "t").numeric("price", types::kDecimal, 10, 2);
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    const ColumnEntry &e = c.col(0);
    EXPECT_EQ(5 + 5, e.var_len);
    EXPECT_EQ(0, std::string(e.name, 5).compare("price"));
    EXPECT_EQ(10, e.name[5]);
    EXPECT_EQ(2, e.name[6]);
}

TEST(ColumnCatalogue, FixedIsSetFromTheUserTypeAndUnknownCodesAreVariable) {
    const std::vector<std::pair<uint8_t, int>> expected = {
        {1, 1},  {2, 0},  {3, 1},  {4, 0},  {5, 1},  {6, 1},  {7, 1},  {8, 1},  {9, 0},
        {10, 1}, {11, 1}, {12, 1}, {16, 1}, {18, 1}, {19, 0}, {20, 0}, {21, 1}, {22, 1},
        {23, 1}, {24, 1}, {25, 0}, {26, 1}, {34, 0}, {37, 0}, {43, 0}, {80, 0}, {255, 0}};
    ColumnDump c;
    Schema s;
    dumpwriter::Table &t = s.table(101, "t");
    for (const auto &e : expected) t.add(Col("c" + std::to_string(e.first), e.first, 4, 0, 0));
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    ASSERT_EQ(expected.size(), c.p().field_count());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i].second, c.col(i).fixed) << "user type " << int(expected[i].first);
}

TEST(ColumnCatalogue, ANameLongerThanTheEntryHoldsIsCut) {
    ColumnDump c;
    Schema s;
    s.table(101, "t").column(std::string(300, 'n'), types::kInt).column("after", types::kInt);
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    ASSERT_EQ(2u, c.p().field_count());
    EXPECT_EQ(255, c.col(0).var_len);
    EXPECT_EQ(std::string(255, 'n'), c.col(0).name);
    EXPECT_STREQ("after", c.col(1).name) << "the walk steps by the whole row";
}

// ------------------------------------------------------------------ catalogue entries

TEST(ColumnCatalogue, FirstFieldOfEachTableIsItsFirstRow) {
    ColumnDump c;
    Schema s;
    s.table(101, "a").column("x", types::kInt).column("y", types::kInt);
    s.table(102, "b").column("z", types::kInt);
    s.add_to(c.master.table(103, "empty"));
    ASSERT_EQ(0, c.Read());
    EXPECT_EQ(0, c.object("a")->first_field);
    EXPECT_EQ(2, c.object("b")->first_field);
    EXPECT_EQ(-1, c.object("empty")->first_field);
    EXPECT_EQ((std::vector<std::string>{"empty"}), c.p().guessed);
}

TEST(ColumnCatalogue, OnlyUserTablesWithoutColumnsAndNotNamedSptAreGuessed) {
    ColumnDump c;
    Schema s;
    s.table(101, "described").column("x", types::kInt);
    c.master.table(102, "spt_values").table(103, "sptx").table(104, "s_pt").table(105, "stp")
        .table(106, "sales").object(107, 'V', "view_without_columns");
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    EXPECT_EQ((std::vector<std::string>{"s_pt", "stp", "sales"}), c.p().guessed);
}

// A catalogue whose every column row is lost still leaves the user tables
// to be guessed: otherwise every table of the database would lose its rows.
TEST(ColumnCatalogue, AnEmptyCatalogueHandsEveryUserTableToTheGuess) {
    ColumnDump c;
    Schema s; // an empty column chain
    c.master.table(101, "t").table(102, "spt_values");
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    EXPECT_EQ(0u, c.p().field_count());
    EXPECT_EQ((std::vector<std::string>{"t"}), c.p().guessed);
}

TEST(ColumnCatalogue, ADatabaseWithoutColumnPagesHasNoColumns) {
    ColumnDump c;
    c.master.table(101, "t");
    ASSERT_EQ(0, c.Read());
    EXPECT_EQ(-1, c.p().first_col_block);
    EXPECT_EQ(0u, c.p().field_count());
}

TEST(ColumnCatalogue, RowsOverManyPagesAreReadInChainOrder) {
    ColumnDump c;
    Schema s;
    s.column_records_per_page(3);
    for (int t = 0; t < 5; ++t) {
        dumpwriter::Table &table = s.table(200 + t, "t" + std::to_string(t));
        for (int k = 0; k < 4; ++k) table.column("c" + std::to_string(k), types::kInt);
    }
    s.add_to(c.master);
    ASSERT_EQ(0, c.Read());
    ASSERT_EQ(20u, c.p().field_count());
    for (uint32_t i = 0; i < 20; ++i) {
        EXPECT_EQ(200 + static_cast<int>(i / 4), c.col(i).tab_id);
        EXPECT_EQ(static_cast<int>(i % 4) + 1, c.col(i).col_id);
    }
}

TEST(ColumnCatalogue, ACancelAtTheStartStopsAtOnce) {
    ColumnDump c;
    Schema s;
    s.table(101, "t").column("x", types::kInt);
    s.add_to(c.master);
    c.parsed.reset(new Parsed<RecordingParser>(c.dump));
    ASSERT_EQ(0, c.parsed->List());
    CancelFlag cancel;
    cancel.Set(true);
    EXPECT_EQ(-1000, c.p().GetCol());
}

// A dump in memory that sets the host's cancel flag when the body of the
// page at `page_offset` is read.
class CancellingFile : public platform::RandomAccessFile {
public:
    CancellingFile(std::unique_ptr<platform::MemoryFile> inner, uint64_t page_offset, CancelFlag &flag)
        : inner_(std::move(inner)), trigger_(page_offset + 32), flag_(flag) {}
    size_t readAt(uint64_t offset, void *buffer, size_t count) override {
        if (offset == trigger_ && count <= 4096) flag_.Set(true);
        return inner_->readAt(offset, buffer, count);
    }
    uint64_t size() override { return inner_->size(); }

private:
    std::unique_ptr<platform::MemoryFile> inner_;
    uint64_t trigger_;
    CancelFlag &flag_;
};

TEST(ColumnCatalogue, ACancelDuringTheWalkStopsItThere) {
    ColumnDump c;
    Schema s;
    s.column_records_per_page(1);
    s.table(101, "t").column("a", types::kInt).column("b", types::kInt).column("c", types::kInt);
    s.add_to(c.master);
    c.dump.build();
    const int32_t second = c.master.pages_of(dumpwriter::kColumnCatalogue).at(1);
    CancelFlag cancel;
    Parsed<RecordingParser> parsed(std::unique_ptr<platform::RandomAccessFile>(
        new CancellingFile(c.dump.memory_file(), c.dump.page_offset(c.master, second), cancel)));
    ASSERT_EQ(0, parsed.List());
    EXPECT_EQ(-1000, parsed->GetCol()) << "the third page is never read";
    EXPECT_EQ(2u, parsed->field_count());
}

// ------------------------------------------------------------------ damage

// Damage to the pages of the column catalogue (a table of `columns` int
// columns a..d, `per_page` rows a page): the walk ends, reads no page
// twice, and keeps every row it could read.
TEST(ColumnCatalogueDamage, EachDamageCostsOnlyWhatItTouches) {
    using Pages = std::vector<int32_t>;
    using Change = std::function<void(dumpwriter::Page &, const Pages &)>;
    struct Case {
        std::string what;
        int per_page, columns;
        std::vector<std::pair<size_t, Change>> damage; // a change to the n-th page
        std::vector<std::string> names;
    };
    std::vector<Case> cases = {
        {"a chain that cycles", 2, 3, {{1, [](dumpwriter::Page &p, const Pages &pages) { p.next_id = pages[0]; }}},
         {"a", "b", "c"}},
        {"a page linking to itself", 1, 2, {{1, [](dumpwriter::Page &p, const Pages &pages) { p.next_id = pages[1]; }}},
         {"a", "b"}},
        {"firoffs that leave no room for a row", 1, 3,
         {{0, [](dumpwriter::Page &p, const Pages &) { p.firoff = 4; }},
          {1, [](dumpwriter::Page &p, const Pages &) { p.firoff = 3000; }}},
         {"c"}},
        {"a used length beyond the block: zeros after the row end the page", 0, 1,
         {{0, [](dumpwriter::Page &p, const Pages &) { p.len = 32767; }}}, {"a"}},
        {"a link outside the dump", 0, 1, {{0, [](dumpwriter::Page &p, const Pages &) { p.next_id = 0x7fffff00; }}},
         {"a"}},
    };
    for (int16_t lie : {int16_t(0), int16_t(-7), int16_t(10), int16_t(25), int16_t(4000)})
        cases.push_back({"the second row's length says " + std::to_string(lie), 3, 4,
                         {{0, [lie](dumpwriter::Page &p, const Pages &) {
                               // At firoff 24 of the row that starts after "a" (30 bytes).
                               p.body[30 + 24] = static_cast<uint8_t>(lie & 0xff);
                               p.body[30 + 25] = static_cast<uint8_t>((lie >> 8) & 0xff);
                           }}},
                         {"a", "d"}});
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        ColumnDump c;
        Schema s;
        if (k.per_page) s.column_records_per_page(k.per_page);
        auto &t = s.table(101, "t");
        for (int i = 0; i < k.columns; ++i) t.column(std::string(1, static_cast<char>('a' + i)), types::kInt);
        s.add_to(c.master);
        c.dump.build();
        const Pages pages = c.master.pages_of(dumpwriter::kColumnCatalogue);
        for (const auto &d : k.damage) c.master.edit_page(pages.at(d.first), [&](dumpwriter::Page &p) { d.second(p, pages); });
        ASSERT_EQ(0, c.Read());
        EXPECT_EQ(k.names, c.Names());
    }
}
