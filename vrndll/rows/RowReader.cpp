// Rows of a data page, cut into values and written as INSERT statements,
// and the writers of text, image and unitext values. Both generations store
// data rows alike; they differ only in where a numeric column's precision
// and scale sit among its catalogue bytes (the parser's format()).
//
// A data row (offsets from its first byte; `firoff` comes from the page
// header and is the same for every row of the page):
//
//   0              number of variable-length columns the row stores (var_count)
//   1              row number
//   2 .. firoff    fixed-length area: the fixed columns' values back to back
//   firoff         row length (int16), present only when var_count is not 0;
//                  a row without variable columns is firoff bytes long
//   firoff + 2 ..  variable-length area V of L bytes: the values back to back,
//                  then the offset table, one byte per stored column in
//                  reverse order plus one; column i runs from position
//                  V[L-1-i] to V[L-2-i] of the row, and a zero length is NULL
//
// Only the lengths taken from the offset table are used; the values are
// read one after another from the start of V. Positions are single bytes,
// so in a row longer than 255 bytes they wrap and lengths are taken modulo
// 256.
//
// Damage never takes the walk outside the page or the row buffers: a row
// whose length cannot be true ends the page (the next row cannot be found),
// a row longer than the buffers or with an impossible offset table is
// skipped, a value whose bytes lie beyond its area is written as NULL, and
// a chain that loops, leaves the dump or leaves the table ends. Every such
// decision is logged.
#include <algorithm>
#include <cstring>
#include <memory>

#include "Common/logger/logger.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/rows/RowLayout.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/sql/UniCharLiteral.h"
#include "vrndll/VRNParser.h"
#include "vrndll/sql/ValueFormat.h"

namespace {

// The most bytes a text, image or unitext value holds.
constexpr uint64_t kMaxValueBytes = 0x7FFFFFFF;

} // namespace

RowReader::RowReader(VRNParser &parser, BlockReader &pages, uint32_t table)
    : parser_(parser), bl_(pages), generation_(parser.generation()), table_(table) {}

// Upper bound of any page chain: the blocks of the dump.
int64_t RowReader::PagesInDump() const {
    if (parser_.VRN_bl_count > 0) return parser_.VRN_bl_count;
    return static_cast<int64_t>(bl_.DumpSize() / (static_cast<uint64_t>(bl_.kb) * 1024u)) + 1;
}

// The reader for text and image chains, on the same dump and database as
// the data pages' but with buffers of its own.
BlockReader &RowReader::ChainReader() {
    if (!chain_bl_ || chain_bl_->kb != bl_.kb || chain_bl_->hFile != bl_.hFile)
        chain_bl_ = std::make_unique<BlockReader>(bl_.kb, bl_.base_mb, bl_.hFile, bl_.cancel_check());
    chain_bl_->base_mb = bl_.base_mb;
    return *chain_bl_;
}

// Walks the page chain from `first`, handing the record area of every page
// to `append`. 0 at the end of the chain; -1000 cancelled; -2 when a page
// could not be read, the chain loops or leaves the dump, or it holds more
// than a value can (the pieces read so far have been appended);
// kChainTaken when it reaches a page read for another value of the table.
// Every page read is marked as taken, so no page is read for two values.
template <class Append>
int RowReader::WalkValueChain(int32_t first, const char *what, Append append) {
    BlockReader &r = ChainReader();
    PageChain walk(r, first, what, PagesInDump(), value_pages_);
    uint64_t held = 0;
    while (walk.Next()) {
        size_t n = static_cast<size_t>(r.RecordAreaLength());
        if (held + n > kMaxValueBytes) {
            n = static_cast<size_t>(kMaxValueBytes - held);
            append(r.data.data(), n);
            TheLogger().ErrorFormat("Walk of %s stops at page %ld: the value would hold more than %lu bytes", what,
                                    static_cast<long>(walk.page()), static_cast<unsigned long>(kMaxValueBytes));
            return kFailed;
        }
        held += n;
        append(r.data.data(), n);
    }
    if (walk.stop() == ChainStop::kTaken) return kChainTaken;
    return walk.Result();
}

