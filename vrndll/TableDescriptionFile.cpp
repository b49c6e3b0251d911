#include "vrndll/TableDescriptionFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "Common/logger/logger.h"
#include "platform/platform.h"
#include "vrndll/output/PrintableName.h"

namespace {

// The forward walk numbers ids for at most this many steps; the backward
// walk for the oldest id gives up after this many misses or hits in a row.
constexpr int kMaxForwardSteps = 10000;
constexpr int kMaxMissesInARow = 1000;
constexpr int kMaxHitsInARow = 1001;

uint32_t StepBack(uint32_t x) {
    return x > kObjectIdStep ? x - kObjectIdStep : x + (kObjectIdModulus - kObjectIdStep);
}

uint32_t StepForward(uint32_t x) {
    uint64_t next = static_cast<uint64_t>(x) + kObjectIdStep;
    return static_cast<uint32_t>(next < kObjectIdModulus ? next : next - kObjectIdModulus);
}

// Position of x in ids sorted ascending as unsigned, or -1.
int Find(const std::vector<int32_t> &ids, uint32_t x) {
    auto it = std::lower_bound(ids.begin(), ids.end(), x, [](int32_t a, uint32_t b) {
        return static_cast<uint32_t>(a) < b;
    });
    if (it == ids.end() || static_cast<uint32_t>(*it) != x) return -1;
    return static_cast<int>(it - ids.begin());
}

// Names go into "key=value" lines: a line break in a hostile name must not
// make new lines (sections or keys) of its own. Mapped as in every other
// file the name reaches.
std::string ProfileValue(const char *text, size_t limit) {
    return PrintableName(std::string(text, strnlen(text, limit)));
}

std::string Section(const char *kind, int n) { return std::string(kind) + std::to_string(n); }

void CopyName(char *out, size_t size, const std::string &name) {
    size_t n = std::min(name.size(), size - 1);
    std::memcpy(out, name.data(), n);
    out[n] = '\0';
}

// Sort key that puts kNoOrdinal (and any negative value) after every real
// ordinal.
uint32_t OrdinalKey(int32_t ordinal) { return static_cast<uint32_t>(ordinal); }

} // namespace

std::vector<int> MatchByOrdinalGaps(const std::vector<int32_t> &dump,
                                    const std::vector<int32_t> &tables) {
    const int n = static_cast<int>(dump.size());
    const int t = static_cast<int>(tables.size());
    std::vector<int> matched;
    if (n == 0 || t == 0) return matched;
    if (n == 1) {
        matched.push_back(0);
        return matched;
    }
    int i = 0, prev = 0, cur = 1, matches = 0, run = 0;
    while (matches < n - 1) {
        // Out of tables: the dump holds objects the template does not
        // describe. Keep what matched so far; without a single matched gap
        // there is no evidence for any pairing.
        if (cur >= t) {
            if (matches == 0) {
                matched.clear();
                return matched;
            }
            break;
        }
        const int64_t d = static_cast<int64_t>(dump[i + 1]) - dump[i];
        const int64_t e = static_cast<int64_t>(tables[cur]) - tables[prev];
        if (d < e) {
            // No table fits this gap: start the alignment one table later.
            if (prev + 1 >= t) {
                matched.clear();
                return matched;
            }
            i = 0;
            matches = 0;
            run = 0;
            matched.clear();
            prev = prev + 1;
            cur = prev + 1;
        } else if (e < d) {
            // The table at cur is not in the dump.
            run += 1;
            cur += 1;
        } else {
            matched.push_back(prev);
            matches += 1;
            run += 1;
            i += 1;
            prev = cur;
            cur += 1;
            if (run == t - 1) break;
        }
    }
    matched.push_back(prev);
    return matched;
}

bool TableDescriptionFile::LocateDescription(const std::string &source_folder,
                                             const std::string &target_folder, int number) {
    const std::string name = "int" + std::to_string(number) + ".ini";
    auto join = [&name](const std::string &folder) {
        if (!folder.empty() && platform::isPathSeparator(folder.back())) return folder + name;
        return folder + platform::kPathSeparator + name;
    };
    path_ = join(source_folder);
    platform::File probe = platform::File::openForReading(path_);
    if (probe.isOpen()) return true;
    path_ = join(target_folder);
    return false;
}

