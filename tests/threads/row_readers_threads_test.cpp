// The rows of two tables of one dump decoded on two threads at once, each
// table by its own RowReader with its own BlockReader and sink, from a
// dump in memory and from a file: each must produce exactly what it
// produces alone. Both data chains break, so both readers ask at once for
// the database's sweep of page headers they share.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_chain.h"
#include "tests/unit/row_test_support.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/rows/RowReader.h"

using dumpwriter::Bytes;
using dumpwriter::ToBytes;
using namespace rowtest;

namespace {

constexpr int kKb = 2;
constexpr int32_t kOrders = 101, kNotes = 102;
constexpr int kOrderRows = 600, kNoteRows = 300;

int64_t Bits(double v) {
    int64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}
int64_t Bits(float v) {
    int32_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::vector<ColumnEntry> OrderColumns() {
    return {Column("ti", 5, 0, false, 0, 0, kOrders),  Column("si", 6, 0, false, 0, 0, kOrders),
            Column("i", 7, 0, false, 0, 0, kOrders),   Column("f", 8, 0, false, 0, 0, kOrders),
            Column("r", 23, 0, false, 0, 0, kOrders),  Column("m", 11, 0, false, 0, 0, kOrders),
            Column("sm", 21, 0, false, 0, 0, kOrders), Column("dt", 12, 0, false, 0, 0, kOrders),
            Column("sdt", 22, 0, false, 0, 0, kOrders), Column("b", 16, 0, false, 0, 0, kOrders),
            Column("c", 1, 4, false, 0, 0, kOrders),   Column("bin", 3, 4, false, 0, 0, kOrders),
            Column("n", 10, 3, false, 5, 2, kOrders)};
}

Bytes OrderRow(int k) {
    const Bytes fixed = Cat({{static_cast<uint8_t>(k)}, Le(-k, 2), Le(k * 1000 + 7, 4), Le(Bits(k / 3.0), 8),
                             Le(Bits(static_cast<float>(k) * 0.1f), 4), Cat({Le(0, 4), Le(k * 137, 4)}),
                             Le(-k * 3, 4), Cat({Le(36525 + k, 4), Le(k * 301, 4)}),
                             Cat({Le(36525 - k, 2), Le(k % 1440, 2)}), {static_cast<uint8_t>(k % 2)},
                             Text(k % 3 ? "ab'c" : "xyz "), Le(int64_t{k} * 0x01020305, 4),
                             {static_cast<uint8_t>(k % 2), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k)}});
    return Row(static_cast<uint8_t>(k), fixed);
}

std::vector<ColumnEntry> NoteColumns() {
    return {Column("k", 7, 0, false, 0, 0, kNotes),         Column("vc", 2, 40, true, 0, 0, kNotes),
            Column("story", 19, 16, true, 0, 0, kNotes),    Column("pic", 20, 16, true, 0, 0, kNotes),
            Column("nvc", 25, 20, true, 0, 0, kNotes),      Column("dt", 12, 0, true, 0, 0, kNotes),
            Column("n", 26, 9, true, 10, 2, kNotes)};
}

// Every 7th note has a story and every 11th a picture, on chains of
// their own from page 3000 on.
int32_t StoryPage(int k) { return 3000 + 10 * k; }
int32_t PicturePage(int k) { return 3005 + 10 * k; }

Bytes NoteRow(int k) {
    const std::vector<Bytes> var = {
        Text("note " + std::to_string(k) + " it's\n"),
        k % 7 == 0 ? dumpwriter::TextPointer(StoryPage(k)) : Bytes{},
        k % 11 == 0 ? dumpwriter::TextPointer(PicturePage(k)) : Bytes{},
        Text(std::string(static_cast<size_t>(k % 5), 'n')),
        k % 4 ? Cat({Le(k, 4), Le(k * 10, 4)}) : Bytes{},
        {static_cast<uint8_t>(k % 2), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k)}};
    return Row(static_cast<uint8_t>(k), Le(k, 4), var);
}

// The dump: both tables' data chains, each broken a few pages in (the
// orders' chain loops back, a page of the notes' names another owner),
// and the notes' text and image chains.
std::unique_ptr<dumpwriter::Dump> MakeDump(dumpwriter::Database *&master) {
    auto dump = std::make_unique<dumpwriter::Dump>(kKb);
    dumpwriter::Database &db = dump->database("master", 1, 0);
    master = &db;
    std::vector<Bytes> orders, notes;
    for (int k = 0; k < kOrderRows; ++k) orders.push_back(OrderRow(k));
    for (int k = 0; k < kNoteRows; ++k) {
        notes.push_back(NoteRow(k));
        if (k % 7 == 0) dumpwriter::TextChain(db, kTextOwner, StoryPage(k), ToBytes(std::string(300 + k, 'a' + k % 26)), 150);
        if (k % 11 == 0) dumpwriter::TextChain(db, kTextOwner, PicturePage(k), Bytes(40, static_cast<uint8_t>(k)), 30);
    }
    dumpwriter::ChainOptions o;
    o.firoff = 57;
    o.records_per_page = 20;
    db.chain(kOrders, orders, o);
    o.firoff = 6;
    o.records_per_page = 12;
    db.chain(kNotes, notes, o);
    dump->build();
    const std::vector<int32_t> order_pages = db.pages_of(kOrders), note_pages = db.pages_of(kNotes);
    const int32_t loop_to = order_pages[2];
    db.edit_page(order_pages[5], [loop_to](dumpwriter::Page &p) { p.next_id = loop_to; });
    db.edit_page(note_pages[3], [](dumpwriter::Page &p) { p.type = 555; });
    return dump;
}