namespace {

// What a chain writer returns, with the literal it began at `start` taken
// back when the chain belongs to another value.
int TakeBackIfTaken(std::string &out, size_t start, int rc) {
    if (rc == RowReader::kChainTaken) out.resize(start);
    return rc;
}

// A NUL byte would end the text where the script writer stops, so a NUL
// inside a character literal (the only place one can come from) is written
// as a concatenation: 'a' + char(0) + 'b'.
void SpellOutNulBytes(std::string &out, size_t from) {
    if (from >= out.size() || std::memchr(out.data() + from, 0, out.size() - from) == nullptr) return;
    std::string spelled;
    spelled.reserve(out.size() - from + 16);
    for (size_t k = from; k < out.size(); ++k) {
        if (out[k] == '\0')
            spelled += "'+char(0)+'";
        else
            spelled += out[k];
    }
    out.resize(from);
    out += spelled;
}

bool IsFreeSpace(const uint8_t *bytes, int count) {
    for (int k = 0; k < count; ++k)
        if (bytes[k] != 0) return false;
    return true;
}

} // namespace

// ================================================================== value writers

// The whole literal: quotes around the chain's bytes, quotes inside doubled.
int RowReader::WriteTextChain(std::string &out, int32_t first_page) {
    const size_t start = out.size();
    values::CharLiteralWriter literal(out);
    literal.Begin();
    const int rc = WalkValueChain(first_page, "a text chain",
                                  [&](const uint8_t *bytes, size_t n) { literal.Append(bytes, n); });
    literal.End();
    return TakeBackIfTaken(out, start, rc);
}

// "0x" and two hexadecimal digits per byte of the chain.
int RowReader::WriteImageChain(std::string &out, int32_t first_page) {
    const size_t start = out.size();
    out += "0x";
    const int rc = WalkValueChain(first_page, "an image chain",
                                  [&](const uint8_t *bytes, size_t n) { values::AppendHexDigits(out, bytes, n); });
    return TakeBackIfTaken(out, start, rc);
}

// The literal of the whole chain's UTF-16 code units.
int RowReader::WriteUniTextChain(std::string &out, int32_t first_page) {
    const size_t start = out.size();
    values::UniTextLiteralWriter literal(out);
    literal.Begin();
    const int rc = WalkValueChain(first_page, "a unitext chain",
                                  [&](const uint8_t *bytes, size_t n) { literal.Append(bytes, n); });
    literal.End();
    return TakeBackIfTaken(out, start, rc);
}

void RowReader::NoteLostValue(const RowColumn &column, bool as_null, const char *why) {
    LostValue v;
    v.page = data_page();
    v.row = row_number;
    v.column = column.name;
    v.as_null = as_null;
    v.why = why;
    lost_values.Add(std::move(v));
}

int32_t RowReader::ChainPage(const RowValue &value) {
    if (value.state != RowValue::State::kStored || value.column == nullptr) return 0;
    if (value.length < values::StoredWidth(value.column->user_type)) return 0;
    return ReadInt32(value.bytes);
}

RowReader::ChainRead RowReader::ReadChain(const RowColumn &column, int32_t first_page,
                                          const std::function<void(const uint8_t *, size_t)> &append) {
    uint64_t held = 0;
    const char *what = column.user_type == values::kText      ? "a text chain"
                       : column.user_type == values::kUniText ? "a unitext chain"
                                                              : "an image chain";
    const int rc = WalkValueChain(first_page, what, [&](const uint8_t *p, size_t n) {
        held += n;
        append(p, n);
    });
    if (rc == kCancelled) return ChainRead::kCancelled;
    if (rc == kChainTaken) {
        // Pages are read for one value only: a pointer into pages another
        // value has read (rows that all name one chain, or chains that
        // merge) would otherwise multiply the output without bound.
        NameLostValue(column, true, first_page, "its chain holds pages read for another value");
        return ChainRead::kNull;
    }
    if (rc == kOk) return ChainRead::kWhole;
    // A chain broken at its first page gave nothing: an empty value would
    // pass for a stored one, so a nullable column gets NULL, and a column
    // that cannot take NULL the empty value, counted as changed. A chain
    // read in part keeps what was read.
    counts.chains_broken += 1;
    if (held == 0 && column.nullable) {
        NameLostValue(column, true, first_page, "nothing of its chain could be read");
        return ChainRead::kNull;
    }
    NameLostValue(column, false, first_page,
                  held == 0 ? "nothing of its chain could be read, written empty (the column takes no NULL)"
                            : "its chain could be read only in part, written as far as it was read");
    return held == 0 ? ChainRead::kEmpty : ChainRead::kPartial;
}

