// The dump writer lays pages out where the reader looks for them, and the
// text description builds the same dumps.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/dump_description.h"
#include "tests/support/table_builder.h"
#include "tests/unit/parser_test_support.h"

using dumpwriter::Bytes;
using dumpwriter::Dump;
using dumpwriter::Page;

namespace {

int32_t Int32At(const Bytes &b, uint64_t at) { return ReadInt32(b.data() + at); }
int16_t Int16At(const Bytes &b, uint64_t at) { return ReadInt16(b.data() + at); }

} // namespace

TEST(DumpWriterLayout, PagesAndHeadersLieWhereTheReaderLooks) {
    Dump d(4);
    auto &master = d.database("master", 1, 0);
    dumpwriter::ChainOptions one_per_page;
    one_per_page.records_per_page = 1;
    master.table(101, "orders").chain(101, {Bytes(100, 1), Bytes(100, 2)}, one_per_page);
    const Bytes b = d.bytes();
    EXPECT_EQ(master.pages_of(1), (std::vector<int32_t>{1, 2}));
    const std::vector<int32_t> pages = master.pages_of(101);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1], pages[0] + 1);

    const uint64_t at = d.page_offset(master, pages[0]);
    EXPECT_EQ(at, 8192u + uint64_t(pages[0]) * 4096u);
    EXPECT_EQ(Int32At(b, at + 0), pages[0]);
    EXPECT_EQ(Int32At(b, at + 4), pages[1]);
    EXPECT_EQ(Int32At(b, at + 8), 0);
    EXPECT_EQ(Int32At(b, at + 12), 101);
    EXPECT_EQ(b[at + 20], 1);         // one record
    EXPECT_EQ(Int16At(b, at + 26), 132); // header + record
    EXPECT_EQ(b[at + 32], 1);
    EXPECT_EQ(Int32At(b, d.page_offset(master, pages[1]) + 8), pages[0]);
    EXPECT_EQ(b.size() % 4096, 0u);
}

TEST(DumpWriterLayout, UsageStartPagesPlaceEachDatabaseOnItsBase) {
    for (int kb : {2, 4, 8, 16}) {
        Dump d(kb);
        d.database("master", 1, 0);
        auto &far = d.database("far", 2, 37);
        for (auto *db : d.databases()) {
            const int64_t offset = (int64_t(db->start_page(kb)) * kb - 8) * 1024;
            EXPECT_GE(offset, 0) << kb;
            EXPECT_EQ(offset >> 20, db->base_mb()) << kb;
        }
        far.usage_start_page(5);
        EXPECT_EQ(far.start_page(kb), 5);
    }
}

TEST(DumpWriterLayout, RefusesOverlappingDatabases) {
    Dump overlap(4);
    overlap.database("master", 1, 0);
    auto &big = overlap.database("big", 2, 1);
    for (int i = 0; i < 400; ++i) big.chain(200 + i, {Bytes(10, 1)});
    overlap.database("next", 3, 2);
    EXPECT_THROW(overlap.build(), std::invalid_argument);
    Dump same_base(4);
    same_base.database("a", 1, 0);
    same_base.database("b", 2, 0);
    EXPECT_THROW(same_base.build(), std::invalid_argument);
}

TEST(DumpWriterFile, AFarDatabaseGivesASparseFileOfTheRightSize) {
    testsupport::TempFolder folder("dump_writer");
    Dump d(2);
    d.database("master", 1, 0);
    d.database("far", 2, 4200);
    const std::string path = folder / "far.dump";
    if (!d.write_file(path)) GTEST_SKIP() << "the file system refused a sparse file";
    platform::File f = platform::File::openForReading(path);
    ASSERT_TRUE(f.isOpen());
    EXPECT_EQ(f.size(), d.size());
    uint8_t header[32];
    ASSERT_EQ(f.readAt(d.page_offset(*d.databases()[1], 1), header, 32), 32u);
    EXPECT_EQ(ReadInt32(header), 1);
    EXPECT_EQ(ReadInt32(header + 12), 1);
}

