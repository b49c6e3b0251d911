// The rows of a table for PostgreSQL (PostgresRows.h).
#include "vrndll/output/PostgresRows.h"

#include <algorithm>

#include "Common/logger/logger.h"
#include "vrndll/call/ResultCode.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/sql/PlainValue.h"
#include "vrndll/sql/PostgresValues.h"

namespace {

// Digits before the point of a number's text ("-123.45": 3).
size_t IntegerDigits(const char *text, size_t n) {
    size_t i = 0;
    if (i < n && text[i] == '-') ++i;
    while (i < n && text[i] == '0') ++i;
    size_t digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    return digits;
}

} // namespace

void PostgresRows::Begin(const TableSchema &table, std::vector<size_t> order) {
    table_ = &table;
    order_ = std::move(order);
    // Field numbers index the table's column entries, which are all in
    // memory: the table is no larger than they are.
    uint32_t highest = 0;
    for (size_t i : order_) highest = std::max(highest, table.columns[i].field);
    slot_of_field_.assign(order_.empty() ? 0 : static_cast<size_t>(highest) + 1, kNoSlot);
    for (size_t i = 0; i < order_.size(); ++i) slot_of_field_[table.columns[order_[i]].field] = i;
    slots_.assign(order_.size(), nullptr);
}

const char *PostgresRows::Null() const { return format_ == PostgresRowFormat::kCsv ? "" : values::kCopyNull; }

void PostgresRows::AppendText(std::string &out, const char *utf8, size_t n, size_t *nuls) const {
    if (format_ == PostgresRowFormat::kCsv)
        values::AppendCsvText(out, utf8, n, nuls);
    else
        values::AppendCopyText(out, utf8, n, nuls);
}

int PostgresRows::WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) {
    const size_t row_start = out.size();
    std::fill(slots_.begin(), slots_.end(), nullptr);
    for (size_t i = 0; i < row.count; ++i) {
        const RowValue &v = row.values[i];
        if (v.column == nullptr) continue;
        const uint32_t field = v.column->field;
        if (field < slot_of_field_.size() && slot_of_field_[field] != kNoSlot) slots_[slot_of_field_[field]] = &v;
    }
    const char separator = format_ == PostgresRowFormat::kCsv ? ',' : '\t';
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (i) out.push_back(separator);
        const RowValue *v = slots_[i];
        if (v == nullptr || v->state != RowValue::State::kStored) {
            out += Null();
            continue;
        }
        if (AppendField(out, *v, table_->columns[order_[i]], reader) == kCancelled) {
            out.resize(row_start);
            return kCancelled;
        }
    }
    out += format_ == PostgresRowFormat::kCsv ? "\r\n" : "\n";
    return kOk;
}

void PostgresRows::Changed(RowReader &reader, const RowColumn &column, bool as_null, const std::string &why) {
    if (as_null)
        reader.counts.values_null += 1;
    else
        reader.counts.values_changed += 1;
    TheLogger().ErrorFormat("Row %i of page %ld of table %s: column %s written as %s: %s", reader.row_number,
                            static_cast<long>(reader.data_page()), table_->name.c_str(), column.name.c_str(),
                            as_null ? "NULL" : "changed", why.c_str());
    reader.NoteLostValue(column, as_null, why.c_str());
}

void PostgresRows::Characters(std::string &out, const uint8_t *p, size_t n, bool utf16, RowReader &reader,
                              const RowColumn &column) {
    size_t invalid = 0;
    size_t nuls = 0;
    if (format_ == PostgresRowFormat::kCsv) out.push_back('"');
    if (!utf16 && values::AsciiRun(p, n) == n) {
        // Already UTF-8: escaped straight from the row.
        AppendText(out, reinterpret_cast<const char *>(p), n, &nuls);
    } else {
        scratch_.clear();
        if (utf16)
            values::AppendUtf8FromUtf16Le(scratch_, p, n, &invalid);
        else
            values::AppendUtf8(scratch_, p, n, cs_, &invalid);
        AppendText(out, scratch_, &nuls);
    }
    if (format_ == PostgresRowFormat::kCsv) out.push_back('"');
    NoteText(reader, column, invalid, nuls);
}

void PostgresRows::NoteText(RowReader &reader, const RowColumn &column, size_t invalid, size_t nuls) {
    if (nuls != 0)
        Changed(reader, column, false, std::to_string(nuls) + " NUL character(s) dropped (PostgreSQL text cannot hold them)");
    else if (invalid != 0)
        Changed(reader, column, false,
                std::to_string(invalid) + " byte(s) invalid in the character set, kept as the code point of their number");
}

