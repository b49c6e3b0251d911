#include "tests/support/table_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "tests/support/key_rows.h"

namespace dumpwriter {

namespace {

Bytes LittleEndian(uint64_t v, int width) {
    Bytes b(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>((v >> (8 * i)) & 0xff);
    return b;
}

bool IsCharType(uint8_t t) {
    return t == types::kChar || t == types::kNChar || t == types::kSysname || t == types::kLongSysname;
}

bool IsNumericType(uint8_t t) { return t == types::kNumeric || t == types::kDecimal; }

int16_t EffectiveColId(const Column &c, size_t position) {
    return c.col_id != 0 ? c.col_id : static_cast<int16_t>(position + 1);
}

} // namespace

int16_t NaturalLength(uint8_t t) {
    switch (t) {
    case types::kTinyInt:
    case types::kBit: return 1;
    case types::kSmallInt:
    case types::kUnsignedSmallInt: return 2;
    case types::kInt:
    case types::kReal:
    case types::kSmallMoney:
    case types::kSmallDateTime:
    case types::kDate:
    case types::kTime:
    case types::kUnsignedInt: return 4;
    case types::kFloat:
    case types::kMoney:
    case types::kDateTime:
    case types::kBigInt:
    case types::kUnsignedBigInt:
    case types::kTimestamp: return 8;
    case types::kText:
    case types::kImage:
    case types::kUniText: return 16;
    default: return 0;
    }
}

bool IsFixedType(uint8_t t) {
    switch (t) {
    case types::kChar: case types::kBinary: case types::kTinyInt: case types::kSmallInt:
    case types::kInt: case types::kFloat: case types::kNumeric: case types::kMoney:
    case types::kDateTime: case types::kBit: case types::kSysname: case types::kSmallMoney:
    case types::kSmallDateTime: case types::kReal: case types::kNChar: case types::kDecimal:
    case types::kUniChar: case types::kDate: case types::kTime: case types::kLongSysname:
    case types::kBigInt: case types::kUnsignedSmallInt: case types::kUnsignedInt:
    case types::kUnsignedBigInt: case types::kTimestamp:
        return true;
    default:
        return false;
    }
}

int16_t NumericLength(int precision) {
    if (precision < 1) return 1;
    // 256^k >= 10^p: k = ceil(p * log(10) / log(256)); never an integer for p > 0.
    const double k = std::ceil(precision * std::log(10.0) / std::log(256.0));
    return static_cast<int16_t>(1 + static_cast<int>(k));
}

// ------------------------------------------------------------------ encode

namespace encode {

Bytes TinyInt(uint8_t v) { return Bytes{v}; }
Bytes Bit(bool v) { return Bytes{static_cast<uint8_t>(v ? 1 : 0)}; }
Bytes SmallInt(int16_t v) { return LittleEndian(static_cast<uint16_t>(v), 2); }
Bytes Int(int32_t v) { return LittleEndian(static_cast<uint32_t>(v), 4); }

Bytes Float(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return LittleEndian(bits, 8);
}

Bytes Real(float v) {
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return LittleEndian(bits, 4);
}

Bytes Money(int64_t units) {
    const auto u = static_cast<uint64_t>(units);
    Bytes b = LittleEndian(u >> 32, 4);
    const Bytes low = LittleEndian(u & 0xffffffffu, 4);
    b.insert(b.end(), low.begin(), low.end());
    return b;
}

Bytes SmallMoney(int32_t units) { return Int(units); }

Bytes DateTime(int32_t days, int32_t ticks) {
    Bytes b = Int(days);
    const Bytes t = Int(ticks);
    b.insert(b.end(), t.begin(), t.end());
    return b;
}

Bytes SmallDateTime(uint16_t days, uint16_t minutes) {
    Bytes b = LittleEndian(days, 2);
    const Bytes m = LittleEndian(minutes, 2);
    b.insert(b.end(), m.begin(), m.end());
    return b;
}

Bytes Numeric(int64_t unscaled, int bytes) {
    if (bytes < 1) throw std::invalid_argument("a numeric value takes at least its sign byte");
    Bytes b(static_cast<size_t>(bytes), 0);
    b[0] = unscaled < 0 ? 1 : 0;
    uint64_t magnitude = unscaled < 0 ? 0 - static_cast<uint64_t>(unscaled) : static_cast<uint64_t>(unscaled);
    for (size_t i = b.size(); i > 1 && magnitude != 0; --i) {
        b[i - 1] = static_cast<uint8_t>(magnitude & 0xff);
        magnitude >>= 8;
    }
    if (magnitude != 0) throw std::invalid_argument("numeric value wider than its bytes");
    return b;
}

Bytes Chars(const std::string &text) { return Bytes(text.begin(), text.end()); }

Bytes BigInt(int64_t v) { return LittleEndian(static_cast<uint64_t>(v), 8); }

Bytes Unsigned(uint64_t v, int bytes) {
    if (bytes < 8 && (v >> (8 * bytes)) != 0) throw std::invalid_argument("unsigned value wider than its bytes");
    return LittleEndian(v, bytes);
}

Bytes Date(int32_t days) { return Int(days); }
Bytes Time(int32_t ticks) { return Int(ticks); }

Bytes UniChars(const std::string &text) {
    Bytes b;
    auto unit = [&](uint32_t u) {
        b.push_back(static_cast<uint8_t>(u & 0xff));
        b.push_back(static_cast<uint8_t>(u >> 8));
    };
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        // The length of a UTF-8 sequence from its first byte; a byte that
        // starts none stands for itself.
        const size_t n = c >= 0xf0 && c < 0xf8 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
        uint32_t cp = n == 1 ? c : c & (0x3f >> (n - 1));
        bool ok = n > 1 && i + n <= text.size();
        for (size_t k = 1; ok && k < n; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            ok = (next & 0xc0) == 0x80;
            cp = (cp << 6) | (next & 0x3f);
        }
        if (!ok) {
            unit(c);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            unit(0xd800 + ((cp - 0x10000) >> 10));
            unit(0xdc00 + ((cp - 0x10000) & 0x3ff));
        } else {
            unit(cp);
        }
        i += n;
    }
    return b;
}

Bytes TextPointer(int32_t first_page) {
    Bytes b = Int(first_page);
    b.resize(16, 0);
    return b;
}

} // namespace encode

// ------------------------------------------------------------------ Table

Table &Table::column(const std::string &name, uint8_t user_type, int16_t length, uint8_t status) {
    Column c;
    c.name = name;
    c.user_type = user_type;
    c.length = length != 0 ? length : NaturalLength(user_type);
    c.status = status;
    return add(c);
}

Table &Table::numeric(const std::string &name, uint8_t user_type, uint8_t precision, uint8_t scale,
                      uint8_t status, int16_t length) {
    Column c;
    c.name = name;
    c.user_type = user_type;
    c.precision = precision;
    c.scale = scale;
    c.length = length != 0 ? length : NumericLength(precision);
    c.status = status;
    return add(c);
}

Table &Table::add(const Column &column) {
    columns_.push_back(column);
    return *this;
}

Table &Table::row(const std::vector<Value> &values) {
    if (values.size() != columns_.size())
        throw std::invalid_argument("table " + name_ + ": a row needs one value per column");
    rows_.push_back(values);
    return *this;
}

Table &Table::primary_key(const std::string &name, const std::vector<std::string> &columns) {
    keys_.push_back({Key::kPrimary, name, columns, 0, 0, {}});
    return *this;
}

Table &Table::unique(const std::string &name, const std::vector<std::string> &columns) {
    keys_.push_back({Key::kUnique, name, columns, 0, 0, {}});
    return *this;
}

Table &Table::index(const std::string &name, const std::vector<std::string> &columns) {
    keys_.push_back({Key::kIndex, name, columns, 0, 0, {}});
    return *this;
}

Table &Table::foreign_key(int32_t constraint_id, const std::string &name, const std::vector<std::string> &columns,
                          int32_t ref_tab_id, const std::vector<std::string> &ref_columns) {
    keys_.push_back({Key::kForeign, name, columns, constraint_id, ref_tab_id, ref_columns});
    return *this;
}

Table &Table::rows_per_page(int n) {
    per_page_ = n;
    return *this;
}

Table &Table::keep_trailing_nulls() {
    trim_ = false;
    return *this;
}

Table &Table::without_column_rows() {
    column_rows_ = false;
    return *this;
}

Table &Table::without_object() {
    object_ = false;
    return *this;
}

int16_t Table::firoff() const {
    int fixed = 0;
    for (const Column &c : columns_)
        if (c.in_fixed_area()) fixed += c.length > 0 ? c.length : 0;
    if (2 + fixed > 32767) throw std::invalid_argument("table " + name_ + ": fixed area too large");
    return static_cast<int16_t>(2 + fixed);
}

Bytes Table::EncodeRow(const std::vector<Value> &values, uint8_t row_number) const {
    if (values.size() != columns_.size())
        throw std::invalid_argument("table " + name_ + ": a row needs one value per column");
    // Column order is column-id order, whatever order the columns were added in.
    std::vector<size_t> order(columns_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return EffectiveColId(columns_[a], a) < EffectiveColId(columns_[b], b);
    });

