#include "vrndll/pages/ChainGuard.h"

#include <cstddef>

namespace {
// Pages from the first one visited on are remembered in a bitmap of at
// most this many pages (8 MiB); pages below it or past it in a set.
constexpr int32_t kBitmapPages = 1 << 26;
} // namespace

bool ChainGuard::Contains(int32_t page) const {
    if (page >= base_ && page - base_ < kBitmapPages) {
        const size_t word = static_cast<size_t>(page - base_) / 64;
        return word < bits_.size() && (bits_[word] & (static_cast<uint64_t>(1) << ((page - base_) % 64))) != 0;
    }
    return others_.count(page) != 0;
}

bool ChainGuard::Visit(int32_t page) {
    // The bitmap starts at the first page visited (rounded down to a word),
    // so a chain far into a large dump costs bits for its own span only.
    if (bits_.empty() && others_.empty() && page >= 0) base_ = page - page % 64;
    bool seen;
    if (page >= base_ && page - base_ < kBitmapPages) {
        const size_t word = static_cast<size_t>(page - base_) / 64;
        const uint64_t bit = static_cast<uint64_t>(1) << ((page - base_) % 64);
        if (word >= bits_.size()) bits_.resize(word + 1 + word / 2, 0);
        seen = (bits_[word] & bit) != 0;
        bits_[word] |= bit;
    } else {
        seen = !others_.insert(page).second;
    }
    if (seen) return false;
    ++steps_;
    if (journal_ != nullptr) journal_->push_back(page);
    return true;
}
