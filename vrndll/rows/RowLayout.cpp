#include "vrndll/rows/RowLayout.h"
#include "vrndll/sql/SqlTypeText.h"

#include <algorithm>
#include <cstring>

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
    layout.table_name = SqlIdentifier(std::string(t.name, strnlen(t.name, sizeof t.name)));
    layout.fixed.clear();
    layout.variable.clear();
    layout.fixed_names.clear();

    const uint32_t count = parser.field_count();
    layout.first = FirstColumnOf(parser.fields, count, t.id, t.first_field);
    if (layout.first >= 0) {
        const uint32_t first = static_cast<uint32_t>(layout.first);
        const uint32_t end = first + std::min<uint32_t>(columns, count - first);
        for (uint32_t k = first; k < end && parser.fields[k].tab_id == t.id; ++k) {
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
    }
    layout.table = table;
    return true;
}
