// Large dumps of either generation from a compact description, written page by page in
// constant memory.
//
//     block_size 2                      # KiB: 2, 4, 8 or 16
//     format 15                         # the generation: 12 (default) or 15
//     seed 7                            # the values; the same seed gives the same dump
//     database master 1 0               # name, dbid, base in MiB; the first is the master
//     database sales 5 2
//     table orders 200000 int datetime money varchar(40)?0.2 text?0.5
//     table wide 5000 int char(200) char(200) numeric(18,4) binary(64)?
//     tables 10000 t 3 int varchar(20)  # t1 ... t10000, 3 rows each
//     rows_per_page 10                  # of the last table
//
// A table line gives a name, a row count and one type word per column (the
// type words of tests/support/value_words.h); "?" after a type makes the
// column nullable, "?F" with F the fraction of NULL values (default 0.1).
// Columns are named c1, c2, ...; table ids count from 101 in each database.
//
// Values are drawn from the seed, the table, the row and the column: ints
// and dates over their range, decimals up to their precision, character
// values of varying length (some with quotes), text and image values up to
// a few hundred bytes. Rows that hold variable columns stay within the 255
// bytes their offset table can address.
//
// The dump equals what the test dump writer (tests/support) lays out for the
// same tables and rows: the catalogue and the column catalogue as the writer
// places them, then, per database, the text and image values on consecutive
// pages (one page each, in row order), then each table's data chain. Only
// the catalogue is held in memory; rows are made, packed and written as they
// come. A database's pages must end before the next database's base.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/table_builder.h"

namespace benchgen {

struct ColumnPlan {
    dumpwriter::Column column;
    double null_fraction = 0; // of rows, for a nullable column
};

struct TablePlan {
    int32_t id = 0;
    std::string name;
    uint64_t rows = 0;
    int rows_per_page = 0; // 0: as many as fit
    std::vector<ColumnPlan> columns;
};

struct DatabasePlan {
    std::string name;
    int16_t dbid = 0;
    int32_t base_mb = 0;
    std::vector<TablePlan> tables;
};

struct Description {
    int kb = 2;
    dumpwriter::Format format = dumpwriter::Format::k12;
    uint64_t seed = 1;
    std::vector<DatabasePlan> databases;
};

// Reads a description; false with `error` ("line N: ...") when it is wrong.
bool ParseDescription(std::istream &in, Description &out, std::string &error);

// Multiplies every table's row count by `factor` (at least one row stays).
void ScaleRows(Description &d, double factor);

// Bytes of the data and text pages the description's rows take, estimated
// from a sample of each table's rows; 0 when a table cannot be made.
uint64_t EstimateDataBytes(const Description &d);

// The values of one row. A text or image value gets the page `next_text_page`
// (which then moves on) and its bytes are appended to `texts` when given.
class RowMaker {
public:
    RowMaker(const Description &d, size_t database, size_t table);
    void Make(uint64_t row, int32_t &next_text_page, std::vector<dumpwriter::Value> &values,
              std::vector<dumpwriter::Bytes> *texts) const;
    // The schema table (columns, rows per page) the rows belong to.
    const dumpwriter::Table &table() const { return table_; }
    bool has_text() const { return has_text_; }

private:
    uint64_t seed_;
    const TablePlan &plan_;
    dumpwriter::Table table_;
    std::vector<int> variable_budget_; // longest value of each varying-length column
    size_t text_capacity_;
    bool has_text_ = false;
};

// The catalogue part of the dump (objects, column catalogues, database list)
// laid out by the dump writer, without rows.
std::unique_ptr<dumpwriter::Dump> CatalogueDump(const Description &d);

struct Written {
    uint64_t rows = 0;
    uint64_t data_pages = 0;
    uint64_t text_pages = 0;
    uint64_t bytes = 0; // size of the dump file
};

// Writes the dump to `path`. False with `error` when it cannot be laid out
// or written.
bool WriteDump(const Description &d, const std::string &path, Written &written, std::string &error);

} // namespace benchgen
