// The logger's temporary space: a product folder inside the temporary
// folder, unique temporary file names in group folders of a hundred, and the
// clean-up of every name handed out.
//
// Layout, for temporary folder T and product tag "kest":
//   T/tmp_kest/                                 the product folder
//   T/tmp_kest/tmp_<n / 100>/                    the group folder of name n
//   T/tmp_kest/tmp_<n/100>/tmp_<pid>_<n>_<UTC year>_<month>_<day>_<hour>_<minute><second>_<ms>.dat
// The process id keeps the names of concurrent processes apart; the product
// and group folders are shared between them.
//
// The temporary folder may be shared with other users, so what lies there is
// not trusted: the product folder is used only when it is a real folder of
// this user that no one else may write into. Anything else at that name (a
// link planted by someone, a file, a folder of another user) is left alone
// and a fresh private folder T/tmp_kest_<pid>[_<n>] is made instead, removed
// again when the names are cleaned up. Inside the product folder no link is
// ever followed: links are removed as links, never emptied or written
// through.

#include "Common/logger/logger.h"

#include "platform/platform.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// Longest temporary folder, product folder and folder given to EmptyFolder.
constexpr size_t kMaxTempPath = 5220;
// Longest temporary file name.
constexpr size_t kMaxTempName = 5219;
// The name table starts with this many slots and grows by as many.
constexpr int kTableStep = 1024;
// Group folders hold a hundred numbers each.
constexpr int kNamesPerGroup = 100;
// Deepest folder nesting EmptyFolder follows; deeper trees are left alone.
constexpr int kMaxFolderDepth = 128;
// Attempts at a fresh private product folder before giving up.
constexpr int kMaxFreshFolders = 100;

const char kSeparator[] = {platform::kPathSeparator, '\0'};

bool EndsWithSeparator(const std::string &path) {
    return !path.empty() && (path.back() == '/' || platform::isPathSeparator(path.back()));
}

// The leading decimal number of `text` as the runtime reads it (0 when it
// does not start with a digit), kept far below the end of int.
int LeadingNumber(const std::string &text) {
    constexpr long long kLargest = 1000000000;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::max(-kLargest, std::min(value, kLargest)));
}

// File name without folder and extension.
std::string BaseName(const std::string &name) {
    const size_t slash = platform::lastSeparator(name);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    return base;
}

// The path without the extension of its last component.
std::string WithoutExtension(const std::string &path) {
    const size_t slash = platform::lastSeparator(path);
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

// The path without separators at its end (a link named "x/" is followed).
std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && EndsWithSeparator(path)) path.pop_back();
    return path;
}

// Removes one entry without following it: a folder only when it is empty, a
// link (to a folder or not) as a link.
bool RemoveEntry(const std::string &path) {
    switch (platform::pathKind(path)) {
    case platform::PathKind::Missing:
        return false;
    case platform::PathKind::Directory:
        return platform::removeDirectory(path);
    default:
        // A link to a folder is a folder entry on Windows and a file here.
        return platform::deleteFile(path) || platform::removeDirectory(path);
    }
}

// A new private folder beside `shared`, or "" when none could be made.
std::string MakeFreshFolder(const std::string &shared) {
    const std::string base = shared + "_" + std::to_string(platform::processId());
    for (int n = 1; n <= kMaxFreshFolders; ++n) {
        const std::string candidate = n == 1 ? base : base + "_" + std::to_string(n);
        if (platform::createPrivateDirectory(candidate)) return candidate;
    }
    return std::string();
}

} // namespace

