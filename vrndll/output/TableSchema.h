// A table as every output format needs it: its name, its columns with
// their stored types, nullability and identity, its keys and indexes and
// the foreign keys that start from it, in no language yet. Built from the
// catalogue once per table; a writer quotes the names for its target.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vrndll/catalogue/TableKeys.h"

class VRNParser;
struct SysobjEntry;

struct SchemaColumn {
    std::string name;      // control characters mapped (PrintableName.h)
    uint32_t field = 0;    // index of its ColumnEntry
    uint8_t user_type = 0; // the stored type (ValueFormat.h: values::kInt, ...)
    int32_t length = 0;    // declared length in bytes
    int precision = 0;     // numeric and decimal
    int scale = 0;
    bool nullable = false;
    bool identity = false;
};

struct TableSchema {
    uint32_t object = 0; // index among the catalogue's objects
    int32_t id = 0;
    std::string name;    // control characters mapped
    std::vector<SchemaColumn> columns; // in column order
    // The order in which a decoded row delivers its values (the fixed
    // columns, then the variable ones: RowLayout.h), as indexes of
    // `columns`.
    std::vector<size_t> row_order;
    std::vector<TableKey> keys;                 // those without a fault
    std::vector<TableForeignKey> foreign_keys;  // those without a fault, within the selection
};

// The schema of object `object` of the parser's catalogue. Keys and foreign
// keys with a fault are left out (and logged); a foreign key whose
// referenced table `keep` refuses is left out and described in `left_out`.
TableSchema BuildTableSchema(const VRNParser &parser, const TableKeys &keys, uint32_t object,
                             const std::function<bool(int32_t)> &keep, std::vector<std::string> *left_out);
