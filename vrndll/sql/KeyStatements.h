// The index and key statements that follow a table's definition in its
// script: one per index of the table and one per foreign key from it.
//
//     ALTER TABLE orders 
//      ADD CONSTRAINT pk_orders PRIMARY KEY NONCLUSTERED
//       (id)
//     GO
//
//     ALTER TABLE orders 
//      ADD CONSTRAINT uq_no UNIQUE NONCLUSTERED
//       (no)
//     GO
//
//
//     CREATE INDEX ix_cust ON orders
//     (cust)
//     GO
//
//
//     ALTER TABLE orders
//     ADD CONSTRAINT fk_cust FOREIGN KEY (cust)
//      REFERENCES customers(id)
//     GO
//
// Index 1 of a table is its primary key and lists key_count columns; a
// unique constraint (constraint flags 2) and a plain index list
// key_count - 1 (the last key part of such an index is the row locator, no
// column). Key columns come in their stored order, each looked up by table
// and column id, separated by commas. A statement one of whose columns is
// not found, or whose list would be empty, is not written (a shorter key is
// another constraint, and an empty list does not load): the log names the
// table and the index or key. Names are written as the table script writes
// them (SqlIdentifier.h); a name the catalogue lacks gets a stable stand-in
// built from the ids: pk_<table id>, uq_<table id>_<index id> and
// ix_<table id>_<index id> for indexes, fk_<constraint id> for a foreign
// key, table_<table id> for a referenced table without an object entry.
//
// The lookups are built once per catalogue, so a schema of many tables
// costs time in proportion to its size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "vrndll/catalogue/Catalogue.h"

class VRNParser;

class KeyStatements {
public:
    // Indexes the parser's catalogue (objects, columns, indexes, foreign
    // keys). The parser must outlive this object and its arrays must not
    // change meanwhile.
    explicit KeyStatements(const VRNParser &parser);

    // The index statements of `table`, in catalogue order; empty when the
    // table has no index with a key.
    std::string IndexText(const SysobjEntry &table) const;
    // The foreign-key statements of `table`, in catalogue order; empty when
    // no foreign key starts from it. With `keep`, a key whose referenced
    // table id it refuses is left out and described in `left_out`.
    std::string ForeignKeyText(const SysobjEntry &table) const;
    std::string ForeignKeyText(const SysobjEntry &table, const std::function<bool(int32_t)> &keep,
                               std::vector<std::string> *left_out) const;
    // The table ids the foreign keys of table `tab_id` reference, in
    // catalogue order (empty when none).
    std::vector<int32_t> ReferencedTables(int32_t tab_id) const;

private:
    // The name of column `col_id` of table `tab_id`, as a statement writes
    // it; false when the table has no such column.
    bool Column(int32_t tab_id, int32_t col_id, std::string &out) const;
    // The columns of `ids` in table `tab_id`, separated by commas; false
    // when one is not found.
    bool ColumnList(int32_t tab_id, const std::vector<int32_t> &ids, std::string &out) const;
    // The name of object `id` as written, or `fallback` when there is none.
    std::string ObjectName(int32_t id, const std::string &fallback) const;

    const VRNParser &parser_;
    std::unordered_map<int32_t, std::vector<uint32_t>> indexes_;
    std::unordered_map<int32_t, std::vector<uint32_t>> fkeys_;
    std::unordered_map<int32_t, uint32_t> objects_;
    std::unordered_map<int64_t, uint32_t> columns_;
};
