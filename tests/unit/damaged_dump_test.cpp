// Damaged dumps with survivor counts: one dump of several databases and
// tables per generation, damaged in many ways (truncated, a system
// catalogue's first page zeroed, random bytes over a data page, bit flips
// in page headers, looping chains, lying lengths, absurd counts) and
// recovered whole. For every case the recovery ends in bounded time with
// a result it documents (0, or -3 when no catalogue is left), and every
// table the damage did not touch is recovered in full: all its rows, and
// no loss counted.
//
// A table counts as touched when a damaged byte lies on one of its pages
// (data or text), on a system page of its database, or on a page of the
// master database that every recovery starts from: the pages that list and
// place the databases, and those that detection reads (see Layout()).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_description.h"
#include "tests/support/temp_folder.h"
#include "vrndll/VRNRecover.h"

using dumpwriter::Bytes;

namespace {

// The same tables, keys and indexes in both generations. Rows are counted
// from the "row" lines.
const char kTables[] = R"(
database master 1 0
database sales 5 1
table 110 customers
column id int
column name varchar(40)
column city varchar(30) null
column vip bit
column since datetime null
row 1 'Smith & Sons' 'Leeds' 1 '1998-03-01 09:30:00'
row 2 'O''Brien Ltd' NULL 0 NULL
row 3 'Nordwind' 'Bergen' 0 '2001-11-17'
primary_key pk_customers id
table 111 orders
column id int
column customer_id int
column total money
column note text null
rows_per_page 2
row 1 1 1250.75 'Deliver to the side door.'
row 2 1 99.99 NULL
row 3 2 -12.5 'Credit note'
row 4 3 0 NULL
row 5 3 1000000.0001 NULL
table 112 order_lines
column order_id int
column line_no smallint
column item_code char(8)
column amount numeric(12,3)
column weight real null
rows_per_page 3
row 1 1 'A-100' 59.970 1.5
row 1 2 'B-7' 1190.800 NULL
row 3 1 'C-33' -1050.000 0.001
row 3 2 'D-1' 1.000 NULL
row 4 1 'E-5' 2.500 2.5
row 5 1 'F-9' 0.125 NULL
row 5 2 'G-2' 7.000 NULL
primary_key pk_order_lines order_id,line_no
index ix_order_lines_item item_code
foreign_key 150 fk_order_lines_customers order_id customers id
database stock 6 2
table 120 items
column code char(8)
column title nvarchar(60)
column photo image null
column tag varbinary(16) null
row 'A-100' 'Garden hose, 20 m' 0x89504e470d0a1a0a 0x0102
row 'B-7' 'Lawn mower' NULL NULL
row 'C-33' 'Seed mix' 0xffd8ffe0 0x00
table 121 warehouses
column id tinyint
column name varchar(20)
column opened smalldatetime null
rows_per_page 1
row 1 'North' '1995-05-01 00:00'
row 2 'South' NULL
row 3 'East' '2001-01-01 12:00'
row 4 'West' NULL
)";

constexpr int kHeaderSize = 32;
// Header fields: offset and width.
struct Field {
    const char *name;
    int at;
    int width;
};
const Field kHeaderFields[] = {{"id", 0, 4},     {"next", 4, 4}, {"prev", 8, 4}, {"owner", 12, 4},
                               {"rows", 20, 1},  {"flags", 23, 1}, {"length", 26, 2}, {"firoff", 30, 2}};

struct Table {
    std::string database;
    std::string name;
    int32_t id = 0;
    uint64_t rows = 0;
    std::vector<uint64_t> pages;      // offsets of its data and text pages
    std::vector<uint64_t> data_pages; // its data chain, in order
    std::vector<uint64_t> text_pages;
};

// A damaged byte range [begin, end).
struct Range {
    uint64_t begin, end;
};

struct Case {
    std::string name;
    std::vector<Range> damaged;
    std::function<void(Bytes &)> damage;
};

// The dump of one generation, its layout, and the damaged cases.
class DamagedDumps {
public:
    DamagedDumps(int kb, dumpwriter::Format format) : kb_(kb), format_(format) {
        std::ostringstream text;
        text << "block_size " << kb << "\n" << (format == dumpwriter::Format::k15 ? "format 15\n" : "") << kTables;
        std::istringstream in(text.str());
        std::string error;
        dump_ = dumpwriter::ReadDescription(in, error);
        EXPECT_TRUE(dump_) << error;
        if (!dump_) return;
        whole_ = dump_->bytes();
        CountRows(text.str());
        Layout();
    }

