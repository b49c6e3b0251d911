// The pages a chain walk has read, so that a chain that loops ends.
//
// A damaged dump can link a page to itself or to an earlier page of its
// chain. PageChain asks Visit() before reading a page and ends at a page it
// has read before; since it reads only pages 1 .. the pages of the dump,
// it also ends after as many steps as the dump holds pages. The guard
// decides; the walk logs.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

class ChainGuard {
public:
    // Records `page` and counts a step; false (and nothing counted) when the
    // page was visited before.
    bool Visit(int32_t page);

    int64_t steps() const { return steps_; }
    bool Contains(int32_t page) const;

    // From now on every page newly visited is also appended to `journal`
    // (borrowed; null: none).
    void Journal(std::vector<int32_t> *journal) { journal_ = journal; }

private:
    std::vector<int32_t> *journal_ = nullptr;
    int64_t steps_ = 0;
    int32_t base_ = 0;                    // page of the bitmap's first bit
    std::vector<uint64_t> bits_;          // pages base_ .. base_ + kBitmapPages - 1
    std::unordered_set<int32_t> others_;  // any other page id
};