TEST(DumpDescription, BuildsDatabasesAndObjectsFromLines) {
    std::istringstream text(
        "# two databases\n"
        "database master 1 0\n"
        "block_size 8   # may come anywhere\n"
        "database sales 5 2\n"
        "table 110 customers\n"
        "object 140 V open_orders\n"
        "start_page 9999\n");
    std::string error;
    auto dump = dumpwriter::ReadDescription(text, error);
    ASSERT_TRUE(dump) << error;
    EXPECT_EQ(dump->kb(), 8);
    ASSERT_EQ(dump->databases().size(), 2u);
    EXPECT_EQ(dump->databases()[1]->name(), "sales");
    EXPECT_EQ(dump->databases()[1]->start_page(8), 9999);

    parsertest::Parsed<> p(*dump);
    ASSERT_EQ(p.List(), 0);
    EXPECT_EQ(p->bl.kb, 8);
    EXPECT_EQ(p.count, 2u);

    std::istringstream f15("format 15\ndatabase master 1 0\ntable 110 t\ncolumn u unichar(4)\nrow 'ab'\n");
    auto dump15 = dumpwriter::ReadDescription(f15, error);
    ASSERT_TRUE(dump15) << error;
    EXPECT_EQ(dump15->format(), dumpwriter::Format::k15);
    parsertest::Parsed<VRNParser15> p15(*dump15);
    EXPECT_EQ(p15->DetectFormat(0), 1);
}

TEST(DumpDescription, ErrorsNameTheLine) {
    const std::pair<const char *, const char *> cases[] = {
        {"table 1 t\n", "line 1: 'table' before the first database line"},
        {"database m 1 0\nblock_size 3\n", "line 2: block_size takes 2, 4, 8, 16 or 32"},
        {"database m 1 0\n\nobject 5 XY name\n", "line 3: object takes an id, a type letter and a name"},
        {"database m 1\n", "line 1: database takes a name, a dbid and a base in MiB"},
        {"database m 1 0\nfrobnicate\n", "line 2: unknown statement 'frobnicate'"},
        {"format 14\n", "line 1: format takes 12 or 15"},
        {"database m 1 0\nskip\n", "line 2: skip needs format 15"},
    };
    for (const auto &c : cases) {
        std::istringstream text(c.first);
        std::string error;
        EXPECT_FALSE(dumpwriter::ReadDescription(text, error)) << c.first;
        EXPECT_EQ(error, c.second);
    }
}


// ------------------------------------------------------------------ format 15

namespace {

// A page of a written dump: header fields and body.
struct WrittenPage {
    int32_t next_id = 0, type = 0;
    int16_t len = 0, firoff = 0;
    const uint8_t *body = nullptr;
};

WrittenPage PageOf(const Bytes &b, Dump &d, const dumpwriter::Database &db, int32_t page) {
    const uint64_t at = d.page_offset(db, page);
    WrittenPage p;
    p.next_id = Int32At(b, at + 4);
    p.type = Int32At(b, at + 12);
    p.len = Int16At(b, at + 26);
    p.firoff = Int16At(b, at + 30);
    p.body = b.data() + at + 32;
    return p;
}

// The row numbered `row` of a row page: rows from body offset 12, each as
// long as the int16 at the page's firoff says.
const uint8_t *RowOf(const WrittenPage &p, uint8_t row) {
    for (int s = 12; s + p.firoff + 2 <= p.len - 32;) {
        if (p.body[s] == row) return p.body + s;
        const int16_t length = ReadInt16(p.body + s + p.firoff);
        if (length <= 0) break;
        s += length;
    }
    return nullptr;
}

// Every row a map chain names, from its first page: entries of `size`
// bytes (0: 12 + the key length byte at 11) from body offset `first`, with
// the page at `page_at` and the row number at `page_at + 4`.
std::vector<const uint8_t *> MappedRows(const Bytes &b, Dump &d, const dumpwriter::Database &db, int32_t map,
                                        int first, int size, int page_at, int32_t owner) {
    std::vector<const uint8_t *> rows;
    for (int32_t m = map; m != 0;) {
        const WrittenPage page = PageOf(b, d, db, m);
        EXPECT_EQ(page.type, owner) << "map page " << m;
        for (int e = first; e < page.len - 32;) {
            const uint8_t *entry = page.body + e;
            const int n = size != 0 ? size : 12 + entry[11];
            const WrittenPage target = PageOf(b, d, db, ReadInt32(entry + page_at));
            rows.push_back(RowOf(target, entry[page_at + 4]));
            EXPECT_TRUE(rows.back()) << "entry at " << e << " of map page " << m;
            e += n;
        }
        m = page.next_id;
    }
    return rows;
}

} // namespace

