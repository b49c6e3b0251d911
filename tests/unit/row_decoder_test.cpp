// Format-12 data rows cut into INSERT statements: every stored type in the
// fixed and the variable area, the NULL rules, text and image chains, and
// the damage a dump can carry (lying lengths and offset tables, chains that
// loop or leave the table).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_chain.h"
#include "tests/unit/parser_test_support.h"
#include "tests/unit/row_test_support.h"
#include "vrndll/catalogue/TableKeys.h"
#include "vrndll/output/OutputWriter.h"
#include "vrndll/rows/RowLayout.h"
#include "vrndll/VRNParser12.h"

using dumpwriter::Bytes;
using dumpwriter::ToBytes;
using parsertest::CancelFlag;
using parsertest::LogCapture;
using namespace rowtest;

namespace {

// A dump with table 101 "t", its data chain and a parser on it with the
// columns given.
class RowDecoding : public ::testing::Test {
protected:
    RowDecoding() { Reset(2); }

    // A new, empty dump of `kb` KiB pages.
    void Reset(int kb) {
        kb_ = kb;
        dump_.reset(new dumpwriter::Dump(kb));
        db_ = &dump_->database("master", 1, 0);
    }

    // The rows of table 101 on its data chain, `per_page` rows a page.
    void Rows(const std::vector<Bytes> &rows, int16_t firoff, int per_page = 0) {
        dumpwriter::ChainOptions o;
        o.firoff = firoff;
        o.records_per_page = per_page;
        db_->chain(kTable, rows, o);
    }
    void Open(const std::vector<ColumnEntry> &columns) {
        file_ = dump_->memory_file();
        parser_.reset(new VRNParser12(file_.get(), kb_, static_cast<int64_t>(file_->size()), 0));
        parser_->VRN_bl_count = static_cast<int32_t>(file_->size() / (kb_ * 1024u));
        SysobjEntry t;
        t.id = kTable;
        t.type = 'U';
        std::strcpy(t.name, "t");
        const std::vector<int32_t> pages = db_->pages_of(kTable);
        t.first_block = pages.empty() ? 0 : pages.front();
        t.first_field = 0;
        parser_->pSysobj.assign(1, t);
        parser_->iSysobj = 1;
        parser_->fields = columns;
        columns_ = static_cast<uint32_t>(columns.size());
    }
    // Every batch of the table, as GenerateData asks for them.
    std::string All(int *rc = nullptr, int *total = nullptr) {
        std::string text;
        int32_t block = -1;
        int sum = 0;
        int result = 0;
        for (int guard = 0; guard < 1000; ++guard) {
            int32_t rows = -7;
            result = parser_->GetOneString(text, &block, 0, columns_, &rows);
            if (result != 0) break;
            sum += rows;
            if (block == 0) break;
        }
        if (rc) *rc = result;
        if (total) *total = sum;
        return text;
    }

