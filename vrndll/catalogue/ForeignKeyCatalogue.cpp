// The reference catalogue (object 16): one ForeignKeyEntry per foreign key,
// in catalogue order, for the foreign-key statements of the table scripts.
//
// A reference row is the same in both generations (offsets from the row's
// position; format 15 keeps the row number 4 bytes before it):
//   0 number of variable-length fields (0: the row is firoff bytes long and
//   stores no length); 4 constraint id; 8 referencing table id; 12
//   referenced table id; 16 key count; 28 sixteen column ids of the
//   referencing table (2 bytes each, a 0 ends the list); 60 sixteen column
//   ids of the referenced table; firoff the row length when byte 0 is not 0.
// Format 12 (GetFkey) walks the chain of reference pages from
// first_ref_block; format 15 (GetFkeyEx) the foreign-key map, the first page
// of the object "ncsysreferences" (page 473 when there is none), whose
// entries name every row by page and row number. A database without
// reference pages has no foreign keys ("No Fkey"). A format-12 row whose
// stored length is 0 ends the reader with the keys read so far.
#include <algorithm>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNParser15.h"

namespace {

// The fixed fields end after the referenced column ids.
constexpr int kReferenceFields = 92;
constexpr int kForeignKeysAt = 28;
constexpr int kReferencedKeysAt = 60;
constexpr int32_t kForeignKeyMapFallback = 473;

ForeignKeyEntry DecodeReferenceRow(const uint8_t *o, int rec_len) {
    ForeignKeyEntry e;
    e.rec_len = static_cast<int16_t>(rec_len);
    e.constraint_id = ReadInt32(o + 4);
    e.tab_id = ReadInt32(o + 8);
    e.ref_tab_id = ReadInt32(o + 12);
    e.key_cnt = ReadInt16(o + 16);
    for (int k = 0; k < 16; ++k) {
        e.foreign_keys[k] = ReadInt16(o + kForeignKeysAt + 2 * k);
        e.referenced_keys[k] = ReadInt16(o + kReferencedKeysAt + 2 * k);
    }
    return e;
}

// Rows of a reference page whose firoff is `firoff`, `lead` bytes of row
// number before each position.
RecordLayout ReferenceRows(int firoff, int first, int lead) {
    RecordLayout layout;
    layout.first = first;
    layout.lead = lead;
    layout.length_at = firoff;
    layout.implied_length = firoff;
    layout.implied_flag_at = lead;
    layout.min_length = lead + kReferenceFields;
    return layout;
}

} // namespace

int VRNParser12::GetFkey() {
    Logger &log = TheLogger();
    int32_t b = first_ref_block;
    try {
        fkeys.clear();
        if (first_ref_block == -1) {
            log.Info("No Fkey");
            return kOk;
        }
        log.Info("Running get_foreign_key");
        PageChain walk(bl, first_ref_block, "the reference catalogue", VRN_bl_count);
        while (walk.Next()) {
            b = walk.page();
            if (bl.RecordAreaLength() > 0 && bl.firoff < kReferenceFields) {
                log.ErrorFormat("Reference page %ld: firoff %d cannot hold a reference row", static_cast<long>(b),
                                bl.firoff);
                continue;
            }
            RecordCursor records(bl.data.data(), bl.RecordAreaLength(), b, ReferenceRows(bl.firoff, 0, 0),
                                 "the reference catalogue");
            while (records.Next()) fkeys.push_back(DecodeReferenceRow(records.record(), records.length()));
            if (records.stop() == RecordStop::kZeroLength) {
                LogAssertion(sites::kGetFkeyRecord12);
                bl.bl_log(b);
                return kOk;
            }
        }
        if (walk.stop() == ChainStop::kCancelled) return kCancelled;
        // A page that cannot be read fails the reader; a chain that loops
        // or leaves the dump ends it with the keys read.
        return walk.stop() == ChainStop::kUnreadable ? kFailed : kOk;
    } catch (...) {
        LogAssertion(sites::kGetFkey12);
        bl.bl_log(b);
        return kFailed;
    }
}

int VRNParser15::GetFkeyEx() {
    Logger &log = TheLogger();
    int32_t map_page = kForeignKeyMapFallback;
    try {
        log.Info("parser15::GetFkeyEx");
        fkeys.clear();
        if (first_ref_block == -1) {
            log.Info("No Fkey");
            return kOk;
        }
        log.Info("Running get_foreign_keyEx");
        map_page = FindSysobject("ncsysreferences");
        if (map_page == 0) map_page = kForeignKeyMapFallback;
        const auto layout_of = [](const BlockReader &page) { return ReferenceRows(page.firoff, 16, 4); };
        PageChain walk(bl, map_page, "the foreign-key map", VRN_bl_count);
        while (walk.Next()) {
            map_page = walk.page();
            for (int k = 0;; ++k) {
                int page = 0, row = 0;
                int32_t fkey_id = 0;
                if (!GetOneIndexBlockAndRecNum(&k, &page, &row, &fkey_id)) break;
                FoundRow found;
                if (FindRow(page, row, layout_of, "the reference catalogue", found) == kCancelled)
                    return kCancelled;
                if (!found.found) continue;
                if (found.length < 4 + kReferenceFields) {
                    log.ErrorFormat("Row %d of page %ld: %d bytes cannot hold a reference row", row,
                                    static_cast<long>(page), found.length);
                    continue;
                }
                fkeys.push_back(DecodeReferenceRow(found.row, found.length));
            }
        }
        if (walk.stop() == ChainStop::kCancelled) return kCancelled;
        log.Info("parser15::GetFkeyEx ends");
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetFkey15);
        bl.bl_log(map_page);
        return kFailed;
    }
}
