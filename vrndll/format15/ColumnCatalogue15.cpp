// The column catalogue of a format-15 dump (object 3).
//
// GetFieldEx walks the column map, a chain of map pages from page 50 whose
// entries name every column row by page and row number, and reads each
// named row into a ColumnEntry, in map order. A column row (offsets from
// its position, 4 bytes into the row; the row number at -4, its kind at -2:
// rows of kind 16 or 20 are deleted and passed over):
//   4 table id (4 bytes); 8 column id (2 bytes); 10 status;
//   12 length (2 bytes) on pages whose firoff is 36, else the length is 0;
//   22 user type; 32 row length; 34 the name and the other variable bytes,
//   row length - 40 of them (numeric and decimal: the name, then precision
//   and scale).
// Entries are read only whole and inside their map page, rows only whole
// and inside their page; the map walk ends at a page read before or outside
// the dump (PageChain).
#include <cstring>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnCollector.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/VRNParser15.h"

namespace {

constexpr int32_t kColumnMapPage = 50;
constexpr int kMaxVarLen = 255;
constexpr int kRowOverhead = 40;
constexpr int kNameAt = 34;
// The page firoff that says the column rows carry their length.
constexpr int kLengthFiroff = 36;

RecordLayout ColumnRows() {
    RecordLayout layout;
    layout.first = 16;
    layout.lead = 4;
    layout.length_at = 32;
    layout.min_length = kRowOverhead;
    return layout;
}

} // namespace

int VRNParser15::GetFieldEx() {
    Logger &log = TheLogger();
    int32_t map_page = kColumnMapPage;
    try {
        log.Info("parser15 GetFieldEx starts");
        if (bl.GetBlock(1) == kCancelled) return kCancelled;

        ColumnCollector columns(*this);
        const RecordLayout layout = ColumnRows();
        PageChain walk(bl, kColumnMapPage, "the column map", VRN_bl_count);
        while (walk.Next()) {
            map_page = walk.page();
            for (int k = 0;; ++k) {
                int page = 0, row = 0;
                if (!GetOneFieldBlockAndRecNum(&k, &page, &row)) break;
                FoundRow found;
                if (FindRow(page, row, layout, "the column catalogue", found, false, true) == kCancelled)
                    return kCancelled;
                if (!found.found) continue;
                const uint8_t *o = found.row;
                ColumnEntry e;
                e.row_num = o[-4];
                e.tab_id = ReadInt32(o + 4);
                e.col_id = ReadInt16(o + 8);
                e.null_flag = o[10];
                e.length = row_reader().firoff == kLengthFiroff ? ReadInt16(o + 12) : 0;
                e.user_type = o[22];
                e.rec_len = static_cast<int16_t>(found.length);
                int var_len = found.length - kRowOverhead;
                if (var_len > kMaxVarLen) {
                    log.ErrorFormat("Column %d of table %ld: %d name bytes, kept %d", e.col_id,
                                    static_cast<long>(e.tab_id), var_len, kMaxVarLen);
                    var_len = kMaxVarLen;
                }
                e.var_len = var_len;
                std::memcpy(e.name, o + kNameAt, static_cast<size_t>(var_len));
                e.name[var_len] = '\0';
                e.fixed = FixedOf(e.user_type, format());
                columns.Add(e);
            }
        }
        if (walk.stop() == ChainStop::kCancelled) return kCancelled;
        columns.Finish();
        log.Info("parser15 GetFieldEx ends");
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetCol15);
        bl.bl_log(map_page);
        return kFailed;
    }
}
