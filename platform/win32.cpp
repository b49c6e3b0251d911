// The Windows backend of the platform layer, on the ANSI ("...A") calls of
// the Win32 API.
#include "platform/platform.h"
#include "platform/profile_file.h"
#include "platform/wildcard.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <climits>

namespace platform {

namespace {

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

constexpr intptr_t kClosed = -1; // INVALID_HANDLE_VALUE
constexpr DWORD kLargestTransfer = 1u << 30;

// 100-nanosecond ticks between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochDifferenceTicks = 116444736000000000ull;

uint64_t ticksOf(const FILETIME &ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

DateTime toDateTime(const SYSTEMTIME &st) {
    DateTime d;
    d.year = st.wYear;
    d.month = st.wMonth;
    d.day = st.wDay;
    d.hour = st.wHour;
    d.minute = st.wMinute;
    d.second = st.wSecond;
    d.millisecond = st.wMilliseconds;
    return d;
}

// Runs a Win32 call that fills a character buffer and returns the length it
// wrote, or the size it needs when the buffer is too small.
template <typename Call> std::string fetchText(Call call) {
    std::vector<char> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size())
            return std::string(buffer.data(), n);
        buffer.resize(static_cast<size_t>(n) + 1);
    }
    return std::string();
}

// The profile calls look for a bare file name in the Windows folder; the
// rest of the platform layer reads relative paths from the current folder,
// so the profile calls get the full path.
std::string fullPath(const std::string &path) {
    std::string full = fetchText([&path](char *buffer, DWORD size) {
        return GetFullPathNameA(path.c_str(), size, buffer, nullptr);
    });
    return full.empty() ? path : full;
}

// One piece of the process token's information (TokenUser, TokenOwner).
bool tokenInformation(TOKEN_INFORMATION_CLASS kind, std::vector<BYTE> &buffer) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    bool ok = false;
    if (size > 0) {
        buffer.assign(size, 0);
        ok = GetTokenInformation(token, kind, buffer.data(), size, &size) != 0;
    }
    CloseHandle(token);
    return ok;
}

// The current user, and the owner the system gives what the user creates
// (the administrators' group for an elevated administrator).
PSID currentUserSid(std::vector<BYTE> &buffer) {
    if (!tokenInformation(TokenUser, buffer))
        return nullptr;
    return reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid;
}

PSID defaultOwnerSid(std::vector<BYTE> &buffer) {
    if (!tokenInformation(TokenOwner, buffer))
        return nullptr;
    return reinterpret_cast<TOKEN_OWNER *>(buffer.data())->Owner;
}

} // namespace

// ---------------------------------------------------------------- files

File::~File() { close(); }

File::File(File &&other) noexcept : handle_(other.handle_) { other.handle_ = kClosed; }

File &File::operator=(File &&other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = kClosed;
    }
    return *this;
}

File File::openForReading(const std::string &path) {
    File file;
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return file;
    file.handle_ = reinterpret_cast<intptr_t>(h);
    // A pipe, a console or a device is no file to read a dump from.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        file.close();
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return file;
}

File File::createAlways(const std::string &path) {
    File file;
    // The reparse point itself when the name is one, never what it leads to;
    // emptied only once it is known to be a file of this name alone.
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return file;
    file.handle_ = reinterpret_cast<intptr_t>(h);
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks > 1) {
        file.close();
        SetLastError(ERROR_INVALID_PARAMETER);
        return file;
    }
    if (!SetEndOfFile(h))
        file.close();
    return file;
}

File File::standardOutput() {
    File file;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE copy = nullptr;
    if (out != nullptr && out != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), out, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        file.handle_ = reinterpret_cast<intptr_t>(copy);
    return file;
}

std::FILE *openForAppending(const std::string &path) {
    // The same checks as createAlways, without emptying the file; the
    // sharing is fopen's.
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks > 1) {
        CloseHandle(h);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE *stream = _fdopen(fd, "a+b");
    if (stream == nullptr)
        _close(fd); // closes the handle too
    return stream;
}

bool File::isOpen() const { return handle_ != kClosed; }

void File::close() {
    if (handle_ != kClosed) {
        const DWORD saved = GetLastError(); // closing must not disturb the caller's error
        CloseHandle(handleOf(handle_));
        SetLastError(saved);
        handle_ = kClosed;
    }
}

size_t File::readAt(uint64_t offset, void *buffer, size_t count) {
    if (handle_ == kClosed || buffer == nullptr)
        return 0;
    // A positioned read: the offset travels with each call, so several
    // threads may read one handle at once. On a synchronous handle it also
    // moves the file position, which nothing relies on: a File is either
    // read by position (a dump, a template) or written sequentially (an
    // output), never both.
    char *out = static_cast<char *>(buffer);
    size_t done = 0;
    while (done < count) {
        const uint64_t at = offset + done;
        const size_t left = count - done;
        const DWORD want = left > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(left);
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!ReadFile(handleOf(handle_), out + done, want, &got, &where) || got == 0)
            break;
        done += got;
    }
    return done;
}

