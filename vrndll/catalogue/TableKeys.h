// The keys of a table as the catalogue holds them, named but not yet
// written in any language: its primary key, unique constraints and
// indexes, and the foreign keys that start from it.
//
// Index 1 of a table is its primary key and lists key_count columns; a
// unique constraint (constraint flags 2) and a plain index list
// key_count - 1 (the last key part of such an index is the row locator, no
// column). Key columns come in their stored order, each looked up by table
// and column id. A key one of whose columns is not found, or whose list
// would be empty, has a fault (a shorter key is another constraint). A name
// the catalogue lacks gets a stable stand-in built from the ids:
// pk_<table id>, uq_<table id>_<index id> and ix_<table id>_<index id> for
// indexes, fk_<constraint id> for a foreign key, table_<table id> for a
// referenced table without an object entry. Names are as stored: every
// writer quotes them for its own language.
//
// The lookups are built once per catalogue, so a schema of many tables
// costs time in proportion to its size.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "vrndll/catalogue/Catalogue.h"

class VRNParser;

struct TableKey {
    enum class Kind { kPrimary, kUnique, kIndex };
    Kind kind = Kind::kIndex;
    std::string name;
    std::vector<std::string> columns;
    int key_count = 0;
    // Why the key cannot be written; null when it can.
    const char *fault = nullptr;
};

struct TableForeignKey {
    std::string name;
    int32_t referenced_id = 0;
    std::string referenced_table;
    std::vector<std::string> columns;
    std::vector<std::string> referenced_columns;
    const char *fault = nullptr;
};

class TableKeys {
public:
    // Indexes the parser's catalogue (objects, columns, indexes, foreign
    // keys). The parser must outlive this object and its arrays must not
    // change meanwhile.
    explicit TableKeys(const VRNParser &parser);

    // The keys and indexes of `table` that list a key, in catalogue order.
    std::vector<TableKey> Keys(const SysobjEntry &table) const;
    // The foreign keys that start from `table`, in catalogue order.
    std::vector<TableForeignKey> ForeignKeys(const SysobjEntry &table) const;
    // The table ids the foreign keys of table `tab_id` reference, in
    // catalogue order (empty when none).
    std::vector<int32_t> ReferencedTables(int32_t tab_id) const;

private:
    // The name of column `col_id` of table `tab_id`; false when the table
    // has no such column.
    bool Column(int32_t tab_id, int32_t col_id, std::string &out) const;
    // The columns of `ids` in table `tab_id`; false when one is not found.
    bool ColumnList(int32_t tab_id, const std::vector<int32_t> &ids, std::vector<std::string> &out) const;
    // The name of object `id`, or `fallback` when there is none.
    std::string ObjectName(int32_t id, const std::string &fallback) const;

    const VRNParser &parser_;
    std::unordered_map<int32_t, std::vector<uint32_t>> indexes_;
    std::unordered_map<int32_t, std::vector<uint32_t>> fkeys_;
    std::unordered_map<int32_t, uint32_t> objects_;
    std::unordered_map<int64_t, uint32_t> columns_;
};
