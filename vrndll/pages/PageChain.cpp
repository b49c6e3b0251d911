#include "vrndll/pages/PageChain.h"

#include <utility>

#include "Common/logger/logger.h"
#include "vrndll/pages/BlockReader.h"

namespace {

// A read that failed with an exception is tried this often in all.
constexpr int kReadAttempts = 3;

} // namespace

const char *ChainStopText(ChainStop stop) {
    switch (stop) {
    case ChainStop::kWalking: return "the walk goes on";
    case ChainStop::kEndOfChain: return "the end of the chain";
    case ChainStop::kRevisited: return "the page was read before (a loop)";
    case ChainStop::kOutsideDump: return "the page lies outside the dump";
    case ChainStop::kUnreadable: return "the page cannot be read";
    case ChainStop::kCancelled: return "cancelled";
    case ChainStop::kTaken: return "the page belongs to another value";
    }
    return "";
}

PageChain::PageChain(BlockReader &reader, int32_t first, std::string what, int64_t max_pages)
    : reader_(reader), what_(std::move(what)), max_pages_(max_pages < 1 ? 1 : max_pages),
      first_(first) {}

PageChain::PageChain(BlockReader &reader, int32_t first, std::string what, int64_t max_pages, ChainGuard &taken)
    : PageChain(reader, first, std::move(what), max_pages) {
    taken_ = &taken;
}

bool PageChain::Next() {
    if (stop_ != ChainStop::kWalking) return false;
    const int32_t page = started_ ? reader_.next_id : first_;
    return Step(page);
}

bool PageChain::Step(int32_t page) {
    if (stop_ != ChainStop::kWalking) return false;
    started_ = true;
    page_ = page;
    if (page == 0) return Stop(ChainStop::kEndOfChain);
    if (page < 0 || page > max_pages_ || !reader_.InDump(page)) return Stop(ChainStop::kOutsideDump);
    if (!guard_.Visit(page)) return Stop(ChainStop::kRevisited);
    if (taken_ != nullptr && !taken_->Visit(page)) return Stop(ChainStop::kTaken);
    int rc = kFailed;
    for (int attempt = 0; attempt < kReadAttempts && rc == kFailed; ++attempt) rc = reader_.GetBlock(page);
    if (rc == kOk && !reader_.HeaderWhole()) rc = kFailed;
    if (rc == kOk) {
        rc = kFailed;
        for (int attempt = 0; attempt < kReadAttempts && rc == kFailed; ++attempt) rc = reader_.GetAllBlock(page);
    }
    if (rc == kCancelled) return Stop(ChainStop::kCancelled);
    if (rc != kOk) return Stop(ChainStop::kUnreadable);
    return true;
}

bool PageChain::Stop(ChainStop why) {
    stop_ = why;
    if (why != ChainStop::kEndOfChain && why != ChainStop::kCancelled)
        TheLogger().ErrorFormat("Walk of %s stops at page %ld: %s", what_.c_str(), static_cast<long>(page_),
                                ChainStopText(why));
    return false;
}

int PageChain::Result() const {
    switch (stop_) {
    case ChainStop::kWalking:
    case ChainStop::kEndOfChain: return kOk;
    case ChainStop::kCancelled: return kCancelled;
    default: return kFailed;
    }
}
