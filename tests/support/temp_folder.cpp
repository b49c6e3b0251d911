#include "tests/support/temp_folder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/platform.h"

namespace testsupport {

namespace {

void ListInto(const std::string &folder, const std::string &prefix,
              std::vector<std::string> &out, int depth) {
    if (depth > 32) return;
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::listDirectory(folder, "*", entries)) return;
    for (const auto &e : entries) {
        // A link is listed as an entry of its own, never followed.
        if (platform::pathKind(JoinPath(folder, e.name)) == platform::PathKind::Directory) {
            out.push_back(prefix + e.name + "/");
            ListInto(JoinPath(folder, e.name), prefix + e.name + "/", out, depth + 1);
        } else {
            out.push_back(prefix + e.name);
        }
    }
}

} // namespace

std::string JoinPath(const std::string &folder, const std::string &name) {
    if (!folder.empty() && platform::isPathSeparator(folder.back())) return folder + name;
    return folder + platform::kPathSeparator + name;
}

TempFolder::TempFolder(const std::string &tag) {
    static int counter = 0;
    const std::string base = platform::tempPath();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = base + "vrn_" + tag + "_" + std::to_string(platform::processId()) +
                                "_" + std::to_string(++counter);
        if (platform::createDirectory(candidate)) {
            path_ = candidate;
            return;
        }
    }
}

TempFolder::~TempFolder() {
    if (!path_.empty()) RemoveTree(path_);
}

std::string TempFolder::operator/(const std::string &name) const { return JoinPath(path_, name); }

std::string ReadFileText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileText(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    return static_cast<bool>(out);
}

std::vector<std::string> ListTree(const std::string &folder) {
    std::vector<std::string> out;
    ListInto(folder, "", out, 0);
    std::sort(out.begin(), out.end());
    return out;
}

void RemoveTree(const std::string &folder) {
    std::vector<platform::DirectoryEntry> entries;
    if (platform::listDirectory(folder, "*", entries)) {
        for (const auto &e : entries) {
            const std::string path = JoinPath(folder, e.name);
            // A link goes as a link; what it leads to is never emptied.
            if (platform::pathKind(path) == platform::PathKind::Directory)
                RemoveTree(path);
            else if (!platform::deleteFile(path))
                platform::removeDirectory(path);
        }
    }
    platform::removeDirectory(folder);
}

std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

size_t Occurrences(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

} // namespace testsupport