// A value written as NULL or other than stored because its bytes were lost:
// counted, and named in the log by its table, data page, row and column
// (`chain`: the first page of its chain).
void RowReader::NameLostValue(const RowColumn &column, bool as_null, int32_t chain, const char *why) {
    if (as_null)
        counts.values_null += 1;
    else
        counts.values_changed += 1;
    TheLogger().ErrorFormat("Row %i of page %ld of table %s: column %s (chain from page %ld) written as %s: %s",
                            row_number, static_cast<long>(data_page()), table_name().c_str(), column.name.c_str(),
                            static_cast<long>(chain), as_null ? "NULL" : "changed", why);
    NoteLostValue(column, as_null, why);
}

// ================================================================== one row

namespace {

// A value written other than stored is counted and named in the log: the
// row, the column, what the value was (with its stored bytes) and what was
// written in its place.
void AccountForChange(RowReader &reader, const std::string &out, size_t value_start, const RowColumn &column,
                      const uint8_t *p, int32_t len, values::ValueChange change) {
    if (change == values::ValueChange::kNone) return;
    if (change == values::ValueChange::kTooShort)
        reader.counts.values_null += 1;
    else
        reader.counts.values_changed += 1;
    std::string stored;
    values::AppendBinary(stored, p, static_cast<size_t>(std::min<int32_t>(std::max<int32_t>(len, 0), 16)));
    TheLogger().ErrorFormat("Row %i of table %s: column %s holds %s (stored %s), written as %s",
                            reader.row_number, reader.table_name().c_str(), column.name.c_str(),
                            values::ValueChangeText(change), stored.c_str(), out.c_str() + value_start);
    reader.NoteLostValue(column, change == values::ValueChange::kTooShort, values::ValueChangeText(change));
}

// Appends the literal of one value of `column` held in `len` bytes at `p`.
// Text and image values are the chains their 16-byte pointer names.
// Returns 0, or -1000 when a chain read was cancelled.
int AppendColumnValue(RowReader &reader, std::string &out, const RowColumn &column, const uint8_t *p,
                      int32_t len, bool fixed_area) {
    if (!values::IsChainType(column.user_type)) {
        const size_t start = out.size();
        values::ValueChange change = values::ValueChange::kNone;
        values::AppendValue(out, column.user_type, p, static_cast<size_t>(len), column.scale, fixed_area,
                            column.nullable, &change);
        AccountForChange(reader, out, start, column, p, len, change);
        return kOk;
    }
    const int32_t page = len >= values::StoredWidth(column.user_type) ? ReadInt32(p) : 0;
    if (page <= 0) {
        out += "NULL";
        return kOk;
    }
    // Text is written as characters, unitext as its code units, image as
    // the bytes it holds.
    const size_t start = out.size();
    RowReader::ChainRead got;
    if (column.user_type == values::kImage) {
        out += "0x";
        got = reader.ReadChain(column, page, [&](const uint8_t *bytes, size_t n) { values::AppendHexDigits(out, bytes, n); });
    } else if (column.user_type == values::kUniText) {
        values::UniTextLiteralWriter literal(out);
        literal.Begin();
        got = reader.ReadChain(column, page, [&](const uint8_t *bytes, size_t n) { literal.Append(bytes, n); });
        literal.End();
    } else {
        values::CharLiteralWriter literal(out);
        literal.Begin();
        got = reader.ReadChain(column, page, [&](const uint8_t *bytes, size_t n) { literal.Append(bytes, n); });
        literal.End();
    }
    if (got == RowReader::ChainRead::kCancelled) return kCancelled;
    if (got == RowReader::ChainRead::kNull) {
        out.resize(start);
        out += "NULL";
    }
    return kOk;
}

} // namespace