uint64_t File::size() {
    LARGE_INTEGER size;
    if (handle_ == kClosed || !GetFileSizeEx(handleOf(handle_), &size) || size.QuadPart < 0)
        return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

size_t File::write(const void *data, size_t count) {
    if (handle_ == kClosed || data == nullptr)
        return 0;
    const char *in = static_cast<const char *>(data);
    size_t done = 0;
    while (done < count) {
        const size_t left = count - done;
        const DWORD want = left > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!WriteFile(handleOf(handle_), in + done, want, &put, nullptr) || put == 0)
            break;
        done += put;
    }
    return done;
}

bool File::seek(uint64_t offset) {
    if (handle_ == kClosed || offset > static_cast<uint64_t>(INT64_MAX))
        return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handleOf(handle_), to, nullptr, FILE_BEGIN) != 0;
}

bool File::truncateHere() {
    return handle_ != kClosed && SetEndOfFile(handleOf(handle_)) != 0;
}

// ---------------------------------------------------------------- folders

bool createDirectory(const std::string &path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool removeDirectory(const std::string &path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool deleteFile(const std::string &path) { return DeleteFileA(path.c_str()) != 0; }

bool exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

PathKind pathKind(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return PathKind::Link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PathKind::Directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return PathKind::Other;
    return PathKind::File;
}

bool isPrivateDirectory(const std::string &path) {
    if (pathKind(path) != PathKind::Directory)
        return false;
    // The folder itself, never what a reparse point would lead to.
    const HANDLE h = CreateFileA(path.c_str(), READ_CONTROL,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD rc = GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                     nullptr, nullptr, nullptr, &descriptor);
    CloseHandle(h);
    if (rc != ERROR_SUCCESS)
        return false;
    bool mine = owner == nullptr; // a file system without owners
    if (!mine) {
        std::vector<BYTE> userBuffer, ownerBuffer;
        const PSID user = currentUserSid(userBuffer);
        const PSID defaultOwner = defaultOwnerSid(ownerBuffer);
        mine = (user != nullptr && EqualSid(owner, user)) ||
               (defaultOwner != nullptr && EqualSid(owner, defaultOwner));
    }
    if (descriptor != nullptr)
        LocalFree(descriptor);
    return mine;
}

bool createPrivateDirectory(const std::string &path) {
    if (path.empty())
        return false;
    // A protected access list that lets the current user alone in. When it
    // cannot be built, the folder inherits the access of its parent.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::vector<BYTE> userBuffer;
    const PSID user = currentUserSid(userBuffer);
    LPSTR sidText = nullptr;
    if (user != nullptr && ConvertSidToStringSidA(user, &sidText)) {
        const std::string sddl = std::string("D:P(A;OICI;FA;;;") + sidText + ")";
        LocalFree(sidText);
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                  &descriptor, nullptr))
            descriptor = nullptr;
    }
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    const BOOL made = CreateDirectoryA(path.c_str(), descriptor != nullptr ? &attributes : nullptr);
    if (descriptor != nullptr)
        LocalFree(descriptor);
    return made != 0;
}

bool listDirectory(const std::string &folder, const std::string &pattern,
                   std::vector<DirectoryEntry> &entries) {
    // Every entry is listed and matched here rather than by the system, whose
    // matching also tries the short 8.3 names ("*.dat" would find "a.data").
    std::string search = folder.empty() ? std::string(".") : folder;
    if (!isPathSeparator(search.back()))
        search += '\\';
    search += '*';
    WIN32_FIND_DATAA found;
    const HANDLE h = FindFirstFileA(search.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == ".." || !detail::matchesWildcard(name, pattern, true))
            continue;
        DirectoryEntry entry;
        entry.name = name;
        entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return true;
}

// ---------------------------------------------------------------- profile files

namespace detail {

FileStamp fileStamp(const std::string &path) {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return stamp;
    stamp.exists = true;
    stamp.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.modifiedNs =
        static_cast<int64_t>(ticksOf(data.ftLastWriteTime) - kEpochDifferenceTicks) * 100;
    stamp.identity = ticksOf(data.ftCreationTime);
    return stamp;
}

} // namespace detail

bool writeProfileString(const std::string &path, const std::string &section,
                        const std::string &key, const std::string &value) {
    if (path.empty() || !detail::profileArgumentsValid(section, key, value))
        return false;
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      fullPath(path).c_str()) != 0;
}

int readProfileInt(const std::string &path, const std::string &section, const std::string &key,
                   int defaultValue) {
    if (path.empty())
        return defaultValue;
    return static_cast<int>(
        GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, fullPath(path).c_str()));
}

