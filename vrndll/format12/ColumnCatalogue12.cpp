// The column catalogue of a format-12 dump (object 3).
//
// GetCol walks the chain of column-catalogue pages from first_col_block and
// cuts every page into column rows, one ColumnEntry each, in catalogue
// order. A row (offsets within the row):
//   1 row number; 4 table id (4 bytes);
//   firoff 32: 8 column id (2 bytes), 10 status, 12 length (2 bytes);
//   firoff 24: 8 column id, 9 status, 11 length (one unsigned byte: up to 255);
//   any other firoff: 8 column id, 9 status, length 0;
//   firoff - 10 user type; firoff row length; firoff + 2 the name and the
//   other variable bytes, row length - firoff - 5 of them.
// In the layouts with the status byte at 9 the column id is the single byte
// at 8: reading two bytes there would take the status as the high byte and
// turn every nullable column's id into id + 256 * status.
//
// Every row must lie whole inside the record area of its page; the first
// row that does not ends the page (RecordCursor). The chain walk ends at a
// page read before, outside the dump and after as many pages as the dump
// holds (PageChain).
#include <algorithm>
#include <cstring>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnCollector.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParser12.h"

namespace {

// Bytes `name` holds before its terminating NUL.
constexpr int kMaxVarLen = 255;
// Smallest firoff whose fixed fields (up to the user type at firoff - 10)
// lie after the column id and status.
constexpr int kMinFiroff = 20;

} // namespace

int VRNParser12::GetCol() {
    Logger &log = TheLogger();
    int32_t b = first_col_block;
    try {
        log.Info("Running getcol");
        if (bl.GetBlock(1) == kCancelled) return kCancelled;

        ColumnCollector columns(*this);

        if (first_col_block <= 0) log.ErrorNumber("No column catalogue page in this database", first_col_block);
        PageChain walk(bl, first_col_block > 0 ? first_col_block : 0, "the column catalogue", VRN_bl_count);
        while (walk.Next()) {
            b = walk.page();
            const int area = bl.RecordAreaLength();
            const int firoff = bl.firoff;
            if (area != 0 && firoff < kMinFiroff) {
                log.ErrorFormat("Column catalogue page %ld: firoff %d cannot hold a column row",
                                static_cast<long>(b), firoff);
                continue;
            }
            RecordLayout layout;
            layout.length_at = firoff;
            layout.min_length = firoff + 2;
            RecordCursor records(bl.data.data(), area, b, layout, "the column catalogue");
            while (records.Next()) {
                const uint8_t *row = records.record();
                const int rec_len = records.length();
                ColumnEntry e;
                e.row_num = row[1];
                e.tab_id = ReadInt32(row + 4);
                if (firoff == 32) {
                    e.col_id = ReadInt16(row + 8);
                    e.null_flag = row[10];
                    e.length = ReadInt16(row + 12);
                } else {
                    e.col_id = row[8];
                    e.null_flag = row[9];
                    e.length = firoff == 24 ? static_cast<int16_t>(row[11]) : 0;
                }
                e.user_type = row[firoff - 10];
                e.rec_len = static_cast<int16_t>(rec_len);
                int var_len = rec_len - firoff - 5;
                if (var_len < 0) var_len = 0;
                if (var_len > kMaxVarLen) {
                    log.ErrorFormat("Column %d of table %ld: %d name bytes, kept %d", e.col_id,
                                    static_cast<long>(e.tab_id), var_len, kMaxVarLen);
                    var_len = kMaxVarLen;
                }
                e.var_len = var_len;
                std::memcpy(e.name, row + firoff + 2, static_cast<size_t>(var_len));
                e.name[var_len] = '\0';
                e.fixed = FixedOf(e.user_type, format());
                columns.Add(e);
            }
        }
        if (walk.stop() == ChainStop::kCancelled) return kCancelled;

        // Tables the column catalogue does not know get their columns guessed.
        columns.Finish();
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetCol12);
        bl.bl_log(b);
        return kFailed;
    }
}
