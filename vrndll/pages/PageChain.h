// One walk along a chain of pages.
//
// A chain starts at a page and follows next_id from page to page until a
// page whose next_id is 0. A damaged dump can link a page to itself or to
// an earlier page, point outside the dump, or hold a page that cannot be
// read; every walk over a chain goes through PageChain, which ends in each
// of these cases, says why, and logs the reason once:
//
//     PageChain walk(bl, first_page, "the column catalogue", VRN_bl_count);
//     while (walk.Next()) {
//         // bl holds header and body of walk.page()
//     }
//     if (walk.stop() == ChainStop::kCancelled) return kCancelled;
//
// Walks can also share a record of the pages they have read, so that a
// page read by one walk is never read again by another (text and image
// values of one table: two values never share a page).
//
// Next() reads header and body of the next page into the reader (a failed
// read is tried a few times), so the reader's fields describe walk.page()
// while the loop body runs. The reader's own cancel check is asked on every
// read. Step(page) reads a page the caller names as the walk's next page,
// for walks that go one page per call (the data chains).
#pragma once

#include <cstdint>
#include <string>

#include "vrndll/pages/ChainGuard.h"

class BlockReader;

// Why a walk stopped.
enum class ChainStop {
    kWalking,     // not stopped yet
    kEndOfChain,  // a next_id of 0: the chain ends normally
    kRevisited,   // the page was read before in this walk (a loop)
    kOutsideDump, // a negative page, a page beyond the dump's pages, or one whose header lies past its end
    kUnreadable,  // the read failed (also after retries)
    kCancelled,   // the cancel check said stop
    kTaken,       // the page was read by an earlier walk sharing the same record of pages
};

// Short English words for the log ("the page was read before (a loop)").
const char *ChainStopText(ChainStop stop);

class PageChain {
public:
    // `reader`: where pages are read into (borrowed); `first`: the first
    // page (0: the chain is empty); `what`: the chain's name in the log;
    // `max_pages`: the pages of the dump (no page id above it, so no more
    // steps than it either; at least 1).
    PageChain(BlockReader &reader, int32_t first, std::string what, int64_t max_pages);
    // The same, ending also at a page that `taken` holds, and adding every
    // page it reads to `taken` (borrowed): walks that share one record never
    // read a page twice between them.
    PageChain(BlockReader &reader, int32_t first, std::string what, int64_t max_pages, ChainGuard &taken);

    // Reads the next page: the first page, then the next_id of the page
    // read last. False when the walk has stopped (see stop()).
    bool Next();
    // Reads `page` as the walk's next page. False when the walk stops there.
    bool Step(int32_t page);

    // The page read last (the one the reader holds after a true Next()),
    // or the page the walk stopped at.
    int32_t page() const { return page_; }
    ChainStop stop() const { return stop_; }
    // Steps taken (pages read).
    int64_t steps() const { return guard_.steps(); }
    // Whether the walk went to `page` (read it, or stopped there).
    bool Visited(int32_t page) const { return guard_.Contains(page); }
    // The stop as a result code: 0 while walking and at the end of the
    // chain, -1000 cancelled, -2 for every other stop.
    int Result() const;

private:
    bool Stop(ChainStop why);

    BlockReader &reader_;
    std::string what_;
    int64_t max_pages_;
    ChainGuard guard_;
    ChainGuard *taken_ = nullptr;
    int32_t first_;
    bool started_ = false;
    int32_t page_ = 0;
    ChainStop stop_ = ChainStop::kWalking;
};
