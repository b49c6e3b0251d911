// Decoding speed of data rows: a synthetic table of 200 000 rows of mixed
// types on 4 KiB pages, cut into INSERT statements page by page as the data
// scripts ask for them (GetOneString until the chain ends).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/table_builder.h"
#include "vrndll/VRNParser12.h"

namespace {

namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

constexpr int kRows = 200000;
constexpr int32_t kTable = 101;

// The catalogue entry of a builder column, as the column reader makes it.
ColumnEntry EntryOf(const dumpwriter::Column &c) {
    ColumnEntry e;
    e.tab_id = kTable;
    e.user_type = c.user_type;
    e.length = c.length;
    e.null_flag = c.status;
    e.fixed = dumpwriter::IsFixedType(c.user_type) ? 1 : 0;
    std::memcpy(e.name, c.name.data(), c.name.size());
    e.var_len = static_cast<int32_t>(c.name.size());
    if (c.user_type == types::kNumeric || c.user_type == types::kDecimal) {
        e.name[c.name.size()] = static_cast<char>(c.precision);
        e.name[c.name.size() + 1] = static_cast<char>(c.scale);
        e.var_len += 5;
    }
    return e;
}

struct SyntheticTable {
    std::unique_ptr<platform::MemoryFile> file;
    std::unique_ptr<VRNParser12> parser;
    uint32_t columns = 0;

    SyntheticTable() {
        dumpwriter::Dump dump(4);
        dumpwriter::Database &db = dump.database("master", 1, 0);
        dumpwriter::Schema schema;
        dumpwriter::Table &t = schema.table(kTable, "orders")
                                   .column("id", types::kInt)
                                   .column("qty", types::kSmallInt)
                                   .column("created", types::kDateTime)
                                   .column("amount", types::kMoney)
                                   .numeric("price", types::kNumeric, 10, 2)
                                   .column("code", types::kChar, 8)
                                   .column("name", types::kVarChar, 30, dumpwriter::kNull)
                                   .column("note", types::kVarChar, 40, dumpwriter::kNull);
        for (int k = 0; k < kRows; ++k) {
            t.row({encode::Int(k), encode::SmallInt(static_cast<int16_t>(k % 1000)),
                   encode::DateTime(36525 + k % 3000, (k * 37) % 25920000), encode::Money(k * 12345LL),
                   encode::Numeric(k * 7 - 50000, dumpwriter::NumericLength(10)), encode::Chars("C" + std::to_string(k % 997)),
                   encode::Chars("customer " + std::to_string(k)),
                   k % 3 == 0 ? dumpwriter::kNullValue : dumpwriter::Value(encode::Chars("it's row " + std::to_string(k)))});
        }
        schema.add_to(db);
        file = dump.memory_file();
        parser.reset(new VRNParser12(file.get(), 4, static_cast<int64_t>(file->size()), 0));
        parser->VRN_bl_count = static_cast<int32_t>(file->size() / 4096);
        SysobjEntry entry;
        entry.id = kTable;
        entry.type = 'U';
        std::strcpy(entry.name, "orders");
        entry.first_block = db.pages_of(kTable).front();
        entry.first_field = 0;
        parser->pSysobj.assign(1, entry);
        parser->iSysobj = 1;
        for (const dumpwriter::Column &c : t.columns()) parser->fields.push_back(EntryOf(c));
        columns = parser->field_count();
    }
};

void BM_DecodeTable(benchmark::State &state) {
    static SyntheticTable table;
    std::string text;
    int64_t rows = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        int32_t block = -1;
        do {
            text.clear();
            int32_t page_rows = 0;
            if (table.parser->GetOneString(text, &block, 0, table.columns, &page_rows) != 0) {
                state.SkipWithError("decoding failed");
                return;
            }
            rows += page_rows;
            bytes += static_cast<int64_t>(text.size());
        } while (block != 0);
    }
    if (rows / static_cast<int64_t>(state.iterations()) != kRows) state.SkipWithError("rows lost");
    state.SetItemsProcessed(rows);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_DecodeTable)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