// The T-SQL statement of a row: INSERT INTO with the fixed columns and
// the variable columns the row stores (a row whose every column is NULL
// names one of them), the values as literals.
int TsqlRows::WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) {
    const size_t row_start = out.size();
    const RowLayout &layout = *row.layout;
    const size_t fixed = layout.fixed.size();
    out += "INSERT INTO ";
    out += layout.table_name;
    out += '(';
    out += layout.fixed_names;
    bool listed = fixed != 0;
    for (size_t i = fixed; i < row.count; ++i) {
        if (row.values[i].state == RowValue::State::kAbsent) continue;
        if (listed) out += ',';
        out += row.values[i].column->name;
        listed = true;
    }
    const bool all_null = !listed;
    if (all_null) out += layout.variable.front().name;
    out += ") \n VALUES(";

    bool first_value = true;
    for (size_t i = 0; i < row.count; ++i) {
        const RowValue &v = row.values[i];
        if (v.state == RowValue::State::kAbsent) continue;
        if (!first_value) out += ',';
        first_value = false;
        if (v.state == RowValue::State::kLost) {
            out += "NULL";
            continue;
        }
        if (AppendColumnValue(reader, out, *v.column, v.bytes, v.length, v.fixed_area) == kCancelled) {
            out.resize(row_start);
            return kCancelled;
        }
    }
    if (all_null) out += "NULL";
    out += ")\n";
    SpellOutNulBytes(out, row_start);
    return kOk;
}

void TsqlRows::EndPage(std::string &out) { out += "\nGO\n"; }

int RowReader::WriteRow(std::string &out, uint32_t table, int var_length, uint32_t columns) {
    const size_t row_start = out.size();
    try {
        RowLayout &layout = row_layout_;
        const int32_t id = table < parser_.pSysobj.size() ? parser_.pSysobj[table].id : 0;
        if (!layout.BuiltFor(table, id, columns) &&
            !BuildRowLayout(parser_, table, columns, layout)) {
            TheLogger().ErrorFormat("PrintOneString: table %lu is not in the catalogue",
                                    static_cast<unsigned long>(table));
            return kFailed;
        }
        const char *name = layout.table_name.c_str();
        if (layout.fixed.empty() && layout.variable.empty()) {
            TheLogger().ErrorFormat("Row %i of table %s skipped: the table has no columns", row_number, name);
            return kRowSkipped;
        }

        // Columns guessed from another page's rows fit this row only when
        // its fixed area holds them all: a row they would run past is not
        // written half.
        if (layout.guessed && layout.fixed_width > fixed_length) {
            TheLogger().ErrorFormat("Row %i of table %s skipped: its guessed columns take %i bytes of a %i-byte fixed area",
                                    row_number, name, layout.fixed_width, fixed_length);
            return kRowSkipped;
        }

        // Lengths of the stored variable columns from the offset table.
        const int stored = var_count;
        const int used = std::min<int>(stored, static_cast<int>(layout.variable.size()));
        int32_t lengths[256];
        int32_t values_length = 0;
        if (stored > 0) {
            if (var_length < stored + 1 || var_length > kVarAreaSize) {
                TheLogger().ErrorFormat("Row %i of table %s skipped: %i variable columns cannot fit an area of %i bytes",
                                        row_number, name, stored, var_length);
                return kRowSkipped;
            }
            values_length = var_length - (stored + 1);
            const bool wraps = row_length > 255;
            for (int i = 0; i < used; ++i) {
                const int start = var_area[var_length - 1 - i];
                const int next = var_area[var_length - 2 - i];
                if (wraps) {
                    lengths[i] = (next - start) & 0xFF;
                    continue;
                }
                if (start > row_length || next > row_length || next < start) {
                    TheLogger().ErrorFormat(
                        "Row %i of table %s skipped: its offset table gives column %i the bytes %i to %i of a %i-byte row",
                        row_number, name, i, start, next, row_length);
                    return kRowSkipped;
                }
                lengths[i] = next - start;
            }
        }

        // The values: fixed columns, then variable columns; a value whose
        // bytes lie beyond its area is lost (written as NULL).
        values_.clear();
        int32_t at = 0;
        for (const RowColumn &column : layout.fixed) {
            RowValue v;
            v.column = &column;
            v.fixed_area = true;
            if (at + column.width > fixed_length) {
                TheLogger().ErrorFormat("Row %i of table %s: column %s lies beyond the %i-byte fixed area, written as NULL",
                                        row_number, name, column.name.c_str(), fixed_length);
                v.state = RowValue::State::kLost;
                counts.values_null += 1;
                NoteLostValue(column, true, "its bytes lie beyond its area");
            } else {
                v.state = RowValue::State::kStored;
                v.bytes = fixed_area + at;
                v.length = column.width;
            }
            at += column.width;
            values_.push_back(v);
        }
        int32_t vat = 0;
        for (size_t i = 0; i < layout.variable.size(); ++i) {
            RowValue v;
            v.column = &layout.variable[i];
            const int32_t len = static_cast<int>(i) < used ? lengths[i] : 0;
            if (len >= 1) {
                if (vat + len > values_length) {
                    TheLogger().ErrorFormat("Row %i of table %s: column %s lies beyond the %i-byte variable area, written as NULL",
                                            row_number, name, v.column->name.c_str(), values_length);
                    v.state = RowValue::State::kLost;
                    counts.values_null += 1;
                    NoteLostValue(*v.column, true, "its bytes lie beyond its area");
                } else {
                    v.state = RowValue::State::kStored;
                    v.bytes = var_area + vat;
                    v.length = len;
                }
                vat += len;
            }
            values_.push_back(v);
        }
        DecodedRow row;
        row.layout = &layout;
        row.values = values_.data();
        row.count = values_.size();
        row.page = page_;
        row.row_number = row_number;
        return sink_->WriteRow(out, row, *this);
    } catch (...) {
        // No half statement stays in the batch.
        out.resize(std::min(out.size(), row_start));
        LogAssertion(generation_.row_site);
        return kFailed;
    }
}

