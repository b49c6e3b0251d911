#include "vrndll/ChainGuard.h"

#include <cstddef>

namespace {
// Pages below this are remembered in a bitmap (at most 8 MiB of it).
constexpr int32_t kBitmapPages = 1 << 26;
} // namespace

bool ChainGuard::Contains(int32_t page) const {
    if (page >= 0 && page < kBitmapPages) {
        const size_t word = static_cast<size_t>(page) / 64;
        return word < bits_.size() && (bits_[word] & (static_cast<uint64_t>(1) << (page % 64))) != 0;
    }
    return others_.count(page) != 0;
}

bool ChainGuard::Visit(int32_t page) {
    bool seen;
    if (page >= 0 && page < kBitmapPages) {
        const size_t word = static_cast<size_t>(page) / 64;
        const uint64_t bit = static_cast<uint64_t>(1) << (page % 64);
        if (word >= bits_.size()) bits_.resize(word + 1 + word / 2, 0);
        seen = (bits_[word] & bit) != 0;
        bits_[word] |= bit;
    } else {
        seen = !others_.insert(page).second;
    }
    if (seen) return false;
    ++steps_;
    return true;
}
