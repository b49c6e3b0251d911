// The first page of every object of the catalogue ("Find all sysobjects").
//
// One sweep over the block headers of the current database, in block order:
// a page counts when it has an id, does not link to itself, has fl1 0 and is
// not empty. The first counting page of an object id goes to the first
// catalogue entry of that id still without a page, the next one to the next
// entry, and so on; the six system objects the readers need keep their first
// page in first_*_block. The sweep ends when every entry has its page, at
// the next database's page 1, or at the end of the dump. Only headers are
// read.
#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "Common/logger/logger.h"
#include "vrndll/VRNParser.h"

int VRNParser::FindFirstPages() {
    Logger &log = TheLogger();
    log.Info("Find all sysobjects");

    // Catalogue entries by object id, in catalogue order, and how many of
    // them already have their page.
    struct Waiting {
        std::vector<uint32_t> entries;
        size_t served = 0;
    };
    std::unordered_map<int32_t, Waiting> waiting;
    const uint32_t count = object_count();
    for (uint32_t k = 0; k < count; ++k) waiting[pSysobj[k].id].entries.push_back(k);
    uint32_t found = 0;

    first_col_block = first_ind_block = first_ref_block = -1;
    first_db_block = first_obj_block = first_text_block = -1;

    for (int32_t b = 1;; ++b) {
        if (b >= VRN_bl_count) break;
        if (static_cast<int64_t>(b) > file_size) {
            log.Info("ONLY 1 database");
            return kEndOfDump;
        }
        if (!bl.InDump(b)) break;
        if (bl.GetBlock(b) == kCancelled) {
            log.Error("Recovered censel by user in data_blockread");
            bl.bl_log(b);
            return kCancelled;
        }
        if (!bl.HeaderWhole()) continue; // nothing read: nothing to count
        if (bl.id != 0 && log.ShouldLog(LOG_INFO)) {
            log.InfoFormat("bl_id:%i", static_cast<int>(bl.id));
            log.InfoFormat("bl_next_id:%i", static_cast<int>(bl.next_id));
            log.InfoFormat("bl_prev_id:%i", static_cast<int>(bl.prev_id));
            log.InfoFormat("bl_type:%i", static_cast<int>(bl.type));
            log.InfoFormat("bl_fl1:%i", static_cast<int>(bl.fl1));
            log.InfoFormat("bl_zapnum:%i", static_cast<int>(bl.zapnum));
        }
        if (bl.id != 0 && bl.id != bl.next_id && bl.fl1 == 0 && bl.len != kBlockHeaderSize) {
            int32_t *first = nullptr;
            switch (bl.type) {
            case kObjectCatalogue: first = &first_obj_block; break;
            case kColumnCatalogue: first = &first_col_block; break;
            case kIndexCatalogue: first = &first_ind_block; break;
            case kReferenceCatalogue: first = &first_ref_block; break;
            case kDatabaseInformation: first = &first_db_block; break;
            case kObjectTexts: first = &first_text_block; break;
            default: break;
            }
            if (first != nullptr && *first == -1) *first = bl.id;

            auto it = waiting.find(bl.type);
            if (it != waiting.end() && it->second.served < it->second.entries.size()) {
                pSysobj[it->second.entries[it->second.served++]].first_block = bl.id;
                ++found;
            }
        }
        if (found == iSysobj) break;
        // Page 1 of the next database ends the sweep; page 1 of this one
        // does not.
        if (b > 1 && bl.id == 1) break;
    }
    return kOk;
}
