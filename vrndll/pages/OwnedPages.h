// The data pages of a database by their owners, found by reading every page
// header once.
//
// A table's data chain links its pages one to the next; when a page in the
// middle is damaged (zeroed, linked elsewhere, linked back), the chain ends
// there and the table's later pages are out of its reach. Their headers
// still name the table as their owner: one sweep over the headers of the
// database lists them, for every table at once, so that each broken chain
// can go on with the pages it did not reach.
//
// A page is listed when its header was read whole, carries its own page
// number (a header that does not is damaged or belongs to another database),
// names a user object (id above 100) as its owner and has a zero flag byte
// (text and image pages carry a flag). The sweep ends at the dump's end, at
// `max_pages`, or at page 1 of the next database in the dump.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

class BlockReader;

// Reads the header of every page of the database from `first` on, up to
// `end` (exclusive), the dump's end, or page 1 of the next database in the
// dump, and calls `visit` for each header read whole (the reader's fields
// hold it) with its page number. False when cancelled.
bool SweepPageHeaders(BlockReader &reader, int64_t first, int64_t end, const std::function<void(int32_t)> &visit);

// Shared by the readers of every table of the database, which may read on
// several threads: the sweep and the look-ups hold the object's lock.
class OwnedPages {
public:
    // Reads the headers of pages 2 .. through `reader` unless a sweep was
    // made for the database at reader.base_mb already; the first of several
    // readers asking at once sweeps, the others wait for it. False when the
    // sweep made now was cancelled (what was found so far is kept).
    bool SweepOnce(BlockReader &reader, int64_t max_pages);
    void Clear();

    // The pages whose header names `owner`, in page order.
    std::vector<int32_t> PagesOf(int32_t owner) const;

private:
    bool Sweep(BlockReader &reader, int64_t max_pages);
    void ClearHeld();

    mutable std::mutex lock_;
    bool swept_ = false;
    int32_t base_mb_ = 0;
    std::vector<std::pair<int32_t, int32_t>> pages_; // (owner, page), sorted
};
