// The column array in table order, and the columns of one table.
//
// The column catalogue is read in catalogue order, which is table order in
// a sound dump but need not be. SortColumnsByTable puts the array in order
// once per database: by table id, then column id, keeping the catalogue
// order of columns with equal keys. Afterwards every catalogue entry's
// first_field is its table's first column and a table's columns are found
// by binary search, so a schema of many tables costs n log n, not n².
#pragma once

#include <cstdint>

class VRNParser;

// The columns [begin, end) of one table in the sorted array; empty when
// the table has none.
struct ColumnRange {
    uint32_t begin = 0;
    uint32_t end = 0;
    uint32_t size() const { return end - begin; }
    bool empty() const { return begin == end; }
};

// Sorts the parser's columns by table id and column id, a stable sort, and
// sets first_field of every entry of pSysobj whose id has columns to the
// first of them, -1 for the others.
void SortColumnsByTable(VRNParser &parser);

// The columns of table `tab_id`; the array must be sorted.
ColumnRange ColumnsOfTable(const VRNParser &parser, int32_t tab_id);