    Bytes fixed;
    std::vector<const Value *> variable;
    for (size_t k : order) {
        const Column &c = columns_[k];
        const Value &v = values[k];
        if (!c.in_fixed_area()) {
            variable.push_back(&v);
            continue;
        }
        if (!v) throw std::invalid_argument("column " + c.name + " is NOT NULL in the fixed area");
        Bytes b = *v;
        const size_t width = static_cast<size_t>(std::max<int16_t>(c.length, 0));
        if (b.size() > width)
            throw std::invalid_argument("value of column " + c.name + " wider than the column");
        if (b.size() < width) {
            if (IsCharType(c.user_type))
                b.resize(width, ' ');
            else if (c.user_type == types::kUniChar)
                for (size_t k = b.size(); k < width; ++k) b.push_back(k % 2 == 0 ? ' ' : 0);
            else if (c.user_type == types::kBinary || c.user_type == types::kTimestamp)
                b.resize(width, 0);
            else
                throw std::invalid_argument("value of column " + c.name + " narrower than the column");
        }
        fixed.insert(fixed.end(), b.begin(), b.end());
    }

    size_t stored = variable.size();
    if (trim_)
        while (stored > 0 && !*variable[stored - 1]) --stored;

    Bytes row;
    row.push_back(static_cast<uint8_t>(stored));
    row.push_back(row_number);
    row.insert(row.end(), fixed.begin(), fixed.end());
    if (stored == 0) return row;

