// The rows of one table: its data chain walked page after page, each page
// cut into rows, each row into its values, text and image values read from
// their own chains (RowReader.cpp explains the row format).
//
// A reader holds everything that changes while a table's rows are read:
// the row being decoded, the position in the data chain, the pages read for
// text and image values, and the counts of what was read and lost. The
// catalogue, the database's page sweep and the dump stay the parser's, so
// several readers, for several tables, can exist side by side.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vrndll/call/RecoveryCounts.h"
#include "vrndll/call/ValueLosses.h"
#include "vrndll/pages/BlockReader.h"
#include "vrndll/pages/ChainGuard.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/rows/RowLayout.h"
#include "vrndll/rows/RowValues.h"

class VRNParser;
struct Generation;
struct SysobjEntry;

// The rows as the T-SQL scripts hold them: one INSERT statement per row,
// each page's batch closed by "GO" (the reader's sink unless told
// otherwise).
class TsqlRows : public RowSink {
public:
    int WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) override;
    void EndPage(std::string &out) override;
};

class RowReader {
public:
    // The rows of table `table` (its index among the parser's objects),
    // whose data pages are read through `pages`.
    RowReader(VRNParser &parser, BlockReader &pages, uint32_t table);
    RowReader(const RowReader &) = delete;
    RowReader &operator=(const RowReader &) = delete;

    uint32_t table() const { return table_; }
    // Where the rows go from now on (borrowed; null: the T-SQL statements).
    void SetSink(RowSink *sink) { sink_ = sink ? sink : &tsql_; }
    // The table's name as its INSERT statements write it (once a page has
    // been read).
    const std::string &table_name() const { return row_layout_.table_name; }
    // The data page whose rows are being read (0 before the first).
    int32_t data_page() const { return page_; }

    // The rows of the page *block (-1: the table's first page) appended to
    // `out` by the sink as one batch (for T-SQL: INSERT statements closed
    // by "GO"); *block gets
    // the next page, 0 after the last, and *rows the rows written. 0, -1000
    // cancelled, -2 when a page could not be read.
    int ReadPage(std::string &out, int32_t *block, uint32_t table, uint32_t columns, int32_t *rows);

    // ReadPage in its three steps, for a caller that decodes pages apart
    // from walking the chain (on other threads, by other readers of the
    // same table). A data page whose rows are to be decoded: its record
    // area and what its header says of it.
    struct DataPage {
        int32_t page = 0;
        const uint8_t *body = nullptr; // `area` bytes
        int area = 0;
        int firoff = 0;
        int len = 0;
        int block_bytes = 0;
    };
    // The step of the data chain to *block (-1: the table's first page):
    // the page is read into this reader's BlockReader and, when its rows
    // are to be decoded, `page` describes it there and *decode is true.
    // *block gets 0, or the next page when the step ends in no page of
    // rows (a page of another object while the pages after a break are
    // read). 0, -1000, -2.
    int StepPage(int32_t *block, uint32_t table, DataPage *page, bool *decode);
    // After a step that found a page of rows, while this reader's
    // BlockReader still holds it: *block gets the next page (0 after the
    // last).
    void NextAfterPage(int32_t *block, uint32_t table);
    // The rows of `page` appended to `out` by the sink as one batch, *rows
    // the rows written. Reads no page but those of text and image values.
    // 0, -1000, -2, or what batch_piece returned.
    int DecodePage(const DataPage &page, std::string &out, uint32_t table, uint32_t columns, int32_t *rows);
    // Text and image pages read for values, for a reader that decodes pages
    // of a table apart from the reader that walks its chain: before a page,
    // the pages read for values so far are forgotten, and every page read
    // from then on is listed in `read` (null: not listed).
    void StartValuePages(std::vector<int32_t> *read);
    // For the reader that walks the chain, in row order: when no page of
    // `pages` was read for a value before, they count as read now and true
    // is returned; else nothing changes.
    bool TakeValuePages(const std::vector<int32_t> &pages);

    // The counts, lost values and rows read since the last call moved to
    // the caller's (added to what they hold).
    void MoveCountsTo(RecoveryCounts &counts_out, ValueLosses &lost_out, int32_t &rows_out);
    // The row held in the row members below, cut into its values and handed
    // to the sink. 0; kRowSkipped when the row cannot be true; -1000; -2 on
    // an exception.
    int WriteRow(std::string &out, uint32_t table, int var_length, uint32_t columns);
    static constexpr int kRowSkipped = 1;

