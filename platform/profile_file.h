// Initialisation ("profile") files: "[section]" lines followed by
// "key=value" lines. Internal to the platform layer.
//
// IniDocument is the file's text held in memory; ProfileStore reads and
// writes files through it and keeps recently used documents parsed, so that
// writing thousands of keys one by one (as a table description does) costs
// one append per key instead of one rewrite of the whole file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {
namespace detail {

// False for names and values that would break the file's line structure:
// line breaks or zero bytes anywhere, "]" in a section name, "=" in a key,
// an empty key, or a key starting with "[" or ";".
bool profileArgumentsValid(const std::string &section, const std::string &key,
                           const std::string &value);

// The leading decimal integer of a profile value as the system reads it:
// optional blanks, optional sign, digits; 0 without digits; wraps at 32 bits.
int profileValueToInt(const std::string &value);

class IniDocument {
public:
    // Takes the file's text. Lines end in "\n" or "\r\n"; the first line end
    // found is used for added lines ("\r\n" when there is none).
    void parse(const std::string &text);
    std::string text() const;

    // The value of `key` in `section` (first occurrence of each), trimmed,
    // with one pair of surrounding quotes removed. Keys before the first
    // section header belong to the section "".
    bool find(const std::string &section, const std::string &key, std::string &value) const;

    enum class Change { Unchanged, Appended, Rewritten };
    // Adds or replaces a key, keeping every other line as it was. New keys go
    // after the section's last non-blank line; new sections at the end. When
    // the change only adds text at the end, `appended` receives that text.
    Change set(const std::string &section, const std::string &key, const std::string &value,
               std::string &appended);

private:
    struct Line {
        std::string body; // without its line end
        std::string eol;  // "\n", "\r\n" or "" for a last line without one
    };
    struct Section {
        size_t header = SIZE_MAX;       // line of "[name]"; SIZE_MAX for the keys before any
        size_t lastContent = SIZE_MAX;  // last non-blank line of the section
        std::unordered_map<std::string, size_t> keys; // folded key -> line
    };

    void reindex();
    void insertLine(size_t at, std::string body);

    std::vector<Line> lines_;
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionByName_; // folded name -> sections_ index
    std::string eol_ = "\r\n";
};

// Identity of a file on disk; two equal stamps mean an unchanged file.
struct FileStamp {
    bool exists = false;
    uint64_t size = 0;
    int64_t modifiedNs = 0; // last modification, nanoseconds of the epoch
    uint64_t identity = 0;  // inode or file index
};
// Provided by each backend.
FileStamp fileStamp(const std::string &path);

// Profile access through cached documents. Safe to call from several threads.
namespace ProfileStore {
bool write(const std::string &path, const std::string &section, const std::string &key,
           const std::string &value);
// False when the file, the section or the key is missing.
bool read(const std::string &path, const std::string &section, const std::string &key,
          std::string &value);
// Forgets every cached document.
void clear();
} // namespace ProfileStore

} // namespace detail
} // namespace platform
