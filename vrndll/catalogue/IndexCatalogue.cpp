// The index catalogue (object 2): one IndexEntry per index row, in
// catalogue order, for the key and index statements of the table scripts.
//
// Format 12 (GetIndex): the chain of index-catalogue pages from
// first_ind_block, every page cut into rows whose length lies at the page's
// firoff. A row (offsets within the row):
//   2 index id (1: the primary key); 4 table id (4 bytes); 20 constraint
//   flags (2: a unique constraint); 56 key count; firoff the row length;
//   the last 11 bytes the offset table: variable field k (0 to 9) runs from
//   the byte in slot k + 1 to the byte in slot k. Field 7 is the name,
//   field 9 the key description.
// Format 15 (GetIndexEx): the index map from page 34 names every index row
// by page, row number, table id and index id; a row is taken only when its
// table id and index id are those of its entry. A row (offsets from its
// position, 4 bytes into the row):
//   2 index id; 4 table id; 22 constraint flags; 56 key count; 58 the row
//   length; 60 the key description, as many bytes as the difference of the
//   offset slots 9 and 10 (the low bytes at length - 26 + 2 j); then the
//   name, up to 40 bytes before the length.
// The key description holds one byte per element; the column id of key
// column k is element 4 + 16 k. Names and key descriptions longer than
// their fields are cut to them; a field whose bounds lie outside its row is
// left empty. Every row lies whole inside its page (RecordCursor); the
// walks end at a page read before or outside the dump (PageChain).
#include <algorithm>
#include <cstring>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNParser15.h"

namespace {

constexpr int kMaxName = 255;
constexpr int kMaxKeys = 255;

// Fixed fields of format 12 rows: up to the key count at 56.
constexpr int kFixed12 = 58;
constexpr int kOffsetTable12 = 11;
constexpr int kNameField12 = 7;
constexpr int kKeyField12 = 9;

// Format 15 rows.
constexpr int32_t kIndexMapPage = 34;
constexpr int kKeysAt15 = 60;
constexpr int kTail15 = 40;
constexpr int kOffsetSlots15 = 26;
constexpr int kMinRow15 = kKeysAt15 + kTail15;

RecordLayout IndexRows15() {
    RecordLayout layout;
    layout.first = 16;
    layout.lead = 4;
    layout.length_at = 58;
    layout.min_length = kMinRow15;
    return layout;
}

void CopyName(IndexEntry &e, const uint8_t *from, int length) {
    const int n = std::max(0, std::min(length, kMaxName));
    if (n > 0) std::memcpy(e.name, from, static_cast<size_t>(n));
    e.name[n] = '\0';
}

void CopyKeys(IndexEntry &e, const uint8_t *from, int length) {
    const int n = std::max(0, std::min(length, kMaxKeys));
    for (int k = 0; k < n; ++k) e.keys[k] = from[k];
}

} // namespace

int VRNParser12::GetIndex() {
    Logger &log = TheLogger();
    int32_t b = first_ind_block;
    try {
        log.Info("Running getind");
        indexes.clear();
        if (first_ind_block <= 0) {
            log.InfoNumber("No index catalogue page in this database", first_ind_block);
            return kOk;
        }
        PageChain walk(bl, first_ind_block, "the index catalogue", VRN_bl_count);
        while (walk.Next()) {
            b = walk.page();
            RecordLayout layout;
            layout.length_at = bl.firoff;
            layout.min_length = std::max<int>(kFixed12, bl.firoff + 2);
            RecordCursor records(bl.data.data(), bl.RecordAreaLength(), b, layout, "the index catalogue");
            while (records.Next()) {
                const uint8_t *row = records.record();
                const int rec_len = records.length();
                IndexEntry e;
                e.rec_len = static_cast<int16_t>(rec_len);
                e.index_id = ReadInt16(row + 2);
                e.tab_id = ReadInt32(row + 4);
                e.constraint_flags = ReadInt16(row + 20);
                e.key_count = ReadInt16(row + 56);
                for (int j = 0; j < kOffsetTable12; ++j) e.offsets[j] = row[rec_len - kOffsetTable12 + j];
                // Field k from slot k + 1 up to slot k, inside the row.
                auto field = [&](int k, const uint8_t **from) {
                    const int begin = e.offsets[k + 1];
                    const int end = e.offsets[k];
                    if (begin >= end) return 0;
                    if (end > rec_len) {
                        log.ErrorFormat("Index %d of table %ld: field %d runs past its %d-byte row, left empty",
                                        e.index_id, static_cast<long>(e.tab_id), k, rec_len);
                        return 0;
                    }
                    *from = row + begin;
                    return end - begin;
                };
                // Each field is found before it is copied: arguments are
                // evaluated in no fixed order.
                const uint8_t *name = nullptr;
                const int name_length = field(kNameField12, &name);
                CopyName(e, name, name_length);
                const uint8_t *keys = nullptr;
                const int key_length = field(kKeyField12, &keys);
                CopyKeys(e, keys, key_length);
                indexes.push_back(e);
            }
        }
        if (walk.stop() == ChainStop::kCancelled) return kCancelled;
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetIndex12);
        bl.bl_log(b);
        return kFailed;
    }
}

int VRNParser15::GetIndexEx() {
    Logger &log = TheLogger();
    int32_t map_page = kIndexMapPage;
    try {
        log.Info("Running getind");
        indexes.clear();
        const RecordLayout layout = IndexRows15();
        PageChain walk(bl, kIndexMapPage, "the index map", VRN_bl_count);
        while (walk.Next()) {
            map_page = walk.page();
            for (int k = 0;; ++k) {
                int page = 0, row = 0, index_id = 0;
                int32_t tab_id = 0;
                if (!GetOneIndexBlockAndRecNum(&k, &page, &row, &tab_id, &index_id)) break;
                FoundRow found;
                if (FindRow(page, row, layout, "the index catalogue", found) == kCancelled) return kCancelled;
                if (!found.found) continue;
                const uint8_t *o = found.row;
                const int rec_len = found.length;
                IndexEntry e;
                e.rec_len = static_cast<int16_t>(rec_len);
                e.index_id = ReadInt16(o + 2);
                e.tab_id = ReadInt32(o + 4);
                if (e.tab_id != tab_id || e.index_id != index_id) {
                    log.ErrorFormat("Row %d of page %ld is index %d of table %ld, not index %d of table %ld: "
                                    "passed over",
                                    row, static_cast<long>(page), e.index_id, static_cast<long>(e.tab_id), index_id,
                                    static_cast<long>(tab_id));
                    continue;
                }
                e.constraint_flags = ReadInt16(o + 22);
                e.key_count = ReadInt16(o + 56);
                for (int j = 0; j < 11; ++j) e.offsets[j] = o[rec_len - kOffsetSlots15 + 2 * j];
                const int key_length = e.offsets[9] - e.offsets[10];
                const int name_length = rec_len - (kKeysAt15 + key_length) - kTail15;
                if (key_length < 0 || name_length < 0) {
                    log.ErrorFormat("Index %d of table %ld: a key description of %d bytes does not fit its "
                                    "%d-byte row: passed over",
                                    e.index_id, static_cast<long>(e.tab_id), key_length, rec_len);
                    continue;
                }
                CopyKeys(e, o + kKeysAt15, key_length);
                CopyName(e, o + kKeysAt15 + key_length, name_length);
                indexes.push_back(e);
            }
        }
        if (walk.stop() == ChainStop::kCancelled) return kCancelled;
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetIndex15);
        bl.bl_log(map_page);
        return kFailed;
    }
}