std::vector<int32_t> TableDescriptionFile::CreationOrder() {
    std::vector<int32_t> &ids = parser_->obj_ids;
    std::vector<int32_t> ordinals;
    if (ids.empty()) return ordinals;
    std::sort(ids.begin(), ids.end(), [](int32_t a, int32_t b) {
        return static_cast<uint32_t>(a) < static_cast<uint32_t>(b);
    });

    // The oldest id: walk back from the smallest id while the list keeps
    // turning up ids within 1000 steps of each other.
    int oldest = 0;
    uint32_t x = static_cast<uint32_t>(ids[0]);
    int misses = 0, hits = 0;
    while (misses < kMaxMissesInARow && hits < kMaxHitsInARow) {
        x = StepBack(x);
        int at = Find(ids, x);
        if (at >= 0) {
            oldest = at;
            misses = 0;
            hits += 1;
        } else {
            misses += 1;
            hits = 0;
        }
    }

    ordinals.assign(ids.size(), kNoOrdinal);
    ordinals[oldest] = 0;
    size_t numbered = 1;
    x = static_cast<uint32_t>(ids[oldest]);
    for (int step = 1; step <= kMaxForwardSteps && numbered < ids.size(); ++step) {
        x = StepForward(x);
        int at = Find(ids, x);
        if (at >= 0 && ordinals[at] == kNoOrdinal) {
            ordinals[at] = step;
            numbered += 1;
        }
    }
    return ordinals;
}

int32_t TableDescriptionFile::OrdinalOf(int32_t id, const std::vector<int32_t> &ordinals) const {
    int at = Find(parser_->obj_ids, static_cast<uint32_t>(id));
    if (at < 0 || static_cast<size_t>(at) >= ordinals.size()) return kNoOrdinal;
    return ordinals[at];
}

int TableDescriptionFile::WriteDescription() {
    const std::vector<int32_t> ordinals = CreationOrder();
    // Every section is new: the file is written from start to end in one
    // pass, not key by key.
    platform::ProfileFileWriter out(path_);
    if (!out.isOpen()) {
        TheLogger().ErrorText("Cannot create description file", path_.c_str());
        return kOutputFailed;
    }
    VRNParser &p = *parser_;
    const uint32_t objects = p.object_count();
    std::string current;
    auto put = [&](const std::string &section, const char *key, const std::string &value) {
        if (section != current) {
            out.section(section);
            current = section;
        }
        out.key(key, value);
    };

    int tables = 0;
    std::unordered_set<int32_t> user_ids; // ids of the tables written
    for (uint32_t j = 0; j < objects; ++j) {
        const SysobjEntry &e = p.pSysobj[j];
        if (e.type != 'U') continue;
        const std::string section = Section("table_", tables++);
        put(section, "name", ProfileValue(e.name, sizeof e.name));
        put(section, "type", std::to_string(static_cast<int>(static_cast<signed char>(e.type))));
        put(section, "rec_len", std::to_string(e.rec_len));
        if (!ordinals.empty()) {
            const int32_t ordinal = OrdinalOf(e.id, ordinals);
            put(section, "id_num",
                ordinal == kNoOrdinal ? std::string("-1")
                                      : std::to_string(static_cast<uint32_t>(ordinal)));
        }
        user_ids.insert(e.id);
    }

    int fields = 0;
    const uint32_t columns = p.field_count();
    for (uint32_t c = 0; c < columns; ++c) {
        const ColumnEntry &f = p.fields[c];
        if (f.tab_id <= 100) continue;
        if (user_ids.count(f.tab_id) == 0) continue;
        const std::string section = Section("field_", fields++);
        put(section, "name", ProfileValue(f.name, sizeof f.name));
        put(section, "begin_fl", std::to_string(static_cast<int8_t>(f.fixed)));
        put(section, "col_byte", std::to_string(f.length));
        put(section, "col_num", std::to_string(static_cast<int8_t>(f.row_num)));
        put(section, "null_fl", std::to_string(static_cast<int8_t>(f.null_flag)));
        put(section, "rec_len", std::to_string(f.rec_len));
        put(section, "id", std::to_string(f.col_id));
        put(section, "type", std::to_string(static_cast<int8_t>(f.user_type)));
        if (!p.obj_ids.empty()) put(section, "id_num", std::to_string(OrdinalOf(f.tab_id, ordinals)));
    }

    put("Total", "tab_count", std::to_string(tables));
    put("Total", "col_count", std::to_string(fields));
    if (!out.close()) {
        TheLogger().ErrorText("Cannot write description file", path_.c_str());
        return kOutputFailed;
    }
    return 0;
}

int TableDescriptionFile::LoadDescription() {
    if (parser_->obj_ids.empty()) return 0;
    std::string why;
    const std::shared_ptr<const DescriptionTemplate> described = DescriptionTemplate::Read(path_, why);
    if (!described) {
        TheLogger().ErrorText("Description file refused:", why.c_str());
        return kNoCatalogue;
    }
    return LoadDescription(*described);
}

