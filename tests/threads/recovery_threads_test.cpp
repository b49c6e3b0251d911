// Whole recoveries with rows decoded on several threads: for every output
// format, the two sample dumps and a dump of many pages in each generation,
// whole and damaged (a data chain sent out of the dump, one that loops,
// garbage over the rows of a page, text chains that merge), are recovered
// on one thread and on two and four; every file written must be the same,
// byte for byte, and so must the result. A table with text values sits
// between the others. A cancel during the rows ends a run on four threads
// as it ends one on one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_description.h"
#include "tests/support/temp_folder.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNRecover.h"

using dumpwriter::Bytes;
using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;

namespace {

// Three tables of many small pages; `notes` has a text column.
std::string Description(bool format15) {
    std::ostringstream d;
    d << (format15 ? "format 15\n" : "") << "block_size 2\ndatabase master 1 0\ndatabase shop 5 2\n";
    d << "table 110 items\ncolumn id int\ncolumn name varchar(30) null\ncolumn price numeric(10,2)\n"
         "column added datetime null\ncolumn flag bit\nrows_per_page 5\n";
    for (int k = 1; k <= 1200; ++k)
        d << "row " << k << " " << (k % 7 ? "'item ''" + std::to_string(k) + "'''" : std::string("NULL")) << " "
          << k * 3 << "." << k % 100 << " " << (k % 5 ? "'2001-02-03 04:05:06'" : "NULL") << " " << k % 2 << "\n";
    d << "primary_key pk_items id\n";
    d << "table 111 notes\ncolumn id int\ncolumn body text null\nrows_per_page 3\n";
    for (int k = 1; k <= 40; ++k) d << "row " << k << " " << (k % 3 ? "'note " + std::to_string(k) + "'" : "NULL") << "\n";
    d << "table 112 events\ncolumn id int\ncolumn at smalldatetime\ncolumn amount float null\ncolumn code char(6)\n"
         "rows_per_page 9\n";
    for (int k = 1; k <= 900; ++k)
        d << "row " << k << " '1999-12-31 23:59' " << (k % 4 ? std::to_string(k) + ".25" : "NULL") << " 'c" << k % 97
          << "'\n";
    return d.str();
}

void Put32(Bytes &bytes, uint64_t at, int32_t v) {
    for (int k = 0; k < 4 && at + k < bytes.size(); ++k)
        bytes[at + k] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
}

// The pages of table `items` among `pages`.
std::vector<uint64_t> ItemPages(const Bytes &b, const std::vector<uint64_t> &pages) {
    std::vector<uint64_t> items;
    for (uint64_t at : pages)
        if (b[at + 12] == 110 && b[at + 13] == 0) items.push_back(at);
    return items;
}

// The page among `pages` whose bytes hold `text` and a NUL after it.
uint64_t PageHolding(const Bytes &b, const std::vector<uint64_t> &pages, const std::string &text) {
    const std::string wanted = text + '\0';
    for (uint64_t at : pages)
        if (std::search(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + 2048), wanted.begin(),
                        wanted.end()) != b.begin() + static_cast<long>(at + 2048))
            return at;
    return 0;
}

struct Variant {
    const char *name;
    // Damages the dump whose pages of database `shop` lie at `pages`.
    void (*damage)(Bytes &bytes, const std::vector<uint64_t> &pages);
};

const Variant kVariants[] = {
    {"whole", [](Bytes &, const std::vector<uint64_t> &) {}},
    {"a chain sent out of the dump", [](Bytes &b, const std::vector<uint64_t> &all) {
         const std::vector<uint64_t> p = ItemPages(b, all);
         Put32(b, p[p.size() / 3] + 4, 0x7fffffff);
     }},
    {"a chain that loops", [](Bytes &b, const std::vector<uint64_t> &all) {
         const std::vector<uint64_t> p = ItemPages(b, all);
         const uint64_t at = p[p.size() / 2];
         Put32(b, at + 4, static_cast<int32_t>(b[at] | b[at + 1] << 8)); // next: the page itself
     }},
    {"garbage over a page's rows", [](Bytes &b, const std::vector<uint64_t> &all) {
         const std::vector<uint64_t> p = ItemPages(b, all);
         const uint64_t at = p[2 * p.size() / 3];
         for (uint64_t k = 40; k < 600; ++k) b[at + k] = static_cast<uint8_t>(k * 37 + 11);
     }},
    // The text of row 2 goes on into the text of row 38, which is then read
    // for row 2 only (row 38's value is NULL): a decoder that read row 38's
    // page for row 38 guessed wrong.
    {"text chains that merge", [](Bytes &b, const std::vector<uint64_t> &all) {
         const uint64_t from = PageHolding(b, all, "note 2"), into = PageHolding(b, all, "note 38");
         ASSERT_NE(from, 0u);
         ASSERT_NE(into, 0u);
         Put32(b, from + 4, static_cast<int32_t>(b[into] | b[into + 1] << 8));
     }},
};

