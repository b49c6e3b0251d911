#include "tests/support/key_rows.h"

#include <stdexcept>

namespace dumpwriter {

namespace {

constexpr int kKeysAt = 60; // from the row's position (format 15: 4 bytes into the row)
constexpr int kTail15 = 40;

Bytes KeyDescription(const IndexRow &row) {
    if (row.column_ids.empty()) return {};
    Record r(4 + 16 * row.column_ids.size());
    for (size_t k = 0; k < row.column_ids.size(); ++k) {
        const int id = row.column_ids[k];
        if (id < 0 || id > 255) throw std::invalid_argument("key column id beyond a byte");
        r.u8(4 + 16 * k, static_cast<uint8_t>(id));
    }
    return r.bytes();
}

void ReferenceFields(Record &r, size_t at, const ReferenceRow &row) {
    if (row.foreign_keys.size() > 16 || row.referenced_keys.size() > 16)
        throw std::invalid_argument("more than 16 reference columns");
    r.i32(at + 4, row.constraint_id).i32(at + 8, row.tab_id).i32(at + 12, row.ref_tab_id);
    r.i16(at + 16, static_cast<int16_t>(row.foreign_keys.size()));
    for (size_t k = 0; k < row.foreign_keys.size(); ++k) r.i16(at + 28 + 2 * k, row.foreign_keys[k]);
    for (size_t k = 0; k < row.referenced_keys.size(); ++k) r.i16(at + 60 + 2 * k, row.referenced_keys[k]);
    r.pad_to(at + 92);
}

} // namespace

Bytes IndexRow12(const IndexRow &row) {
    const Bytes keys = KeyDescription(row);
    const size_t name_end = kKeysAt + keys.size() + row.name.size();
    const size_t rec_len = name_end + 11;
    if (rec_len > 255) throw std::invalid_argument("index row beyond 255 bytes: " + row.name);
    Record r(rec_len);
    r.u8(0, 10).i16(2, row.index_id).i32(4, row.tab_id).i16(20, row.constraint_flags);
    r.i16(56, row.key_count).i16(kIndexFiroff12, static_cast<int16_t>(rec_len));
    r.raw(kKeysAt, keys).text(kKeysAt + keys.size(), row.name);
    // Slot 10 opens the key description (field 9), slot 9 ends it and opens
    // the empty field 8, slot 8 opens the name (field 7), slots 7 to 0 end
    // it (fields 6 to 0 are empty).
    const size_t table = rec_len - 11;
    r.u8(table + 10, kKeysAt);
    r.u8(table + 9, static_cast<uint8_t>(kKeysAt + keys.size()));
    r.u8(table + 8, static_cast<uint8_t>(kKeysAt + keys.size()));
    for (size_t j = 0; j <= 7; ++j) r.u8(table + j, static_cast<uint8_t>(name_end));
    return r.bytes();
}

Bytes IndexRow15(const IndexRow &row) {
    const Bytes keys = KeyDescription(row);
    if (kKeysAt + keys.size() > 255) throw std::invalid_argument("key description beyond its offset byte");
    const size_t rec_len = kKeysAt + keys.size() + row.name.size() + kTail15;
    if (rec_len > 32767) throw std::invalid_argument("index row too long: " + row.name);
    Record r(rec_len);
    r.i16(6, row.index_id).i32(8, row.tab_id).i16(26, row.constraint_flags);
    r.i16(60, row.key_count).i16(kIndexFiroff15, static_cast<int16_t>(rec_len));
    r.raw(4 + kKeysAt, keys).text(4 + kKeysAt + keys.size(), row.name);
    r.u8(rec_len - 4, static_cast<uint8_t>(kKeysAt + keys.size())); // slot 9
    r.u8(rec_len - 2, kKeysAt);                                      // slot 10
    return r.bytes();
}

Bytes ReferenceRow12(const ReferenceRow &row) {
    Record r(kReferenceFiroff12);
    ReferenceFields(r, 0, row);
    return r.bytes();
}

Bytes ReferenceRow15(const ReferenceRow &row) {
    Record r(kReferenceFiroff15);
    ReferenceFields(r, 4, row);
    return r.bytes();
}

void AddKeyRows(Database &db, const std::vector<IndexRow> &indexes, const std::vector<ReferenceRow> &references) {
    if (db.format() == Format::k12) {
        ChainOptions o;
        o.firoff = kIndexFiroff12;
        std::vector<Bytes> rows;
        for (const IndexRow &i : indexes) rows.push_back(IndexRow12(i));
        if (!rows.empty()) db.chain(kIndexCatalogue, rows, o);
        rows.clear();
        for (const ReferenceRow &f : references) rows.push_back(ReferenceRow12(f));
        o.firoff = kReferenceFiroff12;
        if (!rows.empty()) db.chain(kReferenceCatalogue, rows, o);
        return;
    }
    std::vector<AddressedRow> rows;
    for (const IndexRow &i : indexes) {
        const int32_t tab_id = i.tab_id;
        const auto index_id = static_cast<uint8_t>(i.index_id);
        rows.push_back({IndexRow15(i), [tab_id, index_id](int32_t page, uint8_t number) {
                            return records15::IndexMapEntry(tab_id, index_id, page, number);
                        }});
    }
    if (!rows.empty())
        db.addressed_rows(kIndexCatalogue, kIndexFiroff15, rows,
                          {kIndexCatalogue, records15::kIndexMapPage, records15::kIndexMapStart});
    rows.clear();
    for (const ReferenceRow &f : references) {
        const int32_t id = f.constraint_id;
        rows.push_back({ReferenceRow15(f), [id](int32_t page, uint8_t number) {
                            return records15::ForeignKeyMapEntry(id, page, number);
                        }});
    }
    if (!rows.empty()) {
        db.addressed_rows(kReferenceCatalogue, kReferenceFiroff15, rows,
                          {kReferenceCatalogue, kForeignKeyMapPage, records15::kForeignKeyMapStart});
        db.name_row("ncsysreferences", kForeignKeyMapPage);
    }
}

} // namespace dumpwriter
