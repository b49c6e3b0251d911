// The rows of one table decoded on several threads, written as one thread
// writes them.
//
// The caller's reader walks the table's data chain in order on the
// caller's thread (a chain can only be followed page after page) and
// copies each page of rows into one of a fixed number of slots. Decoders,
// each with a row reader and a sink of its own, cut and format the slots'
// pages on the pool's threads and on the caller's while it waits. The
// batches are handed to the caller's `write` in chain order, and the log
// entries of every page are written in that order too, so the output and
// the log are those of the reader alone, whatever the number of threads.
// Memory is bounded by the slots: a few pages and their text per thread.
//
// A page of a text or image chain is read for one value only, the first in
// row order to reach it. So a decoder reads the chains of its page's
// values as if no other page had read any, and lists the pages it read;
// when the batch's turn comes, in chain order, those pages are taken for
// the table. When one of them was read for a value of an earlier page (two
// chains that merge, rows that name one chain), the decoder guessed wrong
// and the caller's reader decodes the page again, as the reader alone
// would have. Damage aside, that never happens.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Common/logger/logger.h"
#include "vrndll/call/RecoveryCounts.h"
#include "vrndll/call/ValueLosses.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/rows/RowValues.h"

class VRNParser;
class WorkerPool;

// What one step of the chain gave: a page's batch, or nothing (a step that
// found no page of rows), or the code that ends the table.
struct PageBatch {
    std::string text; // the page's rows as the sink writes them, closed
    int32_t rows = 0;
    int rc = 0;       // 0, or the stop code of the step or of the decode
    // What reading and decoding the page counted and lost.
    RecoveryCounts counts;
    ValueLosses lost;
    int32_t rows_read = 0;
};

// True when the rows of a table laid out as `layout` hold text, image or
// unitext values, whose chains are read with the rows.
bool HasValueChains(const RowLayout &layout);

class ParallelRows {
public:
    // `reader` walks the chain of table `table` (its index among the
    // parser's objects) of `columns` columns, and decodes again a page
    // whose values were read wrong; `new_sink` makes each decoder's sink
    // (called on the caller's thread, here). `value_chains`: the table's
    // rows hold text or image values.
    ParallelRows(WorkerPool &pool, VRNParser &parser, RowReader &reader, uint32_t table, uint32_t columns,
                 bool value_chains, const std::function<std::unique_ptr<RowSink>()> &new_sink);
    ~ParallelRows();
    ParallelRows(const ParallelRows &) = delete;
    ParallelRows &operator=(const ParallelRows &) = delete;

    // Walks the whole chain, handing every step's batch to `write` on the
    // caller's thread in chain order, until the chain ends, a batch holds
    // a stop code, `write` returns one, or the reader's cancel check says
    // stop (then a batch with -1000). Returns what `write` returned last
    // (0 when it was never called).
    int Run(const std::function<int(PageBatch &)> &write);

private:
    struct Slot;
    struct Decoder;
    // Decodes the slots of `run`, in order, with one decoder.
    void Decode(const std::vector<Slot *> &run);
    // One slot with `decoder`, given back when `last`.
    void DecodeWith(Decoder &d, Slot &slot, bool last);
    // On the caller's thread, in chain order: the slot's decode stands, or
    // is done again by the caller's reader; its results join the batch.
    void Settle(Slot &slot);
    // Waits, running queued decodes meanwhile, until `slot` is decoded.
    void WaitFor(const Slot &slot);
    // Stops the decoders and waits until none is at work.
    void StopAll();

    WorkerPool &pool_;
    VRNParser &parser_;
    RowReader &reader_;
    uint32_t table_;
    uint32_t columns_;
    bool value_chains_;
    std::vector<std::unique_ptr<Slot>> slots_;
    size_t run_pages_ = 1; // pages a decoder takes at a time
    std::vector<std::unique_ptr<Decoder>> decoders_;

    std::mutex lock_;
    std::condition_variable decoded_;
    std::vector<Decoder *> idle_; // decoders free to take a page
    int busy_ = 0;                // decodes submitted and not yet done
    const Slot *awaited_ = nullptr; // the slot the caller sleeps for
    bool awaiting_all_ = false;     // the caller sleeps until busy_ is 0
    std::atomic<bool> stop_{false};
};
