// The dump writer lays pages out where the reader looks for them, and the
// text description builds the same dumps.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/dump_description.h"
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
}

TEST(DumpDescription, ErrorsNameTheLine) {
    const std::pair<const char *, const char *> cases[] = {
        {"table 1 t\n", "line 1: 'table' before the first database line"},
        {"database m 1 0\nblock_size 3\n", "line 2: block_size takes 2, 4, 8, 16 or 32"},
        {"database m 1 0\n\nobject 5 XY name\n", "line 3: object takes an id, a type letter and a name"},
        {"database m 1\n", "line 1: database takes a name, a dbid and a base in MiB"},
        {"database m 1 0\nfrobnicate\n", "line 2: unknown statement 'frobnicate'"},
    };
    for (const auto &c : cases) {
        std::istringstream text(c.first);
        std::string error;
        EXPECT_FALSE(dumpwriter::ReadDescription(text, error)) << c.first;
        EXPECT_EQ(error, c.second);
    }
}

