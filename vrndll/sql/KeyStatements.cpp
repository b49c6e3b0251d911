#include "vrndll/sql/KeyStatements.h"

#include <cstring>

#include "Common/logger/logger.h"
#include "vrndll/sql/SqlIdentifier.h"

namespace {

std::string StoredName(const char *name, size_t room) { return std::string(name, strnlen(name, room)); }

std::string ColumnListText(const std::vector<std::string> &columns) {
    std::string list;
    for (size_t k = 0; k < columns.size(); ++k) {
        if (k != 0) list += ",";
        list += SqlIdentifier(columns[k]);
    }
    return list;
}

} // namespace

KeyStatements::KeyStatements(const VRNParser &parser) : keys_(parser) {}

std::string KeyStatements::IndexText(const SysobjEntry &table) const {
    const std::vector<TableKey> keys = keys_.Keys(table);
    if (keys.empty()) return std::string();
    const std::string table_name = StoredName(table.name, sizeof table.name);
    const std::string table_sql = SqlIdentifier(table_name);
    std::string text;
    for (const TableKey &key : keys) {
        if (key.fault != nullptr) {
            TheLogger().ErrorFormat("Index %s of table %s (key count %d) is not written: %s", key.name.c_str(),
                                    table_name.c_str(), key.key_count, key.fault);
            continue;
        }
        const std::string name_sql = SqlIdentifier(key.name);
        const std::string list = ColumnListText(key.columns);
        switch (key.kind) {
        case TableKey::Kind::kPrimary:
            text += "\n\nALTER TABLE " + table_sql + " \n ADD CONSTRAINT " + name_sql +
                    " PRIMARY KEY NONCLUSTERED\n  (" + list + ")\nGO";
            break;
        case TableKey::Kind::kUnique:
            text += "\n\nALTER TABLE " + table_sql + " \n ADD CONSTRAINT " + name_sql +
                    " UNIQUE NONCLUSTERED\n  (" + list + ")\nGO\n";
            break;
        case TableKey::Kind::kIndex:
            text += "\n\nCREATE INDEX " + name_sql + " ON " + table_sql + "\n(" + list + ")\nGO\n";
            break;
        }
    }
    return text;
}

std::string KeyStatements::ForeignKeyText(const SysobjEntry &table) const {
    return ForeignKeyText(table, nullptr, nullptr);
}

std::vector<int32_t> KeyStatements::ReferencedTables(int32_t tab_id) const { return keys_.ReferencedTables(tab_id); }

std::string KeyStatements::ForeignKeyText(const SysobjEntry &table, const std::function<bool(int32_t)> &keep,
                                          std::vector<std::string> *left_out) const {
    const std::vector<TableForeignKey> keys = keys_.ForeignKeys(table);
    if (keys.empty()) return std::string();
    const std::string table_name = StoredName(table.name, sizeof table.name);
    const std::string table_sql = SqlIdentifier(table_name);
    std::string text;
    for (const TableForeignKey &key : keys) {
        const std::string name = SqlIdentifier(key.name);
        const std::string referenced = SqlIdentifier(key.referenced_table);
        if (keep && !keep(key.referenced_id)) {
            if (left_out) left_out->push_back(table_name + " " + name + " -> " + referenced);
            continue;
        }
        if (key.fault != nullptr) {
            TheLogger().ErrorFormat("Foreign key %s of table %s to %s is not written: %s", name.c_str(),
                                    table_name.c_str(), referenced.c_str(), key.fault);
            continue;
        }
        text += "\n\nALTER TABLE " + table_sql + "\nADD CONSTRAINT " + name + " FOREIGN KEY (" +
                ColumnListText(key.columns) + ")\n REFERENCES " + referenced + "(" +
                ColumnListText(key.referenced_columns) + ")\nGO";
    }
    return text;
}
