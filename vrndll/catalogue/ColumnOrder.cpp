#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/VRNParser.h"

#include <algorithm>
#include <vector>

namespace {

uint32_t ColumnCount(const VRNParser &p) {
    return p.field_count();
}

bool ByTableThenColumn(const ColumnEntry &a, const ColumnEntry &b) {
    if (a.tab_id != b.tab_id) return a.tab_id < b.tab_id;
    return a.col_id < b.col_id;
}

} // namespace

void SortColumnsByTable(VRNParser &p) {
    const uint32_t count = ColumnCount(p);
    const auto end = p.fields.begin() + count;
    if (!std::is_sorted(p.fields.begin(), end, ByTableThenColumn)) {
        // The entries are large: sort small keys, the catalogue position
        // breaking ties (a stable order), then move every entry once.
        struct Key {
            int32_t tab_id;
            int16_t col_id;
            uint32_t at;
        };
        std::vector<Key> keys(count);
        for (uint32_t k = 0; k < count; ++k) keys[k] = {p.fields[k].tab_id, p.fields[k].col_id, k};
        std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
            if (a.tab_id != b.tab_id) return a.tab_id < b.tab_id;
            if (a.col_id != b.col_id) return a.col_id < b.col_id;
            return a.at < b.at;
        });
        std::vector<ColumnEntry> sorted;
        sorted.reserve(p.fields.size());
        for (const Key &key : keys) sorted.push_back(p.fields[key.at]);
        sorted.insert(sorted.end(), end, p.fields.end()); // entries beyond the count stay behind
        p.fields.swap(sorted);
    }
    const uint32_t objects = p.object_count();
    for (uint32_t k = 0; k < objects; ++k) {
        SysobjEntry &e = p.pSysobj[k];
        const ColumnRange r = ColumnsOfTable(p, e.id);
        e.first_field = r.empty() ? -1 : static_cast<int32_t>(r.begin);
    }
}

ColumnRange ColumnsOfTable(const VRNParser &p, int32_t tab_id) {
    const auto first = p.fields.begin();
    const auto last = first + ColumnCount(p);
    const auto lower = std::lower_bound(first, last, tab_id,
                                        [](const ColumnEntry &c, int32_t id) { return c.tab_id < id; });
    const auto upper = std::upper_bound(lower, last, tab_id,
                                        [](int32_t id, const ColumnEntry &c) { return id < c.tab_id; });
    ColumnRange r;
    r.begin = static_cast<uint32_t>(lower - first);
    r.end = static_cast<uint32_t>(upper - first);
    return r;
}