    const Bytes &whole() const { return whole_; }
    const std::vector<Table> &tables() const { return tables_; }
    uint64_t page_bytes() const { return static_cast<uint64_t>(kb_) * 1024; }

    bool MasterTouched(const Case &c) const {
        for (uint64_t p : master_pages_)
            for (const Range &r : c.damaged)
                if (r.begin < p + page_bytes() && p < r.end) return true;
        return false;
    }

    // The tables no range of `c` touches.
    std::set<std::string> Untouched(const Case &c) const {
        std::set<std::string> out;
        for (const Table &t : tables_) {
            std::vector<uint64_t> pages = t.pages;
            const auto &own = system_pages_.at(t.database);
            pages.insert(pages.end(), own.begin(), own.end());
            pages.insert(pages.end(), master_pages_.begin(), master_pages_.end());
            bool touched = false;
            for (uint64_t p : pages)
                for (const Range &r : c.damaged) touched = touched || (r.begin < p + page_bytes() && p < r.end);
            if (!touched) out.insert(t.database + "." + t.name);
        }
        return out;
    }

    std::vector<Case> Cases() const {
        std::vector<Case> cases;
        const uint64_t size = whole_.size();
        const uint64_t pb = page_bytes();
        // Truncation at many points: fractions of the dump, and just before
        // and inside the last page of every table's data.
        std::vector<uint64_t> cuts;
        for (int k = 1; k < 16; ++k) cuts.push_back(size * k / 16);
        for (const Table &t : tables_) cuts.push_back(t.data_pages.back() + pb / 2);
        for (uint64_t cut : cuts)
            cases.push_back({"cut at " + std::to_string(cut), {{cut, ~uint64_t(0)}},
                             [cut](Bytes &b) { b.resize(static_cast<size_t>(cut)); }});
        // Each system catalogue's first page zeroed.
        for (const auto &first : first_system_pages_)
            cases.push_back({"zeroed " + first.first, {{first.second, first.second + pb}},
                             [first, pb](Bytes &b) { std::fill_n(b.begin() + static_cast<long>(first.second), pb, 0); }});
        for (const Table &t : tables_) {
            const std::string of = " of " + t.database + "." + t.name;
            const uint64_t first = t.data_pages.front();
            const uint64_t last = t.data_pages.back();
            // Random bytes over a data page (header included).
            cases.push_back({"random bytes over the first data page" + of, {{first, first + pb}}, [first, pb](Bytes &b) {
                                 std::mt19937 random(static_cast<uint32_t>(first));
                                 for (uint64_t k = 0; k < pb; ++k) b[first + k] = static_cast<uint8_t>(random());
                             }});
            // One bit flipped in each header field of the first data page.
            for (const Field &f : kHeaderFields)
                cases.push_back({std::string("bit flip in ") + f.name + " of the first data page" + of,
                                 {{first, first + pb}},
                                 [first, f](Bytes &b) { b[first + f.at + f.width - 1] ^= 0x40; }});
            // A data chain that loops back to its first page.
            cases.push_back({"data chain looping" + of, {{last, last + pb}}, [first, last](Bytes &b) {
                                 Store(b, last + 4, 4, Load(b, first, 4));
                             }});
            // A data page naming page -1 as the next.
            cases.push_back({"first data page naming page -1 next" + of, {{first, first + pb}},
                             [first](Bytes &b) { Store(b, first + 4, 4, 0xFFFFFFFFu); }});
            // A text chain whose page names itself as the next.
            for (uint64_t text : t.text_pages)
                cases.push_back({"text page naming itself next" + of, {{text, text + pb}},
                                 [text](Bytes &b) { Store(b, text + 4, 4, Load(b, text, 4)); }});
            // Lying lengths: of the page, and of its first row.
            for (uint64_t length : {uint64_t(0x7FFF), uint64_t(kHeaderSize + 1), uint64_t(0x8000)})
                cases.push_back({"page length " + std::to_string(length) + of, {{first, first + pb}},
                                 [first, length](Bytes &b) { Store(b, first + 26, 2, length); }});
            for (uint64_t length : {uint64_t(0x7FFF), uint64_t(1), uint64_t(0xFFFF)})
                cases.push_back({"first row length " + std::to_string(length) + of, {{first, first + pb}},
                                 [first, length](Bytes &b) {
                                     const uint64_t firoff = Load(b, first + 30, 2);
                                     Store(b, first + kHeaderSize + firoff, 2, length);
                                 }});
            // Absurd counts: rows on the page, variable columns in a row.
            for (uint64_t rows : {uint64_t(127), uint64_t(0x80)})
                cases.push_back({"row count " + std::to_string(rows) + of, {{first, first + pb}},
                                 [first, rows](Bytes &b) { Store(b, first + 20, 1, rows); }});
            cases.push_back({"255 variable columns in the first row" + of, {{first, first + pb}},
                             [first](Bytes &b) { b[first + kHeaderSize] = 255; }});
        }
        // Catalogue chains that loop, and catalogue pages whose length and
        // row count lie.
        for (const auto &first : first_system_pages_) {
            const uint64_t p = first.second;
            cases.push_back({"chain of " + first.first + " naming its first page next", {{p, p + pb}},
                             [p](Bytes &b) { Store(b, p + 4, 4, Load(b, p, 4)); }});
            cases.push_back({"length 32767 on the first page of " + first.first, {{p, p + pb}},
                             [p](Bytes &b) { Store(b, p + 26, 2, 0x7FFF); }});
            cases.push_back({"row count 127 on the first page of " + first.first, {{p, p + pb}},
                             [p](Bytes &b) { Store(b, p + 20, 1, 127); }});
        }
        return cases;
    }

private:
    static uint64_t Load(const Bytes &b, uint64_t at, int width) {
        uint64_t v = 0;
        for (int k = 0; k < width; ++k) v |= static_cast<uint64_t>(b[at + k]) << (8 * k);
        return v;
    }
    static void Store(Bytes &b, uint64_t at, int width, uint64_t v) {
        for (int k = 0; k < width; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
    }

    void CountRows(const std::string &text) {
        std::istringstream in(text);
        std::string line, database;
        for (Table *last = nullptr; std::getline(in, line);) {
            std::istringstream words(line);
            std::string keyword;
            words >> keyword;
            if (keyword == "database") {
                words >> database;
            } else if (keyword == "table") {
                Table t;
                words >> t.id >> t.name;
                t.database = database;
                tables_.push_back(t);
                last = &tables_.back();
            } else if (keyword == "row" && last) {
                last->rows += 1;
            }
        }
    }

    void Layout() {
        for (dumpwriter::Database *db : dump_->databases()) {
            auto &system = system_pages_[db->name()];
            for (int32_t owner = 1; owner < 100; ++owner) {
                const std::vector<int32_t> pages = db->pages_of(owner);
                if (pages.empty()) continue;
                first_system_pages_.push_back({db->name() + " object " + std::to_string(owner),
                                               dump_->page_offset(*db, pages.front())});
                for (int32_t p : pages) system.push_back(dump_->page_offset(*db, p));
                // The database list, usage and device records place every
                // database.
                if (db == &dump_->master() && (owner == 30 || owner == 31 || owner == 35))
                    for (int32_t p : pages) master_pages_.push_back(dump_->page_offset(*db, p));
            }
            // The pages every recovery starts from: page 1 of the master
            // database, the first page of its object catalogue, which
            // block-size detection and the catalogue scan look for; in
            // format 15 also its pages 34, 50 and 161 (the first pages of
            // the index map, the column map and the object index), by
            // whose owners a dump is told to be of format 15. Without them
            // the dump is read as format 12 and no catalogue is found.
            if (db == &dump_->master()) {
                master_pages_.push_back(dump_->page_offset(*db, 1));
                if (format_ == dumpwriter::Format::k15)
                    for (int32_t p : {34, 50, 161}) master_pages_.push_back(dump_->page_offset(*db, p));
            }
            for (Table &t : tables_) {
                if (t.database != db->name()) continue;
                for (int32_t p : db->pages_of(t.id)) {
                    const uint64_t at = dump_->page_offset(*db, p);
                    t.pages.push_back(at);
                    // Text and image pages carry flag 1.
                    (whole_[at + 23] == 1 ? t.text_pages : t.data_pages).push_back(at);
                }
            }
        }
    }

    int kb_;
    dumpwriter::Format format_;
    std::unique_ptr<dumpwriter::Dump> dump_;
    Bytes whole_;
    std::vector<Table> tables_;
    std::map<std::string, std::vector<uint64_t>> system_pages_;
    std::vector<uint64_t> master_pages_;
    std::vector<std::pair<std::string, uint64_t>> first_system_pages_;
};

struct Outcome {
    int result = 0;
    double seconds = 0;
    uint64_t output_bytes = 0; // every file written
    std::map<std::string, RecoveryCounts> tables; // "database.table"
};

Outcome Recover(const Bytes &bytes) {
    testsupport::TempFolder out("damaged_dump");
    platform::MemoryFile file(bytes);
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    Outcome o;
    const auto start = std::chrono::steady_clock::now();
    {
        VRNRecover driver(&file, 2, size, 0, out.path().c_str(), size, 0, "");
        driver.options.template_mode = TemplateMode::kOff;
        driver.options.table_done = [&o](const TableAccount &a) {
            if (!a.database_total) o.tables[a.database + "." + a.table] = a.counts;
        };
        o.result = driver.Recover();
    }
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const std::string &f : testsupport::ListTree(out.path()))
        if (f.back() != '/') o.output_bytes += testsupport::ReadFileText(testsupport::JoinPath(out.path(), f)).size();
    return o;
}

