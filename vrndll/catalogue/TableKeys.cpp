#include "vrndll/catalogue/TableKeys.h"

#include <cstring>

#include "vrndll/catalogue/ColumnName.h"
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

TableKeys::TableKeys(const VRNParser &parser) : parser_(parser) {
    const uint32_t objects = parser.object_count();
    for (uint32_t k = 0; k < objects; ++k) objects_.emplace(parser.pSysobj[k].id, k); // the first of an id
    for (uint32_t k = 0; k < parser.field_count(); ++k) {
        const ColumnEntry &c = parser.fields[k];
        columns_.emplace(ColumnKey(c.tab_id, c.col_id), k);
    }
    for (uint32_t k = 0; k < parser.indexes.size(); ++k) indexes_[parser.indexes[k].tab_id].push_back(k);
    for (uint32_t k = 0; k < parser.fkeys.size(); ++k) fkeys_[parser.fkeys[k].tab_id].push_back(k);
}

bool TableKeys::Column(int32_t tab_id, int32_t col_id, std::string &out) const {
    const auto it = columns_.find(ColumnKey(tab_id, col_id));
    if (it == columns_.end()) return false;
    out = ColumnName(parser_.fields[it->second], parser_.format());
    return true;
}

bool TableKeys::ColumnList(int32_t tab_id, const std::vector<int32_t> &ids, std::vector<std::string> &out) const {
    out.clear();
    for (int32_t id : ids) {
        std::string name;
        if (!Column(tab_id, id, name)) return false;
        out.push_back(std::move(name));
    }
    return true;
}

std::string TableKeys::ObjectName(int32_t id, const std::string &fallback) const {
    const auto it = objects_.find(id);
    if (it != objects_.end()) {
        const SysobjEntry &e = parser_.pSysobj[it->second];
        std::string name = StoredName(e.name, sizeof e.name);
        if (!name.empty()) return name;
    }
    return fallback;
}

std::vector<TableKey> TableKeys::Keys(const SysobjEntry &table) const {
    std::vector<TableKey> keys;
    const auto found = indexes_.find(table.id);
    if (found == indexes_.end()) return keys;
    const std::string id = std::to_string(table.id);
    for (uint32_t k : found->second) {
        const IndexEntry &x = parser_.indexes[k];
        if (x.key_count == 0) continue;
        TableKey key;
        const bool primary = x.index_id == 1;
        const bool unique = !primary && x.constraint_flags == 2;
        key.kind = primary ? TableKey::Kind::kPrimary : unique ? TableKey::Kind::kUnique : TableKey::Kind::kIndex;
        key.key_count = x.key_count;
        key.name = StoredName(x.name, sizeof x.name);
        if (key.name.empty())
            key.name = primary ? "pk_" + id : (unique ? "uq_" : "ix_") + id + "_" + std::to_string(x.index_id);

        // The primary key lists all its key parts, the others all but the last.
        const int columns = primary ? x.key_count : x.key_count - 1;
        std::vector<int32_t> ids;
        for (int c = 0; c < columns && KeyElement(c) < kKeyElements; ++c) ids.push_back(x.keys[KeyElement(c)]);
        if (columns <= 0) key.fault = "it lists no column";
        else if (static_cast<int>(ids.size()) < columns) key.fault = "its key runs past the key description";
        else if (!ColumnList(table.id, ids, key.columns)) key.fault = "a key column is not among the table's columns";
        keys.push_back(std::move(key));
    }
    return keys;
}

std::vector<int32_t> TableKeys::ReferencedTables(int32_t tab_id) const {
    std::vector<int32_t> ids;
    const auto found = fkeys_.find(tab_id);
    if (found == fkeys_.end()) return ids;
    for (uint32_t k : found->second) ids.push_back(parser_.fkeys[k].ref_tab_id);
    return ids;
}

std::vector<TableForeignKey> TableKeys::ForeignKeys(const SysobjEntry &table) const {
    std::vector<TableForeignKey> keys;
    const auto found = fkeys_.find(table.id);
    if (found == fkeys_.end()) return keys;
    for (uint32_t k : found->second) {
        const ForeignKeyEntry &f = parser_.fkeys[k];
        TableForeignKey key;
        key.name = ObjectName(f.constraint_id, "fk_" + std::to_string(f.constraint_id));
        key.referenced_id = f.ref_tab_id;
        key.referenced_table = ObjectName(f.ref_tab_id, "table_" + std::to_string(f.ref_tab_id));
        const std::vector<int32_t> from = KeyIds(f.foreign_keys);
        const std::vector<int32_t> to = KeyIds(f.referenced_keys);
        if (from.empty() || from.size() != to.size())
            key.fault = "its two column lists differ in length or are empty";
        else if (!ColumnList(table.id, from, key.columns))
            key.fault = "a key column is not among the table's columns";
        else if (!ColumnList(f.ref_tab_id, to, key.referenced_columns))
            key.fault = "a referenced column is not among the referenced table's columns";
        keys.push_back(std::move(key));
    }
    return keys;
}