// ================================================================== one page

namespace {

// A page number no dump holds and that is not -1, the caller's "first
// page of the table".
constexpr int32_t kPageBeforeTheDump = -2;

} // namespace

int RowReader::ContinueAfterBreak(const SysobjEntry &t, int32_t page, int32_t *block) {
    // One sweep of the page headers serves every table of the database.
    OwnedPages &owned = parser_.owned_pages;
    if (!owned.SweepOnce(ChainReader(), PagesInDump())) return kCancelled;
    continuation_.clear();
    for (int32_t p : owned.PagesOf(t.id))
        if (!data_walk_->Visited(p)) continuation_.push_back(p);
    const std::string table_name(t.name, strnlen(t.name, sizeof t.name));
    if (continuation_.empty()) {
        TheLogger().ErrorFormat("Data chain of table %s breaks at page %ld: no other page of the table found",
                                table_name.c_str(), static_cast<long>(page));
        return kOk;
    }
    TheLogger().ErrorFormat("Data chain of table %s breaks at page %ld: %lu more pages of the table, found by "
                            "their headers, are read in page order",
                            table_name.c_str(), static_cast<long>(page),
                            static_cast<unsigned long>(continuation_.size()));
    counts.chains_continued += 1;
    continuing_ = true;
    continuation_next_ = 0;
    data_walk_.emplace(bl_, 0, "the pages of table " + table_name + " after its chain broke", PagesInDump());
    *block = NextContinuationPage(table_name);
    return kOk;
}

int32_t RowReader::NextContinuationPage(const std::string &table_name) {
    if (continuation_next_ < continuation_.size()) return continuation_[continuation_next_++];
    TheLogger().InfoFormat("Table %s: %lu pages read after its chain broke", table_name.c_str(),
                           static_cast<unsigned long>(continuation_.size()));
    return 0;
}

void RowReader::StartValuePages(std::vector<int32_t> *read) {
    value_pages_ = ChainGuard();
    value_pages_.Journal(read);
}

bool RowReader::TakeValuePages(const std::vector<int32_t> &pages) {
    for (int32_t p : pages)
        if (value_pages_.Contains(p)) return false;
    for (int32_t p : pages) value_pages_.Visit(p);
    return true;
}

