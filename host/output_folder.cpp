#include "host/output_folder.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"

namespace {

// Reads "DD-MM-YYYY HH.MM" into a number that grows with the time, or -1.
long long TimeKey(const std::string &stamp) {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0;
    char tail = 0;
    if (std::sscanf(stamp.c_str(), "%2d-%2d-%d %2d.%2d%c", &day, &month, &year, &hour, &minute,
                    &tail) != 5)
        return -1;
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0 || hour > 23 || minute > 59)
        return -1;
    return ((((static_cast<long long>(year) * 13 + month) * 32 + day) * 24 + hour) * 60) + minute;
}

} // namespace

std::string FileNameOf(const std::string &path) {
    const size_t sep = platform::lastSeparator(path);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string FindNewestOutputFolder(const std::string &target, const std::string &dump_file_name) {
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::listDirectory(target, "*", entries)) return "";
    const std::string prefix = "Recovered " + dump_file_name + " ";
    std::string newest;
    long long newest_key = -1;
    for (const platform::DirectoryEntry &entry : entries) {
        if (!entry.isDirectory || entry.name.compare(0, prefix.size(), prefix) != 0) continue;
        const long long key = TimeKey(entry.name.substr(prefix.size()));
        if (key > newest_key) {
            newest_key = key;
            newest = entry.name;
        }
    }
    if (newest.empty()) return "";
    std::string folder = target;
    if (!folder.empty() && !platform::isPathSeparator(folder.back()))
        folder += platform::kPathSeparator;
    return folder + newest;
}