// Every map of a format-15 database starts on its fixed page and names rows
// that lie where it says, at every block size.
TEST(DumpWriterFormat15, MapsFromPages161_90_50_34NameTheirRows) {
    for (int kb : {2, 16}) {
        Dump d(kb, dumpwriter::Format::k15);
        auto &master = d.database("master", 1, 0);
        auto &sales = d.database("sales", 5, 4).skip_flag(7);
        dumpwriter::Schema s;
        s.table(110, "customers").column("id", dumpwriter::types::kInt).numeric("due", dumpwriter::types::kDecimal, 10, 2);
        s.add_to(sales);
        for (int i = 0; i < 150; ++i) sales.table(200 + i, "t" + std::to_string(i)); // a map over several pages
        const Bytes b = d.bytes();

        std::vector<std::string> names;
        for (const uint8_t *row : MappedRows(b, d, sales, 161, 12, 0, 5, 1))
            if (row) names.push_back(std::string(reinterpret_cast<const char *>(row + 72), ReadInt16(row + 70) - 80));
        ASSERT_EQ(names.size(), 153u) << kb;
        EXPECT_EQ(names[0], "sysobjects");
        EXPECT_EQ(names[1], "syscolumns");
        EXPECT_EQ(names[2], "customers");
        EXPECT_EQ(names[152], "t149");
        EXPECT_EQ(Int32At(b, d.page_offset(sales, 1)), 1);

        const auto columns = MappedRows(b, d, sales, 50, 21, 15, 0, 3);
        ASSERT_EQ(columns.size(), 2u);
        EXPECT_EQ(ReadInt32(columns[1] + 8), 110);
        EXPECT_EQ(columns[1][26], dumpwriter::types::kDecimal);
        EXPECT_EQ(ReadInt16(columns[1] + 36), 40 + 3 + 8); // name, precision, scale, 6 zeros
        EXPECT_EQ(columns[1][38 + 3], 10);
        EXPECT_EQ(PageOf(b, d, sales, 34).type, 2);

        // The name index of the master names sysusages, whose usage rows
        // hold each database's placement and skip flag.
        int32_t usage = 0;
        for (const uint8_t *row : MappedRows(b, d, master, 90, 13, 17, 10, 2))
            if (row && std::string(reinterpret_cast<const char *>(row + 56), ReadInt16(row + 54) - 58) == "sysusages")
                usage = ReadInt32(row + 32);
        ASSERT_NE(usage, 0) << kb;
        const WrittenPage u = PageOf(b, d, master, usage);
        EXPECT_EQ(u.type, 31);
        ASSERT_GE(u.len, 32 + 13 + 2 * 48);
        const uint8_t *second = u.body + 13 + 48;
        EXPECT_EQ(ReadInt16(second + 5), 5);
        EXPECT_EQ(ReadInt32(second + 19), sales.start_page(kb));
        EXPECT_EQ(ReadInt32(second + 23), 7);
        EXPECT_EQ(ReadInt32(u.body + 13 + 23), 0);
    }
}