int PostgresRows::AppendField(std::string &out, const RowValue &v, const SchemaColumn &schema, RowReader &reader) {
    const RowColumn &column = *v.column;
    if (values::IsChainType(column.user_type)) return AppendChain(out, v, column, reader);
    const values::PlainKind kind = values::PlainKindOf(column.user_type);
    size_t len = static_cast<size_t>(std::max<int32_t>(v.length, 0));
    if (kind == values::PlainKind::kText || kind == values::PlainKind::kUniText) {
        bool cut = false;
        if (schema.length > 0 && len > static_cast<size_t>(schema.length)) {
            len = static_cast<size_t>(schema.length);
            cut = true;
        }
        Characters(out, v.bytes, len, kind == values::PlainKind::kUniText, reader, column);
        if (cut) Changed(reader, column, false, "longer than its column, cut to the column's length");
        return kOk;
    }
    // The value's text goes straight into the row; a value that turns out
    // NULL or changed takes its text back out.
    const bool csv = format_ == PostgresRowFormat::kCsv;
    const size_t start = out.size();
    if (kind == values::PlainKind::kBytes) out += csv ? "\\x" : "\\\\x";
    const size_t text_at = out.size();
    values::PlainChange change = values::PlainChange::kNone;
    const values::PlainKind got = values::AppendPlainValue(out, column.user_type, v.bytes, len, column.scale, &change);
    if (got == values::PlainKind::kNull) {
        out.resize(start);
        out += Null();
        Changed(reader, column, true, values::ValueChangeText(change));
        return kOk;
    }
    // PostgreSQL's float types hold NaN and the infinities.
    if (change == values::PlainChange::kNotANumber || change == values::PlainChange::kInfinity)
        change = values::PlainChange::kNone;
    if (change == values::PlainChange::kNone &&
        (column.user_type == values::kNumeric || column.user_type == values::kDecimal)) {
        if (schema.precision >= 1 && schema.scale >= 0 && schema.scale <= schema.precision &&
            IntegerDigits(out.data() + text_at, out.size() - text_at) >
                static_cast<size_t>(schema.precision - schema.scale)) {
            const std::string text = out.substr(text_at);
            out.resize(start);
            out += schema.nullable ? Null() : "0";
            Changed(reader, column, false, "more digits than its precision (" + text + ")");
            return kOk;
        }
    }
    if (change != values::PlainChange::kNone) {
        if (schema.nullable) {
            out.resize(start);
            out += Null();
        } else {
            out.erase(start, text_at - start); // the text as it is, without a bytes prefix
        }
        Changed(reader, column, false, values::ValueChangeText(change));
        return kOk;
    }
    if (got == values::PlainKind::kBoolean) {
        const bool zero = out.size() - text_at == 1 && out[text_at] == '0';
        out.resize(text_at);
        if (csv)
            out.push_back(zero ? '0' : '1');
        else
            out.push_back(zero ? 'f' : 't');
    }
    return kOk;
}

int PostgresRows::AppendChain(std::string &out, const RowValue &v, const RowColumn &column, RowReader &reader) {
    const int32_t page = RowReader::ChainPage(v);
    if (page <= 0) {
        out += Null();
        return kOk;
    }
    const bool csv = format_ == PostgresRowFormat::kCsv;
    const size_t start = out.size();
    size_t nuls = 0;
    size_t invalid = 0;
    RowReader::ChainRead got;
    if (column.user_type == values::kImage) {
        out += csv ? "\\x" : "\\\\x";
        got = reader.ReadChain(column, page, [&](const uint8_t *p, size_t n) { values::AppendHexDigits(out, p, n); });
    } else {
        values::Utf8Converter converter =
            column.user_type == values::kUniText ? values::Utf8Converter::ForUtf16Le() : values::Utf8Converter(cs_);
        if (csv) out.push_back('"');
        got = reader.ReadChain(column, page, [&](const uint8_t *p, size_t n) {
            scratch_.clear();
            converter.Append(scratch_, p, n);
            AppendText(out, scratch_, &nuls);
        });
        scratch_.clear();
        converter.End(scratch_);
        AppendText(out, scratch_, &nuls);
        if (csv) out.push_back('"');
        invalid = converter.Invalid();
    }
    if (got == RowReader::ChainRead::kCancelled) return kCancelled;
    if (got == RowReader::ChainRead::kNull) {
        out.resize(start);
        out += Null();
    } else if (got == RowReader::ChainRead::kWhole) {
        NoteText(reader, column, invalid, nuls);
    }
    return kOk;
}