    const size_t firoff = row.size();
    row.resize(firoff + 2, 0); // the length, stored below
    std::vector<size_t> starts;
    for (size_t i = 0; i < stored; ++i) {
        starts.push_back(row.size());
        if (*variable[i]) row.insert(row.end(), (*variable[i])->begin(), (*variable[i])->end());
    }
    starts.push_back(row.size());
    for (size_t i = starts.size(); i > 0; --i) {
        if (starts[i - 1] > 255)
            throw std::invalid_argument("table " + name_ + ": a row with variable columns beyond 255 bytes");
        row.push_back(static_cast<uint8_t>(starts[i - 1]));
    }
    if (row.size() > 32767) throw std::invalid_argument("row too long");
    row[firoff] = static_cast<uint8_t>(row.size() & 0xff);
    row[firoff + 1] = static_cast<uint8_t>(row.size() >> 8);
    return row;
}

// ------------------------------------------------------------------ column records

Bytes ColumnRecord(int32_t tab_id, const Column &c, int16_t firoff, uint8_t row_number) {
    if (firoff < 20) throw std::invalid_argument("a column record needs firoff 20 or more");
    Bytes var(c.name.begin(), c.name.end());
    if (IsNumericType(c.user_type)) {
        var.push_back(c.precision);
        var.push_back(c.scale);
        var.insert(var.end(), 3, 0);
    }
    const size_t rec_len = static_cast<size_t>(firoff) + 2 + var.size() + 3;
    if (rec_len > 32767) throw std::invalid_argument("column name too long: " + c.name);
    Record r(rec_len);
    r.u8(1, row_number).i32(4, tab_id);
    if (firoff == 32) {
        r.i16(8, c.col_id).u8(10, c.status).i16(12, c.length);
    } else {
        if (c.col_id < 0 || c.col_id > 255)
            throw std::invalid_argument("column ids of this record layout are single bytes");
        r.u8(8, static_cast<uint8_t>(c.col_id)).u8(9, c.status);
        if (firoff == 24) {
            if (c.length < 0 || c.length > 255)
                throw std::invalid_argument("column lengths of this record layout are single bytes: " + c.name);
            r.u8(11, static_cast<uint8_t>(c.length));
        }
    }
    r.u8(static_cast<size_t>(firoff - 10), c.user_type);
    r.i16(static_cast<size_t>(firoff), static_cast<int16_t>(rec_len));
    r.raw(static_cast<size_t>(firoff) + 2, var);
    return r.bytes();
}

