// The POSIX backend of the platform layer (Linux).
//
// Where a Windows notion has no POSIX counterpart the choice is noted at the
// function. Profile files are handled by the portable store of
// profile_file.cpp.
#include "platform/platform.h"
#include "platform/profile_file.h"
#include "platform/utf16_text.h"
#include "platform/wildcard.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

// ---------------------------------------------------------------- files

namespace {

int fdOf(intptr_t handle) { return static_cast<int>(handle); }

} // namespace

File::~File() { close(); }

File::File(File &&other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File &File::operator=(File &&other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

File File::openForReading(const std::string &path) {
    File file;
    // Without blocking: opening a FIFO would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return file;
    file.handle_ = fd;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        file.close();
        errno = folder ? EISDIR : EINVAL;
        return file;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

File File::createAlways(const std::string &path) {
    File file;
    // Never through a link in the last component, never waiting on a FIFO;
    // emptied only once it is known to be a file of this name alone.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return file;
    file.handle_ = fd;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) {
        file.close();
        errno = EINVAL;
        return file;
    }
    if (::ftruncate(fd, 0) != 0) {
        file.close();
        return file;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

File File::standardOutput() {
    File file;
    const int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd >= 0)
        file.handle_ = fd;
    return file;
}

std::FILE *openForAppending(const std::string &path) {
    // The same checks as createAlways, without emptying the file.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE *stream = ::fdopen(fd, "a+b");
    if (stream == nullptr)
        ::close(fd);
    return stream;
}

bool File::isOpen() const { return handle_ >= 0; }

void File::close() {
    if (handle_ >= 0) {
        const int saved = errno; // closing must not disturb the caller's error
        ::close(fdOf(handle_));
        errno = saved;
        handle_ = -1;
    }
}

size_t File::readAt(uint64_t offset, void *buffer, size_t count) {
    if (handle_ < 0 || buffer == nullptr || offset > static_cast<uint64_t>(INT64_MAX))
        return 0;
    char *out = static_cast<char *>(buffer);
    size_t done = 0;
    while (done < count) {
        const uint64_t at = offset + done;
        if (at > static_cast<uint64_t>(INT64_MAX))
            break;
        const ssize_t n = ::pread(fdOf(handle_), out + done, count - done, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

uint64_t File::size() {
    struct stat st;
    if (handle_ < 0 || ::fstat(fdOf(handle_), &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

size_t File::write(const void *data, size_t count) {
    if (handle_ < 0 || data == nullptr)
        return 0;
    const char *in = static_cast<const char *>(data);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fdOf(handle_), in + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool File::seek(uint64_t offset) {
    if (handle_ < 0 || offset > static_cast<uint64_t>(INT64_MAX))
        return false;
    return ::lseek(fdOf(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::truncateHere() {
    if (handle_ < 0)
        return false;
    const off_t here = ::lseek(fdOf(handle_), 0, SEEK_CUR);
    return here >= 0 && ::ftruncate(fdOf(handle_), here) == 0;
}

// ---------------------------------------------------------------- folders

bool createDirectory(const std::string &path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool removeDirectory(const std::string &path) { return ::rmdir(path.c_str()) == 0; }

bool deleteFile(const std::string &path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool exists(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

PathKind pathKind(const std::string &path) {
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return PathKind::Missing;
    if (S_ISLNK(st.st_mode))
        return PathKind::Link;
    if (S_ISDIR(st.st_mode))
        return PathKind::Directory;
    if (S_ISREG(st.st_mode))
        return PathKind::File;
    return PathKind::Other;
}

bool isPrivateDirectory(const std::string &path) {
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool createPrivateDirectory(const std::string &path) {
    // mkdir never follows a link in the last component: it fails with EEXIST.
    return !path.empty() && ::mkdir(path.c_str(), 0700) == 0;
}

bool listDirectory(const std::string &folder, const std::string &pattern,
                   std::vector<DirectoryEntry> &entries) {
    const std::string dir = folder.empty() ? std::string(".") : folder;
    DIR *d = ::opendir(dir.c_str());
    if (d == nullptr)
        return false;
    std::string prefix = dir;
    if (!isPathSeparator(prefix.back()))
        prefix += kPathSeparator;
    while (const struct dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || !detail::matchesWildcard(name, pattern, false))
            continue;
        DirectoryEntry entry;
        entry.name = name;
        if (e->d_type == DT_DIR) {
            entry.isDirectory = true;
        } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            entry.isDirectory = isDirectory(prefix + name);
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(d);
    return true;
}

// ---------------------------------------------------------------- profile files

namespace detail {

FileStamp fileStamp(const std::string &path) {
    FileStamp stamp;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return stamp;
    stamp.exists = true;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.identity = static_cast<uint64_t>(st.st_ino) ^ (static_cast<uint64_t>(st.st_dev) << 32);
    return stamp;
}

} // namespace detail

bool writeProfileString(const std::string &path, const std::string &section,
                        const std::string &key, const std::string &value) {
    return detail::ProfileStore::write(path, section, key, value);
}

int readProfileInt(const std::string &path, const std::string &section, const std::string &key,
                   int defaultValue) {
    std::string value;
    if (!detail::ProfileStore::read(path, section, key, value) || value.empty())
        return defaultValue;
    return detail::profileValueToInt(value);
}

std::string readProfileString(const std::string &path, const std::string &section,
                              const std::string &key, const std::string &defaultValue) {
    std::string value;
    if (detail::ProfileStore::read(path, section, key, value))
        return value;
    // Like the Windows call, the default loses its trailing blanks.
    const size_t last = defaultValue.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : defaultValue.substr(0, last + 1);
}

// ---------------------------------------------------------------- libraries

DynamicLibrary DynamicLibrary::load(const std::string &pathOrName) {
    DynamicLibrary library;
    if (!pathOrName.empty())
        library.handle_ = ::dlopen(pathOrName.c_str(), RTLD_NOW | RTLD_LOCAL);
    return library;
}

void *DynamicLibrary::symbol(const char *name) const {
    if (handle_ == nullptr || name == nullptr)
        return nullptr;
    return ::dlsym(handle_, name);
}

void DynamicLibrary::unload() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

namespace {

struct ModuleSearch {
    const std::string *fileName;
    std::string found;
};

int visitModule(struct dl_phdr_info *info, size_t, void *data) {
    ModuleSearch &search = *static_cast<ModuleSearch *>(data);
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0')
        return 0;
    const std::string path = info->dlpi_name;
    const size_t sep = lastSeparator(path);
    const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    if (name != *search.fileName)
        return 0;
    search.found = path;
    return 1;
}

std::string executablePath() {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 6; ++attempt) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
    return std::string();
}

} // namespace

std::string modulePath(const std::string &moduleFileName) {
    if (!moduleFileName.empty()) {
        ModuleSearch search{&moduleFileName, std::string()};
        ::dl_iterate_phdr(visitModule, &search);
        if (!search.found.empty()) {
            // The name as the module was loaded, made absolute when needed.
            if (!isPathSeparator(search.found[0])) {
                const std::string cwd = currentDirectory();
                if (!cwd.empty())
                    return cwd + kPathSeparator + search.found;
            }
            return search.found;
        }
    }
    return executablePath();
}

// ---------------------------------------------------------------- time

namespace {

DateTime toDateTime(const struct tm &t, long nanoseconds) {
    DateTime d;
    d.year = t.tm_year + 1900;
    d.month = t.tm_mon + 1;
    d.day = t.tm_mday;
    d.hour = t.tm_hour;
    d.minute = t.tm_min;
    d.second = t.tm_sec > 59 ? 59 : t.tm_sec; // a leap second reads as :59
    d.millisecond = static_cast<int>(nanoseconds / 1000000);
    return d;
}

DateTime currentTime(bool local) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm t;
    std::memset(&t, 0, sizeof t);
    if (local)
        ::localtime_r(&now.tv_sec, &t);
    else
        ::gmtime_r(&now.tv_sec, &t);
    return toDateTime(t, now.tv_nsec);
}

} // namespace

DateTime localTime() { return currentTime(true); }

DateTime utcTime() { return currentTime(false); }

int64_t nowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

// ---------------------------------------------------------------- process and system

unsigned long processId() { return static_cast<unsigned long>(::getpid()); }

void ignoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

void ignoreBrokenPipeSignal() { ::signal(SIGPIPE, SIG_IGN); }

bool limitFileSize(uint64_t bytes) {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    if (limit.rlim_max != RLIM_INFINITY && bytes > static_cast<uint64_t>(limit.rlim_max))
        return false;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool getEnvironment(const std::string &name, std::string &value) {
    const char *v = std::getenv(name.c_str());
    if (v == nullptr)
        return false;
    value = v;
    return true;
}

bool setEnvironment(const std::string &name, const std::string &value) {
    return !name.empty() && ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool unsetEnvironment(const std::string &name) {
    return !name.empty() && ::unsetenv(name.c_str()) == 0;
}

// $TMPDIR when set, else "/tmp/", with a trailing separator like the
// Windows call.
std::string tempPath() {
    std::string path;
    if (!getEnvironment("TMPDIR", path) || path.empty())
        path = "/tmp/";
    if (!isPathSeparator(path.back()))
        path += kPathSeparator;
    return path;
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
            return buffer.data();
        if (errno != ERANGE)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
    return std::string();
}

// POSIX has no system or Windows folder; the nearest equivalents are the
// folder of the system's shared libraries and the root folder.
std::string systemDirectory() { return "/usr/lib"; }

std::string windowsDirectory() { return "/"; }

std::string computerName() {
    char name[256];
    if (::gethostname(name, sizeof name) != 0)
        return std::string();
    name[sizeof name - 1] = '\0';
    return name;
}

// ---------------------------------------------------------------- errors

uint32_t lastErrorCode() { return static_cast<uint32_t>(errno); }

void setLastErrorCode(uint32_t code) { errno = static_cast<int>(code); }

namespace {

// strerror_r comes in two shapes; these overloads take either result.
[[maybe_unused]] const char *messageOf(int result, const char *buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char *messageOf(const char *result, const char *) { return result; }

} // namespace

bool errorMessage(uint32_t code, std::string &text) {
    if (code > static_cast<uint32_t>(INT_MAX))
        return false;
    char buffer[1024];
    buffer[0] = '\0';
    const int saved = errno;
    const char *message = messageOf(::strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
    errno = saved;
    if (message == nullptr || message[0] == '\0' ||
        std::strncmp(message, "Unknown error", 13) == 0)
        return false;
    text = message;
    return true;
}

// ---------------------------------------------------------------- text

bool isTextUnicode(const void *buffer, size_t size) { return detail::looksLikeUtf16(buffer, size); }

uint32_t ansiCodePage() { return 1252; }

std::string utf16ToAnsi(const uint16_t *units, size_t count) { return detail::utf16ToUtf8(units, count); }

} // namespace platform