int TableDescriptionFile::LoadDescription(const DescriptionTemplate &described) {
    VRNParser &p = *parser_;
    std::vector<int32_t> dump_ordinals = CreationOrder();
    if (p.obj_ids.empty()) return 0;

    const int t = static_cast<int>(described.tables().size());
    const int n = static_cast<int>(described.fields().size());
    if (t == 0) {
        p.iSysobj = 0;
        return 0;
    }
    p.ResetObjects(static_cast<uint32_t>(t));
    p.fields.assign(static_cast<size_t>(n), ColumnEntry{});

    std::vector<int32_t> table_ordinals(static_cast<size_t>(t));
    for (int i = 0; i < t; ++i) {
        const DescribedTable &d = described.tables()[static_cast<size_t>(i)];
        SysobjEntry &e = p.pSysobj[static_cast<size_t>(i)];
        e.type = static_cast<char>(d.type);
        e.rec_len = static_cast<int16_t>(d.rec_len);
        table_ordinals[static_cast<size_t>(i)] = d.ordinal;
        CopyName(e.name, 257, d.name.substr(0, 256));
        e.name_len = static_cast<int32_t>(std::strlen(e.name));
        e.id = 0;
        e.first_block = 0;
        e.first_field = -1;
    }

    std::vector<int32_t> field_ordinals(static_cast<size_t>(n));
    for (int f = 0; f < n; ++f) {
        const DescribedField &d = described.fields()[static_cast<size_t>(f)];
        ColumnEntry &c = p.fields[static_cast<size_t>(f)];
        CopyName(c.name, sizeof c.name, d.name);
        c.var_len = static_cast<int32_t>(std::strlen(c.name));
        c.fixed = static_cast<uint8_t>(d.begin_fl);
        c.length = static_cast<int16_t>(d.col_byte);
        c.row_num = static_cast<uint8_t>(d.col_num);
        c.null_flag = static_cast<uint8_t>(d.null_fl);
        c.user_type = static_cast<uint8_t>(d.type);
        c.rec_len = static_cast<int16_t>(d.rec_len);
        field_ordinals[static_cast<size_t>(f)] = d.ordinal;
        c.col_id = 0;
        c.tab_id = kNoOwnerTable;
    }

    // The dump's ids in creation order; ids the walk did not reach go last.
    {
        std::vector<size_t> order(p.obj_ids.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return OrdinalKey(dump_ordinals[a]) < OrdinalKey(dump_ordinals[b]);
        });
        std::vector<int32_t> ids, ords;
        for (size_t k : order) {
            ids.push_back(p.obj_ids[k]);
            ords.push_back(dump_ordinals[k]);
        }
        p.obj_ids.swap(ids);
        dump_ordinals.swap(ords);
    }
    // The tables in creation order; tables without an ordinal go last.
    if (t != 1) {
        std::vector<size_t> order(static_cast<size_t>(t));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return OrdinalKey(table_ordinals[a]) < OrdinalKey(table_ordinals[b]);
        });
        std::vector<SysobjEntry> entries;
        std::vector<int32_t> ords;
        entries.reserve(order.size());
        for (size_t k : order) {
            entries.push_back(p.pSysobj[k]);
            ords.push_back(table_ordinals[k]);
        }
        p.pSysobj.swap(entries);
        table_ordinals.swap(ords);
    }

    // Only real ordinals take part in the matching.
    std::vector<int32_t> dump_valid, tables_valid;
    for (int32_t o : dump_ordinals)
        if (o >= 0) dump_valid.push_back(o);
    for (int32_t o : table_ordinals)
        if (o >= 0) tables_valid.push_back(o);

    // The fields of each file ordinal, in file order: every table finds its
    // own without a walk over all fields.
    std::unordered_map<int32_t, std::vector<int>> fields_of;
    for (int f = 0; f < n; ++f) fields_of[field_ordinals[static_cast<size_t>(f)]].push_back(f);

    const std::vector<int> matched = MatchByOrdinalGaps(dump_valid, tables_valid);
    for (size_t k = 0; k < matched.size() && k < p.obj_ids.size(); ++k) {
        SysobjEntry &table = p.pSysobj[static_cast<size_t>(matched[k])];
        table.id = p.obj_ids[k];
        const auto own = fields_of.find(table_ordinals[static_cast<size_t>(matched[k])]);
        if (own == fields_of.end()) continue;
        // Fields keep their file order inside the table: the column sort
        // by table id and column id must not shuffle them.
        int16_t position = 0;
        for (int f : own->second) {
            ColumnEntry &c = p.fields[static_cast<size_t>(f)];
            if (c.tab_id != kNoOwnerTable) continue;
            c.tab_id = table.id;
            if (position < INT16_MAX) position += 1;
            c.col_id = position;
        }
    }

    std::unordered_map<int32_t, int> first_field_of;
    for (int f = 0; f < n; ++f) {
        const int32_t owner = p.fields[static_cast<size_t>(f)].tab_id;
        if (owner != kNoOwnerTable) first_field_of.emplace(owner, f);
    }
    for (int i = 0; i < t; ++i) {
        SysobjEntry &e = p.pSysobj[static_cast<size_t>(i)];
        if (e.id == 0) continue;
        const auto first = first_field_of.find(e.id);
        if (first != first_field_of.end()) e.first_field = first->second;
    }

    p.data_blockread();
    return 0;
}
