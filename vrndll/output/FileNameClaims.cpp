#include "vrndll/output/FileNameClaims.h"

#include <algorithm>

#include "vrndll/output/SafeName.h"

namespace {

// "<stem>_<n>" with n a part number as the series write it (no sign, no
// leading zero): true with the stem and the number.
bool SplitPartName(const std::string &name, std::string &stem, int32_t &n) {
    const size_t underscore = name.rfind('_');
    if (underscore == std::string::npos || underscore + 1 >= name.size() || name[underscore + 1] == '0' ||
        name.size() - underscore - 1 > 9)
        return false;
    int32_t value = 0;
    for (size_t i = underscore + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        value = value * 10 + (name[i] - '0');
    }
    stem = name.substr(0, underscore);
    n = value;
    return true;
}

// "-<n>": the same folded or not (a dash and digits have no case).
std::string Suffix(uint64_t n) { return "-" + std::to_string(n); }

} // namespace

void FileNameClaims::Clear() {
    plain_.clear();
    series_.clear();
    next_plain_.clear();
    next_series_.clear();
}

bool FileNameClaims::IsTakenFolded(const std::string &folded) const {
    if (plain_.count(folded) != 0) return true;
    std::string stem;
    int32_t n = 0;
    if (!SplitPartName(folded, stem, n)) return false;
    const auto series = series_.find(stem);
    return series != series_.end() && n <= series->second;
}

bool FileNameClaims::IsTaken(const std::string &name) const { return IsTakenFolded(FoldFileNameCase(name)); }

template <typename Taken>
std::string FileNameClaims::FirstFree(const std::string &folded, std::unordered_map<std::string, uint64_t> &next,
                                      const Taken &taken) {
    // Every number tried and refused names a claim of its own ("<wanted>-<n>"
    // splits back into one wanted name and one number), so the searches of
    // all names together try no more numbers than there are claims.
    uint64_t &n = next.emplace(folded, 2).first->second;
    while (taken(folded + Suffix(n))) ++n;
    return Suffix(n++);
}

std::string FileNameClaims::ClaimPlain(const std::string &wanted) {
    const std::string folded = FoldFileNameCase(wanted);
    const std::string suffix =
        IsTakenFolded(folded) ? FirstFree(folded, next_plain_, [this](const std::string &f) { return IsTakenFolded(f); })
                              : std::string();
    plain_.insert(folded + suffix);
    return wanted + suffix;
}

std::string FileNameClaims::ClaimSeries(const std::string &wanted) {
    auto taken = [this](const std::string &f) { return series_.count(f) != 0; };
    const std::string folded = FoldFileNameCase(wanted);
    const std::string suffix = taken(folded) ? FirstFree(folded, next_series_, taken) : std::string();
    series_.emplace(folded + suffix, 0);
    return wanted + suffix;
}

std::string FileNameClaims::ClaimPart(const std::string &series, int32_t part) {
    const std::string name = series + "_" + std::to_string(part);
    const std::string folded = FoldFileNameCase(name);
    // The parts of a series are claimed in order from 1, so the highest
    // number stands for them all: memory does not grow with parts.
    int32_t &highest = series_[FoldFileNameCase(series)];
    const bool taken = plain_.count(folded) != 0 || part <= highest;
    highest = std::max(highest, part);
    if (!taken) return name;
    return ClaimPlain(name);
}