void Logger::InitTempSpace(int product) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::string temp;
    if (!platform::getEnvironment("TALVANETMP", temp) || temp.empty() ||
        temp.size() > kMaxTempPath) {
        temp = platform::tempPath();
        if (temp.empty()) {
            Error("LOGGER: cannot initialize temp path!");
            throw std::runtime_error("no temporary folder");
        }
    }
    InfoText("The system returns a temp path:", temp.c_str());
    if (EndsWithSeparator(temp)) temp.pop_back();

    if (!platform::isDirectory(temp)) {
        // The system's folder, as the system gives it (with its separator).
        temp = platform::tempPath();
        if (temp.empty()) {
            Error("LOGGER: cannot initialize temp path!");
            throw std::runtime_error("no temporary folder");
        }
    } else {
        InfoText("Temp path openen successfully:", temp.c_str());
    }
    InfoText("Temp path found successfully:", temp.c_str());

    const std::string folder = temp + kSeparator + "tmp_" + ProductTag(product);
    InfoNumber("The product is", product);
    InfoText("Product temp path will be:", folder.c_str());
    if (folder.size() > kMaxTempPath) {
        Error("LOGGER: cannot initialize temp path!");
        throw std::runtime_error("temporary folder path too long");
    }

    int firstNumber = 1;
    std::string chosen = folder;
    bool fresh = false;
    if (platform::pathKind(folder) == platform::PathKind::Missing &&
        platform::createPrivateDirectory(folder)) {
        // made by this process: nothing old in it
    } else if (!platform::isPrivateDirectory(folder)) {
        ErrorText("Temp folder is not a private folder of this user:", folder.c_str());
        chosen = MakeFreshFolder(folder);
        if (chosen.empty()) {
            Error("Unable to create the folder, but it does not exists!!!");
            throw std::runtime_error("cannot create the product temporary folder");
        }
        fresh = true;
        InfoText("Product temp path will be:", chosen.c_str());
    } else {
        // Files of earlier processes lying directly in the product folder are
        // removed; numbering continues after the largest number found.
        Error("This folder already exists!!!");
        std::vector<platform::DirectoryEntry> entries;
        platform::listDirectory(folder, "tmp_*.dat", entries);
        int largest = 0;
        for (const platform::DirectoryEntry &entry : entries) {
            const std::string path = folder + kSeparator + entry.name;
            const std::string base = BaseName(entry.name);
            const int number = LeadingNumber(base);
            InfoText("Found old file:", path.c_str());
            InfoText("Name:", base.c_str());
            InfoNumber("File number:", number);
            if (number > largest) largest = number;
            RemoveEntry(path);
        }
        InfoNumber("Maximal file number found:", largest);
        firstNumber = largest + 1;
        // Names already handed out by this logger are never numbered again.
        firstNumber = std::max(firstNumber, nextFileNumber_);
        InfoNumber("Temp file indexes will start from:", firstNumber);
    }

    productTempPath_ = chosen;
    freshProductFolder_ = fresh;
    nextFileNumber_ = std::max(firstNumber, nextFileNumber_);
    // A second preparation keeps the names already handed out, so that they
    // are still deleted at the end.
    if (names_.empty()) {
        tableCapacity_ = kTableStep;
        names_.reserve(static_cast<size_t>(tableCapacity_));
    }
    initialised_ = true;
}

const char *Logger::NewTempFileName() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!initialised_) return nullptr;

    if (registeredCount() >= tableCapacity_) {
        Info("Size of storage expired, doing realloc");
        InfoNumber("Previous size was", tableCapacity_);
        const bool canGrow = tableCapacity_ <= INT_MAX - kTableStep;
        InfoNumber("New size will be", canGrow ? tableCapacity_ + kTableStep : tableCapacity_);
        try {
            if (!canGrow) throw std::bad_alloc();
            names_.reserve(static_cast<size_t>(tableCapacity_) + kTableStep);
        } catch (const std::exception &) {
            Info("Realloc failed!");
            return nullptr;
        }
        Info("Realloc OK");
        Info("Temp space ready");
        tableCapacity_ += kTableStep;
    }
    if (nextFileNumber_ == INT_MAX) return nullptr;

    const int n = nextFileNumber_;
    const platform::DateTime t = platform::utcTime();
    const std::string group =
        productTempPath_ + kSeparator + "tmp_" + std::to_string(n / kNamesPerGroup);
    char file[256];
    std::snprintf(file, sizeof file, "tmp_%lu_%d_%d_%d_%d_%d_%d%d_%d.dat",
                  static_cast<unsigned long>(platform::processId()), n, t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    const std::string name = group + kSeparator + file;
    if (name.size() > kMaxTempName) {
        ErrorText("Temp file name too long:", name.c_str());
        return nullptr;
    }

    // A group folder is made afresh when its first numbers are handed out;
    // one that has gone missing since, or that is not a real folder, is made
    // again. Names are never handed out inside a link.
    if (n % kNamesPerGroup == 0 || n % kNamesPerGroup == 1 ||
        platform::pathKind(group) != platform::PathKind::Directory) {
        RemoveEntry(group);
        platform::createPrivateDirectory(group);
    }
    if (platform::pathKind(group) != platform::PathKind::Directory) {
        ErrorText("Cannot create temp folder:", group.c_str());
        return nullptr;
    }

    names_.push_back(std::make_unique<std::string>(name));
    ++nextFileNumber_;

    const platform::PathKind kind = platform::pathKind(name);
    if (kind == platform::PathKind::Directory) {
        RemoveFolder(name, 0);
    } else if (kind != platform::PathKind::Missing && !RemoveEntry(name)) {
        ErrorText("Failed to delete temp file:", name.c_str());
    }
    return names_.back()->c_str();
}