    int kb_ = 2;
    std::unique_ptr<dumpwriter::Dump> dump_;
    dumpwriter::Database *db_ = nullptr;
    std::unique_ptr<platform::MemoryFile> file_;
    std::unique_ptr<VRNParser12> parser_;
    uint32_t columns_ = 0;
};

const char kGo[] = "\nGO\n";

std::string Insert(const std::string &names, const std::string &values) {
    return "INSERT INTO t(" + names + ") \n VALUES(" + values + ")\n";
}

// ================================================================== every type

TEST_F(RowDecoding, EveryFixedTypeIsWrittenFromTheFixedArea) {
    const std::vector<ColumnEntry> columns = {
        Column("ti", 5), Column("si", 6), Column("i", 7), Column("f", 8), Column("r", 23),
        Column("m", 11), Column("sm", 21), Column("dt", 12), Column("sdt", 22), Column("b", 16),
        Column("c", 1, 4), Column("nc", 24, 3), Column("bin", 3, 4), Column("n", 10, 3, false, 5, 2),
        Column("sn", 18, 6)};
    const Bytes fixed = Cat({{200}, Le(-2, 2), Le(123456, 4), Le(0x3FB999999999999ALL, 8) /* 0.1 */,
                             Le(0x3FC00000, 4) /* 1.5 */, Le(0, 4), Le(10500, 4), Le(-25000, 4),
                             Le(36525, 4), Le(300 * 3661 + 1, 4), Le(36525, 2), Le(61, 2), {1},
                             Text("ab'c"), Text("xyz"), {0x0a, 0x00, 0xff, 0x00}, {1, 0x04, 0xd2},
                             Text("master")});
    Rows({Row(0, fixed)}, static_cast<int16_t>(2 + fixed.size()));
    Open(columns);
    EXPECT_EQ(All(), Insert("ti,si,i,f,r,m,sm,dt,sdt,b,c,nc,bin,n,sn",
                            "200,-2,123456,0.1,1.5,1.0500,-2.5000,'1/2/2000 1:1:1.003',"
                            "'1/2/2000 1:1:0.0',1,'ab''c','xyz',0x0a00ff,-12.34,'master'") +
                         kGo);
}

TEST_F(RowDecoding, EveryVariableTypeTakesItsOffsetTableLength) {
    // Nullable fixed types live in the variable area like varchar does.
    const std::vector<ColumnEntry> columns = {
        Column("vc", 2, 20, true),  Column("vb", 4, 8, true),  Column("nvc", 25, 20, true),
        Column("c", 1, 10, true),   Column("i", 7, 0, true),   Column("f", 8, 0, true),
        Column("m", 11, 0, true),   Column("n", 26, 9, true, 10, 2),
        Column("bin", 3, 6, true),  Column("dt", 12, 0, true), Column("sn", 18, 30, true),
        Column("u", 35, 10, true)};
    const std::vector<Bytes> var = {
        Text("it's"), {0xde, 0xad, 0x00}, Text("n"),
        Text("ab"), // nullable char(10) stores 2 bytes: the next value must not move
        Le(-7, 4), Le(0x4004000000000000LL, 8) /* 2.5 */, Cat({Le(0, 4), Le(10500, 4)}),
        {0, 0x30, 0x39}, {0x01, 0x00, 0x00}, Cat({Le(0, 4), Le(0, 4)}), Text("sa"), {0x41, 0x00}};
    const Bytes row = Row(0, {}, var);
    Rows({row}, 2);
    Open(columns);
    EXPECT_EQ(All(), Insert("vc,vb,nvc,c,i,f,m,n,bin,dt,sn,u",
                            "'it''s',0xdead00,'n','ab',-7,2.5,1.0500,123.45,0x010000,"
                            "'1/1/1900 0:0:0','sa','A'") +
                         kGo);
}

TEST_F(RowDecoding, TypesWithoutALiteralOfTheirOwnKeepTheirBytesAndTheirPlace) {
    // A timestamp in the fixed area takes its declared length, an unknown
    // code (always in the variable area) its offset-table length; the
    // values after them are read from the right place.
    std::vector<ColumnEntry> columns = {Column("ts", 80, 8), Column("k", 7), Column("u", 99, 3, true),
                                        Column("v", 2, 5, true)};
    columns[0].fixed = 1; // as the reader of later generations marks it
    Rows({Row(0, Cat({{0, 0, 0, 0, 0, 0, 0x12, 0x34}, Le(42, 4)}), {{1, 2, 3}, Text("after")})}, 14);
    Open(columns);
    EXPECT_EQ(All(), Insert("ts,k,u,v", "0x0000000000001234,42,0x010203,'after'") + kGo);
}

TEST_F(RowDecoding, FixedAndVariableColumnsAreListedFixedFirst) {
    // Catalogue order a, b, c: a nullable between two fixed columns.
    Rows({Row(0, Cat({Le(1, 4), Le(2, 2)}), {Text("x")})}, 8);
    Open({Column("a", 7), Column("b", 2, 10, true), Column("c", 6)});
    EXPECT_EQ(All(), Insert("a,c,b", "1,2,'x'") + kGo);
}

TEST_F(RowDecoding, NamesThatAreNoPlainIdentifiersAreQuotedAsInTheTableScript) {
    Rows({Row(0, Le(1, 4), {Text("x")})}, 6);
    Open({Column("first id", 7), Column("a]b", 2, 5, true)});
    std::strcpy(parser_->pSysobj[0].name, "order lines");
    EXPECT_EQ(All(), "INSERT INTO [order lines]([first id],[a]]b]) \n VALUES(1,'x')\n" + std::string(kGo));
}

TEST_F(RowDecoding, ACharacterValueHoldingNulBytesStaysWhole) {
    Rows({Row(0, {}, {Bytes{'a', 0, 'b'}}), Row(1, {}, {Text("next")})}, 2);
    Open({Column("v", 2, 10, true)});
    EXPECT_EQ(All(), Insert("v", "'a'+char(0)+'b'") + Insert("v", "'next'") + kGo);
}

// ================================================================== NULL rules

TEST_F(RowDecoding, ANullVariableColumnIsLeftOutWhereverItStands) {
    const std::vector<ColumnEntry> columns = {Column("k", 7), Column("a", 2, 5, true),
                                              Column("b", 2, 5, true), Column("c", 2, 5, true)};
    Rows({Row(0, Le(1, 4), {{}, Text("b"), Text("c")}),  // first NULL
          Row(1, Le(2, 4), {Text("a"), {}, Text("c")}),  // middle NULL
          Row(2, Le(3, 4), {Text("a"), Text("b"), {}}),  // last NULL
          Row(3, Le(4, 4)),                              // var_count 0: all NULL
          Row(4, Le(5, 4), {Text("a")}),                 // fewer columns stored
          Row(5, Le(6, 4), {Text("a"), {}, {}, Text("z")})}, // more columns stored than defined
         6);
    Open(columns);
    int total = 0;
    EXPECT_EQ(All(nullptr, &total),
              Insert("k,b,c", "1,'b','c'") + Insert("k,a,c", "2,'a','c'") + Insert("k,a,b", "3,'a','b'") +
                  Insert("k", "4") + Insert("k,a", "5,'a'") + Insert("k,a", "6,'a'") + kGo);
    EXPECT_EQ(total, 6);
}

TEST_F(RowDecoding, ARowOfNullsStillInsertsARow) {
    Rows({Row(0, {}, {{}, {}}), Row(1, {})}, 2);
    Open({Column("a", 2, 5, true), Column("b", 7, 0, true)});
    EXPECT_EQ(All(), Insert("a", "NULL") + Insert("a", "NULL") + kGo);
}

TEST_F(RowDecoding, RowsLongerThan255BytesKeepTheirValues) {
    // Offset-table positions are single bytes and wrap in a long row.
    const std::string a(200, 'a'), b(100, 'b');
    Rows({Row(0, Le(9, 4), {Text(a), Text(b), Text("c")})}, 6);
    Open({Column("k", 7), Column("a", 2, 255, true), Column("b", 2, 255, true), Column("c", 2, 5, true)});
    EXPECT_EQ(All(), Insert("k,a,b,c", "9,'" + a + "','" + b + "','c'") + kGo);
}

// ================================================================== pages and chains

TEST_F(RowDecoding, OnePagePerCallUntilTheChainEnds) {
    std::vector<Bytes> rows;
    for (int k = 0; k < 5; ++k) rows.push_back(Row(static_cast<uint8_t>(k), Le(k, 4)));
    Rows(rows, 6, 2);
    Open({Column("k", 7)});
    const std::vector<int32_t> pages = db_->pages_of(kTable);
    ASSERT_EQ(pages.size(), 3u);

    std::string text;
    int32_t block = -1, count = 0;
    ASSERT_EQ(parser_->GetOneString(text, &block, 0, 1, &count), 0);
    EXPECT_EQ(text, Insert("k", "0") + Insert("k", "1") + kGo);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(block, pages[1]);
    ASSERT_EQ(parser_->GetOneString(text, &block, 0, 1, &count), 0);
    ASSERT_EQ(parser_->GetOneString(text, &block, 0, 1, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(block, 0);
}

// The layout of a table is kept from page to page; a catalogue changed
// between two pages (columns guessed, renamed or retyped, the table
// renamed) is read again for the next page.
TEST_F(RowDecoding, ACatalogueChangedBetweenPagesShapesTheNextPage) {
    struct Change {
        const char *what;
        void (*apply)(VRNParser12 &parser);
        std::string second_page;
    };
    const std::string unchanged = "INSERT INTO t(a,b) \n VALUES(2,'y')\n";
    const std::vector<Change> changes = {
        {"nothing", [](VRNParser12 &) {}, unchanged},
        {"a column renamed", [](VRNParser12 &p) { p.fields[0] = Column("z y", 7); },
         "INSERT INTO t([z y],b) \n VALUES(2,'y')\n"},
        {"a column retyped", [](VRNParser12 &p) { p.fields[0] = Column("a", 3, 4); },
         "INSERT INTO t(a,b) \n VALUES(0x02,'y')\n"},
        {"the table renamed", [](VRNParser12 &p) { std::strcpy(p.pSysobj[0].name, "u"); },
         "INSERT INTO u(a,b) \n VALUES(2,'y')\n"},
        {"a column of another table added before", [](VRNParser12 &p) {
             p.fields.insert(p.fields.begin(), Column("o", 7, 0, false, 0, 0, kTable - 1));
         }, unchanged},
        {"the columns replaced by guessed ones", [](VRNParser12 &p) {
             ColumnEntry first = Column("Field1", 7), second = Column("Field2", 2, 20, true);
             first.guessed = second.guessed = true;
             p.fields.push_back(first);
             p.fields.push_back(second);
             p.fields[0].tab_id = p.fields[1].tab_id = kTable + 1;
             p.pSysobj[0].first_field = 2;
         }, "INSERT INTO t(Field1,Field2) \n VALUES(2,'y')\n"},
    };
    for (const Change &change : changes) {
        SCOPED_TRACE(change.what);
        Reset(2);
        Rows({Row(0, Le(1, 4), {Text("x")}), Row(1, Le(2, 4), {Text("y")})}, 6, 1);
        Open({Column("a", 7), Column("b", 2, 20, true)});
        std::string first, second;
        int32_t block = -1, count = 0;
        ASSERT_EQ(parser_->GetOneString(first, &block, 0, columns_, &count), 0);
        EXPECT_EQ(first, Insert("a,b", "1,'x'") + kGo);
        ASSERT_NE(block, 0);
        change.apply(*parser_);
        ASSERT_EQ(parser_->GetOneString(second, &block, 0, columns_, &count), 0);
        EXPECT_EQ(second, change.second_page + kGo);
        EXPECT_EQ(block, 0);
    }
}

TEST_F(RowDecoding, APageWithoutRowsIsAnEmptyBatch) {
    Rows({}, 6);
    Open({Column("k", 7)});
    int total = -1;
    EXPECT_EQ(All(nullptr, &total), kGo);
    EXPECT_EQ(total, 0);
}

TEST_F(RowDecoding, ATableWithoutAFirstPageReadsNothing) {
    Open({Column("k", 7)});
    for (int32_t first : {0, -1, -5}) {
        parser_->pSysobj[0].first_block = first;
        std::string text;
        int32_t block = -1, rows = 3;
        EXPECT_EQ(parser_->GetOneString(text, &block, 0, 1, &rows), 0);
        EXPECT_EQ(block, 0);
        EXPECT_EQ(rows, 0);
        EXPECT_EQ(text, "");
    }
}

TEST_F(RowDecoding, ADataChainThatLoopsEnds) {
    Rows({Row(0, Le(1, 4)), Row(1, Le(2, 4))}, 6, 1);
    dump_->build();
    const std::vector<int32_t> pages = db_->pages_of(kTable);
    db_->edit_page(pages[1], [&](dumpwriter::Page &p) { p.next_id = pages[0]; });
    Open({Column("k", 7)});
    int rc = -1;
    EXPECT_EQ(All(&rc), Insert("k", "1") + kGo + Insert("k", "2") + kGo);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(parser_->counts.chains_broken, 1u);
}

TEST_F(RowDecoding, ADataChainEndsWhereItLeavesTheTableOrTheDump) {
    Rows({Row(0, Le(1, 4)), Row(1, Le(2, 4))}, 6, 1);
    dump_->build();
    const std::vector<int32_t> pages = db_->pages_of(kTable);
    // The second page belongs to another object: its rows are not this table's.
    db_->edit_page(pages[1], [](dumpwriter::Page &p) { p.type = 555; });
    Open({Column("k", 7)});
    EXPECT_EQ(All(), Insert("k", "1") + kGo);
    EXPECT_EQ(parser_->counts.chains_broken, 1u);

    db_->edit_page(pages[0], [](dumpwriter::Page &p) { p.next_id = 4000000; });
    Open({Column("k", 7)});
    EXPECT_EQ(All(), Insert("k", "1") + kGo);
    EXPECT_EQ(parser_->counts.chains_broken, 1u);

    db_->edit_page(pages[0], [](dumpwriter::Page &p) { p.next_id = -3; });
    Open({Column("k", 7)});
    EXPECT_EQ(All(), Insert("k", "1") + kGo);
}

TEST_F(RowDecoding, ACancelWhileRowsAreCutStopsThePage) {
    Rows({Row(0, Le(1, 4)), Row(1, Le(2, 4))}, 6);
    Open({Column("k", 7)});
    CancelFlag flag;
    flag.Set(true);
    std::string text;
    int32_t block = -1, rows = 0;
    EXPECT_EQ(parser_->GetOneString(text, &block, 0, 1, &rows), -1000);
}

// ================================================================== text and image

class TextValues : public RowDecoding {};

TEST_F(TextValues, TextAndImageChainsSpanPagesAndTheRowsAfterThemStayWhole) {
    std::string story;
    for (int k = 0; k < 300; ++k) story += static_cast<char>('a' + k % 26);
    story[10] = '\'';
    Bytes picture;
    for (int k = 0; k < 40; ++k) picture.push_back(static_cast<uint8_t>(k * 7));
    dumpwriter::TextChain(*db_, kTextOwner, 200, ToBytes(story), 120);  // pages 200..202
    dumpwriter::TextChain(*db_, kTextOwner, 210, picture, 16);          // pages 210..212
    Rows({Row(0, Le(1, 4), {dumpwriter::TextPointer(200), dumpwriter::TextPointer(210)}),
          Row(1, Le(2, 4), {{}, {}, Text("after")}), Row(2, Le(3, 4), {{}, {}, Text("last")})},
         6);
    Open({Column("k", 7), Column("story", 19, 16, true), Column("pic", 20, 16, true),
          Column("note", 2, 10, true)});

    std::string quoted = story;
    quoted.replace(10, 1, "''");
    std::string hex;
    for (uint8_t b : picture) {
        const char digits[] = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    EXPECT_EQ(All(), Insert("k,story,pic", "1,'" + quoted + "',0x" + hex) + Insert("k,note", "2,'after'") +
                         Insert("k,note", "3,'last'") + kGo);
}

TEST_F(TextValues, ATextChainThatLoopsEndsTheValueNotTheRows) {
    dumpwriter::TextChain(*db_, kTextOwner, 200, ToBytes("abcdef"), 3); // pages 200, 201
    db_->edit_page(201, [](dumpwriter::Page &p) { p.next_id = 200; });
    Rows({Row(0, {}, {dumpwriter::TextPointer(200)}), Row(1, {}, {{}, Text("next")})}, 2);
    Open({Column("story", 19, 16, true), Column("v", 2, 5, true)});
    EXPECT_EQ(All(), Insert("story", "'abcdef'") + Insert("v", "'next'") + kGo);
    EXPECT_EQ(parser_->counts.chains_broken, 1u);
}

TEST_F(TextValues, ATextPointerWithoutAPageIsNullAndAnEmptyImageIsEmpty) {
    dumpwriter::TextChain(*db_, kTextOwner, 200, {}, 10);
    Rows({Row(0, {}, {dumpwriter::TextPointer(0)}), Row(1, {}, {Bytes{1, 2, 3}}),
          Row(2, {}, {{}, dumpwriter::TextPointer(200)})},
         2);
    Open({Column("story", 19, 16, true), Column("pic", 20, 16, true)});
    EXPECT_EQ(All(), Insert("story", "NULL") + Insert("story", "NULL") + Insert("pic", "0x") + kGo);
}

TEST_F(TextValues, ACancelInsideATextChainDropsTheRow) {
    dumpwriter::TextChain(*db_, kTextOwner, 200, ToBytes("abcdef"), 3);
    Rows({Row(0, {}, {dumpwriter::TextPointer(200)})}, 2);
    Open({Column("story", 19, 16, true)});
    CancelFlag flag;
    RowReader &row = parser_->RowsOf(0);
    row.var_count = 1;
    row.row_length = 2 + 2 + 16 + 2;
    row.fixed_length = 0;
    std::memcpy(row.var_area, Row(0, {}, {dumpwriter::TextPointer(200)}).data() + 4, 18);
    flag.Set(true);
    std::string text = "kept";
    EXPECT_EQ(parser_->PrintOneString(text, 0, 18, 1), -1000);
    EXPECT_EQ(text, "kept");
}

// Rows that all name one chain, a chain that runs into the pages of
// another, and two columns of a row naming one chain: each page is read for
// one value; a value that would read it again is NULL.
TEST_F(TextValues, APageIsReadForOneValueOnly) {
    struct Case {
        const char *name;
        std::vector<Bytes> rows;
        std::vector<ColumnEntry> columns;
        std::string expected;
        uint64_t nulls;
    };
    const Bytes p200 = dumpwriter::TextPointer(200), p210 = dumpwriter::TextPointer(210);
    const std::vector<Case> cases = {
        {"rows naming one chain",
         {Row(0, {}, {p200}), Row(1, {}, {p200}), Row(2, {}, {p200})},
         {Column("story", 19, 16, true)},
         Insert("story", "'abcdef'") + Insert("story", "NULL") + Insert("story", "NULL") + kGo,
         2},
        {"a chain running into another's pages",
         {Row(0, {}, {p200}), Row(1, {}, {p210})},
         {Column("story", 19, 16, true)},
         Insert("story", "'abcdef'") + Insert("story", "NULL") + kGo,
         1},
        {"text and image of one row naming one chain",
         {Row(0, {}, {p200, p200})},
         {Column("story", 19, 16, true), Column("pic", 20, 16, true)},
         Insert("story,pic", "'abcdef',NULL") + kGo,
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reset(2);
        dumpwriter::TextChain(*db_, kTextOwner, 200, ToBytes("abcdef"), 3); // pages 200, 201
        dumpwriter::TextChain(*db_, kTextOwner, 210, ToBytes("xyz"), 3);    // page 210, then 201
        db_->edit_page(210, [](dumpwriter::Page &p) { p.next_id = 201; });
        Rows(c.rows, 2);
        Open(c.columns);
        EXPECT_EQ(All(), c.expected);
        EXPECT_EQ(parser_->counts.values_null, c.nulls);
    }
}

// A chain that breaks at its first page gave nothing: NULL where the column
// takes it, else the empty value counted as changed; a chain broken after
// some pages keeps what was read and is counted as changed. Each is named
// with its data page and row, and counted once, whatever the output format.
TEST_F(TextValues, AChainThatGaveNothingIsNullOrCountedAsChanged) {
    struct Case {
        const char *name;
        uint8_t type;
        bool nullable;
        int32_t pointer; // first page the row names
        std::string written;
        uint64_t nulls, changed;
    };
    constexpr int32_t kOutside = 0x7fffff00;
    const std::vector<Case> cases = {
        {"text, nullable, nothing read", 19, true, kOutside, "NULL", 1, 0},
        {"text, not null, nothing read", 19, false, kOutside, "''", 0, 1},
        {"image, nullable, nothing read", 20, true, kOutside, "NULL", 1, 0},
        {"image, not null, nothing read", 20, false, kOutside, "0x", 0, 1},
        {"unitext, nullable, nothing read", 36, true, kOutside, "NULL", 1, 0},
        {"text, read in part", 19, true, 200, "'abc'", 0, 1},
        {"image, read in part", 20, false, 200, "0x616263", 0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reset(2);
        LogCapture log;
        dumpwriter::TextChain(*db_, kTextOwner, 200, ToBytes("abcdef"), 3); // pages 200, 201
        db_->edit_page(200, [&](dumpwriter::Page &p) { p.next_id = kOutside; });
        Rows({Row(0, {}, {dumpwriter::TextPointer(c.pointer)}), Row(1, {}, {{}, Text("next")})}, 2);
        Open({Column("story", c.type, 16, c.nullable), Column("v", 2, 5, true)});
        EXPECT_EQ(All(), Insert("story", c.written) + Insert("v", "'next'") + kGo);
        EXPECT_EQ(parser_->counts.values_null, c.nulls);
        EXPECT_EQ(parser_->counts.values_changed, c.changed);
        EXPECT_EQ(parser_->counts.chains_broken, 1u);
        EXPECT_TRUE(log.HasContaining("Row 0 of page " + std::to_string(db_->pages_of(kTable).front()) +
                                      " of table t: column story"));

        for (OutputFormat format : {OutputFormat::kPostgres, OutputFormat::kSqlite}) {
            SCOPED_TRACE(static_cast<int>(format));
            Open({Column("story", c.type, 16, c.nullable), Column("v", 2, 5, true)});
            testsupport::TempFolder folder("chain_losses");
            RecoveryOptions options;
            options.output_format = format;
            const std::unique_ptr<OutputWriter> writer = MakeOutputWriter(options);
            ASSERT_EQ(writer->BeginDatabase("master", folder.path()), 0);
            const TableSchema schema = BuildTableSchema(*parser_, TableKeys(*parser_), 0, nullptr, nullptr);
            ASSERT_EQ(writer->Table(schema), 0);
            parser_->RowsOf(0).SetSink(&writer->BeginRows(schema));
            std::string rows = All();
            EXPECT_EQ(writer->WriteRows(rows), 0);
            EXPECT_EQ(writer->EndBatch(2), 0);
            EXPECT_EQ(writer->EndRows(schema), 0);
            EXPECT_EQ(writer->EndDatabase(), 0);
            EXPECT_NE(testsupport::ReadFileText(testsupport::JoinPath(folder.path(), "load.sql")).find("next"),
                      std::string::npos);
            EXPECT_EQ(parser_->counts.values_null, c.nulls);
            EXPECT_EQ(parser_->counts.values_changed, c.changed);
            EXPECT_EQ(parser_->counts.chains_broken, 1u);
            EXPECT_EQ(parser_->lost_values.listed.size(), c.nulls + c.changed);
        }
    }
}

// With a writer for pieces, a page's batch leaves the parser whenever it
// passes kBatchPieceSize: what is held stays below that plus one row, however
// many rows of long values the page holds, and nothing is lost or doubled.
TEST_F(TextValues, APagesBatchLeavesInPiecesOfBoundedSize) {
    constexpr int kRows = 90;
    const std::string value(4 * 1900, 'x');
    std::vector<Bytes> rows;
    for (int k = 0; k < kRows; ++k) {
        dumpwriter::TextChain(*db_, kTextOwner, 200 + 4 * k, ToBytes(value), 1900);
        rows.push_back(Row(static_cast<uint8_t>(k), {}, {dumpwriter::TextPointer(200 + 4 * k)}));
    }
    Rows(rows, 2); // one page
    Open({Column("story", 19, 16, true)});
    std::string written;
    size_t largest = 0;
    int pieces = 0;
    parser_->batch_piece = [&](std::string &piece) {
        largest = std::max(largest, piece.size());
        written += piece;
        piece.clear();
        ++pieces;
        return 0;
    };
    int rc = -1, total = 0;
    written += All(&rc, &total);
    const std::string one_row = Insert("story", "'" + value + "'");
    std::string expected;
    for (int k = 0; k < kRows; ++k) expected += one_row;
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(total, kRows);
    EXPECT_TRUE(written == expected + kGo) << written.size() << " bytes";
    EXPECT_GT(pieces, 5);
    EXPECT_LT(largest, RowReader::kBatchPieceSize + one_row.size());
}

// ================================================================== damage

class DamagedRows : public RowDecoding {};

TEST_F(DamagedRows, ARowLengthThatLiesEndsThePageButNotTheTable) {
    Bytes liar = Row(1, Le(2, 4), {Text("bb")});
    liar[6] = 0xff; // row length 0x??ff: far beyond the page
    liar[7] = 0x70;
    Rows({Row(0, Le(1, 4), {Text("a")}), liar, Row(2, Le(3, 4), {Text("c")}), Row(3, Le(4, 4), {Text("d")})}, 6, 3);
    Open({Column("k", 7), Column("v", 2, 5, true)});
    EXPECT_EQ(All(), Insert("k,v", "1,'a'") + kGo + Insert("k,v", "4,'d'") + kGo);
    EXPECT_EQ(parser_->counts.pages_unreadable, 1u);
}

TEST_F(DamagedRows, ANegativeOrTooShortRowLengthEndsThePage) {
    for (int16_t length : {-4, 3, 7}) {
        Bytes liar = Row(1, Le(2, 4), {Text("bb")});
        liar[6] = static_cast<uint8_t>(length & 0xff);
        liar[7] = static_cast<uint8_t>((length >> 8) & 0xff);
        Reset(2);
        Rows({Row(0, Le(1, 4), {Text("a")}), liar, Row(2, Le(3, 4), {Text("c")})}, 6);
        Open({Column("k", 7), Column("v", 2, 5, true)});
        int total = 0;
        EXPECT_EQ(All(nullptr, &total), Insert("k,v", "1,'a'") + kGo) << length;
        EXPECT_EQ(total, 1);
    }
}

TEST_F(DamagedRows, AnOffsetTableThatLiesSkipsOnlyItsRow) {
    Bytes backwards = Row(1, Le(2, 4), {Text("bb"), Text("c")});
    std::swap(backwards[backwards.size() - 1], backwards[backwards.size() - 2]); // a negative length
    Bytes beyond = Row(2, Le(3, 4), {Text("x")});
    beyond[beyond.size() - 2] = 250; // the value would end past the row
    Bytes short_table = Row(3, Le(4, 4), {Text("x")});
    short_table[0] = 9; // nine columns cannot have their offsets in a three-byte area
    Rows({backwards, beyond, short_table, Row(4, Le(5, 4), {Text("ok"), Text("y")})}, 6);
    Open({Column("k", 7), Column("v", 2, 5, true), Column("w", 2, 5, true)});
    int total = 0;
    EXPECT_EQ(All(nullptr, &total), Insert("k,v,w", "5,'ok','y'") + kGo);
    EXPECT_EQ(total, 1);
    EXPECT_EQ(parser_->counts.rows_skipped, 3u);
}

TEST_F(DamagedRows, AValueBeyondItsAreaIsWrittenAsNull) {
    // The catalogue says char(8) but the rows keep 4 fixed bytes; and a
    // wrapped (long) row whose lengths add up past its values.
    const std::string a(250, 'a');
    Bytes wrapped = Row(1, Le(7, 4), {Text(a), Text("b")});
    wrapped[wrapped.size() - 3] = static_cast<uint8_t>(wrapped[wrapped.size() - 3] + 5);
    Rows({Row(0, Le(1, 4), {Text("v")}), wrapped}, 6);
    Open({Column("k", 7), Column("c", 1, 8), Column("v", 2, 255, true), Column("w", 2, 5, true)});
    EXPECT_EQ(All(), Insert("k,c,v", "1,NULL,'v'") + Insert("k,c,v,w", "7,NULL,'" + a + "',NULL") + kGo);
    EXPECT_EQ(parser_->counts.values_null, 3u);
}

TEST_F(DamagedRows, RowsLargerThanTheRowBuffersAreRejected) {
    // A variable area of 1005 bytes on a 2 KiB page.
    const std::string big(1000, 'z');
    Bytes huge = Row(1, Le(2, 4), {Text(big.substr(0, 501)), Text(big.substr(0, 501))});
    Rows({Row(0, Le(1, 4), {Text("a")}), huge, Row(2, Le(3, 4), {Text("c")})}, 6);
    Open({Column("k", 7), Column("v", 2, 255, true), Column("w", 2, 255, true)});
    EXPECT_EQ(All(), Insert("k,v", "1,'a'") + Insert("k,v", "3,'c'") + kGo);
    EXPECT_EQ(parser_->counts.rows_skipped, 1u);
}

TEST_F(DamagedRows, AFixedAreaLargerThanItsBufferRejectsThePage) {
    Reset(4);
    Rows({Row(0, Bytes(1000, 1)), Row(1, Bytes(1000, 2))}, 1002);
    Open({Column("c", 1, 1000)});
    int total = -1;
    EXPECT_EQ(All(nullptr, &total), kGo);
    EXPECT_EQ(total, 0);
    EXPECT_EQ(parser_->counts.pages_unreadable, 1u);
}

TEST_F(DamagedRows, AFiroffOrLenBeyondThePageStaysInsideThePage) {
    Rows({Row(0, Le(1, 4)), Row(1, Le(2, 4))}, 6, 1);
    dump_->build();
    const std::vector<int32_t> pages = db_->pages_of(kTable);
    db_->edit_page(pages[0], [](dumpwriter::Page &p) { p.firoff = 3000; });
    // len says more than a 2 KiB page holds: only the page's own body is read.
    db_->edit_page(pages[1], [](dumpwriter::Page &p) { p.len = 32000; });
    Open({Column("k", 7)});
    int rc = -1;
    EXPECT_EQ(All(&rc), kGo + Insert("k", "2") + kGo); // the block's free space is no rows of zeros
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(parser_->counts.pages_unreadable, 1u);
}

// ================================================================== columns of the table

class TableColumns : public ::testing::Test {};

TEST_F(TableColumns, TheFirstColumnIsFoundInTheSortedArray) {
    std::vector<ColumnEntry> fields = {Column("a", 7, 0, false, 0, 0, 100), Column("b", 7, 0, false, 0, 0, 101),
                                       Column("c", 7, 0, false, 0, 0, 101), Column("d", 7, 0, false, 0, 0, 102)};
    EXPECT_EQ(FirstColumnOf(fields, 4, 101, 0), 1);  // a stale first_field is not trusted
    EXPECT_EQ(FirstColumnOf(fields, 4, 101, -1), 1);
    EXPECT_EQ(FirstColumnOf(fields, 4, 102, 99), 3);
    EXPECT_EQ(FirstColumnOf(fields, 4, 103, 1), -1);
    EXPECT_EQ(FirstColumnOf(fields, 3, 102, 3), -1); // only the counted entries
    // Not in table order: the first entry of the table wherever it is.
    std::vector<ColumnEntry> mixed = {fields[3], fields[1], fields[2], fields[0]};
    EXPECT_EQ(FirstColumnOf(mixed, 4, 100, -1), 3);
    EXPECT_EQ(FirstColumnOf(mixed, 4, 101, -1), 1);
}

TEST_F(TableColumns, TheLayoutTakesOnlyTheTablesOwnColumns) {
    VRNParser12 parser(nullptr, 2, 0, 0);
    SysobjEntry t;
    t.id = 101;
    std::strcpy(t.name, "t");
    t.first_field = 0; // stale: the columns moved when the array was sorted
    parser.pSysobj.assign(1, t);
    parser.iSysobj = 1;
    parser.fields = {Column("x", 7, 0, false, 0, 0, 100), Column("n", 10, 5, false, 9, 3),
                     Column("v", 7, 0, true), Column("y", 7, 0, false, 0, 0, 102)};
    RowLayout layout;
    ASSERT_TRUE(BuildRowLayout(parser, 0, 5, layout)); // asks for more columns than the table has
    EXPECT_EQ(layout.first, 1);
    ASSERT_EQ(layout.fixed.size(), 1u);
    EXPECT_EQ(layout.fixed[0].name, "n");
    EXPECT_EQ(layout.fixed[0].scale, 3);
    EXPECT_EQ(layout.fixed[0].width, 5);
    ASSERT_EQ(layout.variable.size(), 1u);
    EXPECT_EQ(layout.variable[0].name, "v");
    EXPECT_FALSE(BuildRowLayout(parser, 1, 1, layout));
}

} // namespace
