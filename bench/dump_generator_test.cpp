// The generator's dump equals the dump writer's for the same tables and
// rows, byte for byte, at the smallest and the largest block size and in
// the newer generation.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "bench/dump_generator.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_chain.h"

namespace {

// Every type, nullable columns, text and image values, a table with a fixed
// number of rows per page, an empty table, and two user databases.
const char kDescription[] = R"(
seed 11
database master 1 0
database sales 5 2
table mixed 700 int tinyint smallint bit float real money smallmoney datetime smalldatetime numeric(12,3)?0.3 decimal(5,2) char(8) varchar(30)?0.2 text?0.4
table wide 90 int char(200) char(150) binary(40) nchar(20) sysname(30) numeric(30,4)
table varying 300 int nvarchar(20)? varbinary(16)? image?0.5 datetime?0.5 int?
rows_per_page 7
table empty 0 int
database stock 6 20
tables 3 t 40 int varchar(10)
)";

// The same dump laid out by the dump writer, holding every row in memory.
std::unique_ptr<dumpwriter::Dump> WithDumpWriter(const benchgen::Description &d) {
    std::unique_ptr<dumpwriter::Dump> catalogue = benchgen::CatalogueDump(d);
    std::unique_ptr<dumpwriter::Dump> dump(new dumpwriter::Dump(d.kb, d.format));
    const size_t per_page = static_cast<size_t>(d.kb) * 1024 - dumpwriter::kHeaderSize;
    for (size_t i = 0; i < d.databases.size(); ++i) {
        const benchgen::DatabasePlan &plan = d.databases[i];
        dumpwriter::Database &db = dump->database(plan.name, plan.dbid, plan.base_mb);
        if (plan.tables.empty()) continue;
        int32_t text_page = catalogue->databases()[i]->last_page() + 1;
        dumpwriter::Schema schema;
        for (size_t j = 0; j < plan.tables.size(); ++j) {
            benchgen::RowMaker maker(d, i, j);
            dumpwriter::Table &table = schema.table(plan.tables[j].id, plan.tables[j].name);
            for (const dumpwriter::Column &c : maker.table().columns()) table.add(c);
            if (plan.tables[j].rows_per_page > 0) table.rows_per_page(plan.tables[j].rows_per_page);
            std::vector<dumpwriter::Value> values;
            std::vector<dumpwriter::Bytes> texts;
            for (uint64_t r = 0; r < plan.tables[j].rows; ++r) {
                texts.clear();
                const int32_t first = text_page;
                maker.Make(r, text_page, values, &texts);
                for (size_t k = 0; k < texts.size(); ++k)
                    dumpwriter::TextChain(db, plan.tables[j].id, first + static_cast<int32_t>(k), texts[k], per_page);
                table.row(values);
            }
        }
        schema.add_to(db);
    }
    return dump;
}

std::string FileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(DumpGenerator, EqualsTheDumpWriterForTheSameRows) {
    const struct {
        int kb;
        dumpwriter::Format format;
    } cases[] = {{2, dumpwriter::Format::k12}, {16, dumpwriter::Format::k12}, {4, dumpwriter::Format::k15}};
    for (const auto &c : cases) {
        const int kb = c.kb;
        std::istringstream in(kDescription);
        benchgen::Description d;
        std::string error;
        ASSERT_TRUE(benchgen::ParseDescription(in, d, error)) << error;
        d.kb = kb;
        d.format = c.format;
        testsupport::TempFolder folder("generator");
        const std::string path = folder / "generated.dump";
        benchgen::Written written;
        ASSERT_TRUE(benchgen::WriteDump(d, path, written, error)) << error;
        EXPECT_EQ(written.rows, 700u + 90 + 300 + 3 * 40);
        EXPECT_GT(written.text_pages, 100u);

        const dumpwriter::Bytes bytes = WithDumpWriter(d)->bytes();
        const std::string expected(bytes.begin(), bytes.end());
        const std::string got = FileBytes(path);
        EXPECT_EQ(got.size(), expected.size()) << kb << " KiB";
        const size_t common = std::min(got.size(), expected.size());
        const auto differ = std::mismatch(got.begin(), got.begin() + common, expected.begin());
        EXPECT_TRUE(differ.first == got.begin() + common) << kb << " KiB, first difference at byte " << (differ.first - got.begin());
    }
}

TEST(DumpGenerator, RefusesADatabaseThatRunsIntoTheNext) {
    std::istringstream in("database master 1 0\ndatabase a 5 1\ntable t 20000 int char(100)\ndatabase b 6 2\n");
    benchgen::Description d;
    std::string error;
    ASSERT_TRUE(benchgen::ParseDescription(in, d, error)) << error;
    testsupport::TempFolder folder("generator");
    benchgen::Written written;
    EXPECT_FALSE(benchgen::WriteDump(d, folder / "x.dump", written, error));
    EXPECT_NE(error.find("runs into"), std::string::npos) << error;
}

} // namespace