void Logger::EmptyFolder(const char *path) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    EmptyFolderAt(path, 0);
}

void Logger::EmptyFolderAt(const char *path, int depth) {
    InfoText("Emptying folder", path);
    if (path == nullptr || strnlen(path, kMaxTempPath + 1) > kMaxTempPath) {
        Error("EmptyFolder: invalid ptr");
        return;
    }
    if (depth > kMaxFolderDepth) {
        ErrorText("EmptyFolder: folders nested too deep:", path);
        return;
    }
    // What a link leads to is never emptied.
    if (platform::pathKind(WithoutTrailingSeparators(path)) == platform::PathKind::Link) {
        ErrorText("EmptyFolder: a link, not a folder:", path);
        return;
    }
    std::string folder(path);
    if (!EndsWithSeparator(folder)) folder += kSeparator;

    std::vector<platform::DirectoryEntry> entries;
    if (!platform::listDirectory(folder, "*.*", entries)) return;
    for (const platform::DirectoryEntry &entry : entries) {
        if (entry.name.empty() || entry.name == "." || entry.name == "..") continue;
        const std::string full = folder + entry.name;
        const platform::PathKind kind = platform::pathKind(full);
        if (kind == platform::PathKind::Directory || kind == platform::PathKind::Link) {
            if (!RemoveFolder(full, depth + 1))
                ErrorFormat("EmptyFolder: r.d. 0x%08x", static_cast<unsigned>(platform::lastErrorCode()));
        } else if (!platform::deleteFile(full)) {
            ErrorFormat("EmptyFolder: d.f. 0x%08x", static_cast<unsigned>(platform::lastErrorCode()));
        }
    }
}

bool Logger::RemoveFolder(const std::string &path, int depth) {
    // A link to a folder elsewhere looks like a folder here; what it points
    // to must never be emptied. An empty folder, or a link (removed as a
    // folder on Windows, as a file elsewhere), goes at the first attempt;
    // only a real folder with contents is emptied first.
    if (platform::removeDirectory(path) || platform::deleteFile(path)) return true;
    if (platform::pathKind(path) != platform::PathKind::Directory) return false;
    EmptyFolderAt(path.c_str(), depth);
    return platform::removeDirectory(path);
}

void Logger::DeleteTempFiles() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const std::unique_ptr<std::string> &slot : names_) {
        const std::string &name = *slot;
        const platform::PathKind kind = platform::pathKind(name);
        if (kind == platform::PathKind::Missing) {
            ErrorText("Cannot delete temp file:", name.c_str());
        } else if (kind == platform::PathKind::Directory) {
            RemoveFolder(name, 0);
        } else if (RemoveEntry(name)) {
            Info("Temp file deleted");
        } else {
            ErrorText("Failed to delete temp file:", name.c_str());
        }
        // A folder named like the file without its extension goes too, when
        // it is empty.
        platform::removeDirectory(WithoutExtension(name));
    }
    // A private folder made for this process alone goes with its names.
    if (freshProductFolder_ && RemoveFolder(productTempPath_, 0)) freshProductFolder_ = false;
}
