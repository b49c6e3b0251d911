#include "vrndll/rows/ParallelRows.h"

#include <algorithm>
#include <chrono>

#include "vrndll/call/ResultCode.h"
#include "vrndll/sql/ValueFormat.h"
#include "vrndll/threads/WorkerPool.h"
#include "vrndll/VRNParser.h"

namespace {

// Runs of pages in flight for each thread: enough that a decoder never
// waits for the walk, few enough that memory stays a few pages and their
// text.
constexpr int kRunsPerThread = 4;
// A decoder takes pages in runs of about this many bytes, so that small
// pages do not each pay for a hand-off between threads.
constexpr int kRunBytes = 8192;
// How often the caller, while it waits, asks the reader's cancel check.
constexpr auto kCancelPoll = std::chrono::milliseconds(20);

} // namespace

bool HasValueChains(const RowLayout &layout) {
    for (const RowColumn &c : layout.fixed)
        if (values::IsChainType(c.user_type)) return true;
    for (const RowColumn &c : layout.variable)
        if (values::IsChainType(c.user_type)) return true;
    return false;
}

// Slots and decoders are written by different threads at once: each takes
// whole cache lines of its own, so that no write of one thread evicts what
// another reads (a decoder's sink follows it in memory, on lines of its
// own as well).
constexpr size_t kCacheLine = 64;

struct alignas(kCacheLine) ParallelRows::Slot {
    // What `write` gets: the step's counts, then the decode's.
    PageBatch batch;
    bool decode = false;       // the step found a page of rows
    std::vector<uint8_t> body; // its record area, copied
    RowReader::DataPage page;
    // The decode's own results, joined to the batch once they stand.
    RecoveryCounts counts;
    ValueLosses lost;
    int32_t rows_read = 0;
    std::vector<int32_t> value_pages; // read for text and image values
    // Entries of the step (before and after the page was found) and of the
    // decode, written when the batch is.
    HeldLogEntries step_log, rows_log, next_log;
    bool decoded = true; // under lock_

    void Reset() {
        batch.rc = kOk;
        batch.counts = RecoveryCounts();
        batch.lost.Clear();
        batch.rows_read = 0;
        decode = false;
        ForgetDecode();
        step_log.Clear();
        next_log.Clear();
    }
    void ForgetDecode() {
        batch.text.clear();
        batch.rows = 0;
        counts = RecoveryCounts();
        lost.Clear();
        rows_read = 0;
        value_pages.clear();
        rows_log.Clear();
    }
};

struct alignas(kCacheLine) ParallelRows::Decoder {
    BlockReader pages;
    RowReader reader;
    std::unique_ptr<RowSink> sink;
    // The page's text as the sink makes it, in memory this thread keeps
    // warm; copied to the slot in one go when whole.
    std::string text;

    Decoder(VRNParser &parser, const BlockReader &like, uint32_t table, const std::atomic<bool> &stop)
        : pages(like.kb, like.base_mb, like.hFile, [&stop] { return !stop.load(std::memory_order_relaxed); }),
          reader(parser, pages, table) {}
};

ParallelRows::ParallelRows(WorkerPool &pool, VRNParser &parser, RowReader &reader, uint32_t table,
                           uint32_t columns, bool value_chains,
                           const std::function<std::unique_ptr<RowSink>()> &new_sink)
    : pool_(pool), parser_(parser), reader_(reader), table_(table), columns_(columns), value_chains_(value_chains) {
    const int threads = pool.workers() + 1;
    run_pages_ = static_cast<size_t>(std::max(1, kRunBytes / (parser.bl.kb * 1024)));
    for (size_t k = 0; k < static_cast<size_t>(threads * kRunsPerThread) * run_pages_; ++k)
        slots_.push_back(std::make_unique<Slot>());
    for (int k = 0; k < threads; ++k) {
        auto d = std::make_unique<Decoder>(parser, parser.bl, table, stop_);
        d->sink = new_sink();
        d->reader.SetSink(d->sink.get());
        idle_.push_back(d.get());
        decoders_.push_back(std::move(d));
    }
}

ParallelRows::~ParallelRows() { StopAll(); }

void ParallelRows::Decode(const std::vector<Slot *> &run) {
    Decoder *d = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        d = idle_.back();
        idle_.pop_back();
    }
    for (size_t k = 0; k < run.size(); ++k) DecodeWith(*d, *run[k], k + 1 == run.size());
}

