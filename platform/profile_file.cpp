// Initialisation files held in memory, and the cached store that reads and
// writes them.
#include "platform/profile_file.h"

#include "platform/platform.h"
#include "platform/profile_scan.h"

#include <chrono>
#include <cstdio>
#include <list>
#include <mutex>

namespace platform {
namespace detail {

namespace {

const char *const kBlanks = " \t";

std::string trim(const std::string &s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    const size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

std::string fold(std::string s) {
    for (char &c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// "[name]" (the closing bracket may be missing) -> name.
bool parseHeader(const std::string &trimmed, std::string &name) {
    if (trimmed.empty() || trimmed[0] != '[')
        return false;
    const size_t close = trimmed.find(']');
    name = trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

bool parseKey(const std::string &trimmed, std::string &key, std::string &value) {
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '[')
        return false;
    const size_t eq = trimmed.find('=');
    if (eq == std::string::npos)
        return false;
    key = trim(trimmed.substr(0, eq));
    value = trim(trimmed.substr(eq + 1));
    return !key.empty();
}

} // namespace

bool profileArgumentsValid(const std::string &section, const std::string &key,
                           const std::string &value) {
    const auto breaksLines = [](const std::string &s) {
        return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
    };
    if (breaksLines(section) || breaksLines(key) || breaksLines(value))
        return false;
    if (section.find(']') != std::string::npos)
        return false;
    const std::string k = trim(key);
    return !k.empty() && k[0] != '[' && k[0] != ';' && key.find('=') == std::string::npos;
}

int profileValueToInt(const std::string &value) {
    size_t i = value.find_first_not_of(kBlanks);
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (value[i] == '+' || value[i] == '-') {
        negative = value[i] == '-';
        ++i;
    }
    uint32_t result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        result = result * 10u + static_cast<uint32_t>(value[i] - '0');
    if (negative)
        result = 0u - result;
    return static_cast<int>(result);
}

// ---------------------------------------------------------------- IniDocument

void IniDocument::parse(const std::string &text) {
    lines_.clear();
    eol_.clear();
    size_t start = 0;
    while (start < text.size()) {
        const size_t nl = text.find('\n', start);
        Line line;
        if (nl == std::string::npos) {
            line.body = text.substr(start);
            start = text.size();
        } else {
            size_t end = nl;
            line.eol = "\n";
            if (end > start && text[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            }
            line.body = text.substr(start, end - start);
            start = nl + 1;
            if (eol_.empty())
                eol_ = line.eol;
        }
        lines_.push_back(std::move(line));
    }
    if (eol_.empty())
        eol_ = "\r\n";
    reindex();
}

std::string IniDocument::text() const {
    std::string out;
    for (const Line &line : lines_) {
        out += line.body;
        out += line.eol;
    }
    return out;
}

void IniDocument::reindex() {
    sections_.assign(1, Section()); // the keys before any header
    sectionByName_.clear();
    sectionByName_[""] = 0;
    size_t current = 0;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string trimmed = trim(lines_[i].body);
        if (trimmed.empty())
            continue;
        std::string name, key, value;
        if (parseHeader(trimmed, name)) {
            Section section;
            section.header = i;
            section.lastContent = i;
            sections_.push_back(std::move(section));
            current = sections_.size() - 1;
            // A repeated section is kept in the text but never found.
            sectionByName_.emplace(fold(name), current);
            continue;
        }
        Section &section = sections_[current];
        section.lastContent = i;
        if (parseKey(trimmed, key, value))
            section.keys.emplace(fold(key), i);
    }
}

bool IniDocument::find(const std::string &section, const std::string &key,
                       std::string &value) const {
    const auto s = sectionByName_.find(fold(trim(section)));
    if (s == sectionByName_.end())
        return false;
    const auto k = sections_[s->second].keys.find(fold(trim(key)));
    if (k == sections_[s->second].keys.end())
        return false;
    std::string name;
    parseKey(trim(lines_[k->second].body), name, value);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
        value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return true;
}

void IniDocument::insertLine(size_t at, std::string body) {
    Line line;
    line.body = std::move(body);
    line.eol = eol_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    reindex();
}

IniDocument::Change IniDocument::set(const std::string &section, const std::string &key,
                                     const std::string &value, std::string &appended) {
    appended.clear();
    const std::string sectionName = trim(section);
    const std::string keyName = trim(key);
    const std::string foldedKey = fold(keyName);
    const std::string body = keyName + "=" + value;

    const auto endLastLine = [this, &appended]() {
        if (!lines_.empty() && lines_.back().eol.empty()) {
            lines_.back().eol = eol_;
            appended += eol_;
        }
    };
    const auto appendLine = [this, &appended](std::string text) {
        appended += text;
        appended += eol_;
        Line line;
        line.body = std::move(text);
        line.eol = eol_;
        lines_.push_back(std::move(line));
        return lines_.size() - 1;
    };

    const auto s = sectionByName_.find(fold(sectionName));
    if (s == sectionByName_.end()) {
        endLastLine();
        Section added;
        added.header = appendLine("[" + sectionName + "]");
        added.lastContent = appendLine(body);
        added.keys.emplace(foldedKey, added.lastContent);
        sections_.push_back(std::move(added));
        sectionByName_.emplace(fold(sectionName), sections_.size() - 1);
        return Change::Appended;
    }

    Section &target = sections_[s->second];
    const auto k = target.keys.find(foldedKey);
    if (k != target.keys.end()) {
        Line &line = lines_[k->second];
        std::string existingKey, oldValue;
        parseKey(trim(line.body), existingKey, oldValue);
        const std::string replaced = existingKey + "=" + value;
        if (replaced == line.body)
            return Change::Unchanged;
        line.body = replaced;
        return Change::Rewritten;
    }

    const size_t at = target.lastContent == SIZE_MAX ? 0 : target.lastContent + 1;
    if (at == lines_.size()) {
        endLastLine();
        target.lastContent = appendLine(body);
        target.keys.emplace(foldedKey, target.lastContent);
        return Change::Appended;
    }
    insertLine(at, body);
    return Change::Rewritten;
}

// ---------------------------------------------------------------- ProfileStore

namespace {

// A document is trusted without rereading while its file keeps its stamp,
// unless the file had changed so shortly before it was read that a second
// change within the same tick of the file system's clock could have kept
// the stamp: such documents are compared with the file's bytes on every use
// until they settle. File systems keep modification times to a few
// milliseconds at worst (FAT's two seconds aside).
constexpr int64_t kSettledNs = 100'000'000;
constexpr uint64_t kLargestProfile = 256u << 20;

struct CachedDocument {
    std::string path;
    FileStamp stamp;
    IniDocument document;
    bool trusted = false;
};

bool sameStamp(const FileStamp &a, const FileStamp &b) {
    return a.exists == b.exists && a.size == b.size && a.modifiedNs == b.modifiedNs &&
           a.identity == b.identity;
}

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool settled(const FileStamp &stamp) { return nowNs() - stamp.modifiedNs > kSettledNs; }

bool readWholeFile(const std::string &path, uint64_t expectedSize, std::string &text) {
    if (expectedSize > kLargestProfile)
        return false;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    text.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
        if (text.size() > kLargestProfile) {
            std::fclose(f);
            return false;
        }
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

bool writeText(const std::string &path, const std::string &text, bool append) {
    std::FILE *f = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (f == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

class Store {
public:
    // The cached document of `path`, reloaded when the file changed; null
    // when the file exists but cannot be read. A missing file gives an
    // empty document.
    CachedDocument *open(const std::string &path) {
        const FileStamp stamp = fileStamp(path);
        auto it = cache_.begin();
        while (it != cache_.end() && it->path != path)
            ++it;
        if (it != cache_.end()) {
            cache_.splice(cache_.begin(), cache_, it); // most recently used first
            CachedDocument &cached = cache_.front();
            if (sameStamp(cached.stamp, stamp)) {
                if (cached.trusted || !stamp.exists)
                    return &cached;
                std::string text;
                if (readWholeFile(path, stamp.size, text) && text == cached.document.text()) {
                    cached.trusted = settled(stamp);
                    return &cached;
                }
            }
            cache_.pop_front();
        }
        CachedDocument loaded;
        loaded.path = path;
        loaded.stamp = stamp;
        if (stamp.exists) {
            std::string text;
            if (!readWholeFile(path, stamp.size, text))
                return nullptr;
            loaded.document.parse(text);
            // The file may have changed while it was read: do not trust it.
            loaded.trusted = settled(stamp) && sameStamp(stamp, fileStamp(path));
        } else {
            loaded.document.parse(std::string());
            loaded.trusted = true;
        }
        cache_.push_front(std::move(loaded));
        if (cache_.size() > kCapacity)
            cache_.pop_back();
        return &cache_.front();
    }

    void forget(const std::string &path) {
        cache_.remove_if([&path](const CachedDocument &c) { return c.path == path; });
    }

    void clear() { cache_.clear(); }

    std::mutex lock;

private:
    static constexpr size_t kCapacity = 4;
    std::list<CachedDocument> cache_;
};

Store &theStore() {
    static Store store;
    return store;
}

} // namespace

namespace ProfileStore {

bool write(const std::string &path, const std::string &section, const std::string &key,
           const std::string &value) {
    if (path.empty() || !profileArgumentsValid(section, key, value))
        return false;
    Store &store = theStore();
    std::lock_guard<std::mutex> guard(store.lock);
    CachedDocument *cached = store.open(path);
    if (cached == nullptr)
        return false;
    std::string appended;
    const IniDocument::Change change = cached->document.set(section, key, value, appended);
    if (change == IniDocument::Change::Unchanged && cached->stamp.exists)
        return true;
    const bool ok = change == IniDocument::Change::Appended && cached->stamp.exists
                        ? writeText(path, appended, true)
                        : writeText(path, cached->document.text(), false);
    if (!ok) {
        store.forget(path);
        return false;
    }
    // We know exactly what the file now holds.
    cached->stamp = fileStamp(path);
    cached->trusted = cached->stamp.exists;
    return true;
}

bool read(const std::string &path, const std::string &section, const std::string &key,
          std::string &value) {
    if (path.empty())
        return false;
    Store &store = theStore();
    std::lock_guard<std::mutex> guard(store.lock);
    CachedDocument *cached = store.open(path);
    return cached != nullptr && cached->stamp.exists &&
           cached->document.find(section, key, value);
}

void clear() {
    Store &store = theStore();
    std::lock_guard<std::mutex> guard(store.lock);
    store.clear();
}

} // namespace ProfileStore

} // namespace detail
// ---------------------------------------------------------------- scanProfileFile

namespace {
constexpr size_t kScanChunk = 64 * 1024;
// Longer lines are cut here: no key, section name or value of a profile
// file read by the scan needs more.
constexpr size_t kScanLineLimit = 4096;
} // namespace

int profileValueAsInt(const std::string &value) { return detail::profileValueToInt(value); }

ProfileScan scanProfileFile(RandomAccessFile &file, uint64_t maxBytes,
                            const std::function<void(const std::string &name)> &section,
                            const std::function<void(const std::string &key, const std::string &value)> &key) {
    std::vector<char> chunk(kScanChunk);
    std::string line;
    auto finish = [&]() {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string trimmed = detail::trim(line);
        line.clear();
        if (trimmed.empty()) return;
        std::string name, value;
        if (detail::parseHeader(trimmed, name)) {
            section(name);
        } else if (detail::parseKey(trimmed, name, value)) {
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
                value = value.substr(1, value.size() - 2);
            key(name, value);
        }
    };
    uint64_t offset = 0;
    for (;;) {
        const size_t n = file.readAt(offset, chunk.data(), chunk.size());
        if (n == 0) break;
        offset += n;
        if (offset > maxBytes) return ProfileScan::kTooLarge;
        for (size_t i = 0; i < n; ++i) {
            const char c = chunk[i];
            if (c == '\n') {
                finish();
            } else if (line.size() < kScanLineLimit) {
                line.push_back(c);
            }
        }
    }
    finish();
    return ProfileScan::kRead;
}

// ---------------------------------------------------------------- ProfileFileWriter

namespace {
constexpr size_t kProfileWriterBuffer = 64 * 1024;
}

ProfileFileWriter::ProfileFileWriter(const std::string &path) : file_(File::createAlways(path)) {
    if (!file_.isOpen()) ok_ = false;
}

void ProfileFileWriter::section(const std::string &name) {
    section_ = detail::trim(name);
    header_written_ = false;
}

void ProfileFileWriter::key(const std::string &name, const std::string &value) {
    if (!detail::profileArgumentsValid(section_, name, value)) {
        ok_ = false;
        return;
    }
    if (!header_written_) {
        buffer_ += "[" + section_ + "]\r\n";
        header_written_ = true;
    }
    buffer_ += detail::trim(name);
    buffer_ += '=';
    buffer_ += value;
    buffer_ += "\r\n";
    if (buffer_.size() >= kProfileWriterBuffer) flush();
}

void ProfileFileWriter::flush() {
    if (buffer_.empty()) return;
    if (!file_.isOpen() || file_.write(buffer_.data(), buffer_.size()) < buffer_.size()) ok_ = false;
    buffer_.clear();
}

bool ProfileFileWriter::close() {
    flush();
    file_.close();
    return ok_;
}

} // namespace platform