// Runs every case of one generation and prints its figures.
void RunCases(int kb, dumpwriter::Format format, const char *generation) {
    DamagedDumps dumps(kb, format);
    ASSERT_FALSE(dumps.whole().empty());
    // The undamaged dump gives every table whole.
    const Outcome whole = Recover(dumps.whole());
    ASSERT_EQ(whole.result, 0);
    for (const Table &t : dumps.tables())
        ASSERT_EQ(whole.tables.at(t.database + "." + t.name).rows_written, t.rows) << t.name;

    int kept_whole = 0, with_untouched = 0;
    const std::vector<Case> cases = dumps.Cases();
    std::string slowest, largest;
    double slowest_seconds = 0, largest_ratio = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(generation) + ": " + c.name);
        Bytes damaged = dumps.whole();
        c.damage(damaged);
        const Outcome o = Recover(damaged);
        EXPECT_LT(o.seconds, 5.0);
        if (o.seconds > slowest_seconds) slowest_seconds = o.seconds, slowest = c.name;
        const double ratio = static_cast<double>(o.output_bytes) / static_cast<double>(damaged.size());
        if (ratio > largest_ratio) largest_ratio = ratio, largest = c.name;
        const std::set<std::string> untouched = dumps.Untouched(c);
        // No catalogue left is the one failure a damaged dump may end in;
        // with the master pages every recovery starts from untouched, the
        // recovery succeeds.
        EXPECT_TRUE(o.result == 0 || o.result == -3) << o.result;
        if (!dumps.MasterTouched(c)) {
            EXPECT_EQ(o.result, 0);
        }
        bool all_whole = true;
        for (const Table &t : dumps.tables()) {
            const std::string name = t.database + "." + t.name;
            if (!untouched.count(name)) continue;
            const auto found = o.tables.find(name);
            const bool whole_table = found != o.tables.end() && found->second.rows_written == t.rows &&
                                     !found->second.AnyLoss();
            EXPECT_TRUE(whole_table) << name << " untouched but "
                                     << (found == o.tables.end() ? std::string("not recovered")
                                                                 : std::to_string(found->second.rows_written) +
                                                                       " rows of " + std::to_string(t.rows));
            all_whole = all_whole && whole_table;
        }
        kept_whole += all_whole;
        with_untouched += !untouched.empty();
    }
    std::printf("%s: %lu damaged cases (%d leaving some table untouched), %d kept every untouched table whole;"
                " slowest %.3f s: %s; largest output %.3f times the dump: %s\n",
                generation, static_cast<unsigned long>(cases.size()), with_untouched, kept_whole, slowest_seconds,
                slowest.c_str(), largest_ratio, largest.c_str());
}

} // namespace

TEST(DamagedDumps, Format12EveryUntouchedTableIsRecoveredWhole) { RunCases(4, dumpwriter::Format::k12, "format 12"); }

TEST(DamagedDumps, Format15EveryUntouchedTableIsRecoveredWhole) { RunCases(2, dumpwriter::Format::k15, "format 15"); }
