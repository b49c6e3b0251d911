#include "vrndll/catalogue/ColumnCollector.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "Common/logger/logger.h"
#include "vrndll/VRNParser.h"
#include "vrndll/catalogue/Generation.h"

namespace {

constexpr size_t kFirstRoom = 1000;

} // namespace

uint8_t FixedOf(uint8_t user_type, DumpFormat format) {
    switch (user_type) {
    case 1: case 3: case 5: case 6: case 7: case 8: case 10: case 11: case 12:
    case 16: case 18: case 21: case 22: case 23: case 24: case 26:
        return 1;
    case 34: case 37: case 38: case 42: case 43: case 44: case 45: case 46: case 80:
        return GenerationOf(format).extended_types ? 1 : 0;
    default:
        return 0;
    }
}

ColumnCollector::ColumnCollector(VRNParser &parser)
    : parser_(parser),
      objects_(parser.object_count()) {
    parser_.fields.clear();
    parser_.fields.reserve(kFirstRoom);
    for (uint32_t k = 0; k < objects_; ++k) {
        parser_.pSysobj[k].first_field = -1;
        entry_of_.emplace(parser_.pSysobj[k].id, k);
    }
}

void ColumnCollector::Add(const ColumnEntry &column) {
    if (!have_previous_ || column.tab_id != previous_tab_) {
        auto it = entry_of_.find(column.tab_id);
        if (it != entry_of_.end()) parser_.pSysobj[it->second].first_field = static_cast<int32_t>(parser_.fields.size());
    }
    have_previous_ = true;
    previous_tab_ = column.tab_id;
    parser_.fields.push_back(column);
}

void ColumnCollector::Finish() {
    TheLogger().InfoNumber("skip_tables_num=", 0);
    // Also when no column row is left at all (the column catalogue's pages
    // lost): every user table then gets its columns guessed, rather than
    // every table losing its rows.
    std::unordered_set<int32_t> described;
    for (const ColumnEntry &c : parser_.fields) described.insert(c.tab_id);
    for (uint32_t k = 0; k < objects_ && k < parser_.pSysobj.size(); ++k) {
        SysobjEntry &t = parser_.pSysobj[k];
        if (t.type != 'U' || std::strncmp(t.name, "spt", 3) == 0) continue;
        if (described.count(t.id) == 0) parser_.RecoverFields(t);
    }
}
