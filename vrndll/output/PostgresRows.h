// The rows of one table as PostgreSQL loads them: the lines of a COPY block
// in text format (tab between fields, \N for NULL, backslash escapes), or
// the lines of a CSV file (RFC 4180: comma between fields, an empty
// unquoted field for NULL, character values always quoted, so that an
// empty string is "" and a value "\." is no end of data). Character data is
// converted to UTF-8 from the server's character set; bytes are \x and hex
// digits; a boolean is t/f in COPY text and 0/1 in CSV. A value PostgreSQL
// cannot hold exactly is written the nearest safe way and counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vrndll/output/TableSchema.h"
#include "vrndll/rows/RowValues.h"
#include "vrndll/sql/Charset.h"

enum class PostgresRowFormat { kCopyText, kCsv };

class PostgresRows : public RowSink {
public:
    PostgresRows(values::Charset cs, PostgresRowFormat format) : cs_(cs), format_(format) {}

    // The columns of `table` in the order `order` gives them (indexes of
    // table.columns), the order of the COPY list or of the CSV header.
    void Begin(const TableSchema &table, std::vector<size_t> order);
    int WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) override;
    void EndPage(std::string &) override {}

private:
    void Changed(RowReader &reader, const RowColumn &column, bool as_null, const std::string &why);
    // Character data of one field, converted and escaped, its changes counted.
    void Characters(std::string &out, const uint8_t *p, size_t n, bool utf16, RowReader &reader,
                    const RowColumn &column);
    void NoteText(RowReader &reader, const RowColumn &column, size_t invalid, size_t nuls);
    int AppendField(std::string &out, const RowValue &v, const SchemaColumn &schema, RowReader &reader);
    int AppendChain(std::string &out, const RowValue &v, const RowColumn &column, RowReader &reader);
    // Escaped UTF-8 text inside a field (the quotes of CSV are the caller's).
    void AppendText(std::string &out, const char *utf8, size_t n, size_t *nuls) const;
    void AppendText(std::string &out, const std::string &utf8, size_t *nuls) const {
        AppendText(out, utf8.data(), utf8.size(), nuls);
    }
    const char *Null() const;

    values::Charset cs_;
    PostgresRowFormat format_;
    const TableSchema *table_ = nullptr;
    std::vector<size_t> order_;
    // The slot of each column entry's field number (kNoSlot: not written);
    // a lookup by index for every value of every row.
    static constexpr size_t kNoSlot = static_cast<size_t>(-1);
    std::vector<size_t> slot_of_field_;
    std::vector<const RowValue *> slots_;
    std::string scratch_;
};
