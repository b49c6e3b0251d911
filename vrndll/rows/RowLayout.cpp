#include "vrndll/rows/RowLayout.h"
#include "vrndll/sql/SqlTypeText.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/sql/SqlIdentifier.h"
#include "vrndll/sql/SqlTypeText.h"
#include "vrndll/VRNParser.h"
#include "vrndll/sql/ValueFormat.h"

namespace {

bool IsNumericType(uint8_t user_type) {
    return user_type == values::kNumeric || user_type == values::kDecimal;
}

// A column is stored in the fixed-length area only when it is of a
// fixed-length type and does not allow NULL; an identity column (status bit
// 0x80, never NULL) is one of them.
bool IsFixedColumn(const ColumnEntry &c) {
    return c.fixed == 1 && (c.null_flag & static_cast<uint8_t>(~kIdentityStatus)) == 0;
}

static_assert(std::is_trivially_copyable<ColumnEntry>::value,
              "column entries are compared as bytes");

// The bytes of `n` column entries from `first` on.
const char *EntryBytes(const std::vector<ColumnEntry> &fields, size_t first) {
    return reinterpret_cast<const char *>(fields.data() + first);
}

// The end of the entries a layout of `columns` columns may take from
// `first` on, among `count`.
uint32_t EndOfTaking(uint32_t first, uint32_t columns, uint32_t count) {
    return first + std::min<uint32_t>(columns, count - first);
}

} // namespace

int64_t FirstColumnOf(const std::vector<ColumnEntry> &fields, uint32_t count, int32_t tab_id,
                      int32_t first_field) {
    const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(fields.size()));
    const auto starts_run = [&](uint32_t k) {
        return k < n && fields[k].tab_id == tab_id && (k == 0 || fields[k - 1].tab_id != tab_id);
    };
    const auto begin = fields.begin();
    const auto found = std::lower_bound(begin, begin + n, tab_id,
                                        [](const ColumnEntry &c, int32_t id) { return c.tab_id < id; });
    const uint32_t at = static_cast<uint32_t>(found - begin);
    if (starts_run(at)) return at;
    if (first_field >= 0 && starts_run(static_cast<uint32_t>(first_field))) return first_field;
    // Not sorted after all: the first entry of the table, wherever it is.
    for (uint32_t k = 0; k < n; ++k)
        if (fields[k].tab_id == tab_id) return k;
    return -1;
}

int32_t FixedWidth(const ColumnEntry &column) {
    const int width = values::StoredWidth(column.user_type);
    if (width > 0) return width;
    return std::max<int32_t>(0, column.length);
}

bool BuildRowLayout(const VRNParser &parser, uint32_t table, uint32_t columns, RowLayout &layout) {
    const DumpFormat format = parser.format();
    layout.Invalidate();
    const uint32_t objects = parser.object_count();
    if (table >= objects) return false;
    const SysobjEntry &t = parser.pSysobj[table];

    layout.table_id = t.id;
    layout.columns = columns;
    layout.source_name.assign(t.name, strnlen(t.name, sizeof t.name));
    layout.table_name = SqlIdentifier(layout.source_name);
    layout.fixed.clear();
    layout.variable.clear();
    layout.fixed_names.clear();
    layout.source_columns.clear();

    const uint32_t count = parser.field_count();
    layout.format = format;
    layout.field_count = count;
    layout.first = FirstColumnOf(parser.fields, count, t.id, t.first_field);
    if (layout.first >= 0) {
        const uint32_t first = static_cast<uint32_t>(layout.first);
        const uint32_t end = EndOfTaking(first, columns, count);
        uint32_t k = first;
        for (; k < end && parser.fields[k].tab_id == t.id; ++k) {
            const ColumnEntry &c = parser.fields[k];
            RowColumn column;
            column.field = k;
            column.user_type = c.user_type;
            column.width = FixedWidth(c);
            column.scale = IsNumericType(c.user_type) ? ColumnScale(c, format) : 0;
            column.name = SqlIdentifier(ColumnName(c, format));
            column.nullable = !IsFixedColumn(c) && AllowsNull(c.null_flag);
            if (c.guessed) layout.guessed = true;
            if (IsFixedColumn(c)) {
                layout.fixed_width += column.width;
                if (!layout.fixed.empty()) layout.fixed_names += ',';
                layout.fixed_names += column.name;
                layout.fixed.push_back(std::move(column));
            } else {
                layout.variable.push_back(std::move(column));
            }
        }
        layout.source_columns.assign(EntryBytes(parser.fields, first), (k - first) * sizeof(ColumnEntry));
    }
    layout.table = table;
    return true;
}

bool RowLayoutHolds(const VRNParser &parser, const RowLayout &layout) {
    if (layout.table < 0 || layout.table >= static_cast<int64_t>(parser.object_count())) return false;
    const SysobjEntry &t = parser.pSysobj[static_cast<size_t>(layout.table)];
    const uint32_t count = parser.field_count();
    if (t.id != layout.table_id || parser.format() != layout.format || count != layout.field_count)
        return false;
    const size_t name_length = strnlen(t.name, sizeof t.name);
    if (name_length != layout.source_name.size() || std::memcmp(t.name, layout.source_name.data(), name_length) != 0)
        return false;
    if (FirstColumnOf(parser.fields, count, t.id, t.first_field) != layout.first) return false;
    if (layout.first < 0) return true;
    // The entries taken are the same, and so is the entry that ended the
    // taking early, if one did: it still belongs to another table.
    const uint32_t first = static_cast<uint32_t>(layout.first);
    const size_t taken = layout.source_columns.size() / sizeof(ColumnEntry);
    if (std::memcmp(EntryBytes(parser.fields, first), layout.source_columns.data(), layout.source_columns.size()) != 0)
        return false;
    const size_t next = first + taken;
    return next >= EndOfTaking(first, layout.columns, count) || parser.fields[next].tab_id != t.id;
}
