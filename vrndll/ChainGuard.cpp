#include "vrndll/ChainGuard.h"

#include "Common/logger/logger.h"

namespace {
// Pages below this are remembered in a bitmap (at most 8 MiB of it).
constexpr int32_t kBitmapPages = 1 << 26;
} // namespace

ChainGuard::ChainGuard(const char *chain, int64_t max_pages)
    : chain_(chain ? chain : "a page chain"), max_pages_(max_pages < 1 ? 1 : max_pages) {}

bool ChainGuard::Seen(int32_t page) {
    if (page >= 0 && page < kBitmapPages) {
        const size_t word = static_cast<size_t>(page) / 64;
        const uint64_t bit = static_cast<uint64_t>(1) << (page % 64);
        if (word >= bits_.size()) bits_.resize(word + 1 + word / 2, 0);
        const bool seen = (bits_[word] & bit) != 0;
        bits_[word] |= bit;
        return seen;
    }
    return !others_.insert(page).second;
}

bool ChainGuard::Visit(int32_t page) {
    if (steps_ >= max_pages_) {
        TheLogger().ErrorFormat("Walk of %s stops at page %ld: more pages than the dump holds (%lld)",
                                chain_, static_cast<long>(page), static_cast<long long>(max_pages_));
        return false;
    }
    if (Seen(page)) {
        TheLogger().ErrorFormat("Walk of %s stops at page %ld: the page was read before (a loop)",
                                chain_, static_cast<long>(page));
        return false;
    }
    ++steps_;
    return true;
}
