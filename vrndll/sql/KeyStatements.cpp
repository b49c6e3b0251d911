#include "vrndll/sql/KeyStatements.h"

#include <algorithm>
#include <cstring>

#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/sql/SqlIdentifier.h"
#include "vrndll/VRNParser.h"

namespace {

// Elements of the key description, and where key column k sits in it.
constexpr int kKeyElements = 255;
int KeyElement(int k) { return 4 + 16 * k; }

int64_t ColumnKey(int32_t tab_id, int32_t col_id) {
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(tab_id)) << 32 |
                                static_cast<uint32_t>(col_id));
}

std::string StoredName(const char *name, size_t room) { return std::string(name, strnlen(name, room)); }

// The ids of a foreign-key list up to its first 0.
std::vector<int32_t> KeyIds(const int16_t (&list)[16]) {
    std::vector<int32_t> ids;
    for (int16_t id : list) {
        if (id == 0) break;
        ids.push_back(id);
    }
    return ids;
}

} // namespace

KeyStatements::KeyStatements(const VRNParser &parser) : parser_(parser) {
    const uint32_t objects = parser.object_count();
    for (uint32_t k = 0; k < objects; ++k) objects_.emplace(parser.pSysobj[k].id, k); // the first of an id
    for (uint32_t k = 0; k < parser.field_count(); ++k) {
        const ColumnEntry &c = parser.fields[k];
        columns_.emplace(ColumnKey(c.tab_id, c.col_id), k);
    }
    for (uint32_t k = 0; k < parser.indexes.size(); ++k) indexes_[parser.indexes[k].tab_id].push_back(k);
    for (uint32_t k = 0; k < parser.fkeys.size(); ++k) fkeys_[parser.fkeys[k].tab_id].push_back(k);
}

bool KeyStatements::Column(int32_t tab_id, int32_t col_id, std::string &out) const {
    const auto it = columns_.find(ColumnKey(tab_id, col_id));
    if (it == columns_.end()) return false;
    out = SqlIdentifier(ColumnName(parser_.fields[it->second], parser_.format()));
    return true;
}

bool KeyStatements::ColumnList(int32_t tab_id, const std::vector<int32_t> &ids, std::string &out) const {
    out.clear();
    for (size_t k = 0; k < ids.size(); ++k) {
        std::string name;
        if (!Column(tab_id, ids[k], name)) return false;
        if (k != 0) out += ",";
        out += name;
    }
    return true;
}

std::string KeyStatements::ObjectName(int32_t id, const std::string &fallback) const {
    const auto it = objects_.find(id);
    if (it != objects_.end()) {
        const SysobjEntry &e = parser_.pSysobj[it->second];
        const std::string name = StoredName(e.name, sizeof e.name);
        if (!name.empty()) return SqlIdentifier(name);
    }
    return SqlIdentifier(fallback);
}

std::string KeyStatements::IndexText(const SysobjEntry &table) const {
    const auto found = indexes_.find(table.id);
    if (found == indexes_.end()) return std::string();
    const std::string table_name = StoredName(table.name, sizeof table.name);
    const std::string table_sql = SqlIdentifier(table_name);
    const std::string id = std::to_string(table.id);
    std::string text;
    for (uint32_t k : found->second) {
        const IndexEntry &x = parser_.indexes[k];
        if (x.key_count == 0) continue;
        const bool primary = x.index_id == 1;
        const bool unique = !primary && x.constraint_flags == 2;
        std::string name = StoredName(x.name, sizeof x.name);
        if (name.empty())
            name = primary ? "pk_" + id : (unique ? "uq_" : "ix_") + id + "_" + std::to_string(x.index_id);
        const std::string name_sql = SqlIdentifier(name);

        // The primary key lists all its key parts, the others all but the last.
        const int columns = primary ? x.key_count : x.key_count - 1;
        std::vector<int32_t> ids;
        for (int c = 0; c < columns && KeyElement(c) < kKeyElements; ++c) ids.push_back(x.keys[KeyElement(c)]);
        std::string list;
        const char *fault = nullptr;
        if (columns <= 0) fault = "it lists no column";
        else if (static_cast<int>(ids.size()) < columns) fault = "its key runs past the key description";
        else if (!ColumnList(table.id, ids, list)) fault = "a key column is not among the table's columns";
        if (fault != nullptr) {
            TheLogger().ErrorFormat("Index %s of table %s (key count %d) is not written: %s", name.c_str(),
                                    table_name.c_str(), static_cast<int>(x.key_count), fault);
            continue;
        }
        if (primary) {
            text += "\n\nALTER TABLE " + table_sql + " \n ADD CONSTRAINT " + name_sql +
                    " PRIMARY KEY NONCLUSTERED\n  (" + list + ")\nGO";
        } else if (unique) {
            text += "\n\nALTER TABLE " + table_sql + " \n ADD CONSTRAINT " + name_sql +
                    " UNIQUE NONCLUSTERED\n  (" + list + ")\nGO\n";
        } else {
            text += "\n\nCREATE INDEX " + name_sql + " ON " + table_sql + "\n(" + list + ")\nGO\n";
        }
    }
    return text;
}

std::string KeyStatements::ForeignKeyText(const SysobjEntry &table) const {
    return ForeignKeyText(table, nullptr, nullptr);
}

std::vector<int32_t> KeyStatements::ReferencedTables(int32_t tab_id) const {
    std::vector<int32_t> ids;
    const auto found = fkeys_.find(tab_id);
    if (found == fkeys_.end()) return ids;
    for (uint32_t k : found->second) ids.push_back(parser_.fkeys[k].ref_tab_id);
    return ids;
}

std::string KeyStatements::ForeignKeyText(const SysobjEntry &table, const std::function<bool(int32_t)> &keep,
                                          std::vector<std::string> *left_out) const {
    const auto found = fkeys_.find(table.id);
    if (found == fkeys_.end()) return std::string();
    const std::string table_name = StoredName(table.name, sizeof table.name);
    const std::string table_sql = SqlIdentifier(table_name);
    std::string text;
    for (uint32_t k : found->second) {
        const ForeignKeyEntry &f = parser_.fkeys[k];
        const std::string name = ObjectName(f.constraint_id, "fk_" + std::to_string(f.constraint_id));
        const std::string referenced = ObjectName(f.ref_tab_id, "table_" + std::to_string(f.ref_tab_id));
        if (keep && !keep(f.ref_tab_id)) {
            if (left_out) left_out->push_back(table_name + " " + name + " -> " + referenced);
            continue;
        }
        const std::vector<int32_t> from = KeyIds(f.foreign_keys);
        const std::vector<int32_t> to = KeyIds(f.referenced_keys);
        std::string from_list, to_list;
        const char *fault = nullptr;
        if (from.empty() || from.size() != to.size()) fault = "its two column lists differ in length or are empty";
        else if (!ColumnList(table.id, from, from_list)) fault = "a key column is not among the table's columns";
        else if (!ColumnList(f.ref_tab_id, to, to_list))
            fault = "a referenced column is not among the referenced table's columns";
        if (fault != nullptr) {
            TheLogger().ErrorFormat("Foreign key %s of table %s to %s is not written: %s", name.c_str(),
                                    table_name.c_str(), referenced.c_str(), fault);
            continue;
        }
        text += "\n\nALTER TABLE " + table_sql + "\nADD CONSTRAINT " + name + " FOREIGN KEY (" + from_list +
                ")\n REFERENCES " + referenced + "(" + to_list + ")\nGO";
    }
    return text;
}