Bytes ColumnRow15(int32_t tab_id, const Column &c, uint8_t kind) {
    Bytes var(c.name.begin(), c.name.end());
    if (IsNumericType(c.user_type)) {
        var.push_back(c.precision);
        var.push_back(c.scale);
        var.insert(var.end(), 6, 0);
    }
    const size_t rec_len = 40 + var.size();
    if (rec_len > 32767) throw std::invalid_argument("column name too long: " + c.name);
    Record r(rec_len);
    r.u8(2, kind).i32(8, tab_id).i16(12, c.col_id).u8(14, c.status).i16(16, c.length).u8(26, c.user_type);
    r.i16(kColumnFiroff15, static_cast<int16_t>(rec_len)).raw(38, var);
    return r.bytes();
}

// ------------------------------------------------------------------ Schema

Table &Schema::table(int32_t id, const std::string &name) {
    tables_.push_back(std::unique_ptr<Table>(new Table(id, name)));
    return *tables_.back();
}

Table *Schema::find(int32_t id) {
    for (auto &t : tables_)
        if (t->id() == id) return t.get();
    return nullptr;
}

Schema &Schema::column_firoff(int16_t firoff) {
    column_firoff_ = firoff;
    return *this;
}

Schema &Schema::column_records_per_page(int n) {
    column_per_page_ = n;
    return *this;
}

std::vector<Schema::Entry> Schema::SortedColumns() const {
    std::vector<Entry> entries;
    for (const auto &t : tables_) {
        const auto &cols = t->columns();
        for (size_t i = 0; i < cols.size(); ++i) {
            Column c = cols[i];
            c.col_id = EffectiveColId(c, i);
            entries.push_back({t->id(), c.col_id, c});
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.tab_id != b.tab_id ? a.tab_id < b.tab_id : a.col_id < b.col_id;
    });
    return entries;
}

std::vector<int> Schema::ColumnIds(int32_t tab_id, const std::vector<std::string> &columns) const {
    std::vector<int> ids;
    for (const std::string &name : columns) {
        int id = 0;
        for (const Entry &e : SortedColumns())
            if (e.tab_id == tab_id && e.column.name == name) {
                id = e.col_id;
                break;
            }
        if (id == 0) {
            if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos || name.size() > 5)
                throw std::invalid_argument("no column " + name + " in table " + std::to_string(tab_id));
            id = std::stoi(name);
        }
        ids.push_back(id);
    }
    return ids;
}

