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
// Pages of text and image values are not read here: a page of such a
// chain is read for one value only, the first in row order to reach it,
// which only a walk in row order can tell. Tables with such columns are
// read by the reader alone.
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

// True when the rows of a table laid out as `layout` may be decoded apart
// from the walk of its chain (no text, image or unitext column).
bool DecodableApart(const RowLayout &layout);

class ParallelRows {
public:
    // `reader` walks the chain of table `table` (its index among the
    // parser's objects) of `columns` columns; `new_sink` makes each
    // decoder's sink (called on the caller's thread, here).
    ParallelRows(WorkerPool &pool, VRNParser &parser, RowReader &reader, uint32_t table, uint32_t columns,
                 const std::function<std::unique_ptr<RowSink>()> &new_sink);
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
    void Decode(Slot &slot);
    // Waits, running queued decodes meanwhile, until `slot` is decoded.
    void WaitFor(const Slot &slot);
    // Stops the decoders and waits until none is at work.
    void StopAll();

    WorkerPool &pool_;
    VRNParser &parser_;
    RowReader &reader_;
    uint32_t table_;
    uint32_t columns_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::unique_ptr<Decoder>> decoders_;

    std::mutex lock_;
    std::condition_variable decoded_;
    std::vector<Decoder *> idle_; // decoders free to take a page
    int busy_ = 0;                // decodes submitted and not yet done
    std::atomic<bool> stop_{false};
};