void ParallelRows::DecodeWith(Decoder &d, Slot &slot, bool last) {
    {
        ScopedHeldEntries capture(slot.rows_log);
        try {
            d.reader.StartValuePages(value_chains_ ? &slot.value_pages : nullptr);
            d.text.clear();
            slot.batch.rc = stop_.load(std::memory_order_relaxed)
                                ? kCancelled
                                : d.reader.DecodePage(slot.page, d.text, table_, columns_, &slot.batch.rows);
            slot.batch.text.assign(d.text);
            d.reader.MoveCountsTo(slot.counts, slot.lost, slot.rows_read);
        } catch (...) {
            slot.batch.rc = kFailed;
        }
    }
    // Told under the lock: once the caller sees no decode at work it may
    // end this object, so nothing of it is touched after the lock is let go.
    std::lock_guard<std::mutex> guard(lock_);
    if (last) idle_.push_back(&d);
    slot.decoded = true;
    --busy_;
    // The caller sleeps for one slot, or for the last decode: it is woken
    // for that only.
    if (&slot == awaited_ || (awaiting_all_ && busy_ == 0)) decoded_.notify_all();
}

void ParallelRows::Settle(Slot &slot) {
    slot.step_log.WriteTo(TheLogger());
    if (slot.decode && slot.batch.rc == kOk && value_chains_ && !reader_.TakeValuePages(slot.value_pages)) {
        // A page of a value's chain was read for a value of an earlier page.
        slot.ForgetDecode();
        slot.batch.rc = reader_.DecodePage(slot.page, slot.batch.text, table_, columns_, &slot.batch.rows);
        reader_.MoveCountsTo(slot.counts, slot.lost, slot.rows_read);
    }
    slot.rows_log.WriteTo(TheLogger());
    slot.next_log.WriteTo(TheLogger());
    slot.batch.counts += slot.counts;
    slot.batch.lost.Take(slot.lost);
    slot.batch.rows_read += slot.rows_read;
}

void ParallelRows::WaitFor(const Slot &slot) {
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            if (slot.decoded) return;
        }
        if (pool_.RunOne()) continue;
        std::unique_lock<std::mutex> guard(lock_);
        awaited_ = &slot;
        decoded_.wait_for(guard, kCancelPoll, [&slot] { return slot.decoded; });
        awaited_ = nullptr;
        if (slot.decoded) return;
        guard.unlock();
        if (!parser_.bl.MayContinue()) stop_.store(true, std::memory_order_relaxed);
    }
}

void ParallelRows::StopAll() {
    stop_.store(true, std::memory_order_relaxed);
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (busy_ == 0) return;
        }
        if (pool_.RunOne()) continue;
        std::unique_lock<std::mutex> guard(lock_);
        awaiting_all_ = true;
        decoded_.wait(guard, [this] { return busy_ == 0; });
        awaiting_all_ = false;
        return;
    }
}

int ParallelRows::Run(const std::function<int(PageBatch &)> &write) {
    const size_t count = slots_.size();
    size_t read = 0, written = 0;
    bool chain_ended = false;
    int32_t block = -1;
    int rc = kOk;
    for (;;) {
        // The walk runs ahead of the writing by as many pages as there are
        // slots, a run of pages at a time.
        while (!chain_ended && count - (read - written) >= run_pages_) {
            std::vector<Slot *> run;
            for (size_t n = 0; n < run_pages_ && !chain_ended; ++n) {
                Slot &s = *slots_[read % count];
                s.Reset();
                bool decode = false;
                int stepped;
                {
                    ScopedHeldEntries capture(s.step_log);
                    stepped = reader_.StepPage(&block, table_, &s.page, &decode);
                }
                reader_.MoveCountsTo(s.batch.counts, s.batch.lost, s.batch.rows_read);
                ++read;
                if (stepped != kOk) {
                    s.batch.rc = stepped;
                    chain_ended = true;
                    break;
                }
                s.decode = decode;
                if (decode) {
                    s.body.assign(s.page.body, s.page.body + (s.page.area > 0 ? s.page.area : 0));
                    s.page.body = s.body.data();
                    {
                        ScopedHeldEntries capture(s.next_log);
                        reader_.NextAfterPage(&block, table_);
                    }
                    {
                        std::lock_guard<std::mutex> guard(lock_);
                        s.decoded = false;
                        ++busy_;
                    }
                    run.push_back(&s);
                }
                if (block == 0) chain_ended = true;
            }
            if (!run.empty()) pool_.Submit([this, run] { Decode(run); });
        }
        if (written == read) break;

        Slot &s = *slots_[written % count];
        WaitFor(s);
        ++written;
        Settle(s);
        // A cancel the decoders saw first is the host's, told here as the
        // reader alone tells it.
        if (s.batch.rc == kOk && !parser_.bl.MayContinue()) s.batch.rc = kCancelled;
        rc = write(s.batch);
        if (IsStop(s.batch.rc) || IsStop(rc)) break;
    }
    StopAll();
    return rc;
}