std::string readProfileString(const std::string &path, const std::string &section,
                              const std::string &key, const std::string &defaultValue) {
    if (path.empty()) {
        // An empty file name would make the system read its own win.ini.
        const size_t last = defaultValue.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : defaultValue.substr(0, last + 1);
    }
    const std::string full = fullPath(path);
    std::vector<char> buffer(1024);
    for (;;) {
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(),
                                                 defaultValue.c_str(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), full.c_str());
        // A full buffer (size - 1 characters) may mean a cut value.
        if (n + 1 < buffer.size() || buffer.size() >= (1u << 20))
            return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 4);
    }
}

// ---------------------------------------------------------------- libraries

DynamicLibrary DynamicLibrary::load(const std::string &pathOrName) {
    DynamicLibrary library;
    if (!pathOrName.empty())
        library.handle_ = reinterpret_cast<void *>(LoadLibraryA(pathOrName.c_str()));
    return library;
}

void *DynamicLibrary::symbol(const char *name) const {
    if (handle_ == nullptr || name == nullptr)
        return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynamicLibrary::unload() {
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

std::string modulePath(const std::string &moduleFileName) {
    // An unknown module gives a null handle, and a null handle names the
    // executable.
    const HMODULE module =
        moduleFileName.empty() ? nullptr : GetModuleHandleA(moduleFileName.c_str());
    std::vector<char> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 6; ++attempt) {
        const DWORD n = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size())
            return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2); // cut to fit: try a larger buffer
    }
    return std::string();
}

// ---------------------------------------------------------------- time

DateTime localTime() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return toDateTime(st);
}

DateTime utcTime() {
    SYSTEMTIME st;
    GetSystemTime(&st);
    return toDateTime(st);
}

int64_t nowSeconds() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return static_cast<int64_t>((ticksOf(ft) - kEpochDifferenceTicks) / 10000000u);
}

// ---------------------------------------------------------------- process and system

unsigned long processId() { return GetCurrentProcessId(); }

void ignoreFileSizeSignal() {}

void ignoreBrokenPipeSignal() {}

bool limitFileSize(uint64_t) { return false; }

bool getEnvironment(const std::string &name, std::string &value) {
    if (name.empty())
        return false;
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        const DWORD n =
            GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            // Zero is also the length of a variable set to an empty value.
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
                return false;
            value.clear();
            return true;
        }
        if (n < buffer.size()) {
            value.assign(buffer.data(), n);
            return true;
        }
        buffer.resize(static_cast<size_t>(n) + 1);
    }
    return false;
}

bool setEnvironment(const std::string &name, const std::string &value) {
    return !name.empty() && SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

bool unsetEnvironment(const std::string &name) {
    return !name.empty() && SetEnvironmentVariableA(name.c_str(), nullptr) != 0;
}

std::string tempPath() {
    return fetchText([](char *buffer, DWORD size) { return GetTempPathA(size, buffer); });
}

std::string currentDirectory() {
    return fetchText([](char *buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); });
}

std::string systemDirectory() {
    return fetchText([](char *buffer, DWORD size) {
        return static_cast<DWORD>(GetSystemDirectoryA(buffer, size));
    });
}

std::string windowsDirectory() {
    return fetchText([](char *buffer, DWORD size) {
        return static_cast<DWORD>(GetWindowsDirectoryA(buffer, size));
    });
}

std::string computerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size))
        return std::string();
    return std::string(name, size);
}

// ---------------------------------------------------------------- errors

uint32_t lastErrorCode() { return GetLastError(); }

void setLastErrorCode(uint32_t code) { SetLastError(code); }

bool errorMessage(uint32_t code, std::string &text) {
    char *message = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                   reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (n == 0 || message == nullptr)
        return false;
    std::string result(message, n);
    LocalFree(message);
    const size_t last = result.find_last_not_of(" \t\r\n");
    if (last == std::string::npos)
        return false;
    text = result.substr(0, last + 1);
    return true;
}

// ---------------------------------------------------------------- text

bool isTextUnicode(const void *buffer, size_t size) {
    if (buffer == nullptr || size == 0)
        return false;
    INT tests = IS_TEXT_UNICODE_STATISTICS;
    const int n = size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    return IsTextUnicode(buffer, n, &tests) != 0;
}

uint32_t ansiCodePage() { return static_cast<uint32_t>(GetACP()); }

std::string utf16ToAnsi(const uint16_t *units, size_t count) {
    if (units == nullptr)
        return std::string();
    size_t length = 0;
    while (length < count && units[length] != 0)
        ++length;
    if (length == 0)
        return std::string();
    if (length > static_cast<size_t>(INT_MAX / 4))
        length = INT_MAX / 4;
    const LPCWCH wide = reinterpret_cast<LPCWCH>(units);
    const int n = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, n, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, n, &out[0], needed, nullptr, nullptr);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

} // namespace platform
