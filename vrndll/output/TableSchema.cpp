#include "vrndll/output/TableSchema.h"

#include <cstring>
#include <unordered_map>

#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/rows/RowLayout.h"
#include "vrndll/sql/SqlTypeText.h"
#include "vrndll/VRNParser.h"

namespace {

bool HasPrecision(uint8_t user_type) { return user_type == 10 || user_type == 26; }

} // namespace

TableSchema BuildTableSchema(const VRNParser &parser, const TableKeys &keys, uint32_t object,
                             const std::function<bool(int32_t)> &keep, std::vector<std::string> *left_out) {
    TableSchema schema;
    if (object >= parser.object_count()) return schema;
    const SysobjEntry &table = parser.pSysobj[object];
    schema.object = object;
    schema.id = table.id;
    schema.name = PrintableName(std::string(table.name, strnlen(table.name, sizeof table.name)));

    const ColumnRange range = ColumnsOfTable(parser, table.id);
    std::unordered_map<uint32_t, size_t> by_field;
    for (uint32_t k = range.begin; k < range.end; ++k) {
        const ColumnEntry &c = parser.fields[k];
        SchemaColumn column;
        column.name = PrintableName(ColumnName(c, parser.format()));
        column.field = k;
        column.user_type = c.user_type;
        column.length = c.length;
        if (HasPrecision(c.user_type)) {
            column.precision = ColumnPrecision(c, parser.format());
            column.scale = ColumnScale(c, parser.format());
        }
        column.identity = IsIdentityColumn(c.null_flag);
        column.nullable = !column.identity && AllowsNull(c.null_flag);
        by_field.emplace(k, schema.columns.size());
        schema.columns.push_back(std::move(column));
    }

    RowLayout layout;
    if (BuildRowLayout(parser, object, range.size(), layout)) {
        for (const auto *part : {&layout.fixed, &layout.variable})
            for (const RowColumn &c : *part) {
                const auto it = by_field.find(c.field);
                if (it != by_field.end()) schema.row_order.push_back(it->second);
            }
    }

    for (TableKey &key : keys.Keys(table)) {
        if (key.fault != nullptr) {
            TheLogger().ErrorFormat("Index %s of table %s (key count %d) is not written: %s", key.name.c_str(),
                                    schema.name.c_str(), key.key_count, key.fault);
            continue;
        }
        for (std::string &c : key.columns) c = PrintableName(c);
        key.name = PrintableName(key.name);
        schema.keys.push_back(std::move(key));
    }
    for (TableForeignKey &key : keys.ForeignKeys(table)) {
        key.name = PrintableName(key.name);
        key.referenced_table = PrintableName(key.referenced_table);
        if (keep && !keep(key.referenced_id)) {
            if (left_out) left_out->push_back(schema.name + " " + key.name + " -> " + key.referenced_table);
            continue;
        }
        if (key.fault != nullptr) {
            TheLogger().ErrorFormat("Foreign key %s of table %s to %s is not written: %s", key.name.c_str(),
                                    schema.name.c_str(), key.referenced_table.c_str(), key.fault);
            continue;
        }
        for (std::string &c : key.columns) c = PrintableName(c);
        for (std::string &c : key.referenced_columns) c = PrintableName(c);
        schema.foreign_keys.push_back(std::move(key));
    }
    return schema;
}
