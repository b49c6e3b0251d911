// The SQLite output: per database a folder holding load.sql, which the
// sqlite3 shell, run in that folder ("sqlite3 NEW.db < load.sql"), turns
// into a database with every table and row, the keys and indexes, and the
// foreign keys declared in the table definitions.
//
// load.sql holds, in this order: the CREATE TABLE statements; per table its
// rows as one INSERT statement each, in transactions of up to
// kRowsPerTransaction rows (whole pages); the CREATE INDEX statements.
// Every statement of a row stands on one line, and a line break inside a
// value is written as char(10) outside the string literal, so no line of
// the file that does not start a statement can start with '.', which the
// shell would take for one of its own commands. Views, procedures and
// triggers go to objects.sql beside it, which load.sql does not run: their
// language is not SQLite's.
//
// Column types (each a name SQLite keeps as the column's affinity, chosen
// so no value changes on the way in):
//   - INTEGER: tinyint, smallint, int, bigint, unsigned smallint and int,
//     bit (0/1), numeric and decimal of scale 0 and precision up to 18;
//   - TEXT: unsigned bigint (above 2^63 no SQLite integer holds it), every
//     other numeric and decimal, money and smallmoney, all exact digits
//     with their scale; dates and times as ISO 8601; character data as
//     UTF-8 from the server's character set;
//   - BLOB: binary (every stored byte), varbinary, image, timestamp;
//   - no type name for float and real: a REAL column stores -0.0 as the
//     integer 0, which loses the sign; a column with no type keeps the REAL
//     value as written, -0.0 included. Values are written with 17
//     significant digits, and those below 2^-900 (which the shell's number
//     reader does not always read to the nearest double) as an exact
//     product of an integer and powers of two. A NaN or an infinity, which
//     SQLite does not keep, is written as NULL, or 0.0 where the column
//     takes no NULL, and counted as changed.
// An identity column that is the whole primary key is INTEGER PRIMARY KEY
// (the table's row id); every other identity column a plain INTEGER.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "vrndll/output/OutputWriter.h"
#include "vrndll/output/ScriptFile.h"
#include "vrndll/sql/Charset.h"

// How a column's values are written (and its declared type).
enum class SqliteColumnKind : uint8_t { kInteger, kFloat, kText, kBlob };

SqliteColumnKind SqliteKindOf(const SchemaColumn &column);
// The declared type of a column of `kind`: "INTEGER", "", "TEXT", "BLOB".
const char *SqliteTypeName(SqliteColumnKind kind);
// `name` as a double-quoted identifier, a '"' doubled.
void AppendSqliteIdentifier(std::string &out, const std::string &name);
// UTF-8 text as a string literal on one line: quotes doubled, and line
// feeds, carriage returns and NUL characters as char(n) joined with ||.
void AppendSqliteText(std::string &out, const char *utf8, size_t n);
inline void AppendSqliteText(std::string &out, const std::string &utf8) {
    AppendSqliteText(out, utf8.data(), utf8.size());
}
// A double that reads back bit for bit (see above); false for a NaN or an
// infinity, nothing appended.
bool AppendSqliteDouble(std::string &out, double value);

class SqliteWriter;

// The rows of one table as INSERT statements.
class SqliteRows : public RowSink {
public:
    explicit SqliteRows(SqliteWriter &writer) : writer_(writer) {}
    void Start(const TableSchema &table, const std::string &quoted_name);
    int WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) override;
    void EndPage(std::string &out) override;

private:
    int AppendValue(std::string &out, const RowValue &value, size_t column, const DecodedRow &row,
                    RowReader &reader);
    int AppendChain(std::string &out, const RowValue &value, size_t column, const DecodedRow &row,
                    RowReader &reader);
    void Changed(RowReader &reader, const DecodedRow &row, size_t column, bool as_null, const char *why);

    SqliteWriter &writer_;
    const TableSchema *table_ = nullptr;
    std::string quoted_table_;
    std::unordered_map<uint32_t, size_t> column_of_field_;
    std::vector<SqliteColumnKind> kinds_;
    // The statement's start for the last row's columns, kept while the
    // rows deliver the same columns.
    std::vector<uint32_t> prefix_fields_;
    std::vector<size_t> prefix_columns_;
    std::string prefix_;
    std::string scratch_, utf8_;
};

class SqliteWriter : public OutputWriter {
public:
    explicit SqliteWriter(const RecoveryOptions &options);
    ~SqliteWriter() override;

    int BeginDatabase(const std::string &name, const std::string &folder) override;
    int Table(const TableSchema &table) override;
    int ObjectTexts(const std::vector<ObjectTextEntry> &texts) override;
    RowSink &BeginRows(const TableSchema &table) override;
    std::unique_ptr<RowSink> NewRowSink(const TableSchema &table) override;
    int WriteRows(std::string &text) override;
    int EndBatch(int32_t rows) override;
    int EndRows(const TableSchema &table) override;
    int EndDatabase() override;
    void Abandon() override;
    int Close() override;

    static constexpr int32_t kRowsPerTransaction = 20000;
    values::Charset charset() const { return charset_; }
    // A dump's name (in the server's character set) as UTF-8.
    std::string Utf8Name(const std::string &name) const;

private:
    friend class SqliteRows;
    // The quoted name a table gets in the database (unique among its
    // tables and indexes, whatever the letter case; never "sqlite_...").
    const std::string &TableName(const std::string &name);
    std::string ClaimName(const std::string &wanted);

    values::Charset charset_;
    bool stream_ = false;   // one stream on standard output
    bool streamed_ = false; // its one database has begun
    std::string folder_;
    ScriptFile load_;
    bool in_transaction_ = false;
    bool whole_in_transaction_ = false;
    int32_t rows_in_transaction_ = 0;
    std::string indexes_; // CREATE INDEX statements, written after the rows
    std::unordered_set<std::string> claimed_; // names in lower case
    std::unordered_map<std::string, std::string> table_names_;
    SqliteRows rows_;
};