void Schema::AddKeys(Database &db) const {
    std::vector<IndexRow> indexes;
    std::vector<ReferenceRow> references;
    for (const auto &t : tables_) {
        int16_t next_index = 2;
        for (const Key &k : t->keys()) {
            const std::vector<int> ids = ColumnIds(t->id(), k.columns);
            const auto parts = static_cast<int16_t>(ids.size());
            switch (k.kind) {
            case Key::kPrimary: indexes.push_back({t->id(), 1, 0, parts, k.name, ids}); break;
            case Key::kUnique: indexes.push_back({t->id(), next_index++, 2, static_cast<int16_t>(parts + 1), k.name, ids}); break;
            case Key::kIndex: indexes.push_back({t->id(), next_index++, 0, static_cast<int16_t>(parts + 1), k.name, ids}); break;
            case Key::kForeign: {
                ReferenceRow r;
                r.constraint_id = k.constraint_id;
                r.tab_id = t->id();
                r.ref_tab_id = k.ref_tab_id;
                for (int id : ids) r.foreign_keys.push_back(static_cast<int16_t>(id));
                for (int id : ColumnIds(k.ref_tab_id, k.ref_columns)) r.referenced_keys.push_back(static_cast<int16_t>(id));
                references.push_back(r);
                if (!k.name.empty()) db.object(k.constraint_id, 'R', k.name);
                break;
            }
            }
        }
    }
    AddKeyRows(db, indexes, references);
}

bool Schema::HasColumnRows(int32_t tab_id) const {
    for (const auto &t : tables_)
        if (t->id() == tab_id) return t->has_column_rows();
    return true;
}

std::vector<Bytes> Schema::ColumnRecords() const {
    const std::vector<Entry> entries = SortedColumns();
    std::vector<Bytes> out;
    uint8_t row = 0;
    for (const Entry &e : entries)
        if (HasColumnRows(e.tab_id)) out.push_back(ColumnRecord(e.tab_id, e.column, column_firoff_, row++));
    return out;
}

void Schema::add_to(Database &db) const {
    // The column catalogue has its own entry, as in every database: the
    // search for first pages goes on until each entry has found its page.
    db.object(kColumnCatalogue, 'S', "syscolumns");
    for (const auto &t : tables_)
        if (t->has_object()) db.table(t->id(), t->name());

    if (db.format() == Format::k15) {
        std::vector<AddressedRow> rows;
        for (const Entry &e : SortedColumns())
            if (HasColumnRows(e.tab_id))
                rows.push_back({ColumnRow15(e.tab_id, e.column), [](int32_t page, uint8_t row) {
                                return records15::ColumnMapEntry(page, row);
                            }});
        db.addressed_rows(kColumnCatalogue, kColumnFiroff15, rows,
                          {kColumnCatalogue, records15::kColumnMapPage, records15::kColumnMapStart},
                          column_per_page_);
    } else {
        ChainOptions columns;
        columns.firoff = column_firoff_;
        columns.records_per_page = column_per_page_;
        db.chain(kColumnCatalogue, ColumnRecords(), columns);
    }

    AddKeys(db);

    for (const auto &t : tables_) {
        if (t->rows().empty()) continue;
        std::vector<Bytes> rows;
        for (size_t i = 0; i < t->rows().size(); ++i) {
            const size_t per_page = t->per_page() > 0 ? static_cast<size_t>(t->per_page()) : 256;
            rows.push_back(t->EncodeRow(t->rows()[i], static_cast<uint8_t>(i % per_page)));
        }
        ChainOptions data;
        data.firoff = t->firoff();
        data.records_per_page = t->per_page();
        db.chain(t->id(), rows, data);
    }
}

} // namespace dumpwriter