struct Outcome {
    int rc = 0;
    std::string files; // every file's path and bytes but the log's
};

Outcome Recover(const Bytes &bytes, OutputFormat format, int threads, const std::function<void(const RecoveryProgress &)> &progress = nullptr) {
    TempFolder out("recovery_threads");
    platform::MemoryFile file(bytes);
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    Outcome o;
    {
        VRNRecover driver(&file, 2, size, 0, out.path().c_str(), size, 0, "");
        driver.options.template_mode = TemplateMode::kOff;
        driver.options.output_format = format;
        driver.options.threads = threads;
        if (progress) {
            driver.options.progress = progress;
            driver.options.progress_interval_ms = 0;
        }
        o.rc = driver.Recover();
    }
    for (const std::string &f : ListTree(out.path())) {
        if (f.back() == '/' || f.find("recovery.log") != std::string::npos) continue;
        o.files += f + "\n" + ReadFileText(JoinPath(out.path(), f)) + "\n";
    }
    return o;
}

std::vector<uint64_t> ShopPages(dumpwriter::Dump &dump, const Bytes &whole) {
    std::vector<uint64_t> pages;
    for (dumpwriter::Database *db : dump.databases())
        for (int32_t p = 1; p <= db->last_page() && db->dbid() == 5; ++p) {
            const uint64_t at = dump.page_offset(*db, p);
            if (at + 2048 <= whole.size()) pages.push_back(at);
        }
    return pages;
}

// Recovers `bytes` in every format on one, two and four threads and
// compares what was written.
void CompareThreadCounts(const std::string &name, const Bytes &bytes, bool many_pages) {
    for (OutputFormat format : {OutputFormat::kTsql, OutputFormat::kPostgres, OutputFormat::kSqlite, OutputFormat::kCsv}) {
        SCOPED_TRACE(name + ", format " + std::to_string(static_cast<int>(format)));
        const Outcome alone = Recover(bytes, format, 1);
        EXPECT_EQ(alone.rc, 0);
        if (many_pages) {
            EXPECT_NE(alone.files.find("1200'"), std::string::npos);
        }
        for (int threads : {2, 4}) {
            const Outcome apart = Recover(bytes, format, threads);
            EXPECT_EQ(apart.rc, alone.rc) << threads << " threads";
            EXPECT_TRUE(apart.files == alone.files) << threads << " threads write other files";
        }
    }
}

} // namespace

TEST(RecoveryThreads, EveryThreadCountWritesTheSameFiles) {
    struct Source {
        std::string name, description;
        bool damaged; // the damaged variants too
    };
    const std::string examples = VRN_EXAMPLES;
    const Source sources[] = {
        {"many pages, format 12", Description(false), true},
        {"many pages, format 15", Description(true), true},
        {"sample", ReadFileText(examples + "/sample.dump.txt"), false},
        {"sample15", ReadFileText(examples + "/sample15.dump.txt"), false},
    };
    for (const Source &source : sources) {
        std::istringstream in(source.description);
        std::string error;
        auto dump = dumpwriter::ReadDescription(in, error);
        ASSERT_TRUE(dump) << source.name << ": " << error;
        const Bytes whole = dump->bytes();
        const std::vector<uint64_t> pages = ShopPages(*dump, whole);
        if (source.damaged) {
            ASSERT_GT(ItemPages(whole, pages).size(), 100u);
        }
        for (const Variant &v : kVariants) {
            if (!source.damaged && &v != &kVariants[0]) continue;
            Bytes bytes = whole;
            v.damage(bytes, pages);
            CompareThreadCounts(source.name + ", " + v.name, bytes, source.damaged);
        }
    }
}

TEST(RecoveryThreads, ACancelDuringTheRowsEndsARunOnFourThreads) {
    std::istringstream in(Description(false));
    std::string error;
    auto dump = dumpwriter::ReadDescription(in, error);
    ASSERT_TRUE(dump) << error;
    bool stop = false;
    bool *const saved = TheHost().break_flag;
    TheHost().break_flag = &stop;
    const Outcome o = Recover(dump->bytes(), OutputFormat::kTsql, 4, [&stop](const RecoveryProgress &p) {
        if (p.rows_written >= 300) stop = true;
    });
    TheHost().break_flag = saved;
    EXPECT_EQ(o.rc, kCancelled);
    EXPECT_NE(o.files.find("INCOMPLETE"), std::string::npos);
    EXPECT_EQ(o.files.find("INSERT INTO events"), std::string::npos) << "rows of the table after the cancel were written";
}