// A parser with the two tables and their columns, as the catalogue
// readers leave them.
std::unique_ptr<VRNParser12> MakeParser(platform::RandomAccessFile &file, const dumpwriter::Database &db) {
    auto parser = std::make_unique<VRNParser12>(&file, kKb, static_cast<int64_t>(file.size()), 0);
    parser->VRN_bl_count = static_cast<int32_t>(file.size() / (kKb * 1024u));
    parser->fields = OrderColumns();
    for (const ColumnEntry &c : NoteColumns()) parser->fields.push_back(c);
    const struct {
        int32_t id;
        const char *name;
        uint32_t first_field;
    } kTables[] = {{kOrders, "orders", 0}, {kNotes, "notes", static_cast<uint32_t>(OrderColumns().size())}};
    for (const auto &t : kTables) {
        SysobjEntry e;
        e.id = t.id;
        e.type = 'U';
        std::strcpy(e.name, t.name);
        e.first_block = db.pages_of(t.id).front();
        e.first_field = static_cast<int32_t>(t.first_field);
        parser->pSysobj.push_back(e);
    }
    parser->iSysobj = 2;
    return parser;
}

// What one reader made of a table's rows.
struct TableRows {
    std::string text;
    int32_t rows = 0;
    int rc = 0;
    RecoveryCounts counts;
    size_t lost = 0;
};

TableRows ReadTable(VRNParser &parser, platform::RandomAccessFile &file, uint32_t table, uint32_t columns) {
    BlockReader pages(kKb, 0, &file);
    RowReader reader(parser, pages, table);
    TsqlRows sink;
    reader.SetSink(&sink);
    TableRows out;
    int32_t block = -1;
    for (int guard = 0; guard < 1000 && block != 0; ++guard) {
        int32_t rows = 0;
        out.rc = reader.ReadPage(out.text, &block, table, columns, &rows);
        if (out.rc != 0) break;
        out.rows += rows;
    }
    out.counts = reader.counts;
    out.lost = reader.lost_values.listed.size();
    return out;
}

void ExpectSame(const TableRows &alone, const TableRows &together) {
    EXPECT_EQ(together.rc, alone.rc);
    EXPECT_EQ(together.rows, alone.rows);
    EXPECT_TRUE(together.text == alone.text) << "the rows differ from those read alone";
    EXPECT_EQ(together.counts.pages_read, alone.counts.pages_read);
    EXPECT_EQ(together.counts.chains_broken, alone.counts.chains_broken);
    EXPECT_EQ(together.counts.chains_continued, alone.counts.chains_continued);
    EXPECT_EQ(together.counts.values_null, alone.counts.values_null);
    EXPECT_EQ(together.lost, alone.lost);
}

TEST(RowReaderThreads, TwoTablesDecodedAtOnceGiveWhatEachGivesAlone) {
    dumpwriter::Database *master = nullptr;
    const std::unique_ptr<dumpwriter::Dump> dump = MakeDump(master);
    const dumpwriter::Database &db = *master;
    testsupport::TempFolder folder("row_threads");
    const std::string path = folder / "dump.dat";
    ASSERT_TRUE(dump->write_file(path));
    std::unique_ptr<platform::MemoryFile> memory = dump->memory_file();
    platform::File disk = platform::File::openForReading(path);
    ASSERT_TRUE(disk.isOpen());
    const uint32_t order_columns = static_cast<uint32_t>(OrderColumns().size());
    const uint32_t note_columns = static_cast<uint32_t>(NoteColumns().size());

    const struct {
        const char *name;
        platform::RandomAccessFile *file;
    } kDumps[] = {{"in memory", memory.get()}, {"on disk", &disk}};
    for (const auto &d : kDumps) {
        SCOPED_TRACE(d.name);
        // Alone, each on a parser of its own.
        const TableRows orders = ReadTable(*MakeParser(*d.file, db), *d.file, 0, order_columns);
        const TableRows notes = ReadTable(*MakeParser(*d.file, db), *d.file, 1, note_columns);
        ASSERT_EQ(orders.rc, 0);
        ASSERT_EQ(notes.rc, 0);
        // The breaks cost the rows of the pages skipped, not the rest.
        EXPECT_EQ(orders.counts.chains_continued, 1u);
        EXPECT_EQ(notes.counts.chains_continued, 1u);
        EXPECT_EQ(orders.rows, kOrderRows);
        EXPECT_EQ(notes.rows, kNoteRows - 12);
        EXPECT_NE(notes.text.find("0x"), std::string::npos);

        // Together, on one parser, a few times over.
        for (int round = 0; round < 3; ++round) {
            const std::unique_ptr<VRNParser12> parser = MakeParser(*d.file, db);
            TableRows orders_together, notes_together;
            std::thread other([&] { notes_together = ReadTable(*parser, *d.file, 1, note_columns); });
            orders_together = ReadTable(*parser, *d.file, 0, order_columns);
            other.join();
            ExpectSame(orders, orders_together);
            ExpectSame(notes, notes_together);
        }
    }
}

} // namespace
