// Block-size detection: the dump does not state its page size, so it is
// inferred from page chains.
//
// While searching, the reader stays at 2 KiB, so every block number is a
// position in units of 2 KiB. A candidate header (a page with a successor:
// next_id set, not itself, id set, len set) predicts where its successor N
// lies for each page size: D = next_id - id pages further, that is
// 2^i * D positions further for a page of 2^i * 2 KiB. The smallest i whose
// predicted position carries page N of the same object wins:
//
//     i = 1, 2, 3, 4 -> 2, 4, 8, 16 KiB;  i = 5 (32 KiB) -> the size stays 2 KiB.
//
// The search gives up after 100 000 headers that were no candidate, after
// 10 000 candidate rounds, or at the end of the dump.
#include <cstdint>
#include <exception>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/VRNParser.h"

namespace {

constexpr int32_t kMaxTries = 100000;
constexpr int32_t kMaxCandidateRounds = 10000;
constexpr int kProbes = 6;

} // namespace

int VRNParser::DetectBlockSize(int start, bool check_fl1, const AssertionSite &site) {
    try {
        Logger &log = TheLogger();
        log.Info("Detecting DataBase");
        int32_t pos = 0;
        int32_t tries = 0;
        // The first header comes from block `start` and its successor is
        // predicted from there; afterwards the scan runs from position 1.
        int64_t here = start;
        int rc = bl.GetBlock(start);
        if (rc == kCancelled) return kCancelled;

        auto gave_up = [&](const char *why) {
            log.InfoFormat("Detecting DataBase: gave up at block %ld (%s)", static_cast<long>(pos), why);
            return kDetectGaveUp;
        };

        for (;;) {
            // A header that was not read whole is never a candidate.
            const bool candidate = bl.HeaderWhole() && bl.next_id != 0 && bl.next_id != bl.id &&
                                   bl.id != 0 && bl.len != 0 && (!check_fl1 || bl.fl1 == 0);
            if (!candidate) {
                ++tries;
                ++pos;
                if (tries > kMaxTries) return gave_up("too many headers");
                if (!bl.InDump(pos)) return gave_up("end of the dump");
                here = pos;
                if (bl.GetBlock(pos) == kCancelled) return kCancelled;
                continue;
            }

            // Probe i looks 2^i * D positions further; a match is page N of
            // the same object, read whole.
            const int32_t T = bl.type;
            const int32_t N = bl.next_id;
            const int64_t D = static_cast<int64_t>(N) - bl.id;
            int i = 0;
            bool match = false;
            for (int probe = 0; probe < kProbes - 1 && !match; ++probe) {
                const int64_t target = here + static_cast<int64_t>(TwoToThe(probe)) * D;
                // A position outside the block numbers reads nothing.
                if (target < INT32_MIN || target > INT32_MAX) continue;
                if (bl.GetBlock(static_cast<int32_t>(target)) == kCancelled) return kCancelled;
                if (bl.HeaderWhole() && bl.id == N && bl.type == T) {
                    match = true;
                    i = probe + 1;
                }
            }

            ++pos;
            here = pos;
            rc = bl.GetBlock(pos);
            if (rc == kCancelled) return kCancelled;
            if (rc != kFailed) {
                ++tries;
                if (tries > kMaxCandidateRounds) return gave_up("too many candidates");
            }
            if (!match) {
                if (!bl.InDump(pos)) return gave_up("end of the dump");
                continue;
            }

            if (i >= 1 && i <= 4) bl.SetBlockSize(TwoToThe(i));
            log.InfoNumber("Database type:", i);
            log.Info("This :");
            log.InfoNumber("index:", tries);
            return kOk;
        }
    } catch (...) {
        LogAssertion(site);
        return kScanException;
    }
}
