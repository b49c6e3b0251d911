// The parts of the catalogue scan that both generations share: where the
// object catalogue starts (phase 1) and the walk over the database records
// (phase 3), each generation decoding its own records.
#include <cstdint>
#include <functional>
#include <vector>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParser.h"

int VRNParser::FindObjectCatalogue(int32_t *first) {
    Logger &log = TheLogger();
    int32_t b = 1;
    for (;; ++b) {
        if (!bl.InDump(b)) {
            log.ErrorFormat("No page of the object catalogue before the end of the dump (block %ld)",
                            static_cast<long>(b));
            return kNoCatalogue;
        }
        if (bl.GetBlock(b) == kCancelled) return kCancelled;
        if (bl.HeaderWhole() && bl.type == kObjectCatalogue) break;
    }
    if (CollectObjectIds(b) == kCancelled) return kCancelled;
    if (bl.GetBlock(b) == kCancelled) return kCancelled;
    log.Info("Find sysobjects blocks");
    if (!bl.HeaderWhole() || bl.id != 1) return kNoCatalogue;
    *first = b;
    return kOk;
}

int VRNParser::ReadDatabaseRecords(const RecordLayout &layout, const AssertionSite &site,
                                   std::vector<DatabaseEntry> &databases, uint32_t &count,
                                   const std::function<DatabaseRecord(const RecordCursor &, DatabaseEntry &)> &decode) {
    Logger &log = TheLogger();
    std::vector<DatabaseEntry> list;
    log.InfoFormat("First block with database_info:%i", static_cast<int>(first_db_block));
    if (first_db_block == -1) return kNoCatalogue;

    PageChain walk(bl, first_db_block, "the database information", VRN_bl_count);
    try {
        while (walk.Next()) {
            RecordCursor records(bl.data.data(), bl.RecordAreaLength(), walk.page(), layout,
                                 "the database information");
            while (records.Next()) {
                DatabaseEntry e;
                const DatabaseRecord verdict = decode(records, e);
                if (verdict == DatabaseRecord::kEndOfPage) break;
                if (verdict == DatabaseRecord::kSkip) continue;
                LogDatabaseEntry(e);
                list.push_back(e);
            }
        }
    } catch (...) {
        LogAssertion(site);
        log.ErrorNumber("iDat:", static_cast<long>(list.size()));
        bl.bl_log(walk.page());
        return kNoCatalogue;
    }
    if (walk.stop() == ChainStop::kCancelled) return kCancelled;
    count = static_cast<uint32_t>(list.size());
    databases = std::move(list);
    return kOk;
}
