#include "vrndll/pages/OwnedPages.h"

#include <algorithm>

#include "vrndll/call/ResultCode.h"
#include "vrndll/pages/BlockReader.h"

bool SweepPageHeaders(BlockReader &reader, int64_t first, int64_t end, const std::function<void(int32_t)> &visit) {
    for (int64_t b = first; b < end && b <= INT32_MAX && reader.InDump(static_cast<int32_t>(b)); ++b) {
        const int32_t page = static_cast<int32_t>(b);
        if (reader.GetBlock(page) == kCancelled) return false;
        if (!reader.HeaderWhole()) continue;
        if (reader.id == 1) break; // page 1 of the next database in the dump
        visit(page);
    }
    return true;
}

bool OwnedPages::SweepOnce(BlockReader &reader, int64_t max_pages) {
    std::lock_guard<std::mutex> guard(lock_);
    if (swept_ && base_mb_ == reader.base_mb) return true;
    return Sweep(reader, max_pages);
}

bool OwnedPages::Sweep(BlockReader &reader, int64_t max_pages) {
    ClearHeld();
    swept_ = true;
    base_mb_ = reader.base_mb;
    const bool whole = SweepPageHeaders(reader, 2, max_pages + 1, [&](int32_t page) {
        if (reader.id == page && reader.type > 100 && reader.fl1 == 0) pages_.emplace_back(reader.type, page);
    });
    std::sort(pages_.begin(), pages_.end());
    return whole;
}

void OwnedPages::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    ClearHeld();
}

void OwnedPages::ClearHeld() {
    swept_ = false;
    std::vector<std::pair<int32_t, int32_t>>().swap(pages_);
}

std::vector<int32_t> OwnedPages::PagesOf(int32_t owner) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<int32_t> out;
    auto it = std::lower_bound(pages_.begin(), pages_.end(), std::make_pair(owner, INT32_MIN));
    for (; it != pages_.end() && it->first == owner; ++it) out.push_back(it->second);
    return out;
}
