// How a data row of one table stores its columns.
//
// A column is stored in the fixed-length area of a row when its catalogue
// entry is of a fixed-length type and does not allow NULL; every other
// column (variable-length types, and nullable fixed-length types) is stored
// in the variable-length area. Both lists keep column order.
//
// The layout is worked out once per table (not per row): the column names
// as they appear in an INSERT column list, the bytes each fixed value takes
// and the scale of numerics, so that writing a row does no lookups and no
// allocations beyond its own text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vrndll/pages/DumpFormat.h"

struct ColumnEntry;
class VRNParser;

// One column of the layout.
struct RowColumn {
    uint32_t field = 0;    // index of its ColumnEntry
    uint8_t user_type = 0;
    int32_t width = 0;     // bytes taken in the fixed-length area
    int32_t scale = 0;     // numeric and decimal only
    bool nullable = false; // the table script lets it take NULL
    std::string name;      // as written in the column list (quoted when it must be)
};

struct RowLayout {
    // What the layout was built for: the table's index in pSysobj, its id
    // and the column count the caller gave. table -1: nothing built.
    int64_t table = -1;
    int32_t table_id = 0;
    uint32_t columns = 0;

    int64_t first = -1;                 // index of the table's first ColumnEntry, -1: none
    std::string table_name;             // as written after INSERT INTO (quoted when it must be)
    std::vector<RowColumn> fixed;       // stored in the fixed-length area
    std::vector<RowColumn> variable;    // stored in the variable-length area
    std::string fixed_names;            // names of `fixed`, joined by ","
    int32_t fixed_width = 0;            // bytes the fixed columns take together
    bool guessed = false;               // the columns were guessed from the table's rows

    // What of the catalogue the layout was read from, for RowLayoutHolds:
    // the parser's format and column count, the table's name, and the bytes
    // of the column entries taken.
    DumpFormat format = DumpFormat::k12;
    uint32_t field_count = 0;
    std::string source_name;
    std::string source_columns;

    bool BuiltFor(uint32_t t, int32_t id, uint32_t n) const {
        return table == static_cast<int64_t>(t) && table_id == id && columns == n;
    }
    void Invalidate() {
        table = -1;
        fixed_width = 0;
        guessed = false;
    }
};

// Index of the first ColumnEntry of table `tab_id` among the first `count`
// entries of `fields`, or -1. The array is normally sorted by table id, so
// a binary search finds the entry; `first_field` (the catalogue's own
// pointer) is taken when it points at the start of the table's run, and an
// unsorted array is scanned from the start.
int64_t FirstColumnOf(const std::vector<ColumnEntry> &fields, uint32_t count, int32_t tab_id,
                      int32_t first_field);

// Bytes a value of `column` takes in the fixed-length area: the type's
// own width for numbers, dates and chain pointers, else the declared
// length (never negative).
int32_t FixedWidth(const ColumnEntry &column);

// Builds the layout of table `table` of `parser`: the `columns` entries
// from its first column on that belong to the table (entries of another
// table are never taken, whatever `columns` says). Names are written as
// the table script writes them (SqlIdentifier.h); the parser's format
// places the precision and scale bytes.
// Returns false, leaving the layout invalid, when the table index is
// outside the catalogue.
bool BuildRowLayout(const VRNParser &parser, uint32_t table, uint32_t columns, RowLayout &layout);

// Whether building the layout again from `parser` would give the same
// layout: nothing it was read from has changed (the table's entry, its
// column entries, the column count, where the table's columns start).
// Checking costs a comparison of the entries' bytes, far less than the
// building with its name quoting; false for a layout not built.
bool RowLayoutHolds(const VRNParser &parser, const RowLayout &layout);
