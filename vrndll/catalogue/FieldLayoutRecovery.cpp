// Columns for a user table whose column rows are lost: the rows of its first
// data page are measured (FieldLayoutGuess.h) and the guessed fields are
// appended to the column array as "Field1", "Field2", ..., so that the table
// still gets its script and its rows. Both generations store data rows
// alike, so both use the same guess.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnCollector.h"
#include "vrndll/catalogue/FieldLayoutGuess.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNParser15.h"

namespace {

// Rows a page can hold at most (row numbers are one byte).
constexpr size_t kMostRows = 256;

int64_t PagesOfDump(const VRNParser &p) {
    if (p.VRN_bl_count > 0) return p.VRN_bl_count;
    return static_cast<int64_t>(p.bl.DumpSize() / (static_cast<uint64_t>(p.bl.kb) * 1024u)) + 1;
}

} // namespace

int VRNParser12::RecoverFields(SysobjEntry &table) { return GuessTableColumns(table); }
int VRNParser15::RecoverFields(SysobjEntry &table) { return GuessTableColumns(table); }

int VRNParser::GuessTableColumns(SysobjEntry &table) {
    Logger &log = TheLogger();
    log.InfoNumber("Try to recover fields for table ", table.id);
    if (table.first_block == 0) return 1;
    const std::string table_name(table.name, strnlen(table.name, sizeof table.name));

    // The first data page, which must be the table's own.
    PageChain walk(bl, table.first_block, "the first data page of table " + table_name, PagesOfDump(*this));
    if (!walk.Next()) return 1;
    if (bl.type != table.id) {
        log.ErrorFormat("No columns guessed for table %s: its first page %ld belongs to object %ld",
                        table_name.c_str(), static_cast<long>(walk.page()), static_cast<long>(bl.type));
        return 1;
    }
    const int firoff = bl.firoff;
    const int area = bl.RecordAreaLength();
    const size_t listed = static_cast<uint8_t>(bl.zapnum);
    std::vector<std::vector<uint8_t>> rows;
    if (firoff >= 2 && firoff <= area && firoff - 2 <= RowReader::kFixedAreaSize) {
        RecordLayout layout;
        layout.length_at = firoff;
        layout.min_length = firoff + 2;
        layout.implied_length = firoff;
        const std::string what = "table " + table_name;
        RecordCursor cursor(bl.data.data(), area, walk.page(), layout, what.c_str());
        while (rows.size() < kMostRows && (listed == 0 || rows.size() < listed) && cursor.Next())
            rows.emplace_back(cursor.record(), cursor.record() + cursor.length());
    }

    log.Info("Recovering group 2");
    log.Info("Recovering group 1");
    const std::vector<GuessedField> guessed = GuessFieldLayout(rows, firoff, format());
    if (guessed.empty()) {
        log.ErrorFormat("No columns guessed for table %s: its first page %ld holds no rows to measure",
                        table_name.c_str(), static_cast<long>(walk.page()));
        return 1;
    }

    const int32_t first = static_cast<int32_t>(fields.size());
    for (size_t j = 0; j < guessed.size(); ++j) {
        const GuessedField &g = guessed[j];
        ColumnEntry c;
        c.tab_id = table.id;
        c.col_id = static_cast<int16_t>(j + 1);
        const int n = std::snprintf(c.name, sizeof c.name, "Field%d", static_cast<int>(j + 1));
        c.var_len = n;
        c.rec_len = static_cast<int16_t>(rows.front().size());
        c.row_num = static_cast<uint8_t>(j);
        c.null_flag = g.variable ? 8 : 0;
        c.user_type = g.user_type;
        c.length = g.length;
        c.fixed = FixedOf(g.user_type, format());
        c.guessed = true;
        fields.push_back(c);
    }
    const uint32_t objects = object_count();
    for (uint32_t k = 0; k < objects; ++k)
        if (pSysobj[k].id == table.id) {
            pSysobj[k].first_field = first;
            break;
        }
    log.InfoNumber("Recovered fields fo table ", table.id);
    log.InfoFormat("Table %s: %lu columns guessed from %lu rows of page %ld", table_name.c_str(),
                   static_cast<unsigned long>(guessed.size()), static_cast<unsigned long>(rows.size()),
                   static_cast<long>(walk.page()));
    return 1;
}