void RowReader::MoveCountsTo(RecoveryCounts &counts_out, ValueLosses &lost_out, int32_t &rows_out) {
    counts_out += counts;
    counts = RecoveryCounts();
    lost_out.Take(lost_values);
    rows_out += rows_read;
    rows_read = 0;
}

int RowReader::ReadPage(std::string &out, int32_t *block, uint32_t table, uint32_t columns, int32_t *rows) {
    try {
        if (rows) *rows = 0;
        DataPage page;
        bool decode = false;
        const int rc = StepPage(block, table, &page, &decode);
        if (rc != kOk || !decode) return rc;
        int32_t count = 0;
        const int decoded = DecodePage(page, out, table, columns, &count);
        if (decoded != kOk) {
            *block = 0;
            return decoded;
        }
        NextAfterPage(block, table);
        if (rows) *rows = count;
        return kOk;
    } catch (...) {
        LogAssertion(generation_.rows_of_page_site);
        if (block) *block = 0;
        return kFailed;
    }
}

int RowReader::StepPage(int32_t *block, uint32_t table, DataPage *data, bool *decode) {
    try {
        *decode = false;
        if (block == nullptr) return kFailed;
        const uint32_t objects = parser_.object_count();
        if (table >= objects) {
            TheLogger().ErrorFormat("GetOneString: table %lu is not in the catalogue",
                                    static_cast<unsigned long>(table));
            *block = 0;
            return kFailed;
        }
        const SysobjEntry &t = parser_.pSysobj[table];
        const std::string table_name(t.name, strnlen(t.name, sizeof t.name));
        // The catalogue may have changed since the last page: the layout is
        // worked out again when what it was read from did (never per row).
        if (!RowLayoutHolds(parser_, row_layout_)) row_layout_.Invalidate();

        const bool starting = *block == -1;
        if (starting || data_chain_table_ != static_cast<int64_t>(table) || !data_walk_) {
            data_walk_.emplace(bl_, 0, "the data chain of table " + table_name, PagesInDump());
            data_chain_table_ = table;
            value_pages_ = ChainGuard();
            continuing_ = false;
            continuation_.clear();
            continuation_next_ = 0;
        }
        const int32_t page = starting ? t.first_block : *block;
        *block = 0;
        if (starting && page == 0)
            TheLogger().ErrorFormat("Table %s has no first data page (%ld)", table_name.c_str(),
                                    static_cast<long>(page));
        if (!data_walk_->Step(page)) {
            // The end of the chain, or a chain that cannot go on: the rows
            // read so far stand, and a chain that loops or leaves the dump
            // goes on with the table's pages it did not reach. A failed read
            // or a cancel is passed up.
            const ChainStop stop = data_walk_->stop();
            if (stop == ChainStop::kUnreadable) counts.pages_unreadable += 1;
            if (stop == ChainStop::kRevisited || stop == ChainStop::kOutsideDump || stop == ChainStop::kUnreadable)
                counts.chains_broken += 1;
            if (stop == ChainStop::kCancelled || stop == ChainStop::kUnreadable) return data_walk_->Result();
            if (stop == ChainStop::kEndOfChain || continuing_) return kOk;
            return ContinueAfterBreak(t, page, block);
        }
        if (bl_.type != t.id) {
            if (continuing_) {
                *block = NextContinuationPage(table_name);
                return kOk;
            }
            TheLogger().ErrorFormat("Data chain of table %s stops at page %ld: the page belongs to object %ld",
                                    table_name.c_str(), static_cast<long>(page), static_cast<long>(bl_.type));
            counts.chains_broken += 1;
            return ContinueAfterBreak(t, page, block);
        }
        data->page = page;
        data->body = bl_.data.data();
        data->area = bl_.RecordAreaLength();
        data->firoff = bl_.firoff;
        data->len = bl_.len;
        data->block_bytes = bl_.kb * 1024;
        *decode = true;
        return kOk;
    } catch (...) {
        LogAssertion(generation_.rows_of_page_site);
        if (block) *block = 0;
        return kFailed;
    }
}

