// Keeps a walk along a page chain finite.
//
// A chain follows next_id from page to page; a damaged dump can link a page
// to itself, to an earlier page of the chain, or keep going for ever. Every
// chain walk asks Visit() before reading a page: the walk ends at a page it
// has already read and after as many pages as the dump holds, with an ERROR
// entry naming the page.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

class ChainGuard {
public:
    // `chain` names the walk in the log ("the object catalogue");
    // `max_pages` is the number of blocks of the dump.
    ChainGuard(const char *chain, int64_t max_pages);

    // True when the walk may read `page`; false, logged, when the page was
    // read before or the walk already took `max_pages` steps.
    bool Visit(int32_t page);

    int64_t steps() const { return steps_; }

private:
    bool Seen(int32_t page);

    const char *chain_;
    int64_t max_pages_;
    int64_t steps_ = 0;
    std::vector<uint64_t> bits_;          // pages 0 .. kBitmapPages - 1
    std::unordered_set<int32_t> others_;  // any other page id
};
