// Scratch folders and file reading for tests that write output trees.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// A new, empty folder below the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
public:
    explicit TempFolder(const std::string &tag);
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }
    // `name` inside the folder.
    std::string operator/(const std::string &name) const;

private:
    std::string path_;
};

// Joins two path parts with the platform's separator.
std::string JoinPath(const std::string &folder, const std::string &name);
// Whole file as bytes in a string; empty when missing.
std::string ReadFileText(const std::string &path);
bool WriteFileText(const std::string &path, const std::string &text);
// Every file and folder below `folder`, as sorted relative paths with '/'
// between parts; folders end in '/'. Links are listed like files.
std::vector<std::string> ListTree(const std::string &folder);
// Removes `folder` and everything in it; links inside are removed, not followed.
void RemoveTree(const std::string &folder);
// Lines of a text split at "\n" (a final line feed gives no empty line).
std::vector<std::string> SplitLines(const std::string &text);
// How often `part` stands in `text` (overlapping places counted).
size_t Occurrences(const std::string &text, const std::string &part);

} // namespace testsupport