void RowReader::NextAfterPage(int32_t *block, uint32_t table) {
    // -1 asks for the table's first page: a page that names -1 as its
    // next names a page before the dump, and must end the chain there
    // rather than start the table over (for ever).
    const int32_t next = bl_.next_id == -1 ? kPageBeforeTheDump : bl_.next_id;
    if (!continuing_) {
        *block = next;
        return;
    }
    const SysobjEntry &t = parser_.pSysobj[table];
    *block = NextContinuationPage(std::string(t.name, strnlen(t.name, sizeof t.name)));
}

int RowReader::DecodePage(const DataPage &data, std::string &out, uint32_t table, uint32_t columns, int32_t *rows) {
    try {
        *rows = 0;
        if (table >= parser_.object_count()) return kFailed;
        const SysobjEntry &t = parser_.pSysobj[table];
        const std::string table_name(t.name, strnlen(t.name, sizeof t.name));
        const int32_t page = data.page;
        page_ = page;
        const int area = data.area;
        const int firoff = data.firoff;
        // A `len` beyond the block leaves the end of the rows unknown: they
        // are read up to the block's end, but zero bytes after the first row
        // are free space, not rows of zeros.
        const bool len_lies = data.len > data.block_bytes;
        if (len_lies)
            TheLogger().ErrorFormat("Page %ld of table %s: len %i runs past the %i-byte block; rows are read up to its free space",
                                    static_cast<long>(page), table_name.c_str(), data.len, data.block_bytes);
        const uint8_t *body = data.body;
        int count = 0;
        counts.pages_read += 1;
        if (area > 0 && (firoff < 2 || firoff > area)) {
            TheLogger().ErrorFormat("Rows of page %ld of table %s skipped: firoff %i lies outside the %i-byte page",
                                    static_cast<long>(page), table_name.c_str(), firoff, area);
            counts.pages_unreadable += 1;
        } else if (area > 0 && firoff - 2 > kFixedAreaSize) {
            TheLogger().ErrorFormat("Rows of page %ld of table %s rejected: a fixed area of %i bytes exceeds the %i-byte row buffer",
                                    static_cast<long>(page), table_name.c_str(), firoff - 2, kFixedAreaSize);
            counts.pages_unreadable += 1;
        } else {
            RecordLayout layout;
            layout.length_at = firoff;
            layout.min_length = firoff + 2;
            layout.implied_length = firoff; // a row without variable columns
            const std::string rows_of = "table " + table_name;
            RecordCursor rows_of_page(body, area, page, layout, rows_of.c_str());
            while (rows_of_page.Next()) {
                const uint8_t *row = rows_of_page.record();
                const int at = rows_of_page.start();
                const int length = rows_of_page.length();
                if (len_lies && at > 0 && IsFreeSpace(row, firoff)) break;
                const int var_length = row[0] != 0 ? length - firoff - 2 : 0;
                if (var_length > kVarAreaSize) {
                    TheLogger().ErrorFormat("Row at %i of page %ld of table %s rejected: a variable area of %i bytes exceeds the %i-byte row buffer",
                                            at, static_cast<long>(page), table_name.c_str(), var_length, kVarAreaSize);
                    counts.rows_skipped += 1;
                    continue;
                }
                var_count = row[0];
                row_number = row[1];
                row_length = length;
                fixed_length = firoff - 2;
                std::memcpy(fixed_area, row + 2, static_cast<size_t>(fixed_length));
                if (var_length > 0) std::memcpy(var_area, row + firoff + 2, static_cast<size_t>(var_length));

                ++rows_read;
                if (!bl_.MayContinue()) return kCancelled;
                const int rc = WriteRow(out, table, var_length, columns);
                if (rc == kCancelled) return kCancelled;
                if (rc == kOk) ++count;
                if (rc == kRowSkipped) counts.rows_skipped += 1;
                if (batch_piece && out.size() >= kBatchPieceSize) {
                    const int written = batch_piece(out);
                    if (written != kOk) return written;
                }
            }
            // A length that cannot be true ends the page's rows early.
            if (rows_of_page.stop() == RecordStop::kBadLength || rows_of_page.stop() == RecordStop::kLengthOutside)
                counts.pages_unreadable += 1;
        }
        *rows = count;
        sink_->EndPage(out);
        return kOk;
    } catch (...) {
        LogAssertion(generation_.rows_of_page_site);
        return kFailed;
    }
}