    // The literal of the text, image or unitext value whose chain starts at
    // `first_page`: 0; -1000; -2 when the chain could not be read to its
    // end (the literal holds what was read); kChainTaken when a page of the
    // chain was read for another value of the table (nothing is written).
    static constexpr int kChainTaken = 1;
    int WriteTextChain(std::string &out, int32_t first_page);
    int WriteImageChain(std::string &out, int32_t first_page);
    int WriteUniTextChain(std::string &out, int32_t first_page);

    // The first page of the chain a text, image or unitext value points to
    // (0: none, the value is NULL).
    static int32_t ChainPage(const RowValue &value);
    // What became of a value read along its chain. The reader decides, and
    // counts and lists the loss, once for every output format; a sink only
    // spells the outcome in its language.
    enum class ChainRead {
        kWhole,     // every byte of the chain was appended
        kNull,      // write NULL, dropping what was appended: the chain holds
                    // pages read for another value, or nothing of it could be
                    // read and the column takes NULL
        kEmpty,     // nothing could be read and the column takes no NULL: the
                    // empty value, counted as changed
        kPartial,   // the chain broke: what was read, counted as changed
        kCancelled, // the recovery was cancelled (drop the row)
    };
    // The chain from `first_page` streamed to `append`, page by page.
    ChainRead ReadChain(const RowColumn &column, int32_t first_page,
                        const std::function<void(const uint8_t *, size_t)> &append);

    // ---- the row being decoded: ReadPage cuts a row of the page into
    // these members, WriteRow writes it from them.
    static constexpr int kFixedAreaSize = 999;
    static constexpr int kVarAreaSize = 1004;
    uint8_t var_count = 0; // variable-length columns the row stores
    uint8_t row_number = 0;
    int32_t row_length = 0;
    int32_t fixed_length = 0; // bytes of fixed_area the row fills
    uint8_t fixed_area[kFixedAreaSize] = {};
    uint8_t var_area[kVarAreaSize] = {};

    // Called whenever the batch being built has grown past kBatchPieceSize
    // bytes: writes the text out and empties it, so that a page's batch is
    // never held whole (0, or the code that ends the recovery). Unset: the
    // batch is held whole.
    std::function<int(std::string &)> batch_piece;
    static constexpr size_t kBatchPieceSize = 64 * 1024;

    // Rows taken, pages read and what was lost since the owner last took
    // them.
    int32_t rows_read = 0;
    RecoveryCounts counts;
    // The values among them written as NULL or changed, with their row.
    ValueLosses lost_values;
    // Lists a value of the row being decoded as written NULL (`as_null`)
    // or changed, and why.
    void NoteLostValue(const RowColumn &column, bool as_null, const char *why);

private:
    // Counts a value of the row written as NULL (`as_null`) or changed
    // because its chain from page `chain` was lost, names it in the log and
    // lists it.
    void NameLostValue(const RowColumn &column, bool as_null, int32_t chain, const char *why);
    int64_t PagesInDump() const;
    BlockReader &ChainReader();
    template <class Append>
    int WalkValueChain(int32_t first, const char *what, Append append);
    // After the data chain broke at `page`: the table's pages the chain did
    // not reach, from the database's sweep of page headers, become the rest
    // of the walk; *block gets the first (0 when there is none).
    int ContinueAfterBreak(const SysobjEntry &t, int32_t page, int32_t *block);
    // The next of those pages, 0 after the last.
    int32_t NextContinuationPage(const std::string &table_name);

    VRNParser &parser_;
    BlockReader &bl_;
    const Generation &generation_;
    uint32_t table_;
    // The walk of the data chain, and a reader of its own for text and
    // image chains, so that reading one never disturbs the data page.
    std::optional<PageChain> data_walk_;
    int64_t data_chain_table_ = -1;
    std::unique_ptr<BlockReader> chain_bl_;
    // The text and image pages read for values of the table: a page is read
    // for one value only, so rows that all name the same chain cost its
    // pages once, not once per row.
    ChainGuard value_pages_;
    // Once the data chain has broken, the pages of the table it did not
    // reach, read in page order after it.
    std::vector<int32_t> continuation_;
    size_t continuation_next_ = 0;
    bool continuing_ = false;
    // The table's columns as the rows need them, worked out again only
    // when the catalogue entries they come from change.
    RowLayout row_layout_;
    // The values of the row being written, and the page it is on.
    std::vector<RowValue> values_;
    int32_t page_ = 0;
    TsqlRows tsql_;
    RowSink *sink_ = &tsql_;
};
