// The schema of a database of many tables: reading the column catalogue
// (GetCol, with the catalogue listing the tables in reverse order so that
// the sort has work to do) and writing every table script (GenerateDll).
// Both should grow as n log n with the number of tables, not n². Writing the
// scripts is dominated by the file system creating one file per table.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNRecover.h"

namespace {

namespace types = dumpwriter::types;
constexpr size_t kColumnsPerTable = 8;

// A master database holding `tables` user tables of kColumnsPerTable columns;
// the column catalogue lists the tables from the highest id down.
std::unique_ptr<platform::MemoryFile> SchemaDump(int tables) {
    dumpwriter::Dump dump(4);
    dumpwriter::Database &db = dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    for (int t = 0; t < tables; ++t) {
        dumpwriter::Table &table = schema.table(1000 + t, "table_" + std::to_string(t));
        for (size_t c = 0; c < kColumnsPerTable; ++c)
            table.column("column_" + std::to_string(c), c % 2 ? types::kVarChar : types::kInt, c % 2 ? 40 : 0,
                         c % 3 ? dumpwriter::kNotNull : dumpwriter::kNull);
    }
    std::vector<dumpwriter::Bytes> records = schema.ColumnRecords();
    std::vector<dumpwriter::Bytes> reversed;
    for (size_t k = records.size(); k >= kColumnsPerTable; k -= kColumnsPerTable)
        reversed.insert(reversed.end(), records.begin() + static_cast<std::ptrdiff_t>(k - kColumnsPerTable),
                        records.begin() + static_cast<std::ptrdiff_t>(k));
    for (int t = 0; t < tables; ++t) db.table(1000 + t, "table_" + std::to_string(t));
    dumpwriter::ChainOptions options;
    options.firoff = schema.column_firoff();
    db.chain(dumpwriter::kColumnCatalogue, reversed, options);
    return dump.memory_file();
}

// The parser on `file`, with the block size found and the catalogue read.
std::unique_ptr<VRNParser12> Prepared(platform::MemoryFile &file) {
    const int64_t size = static_cast<int64_t>(file.size());
    auto parser = std::make_unique<VRNParser12>(&file, 2, size, 0);
    parser->Detect(2);
    parser->VRN_bl_count = static_cast<int32_t>(size / (parser->bl.kb * 1024));
    std::vector<DatabaseEntry> databases;
    uint32_t count = 0;
    parser->Prepare(&databases, &count);
    return parser;
}

void BM_ReadAndSortColumns(benchmark::State &state) {
    auto file = SchemaDump(static_cast<int>(state.range(0)));
    auto parser = Prepared(*file);
    for (auto _ : state) {
        parser->GetCol();
        SortColumnsByTable(*parser);
        benchmark::DoNotOptimize(parser->fields.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadAndSortColumns)->Arg(500)->Arg(2000)->Arg(8000)->Complexity()->Unit(benchmark::kMillisecond);

void BM_GenerateDll(benchmark::State &state) {
    auto file = SchemaDump(static_cast<int>(state.range(0)));
    testsupport::TempFolder target("schema_bench");
    for (auto _ : state) {
        state.PauseTiming();
        auto parser = Prepared(*file);
        const int64_t size = static_cast<int64_t>(file->size());
        VRNRecover driver(std::move(parser), size, target.path().c_str(), "");
        state.ResumeTiming();
        benchmark::DoNotOptimize(driver.GenerateDll("master", 0));
        driver.outfiles.CloseAll();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GenerateDll)->Arg(500)->Arg(4000)->Complexity()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
