#include "vrndll/catalogue/DescriptionTemplate.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/platform.h"
#include "platform/profile_scan.h"
#include "vrndll/call/RecoveryOptions.h"

namespace {

std::string Lower(const std::string &s) {
    std::string out = s;
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The number after `prefix` in a folded section name ("table_12" -> 12),
// or -1 when the name is not the prefix and decimal digits.
int64_t SectionNumber(const std::string &name, const char *prefix) {
    const size_t n = std::strlen(prefix);
    if (name.size() <= n || name.compare(0, n, prefix) != 0 || name.size() - n > 9) return -1;
    int64_t v = 0;
    for (size_t i = n; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        v = v * 10 + (name[i] - '0');
    }
    return v;
}

// A value read as the system reads an integer key.
int32_t Number(const std::string &value, int32_t fallback) {
    return value.empty() ? fallback : platform::profileValueAsInt(value);
}

// What the single pass collects: the sections in file order (a section
// named twice is kept once, its first time), each with the keys it set.
class Collector {
public:
    void Section(const std::string &name) {
        const std::string folded = Lower(name);
        current_ = Kind::kOther;
        if (folded == "total") {
            current_ = seen_total_ ? Kind::kOther : Kind::kTotal;
            seen_total_ = true;
            return;
        }
        const int64_t t = SectionNumber(folded, "table_");
        if (t >= 0 && t < kMaxDescribedTables) {
            if (!Claim(table_seen_, static_cast<size_t>(t))) return;
            tables_.emplace_back(static_cast<int32_t>(t), DescribedTable());
            keys_ = 0;
            current_ = Kind::kTable;
            return;
        }
        const int64_t f = SectionNumber(folded, "field_");
        if (f >= 0 && f < kMaxDescribedFields) {
            if (!Claim(field_seen_, static_cast<size_t>(f))) return;
            fields_.emplace_back(static_cast<int32_t>(f), DescribedField());
            keys_ = 0;
            current_ = Kind::kField;
        }
    }

    void Key(const std::string &key, const std::string &value) {
        if (current_ == Kind::kOther) return;
        const std::string k = Lower(key);
        if (current_ == Kind::kTotal) {
            if (k == "tab_count" && !(total_keys_ & 1)) tab_count_ = Number(value, 0), total_keys_ |= 1;
            if (k == "col_count" && !(total_keys_ & 2)) col_count_ = Number(value, 0), total_keys_ |= 2;
            return;
        }
        if (current_ == Kind::kTable) {
            DescribedTable &t = tables_.back().second;
            if (First(k, "name", 0)) t.name = value.substr(0, 256);
            else if (First(k, "type", 1)) t.type = Number(value, 0);
            else if (First(k, "rec_len", 2)) t.rec_len = Number(value, 0);
            else if (First(k, "id_num", 3)) t.ordinal = Number(value, 0);
            return;
        }
        DescribedField &f = fields_.back().second;
        if (First(k, "name", 0)) f.name = value.substr(0, 255);
        else if (First(k, "begin_fl", 1)) f.begin_fl = Number(value, 0);
        else if (First(k, "col_byte", 2)) f.col_byte = Number(value, -10);
        else if (First(k, "col_num", 3)) f.col_num = Number(value, -10);
        else if (First(k, "null_fl", 4)) f.null_fl = Number(value, -10);
        else if (First(k, "rec_len", 5)) f.rec_len = Number(value, -10);
        else if (First(k, "type", 6)) f.type = Number(value, -10);
        else if (First(k, "id_num", 7)) f.ordinal = Number(value, -10);
    }

    bool seen_total() const { return seen_total_; }
    int32_t tab_count() const { return tab_count_; }
    int32_t col_count() const { return col_count_; }

    // The first `count` sections of a kind by number; missing ones keep
    // their defaults. `present` receives how many were in the file.
    template <typename Entry>
    static std::vector<Entry> Dense(std::vector<std::pair<int32_t, Entry>> &found, int32_t count, int32_t &present) {
        std::vector<Entry> out(static_cast<size_t>(count));
        present = 0;
        for (auto &e : found) {
            if (e.first >= count) continue;
            out[static_cast<size_t>(e.first)] = std::move(e.second);
            present += 1;
        }
        found.clear();
        found.shrink_to_fit();
        return out;
    }

    std::vector<std::pair<int32_t, DescribedTable>> tables_;
    std::vector<std::pair<int32_t, DescribedField>> fields_;

private:
    enum class Kind { kOther, kTotal, kTable, kField };

    // Marks section number n seen; false when it was seen before.
    static bool Claim(std::vector<bool> &seen, size_t n) {
        if (seen.size() <= n) seen.resize(std::max(n + 1, seen.size() * 2), false);
        if (seen[n]) return false;
        seen[n] = true;
        return true;
    }
    // True for the first line of key `name` (bit `bit`) in the section.
    bool First(const std::string &k, const char *name, int bit) {
        if (k != name || (keys_ & (1u << bit))) return false;
        keys_ |= 1u << bit;
        return true;
    }

    Kind current_ = Kind::kOther;
    unsigned keys_ = 0;
    unsigned total_keys_ = 0;
    bool seen_total_ = false;
    int32_t tab_count_ = 0;
    int32_t col_count_ = 0;
    std::vector<bool> table_seen_, field_seen_;
};

} // namespace

std::shared_ptr<const DescriptionTemplate> DescriptionTemplate::Read(const std::string &path, std::string &why) {
    why.clear();
    const std::string named = "the template '" + path + "'";
    platform::File file = platform::File::openForReading(path);
    if (!file.isOpen()) {
        switch (platform::pathKind(path)) {
        case platform::PathKind::Missing: why = named + " does not exist"; break;
        case platform::PathKind::Directory: why = named + " is a folder, not a table description"; break;
        case platform::PathKind::Other: why = named + " is not a regular file (a device or a pipe)"; break;
        default: {
            std::string reason;
            if (!platform::errorMessage(platform::lastErrorCode(), reason)) reason = "unknown reason";
            while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
                reason.pop_back();
            why = named + " cannot be opened: " + reason;
        }
        }
        return nullptr;
    }
    const uint64_t size = file.size();
    if (size > kMaxTemplateBytes) {
        why = named + " is larger than " + std::to_string(kMaxTemplateBytes >> 20) + " MiB: not a table description";
        return nullptr;
    }

    Collector c;
    const platform::ProfileScan scanned = platform::scanProfileFile(
        file, kMaxTemplateBytes, [&c](const std::string &s) { c.Section(s); },
        [&c](const std::string &k, const std::string &v) { c.Key(k, v); });
    if (scanned == platform::ProfileScan::kTooLarge) {
        why = named + " is larger than " + std::to_string(kMaxTemplateBytes >> 20) + " MiB: not a table description";
        return nullptr;
    }
    if (scanned != platform::ProfileScan::kRead) {
        why = named + " cannot be read";
        return nullptr;
    }
    if (!c.seen_total()) {
        why = named + " has no [Total] section: not a table description";
        return nullptr;
    }
    const int32_t t = c.tab_count(), n = std::max(c.col_count(), 0);
    if (t <= 0) {
        why = named + " describes no table (tab_count " + std::to_string(t) + ")";
        return nullptr;
    }
    // Every section takes at least its header line: counts the file cannot
    // hold are refused before anything is made of them.
    if (t > kMaxDescribedTables || n > kMaxDescribedFields ||
        (static_cast<uint64_t>(t) + static_cast<uint64_t>(n)) * kMinSectionBytes > size) {
        why = named + " claims " + std::to_string(t) + " tables and " + std::to_string(n) +
              " fields, more than its size can hold";
        return nullptr;
    }
    auto out = std::make_shared<DescriptionTemplate>();
    out->path_ = path;
    int32_t tables_present = 0, fields_present = 0;
    out->tables_ = Collector::Dense(c.tables_, t, tables_present);
    out->fields_ = Collector::Dense(c.fields_, n, fields_present);
    if (tables_present == 0) {
        why = named + " names no table: none of its " + std::to_string(t) + " [table_<n>] sections is there";
        return nullptr;
    }
    return out;
}

bool ChooseDescriptionTemplate(const RecoveryOptions &options, const std::string &source_folder,
                               std::shared_ptr<const DescriptionTemplate> &chosen, std::string &why) {
    chosen.reset();
    why.clear();
    std::string path;
    switch (options.template_mode) {
    case TemplateMode::kOff:
        return true;
    case TemplateMode::kFile:
        path = options.template_file;
        break;
    case TemplateMode::kAuto:
    default:
        // Only a file that opens for reading beside the dump switches
        // template mode on.
        if (source_folder.empty()) return true;
        path = source_folder;
        if (!platform::isPathSeparator(path.back())) path += platform::kPathSeparator;
        path += "int0.ini";
        if (!platform::File::openForReading(path).isOpen()) return true;
        break;
    }
    chosen = DescriptionTemplate::Read(path, why);
    return chosen != nullptr;
}
