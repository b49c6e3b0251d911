// Gathers the rows of a column catalogue into the parser's column array.
//
// Columns come in catalogue order, grouped by table. The collector keeps
// first_field of every object pointing at the object's first column, and
// at the end hands every user table that got no column (and whose name does
// not begin with "spt") to RecoverFields, so that its layout is guessed
// from its data pages. Both generations' column readers use it.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "vrndll/pages/DumpFormat.h"
#include "vrndll/catalogue/Catalogue.h"

class VRNParser;

// `fixed` of a column's user type: 1 for the fixed-length types the
// generation knows (format 12 knows the codes up to 26, format 15 also 34,
// 37, 38, 42 to 46 and 80); 0 for the variable-length ones and for codes
// the generation does not know.
uint8_t FixedOf(uint8_t user_type, DumpFormat format);

class ColumnCollector {
public:
    // Empties the parser's column array (room for 1000 entries) and clears
    // every object's first_field.
    explicit ColumnCollector(VRNParser &parser);

    // Appends `column`; the first column of a run of one table id becomes
    // first_field of that table's catalogue entry.
    void Add(const ColumnEntry &column);

    // Logs "skip_tables_num=" and calls RecoverFields for the user tables
    // without columns (none when the catalogue gave no column at all).
    void Finish();

private:
    VRNParser &parser_;
    uint32_t objects_;
    std::unordered_map<int32_t, uint32_t> entry_of_;
    bool have_previous_ = false;
    int32_t previous_tab_ = 0;
};
