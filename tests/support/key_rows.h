// Index rows and reference rows (indexes, primary and unique keys, foreign
// keys) in either generation, as the readers expect them.
//
//     dumpwriter::IndexRow pk{101, 1, 0, 1, "pk_orders", {1}};   // table, index id, flags, key count, name, columns
//     dumpwriter::ReferenceRow fk{150, 101, 110, {2}, {1}};     // constraint, table, referenced table, columns
//     dumpwriter::AddKeyRows(db, {pk}, {fk});
//
// Format 12: index rows on a chain of object 2, the row length at firoff
// 58; a row: 0 the number of variable fields, 2 index id, 4 table id, 20
// constraint flags, 56 key count, 58 length, from 60 the key description
// (variable field 9), then the name (field 7), then the 11-byte offset
// table (slot j at length - 11 + j; field k runs from slot k + 1 to slot
// k). Positions are single bytes, so a row stays within 255 bytes.
// Reference rows on a chain of object 16 whose firoff is 92: 92-byte rows
// whose byte 0 is 0 (no stored length): 4 constraint id, 8 table id, 12
// referenced table id, 16 key count, 28 and 60 the two lists of 16 column
// ids.
//
// Format 15: the same fields on row pages, 4 bytes further into the row
// (the row number and status come first), found through map entries: index
// rows through the index map from page 34 (length at row offset 62, the
// key description from 64, the name after it, 40 bytes after the name with
// the low bytes of offset slots 9 and 10 at length - 4 and length - 2,
// whose difference is the key description's length); reference rows (96
// bytes on pages whose firoff is 96) through the foreign-key map at page
// 40, which a name row "ncsysreferences" names.
//
// The key description holds 4 bytes and then 16 bytes per key column; the
// column id is the first byte of each 16.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"

namespace dumpwriter {

struct IndexRow {
    int32_t tab_id = 0;
    int16_t index_id = 0;       // 1: the primary key
    int16_t constraint_flags = 0; // 2: a unique constraint
    int16_t key_count = 0;
    std::string name;
    std::vector<int> column_ids; // the key description's columns (ids up to 255)
};

struct ReferenceRow {
    int32_t constraint_id = 0;
    int32_t tab_id = 0;
    int32_t ref_tab_id = 0;
    std::vector<int16_t> foreign_keys; // up to 16
    std::vector<int16_t> referenced_keys;
};

constexpr int16_t kIndexFiroff12 = 58;
constexpr int16_t kReferenceFiroff12 = 92;
constexpr int16_t kIndexFiroff15 = 62;
constexpr int16_t kReferenceFiroff15 = 96;
constexpr int32_t kReferenceCatalogue = 16;
constexpr int32_t kForeignKeyMapPage = 40;

// The rows as stored. Throw std::invalid_argument for a row that cannot be
// stored (too long, a column id above 255, more than 16 reference columns).
Bytes IndexRow12(const IndexRow &row);
Bytes IndexRow15(const IndexRow &row);
Bytes ReferenceRow12(const ReferenceRow &row);
Bytes ReferenceRow15(const ReferenceRow &row);

// Lays the rows out in `db` in its generation (nothing for empty lists).
void AddKeyRows(Database &db, const std::vector<IndexRow> &indexes, const std::vector<ReferenceRow> &references);

} // namespace dumpwriter
