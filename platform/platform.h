// The only interface between the library and the operating system.
//
// Two backends implement it: posix.cpp (Linux) and win32.cpp (Windows). No
// other file of the project includes an operating-system header. Texts are
// narrow strings in the system's ANSI code page (Windows) or UTF-8 (POSIX).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- paths

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// True for the platform's separator; on Windows both '\' and '/' count.
bool isPathSeparator(char c);

// Position of the last separator in `path`, or std::string::npos.
size_t lastSeparator(const std::string &path);

// Creates `folder` and any missing parents; true when it is a folder then.
bool createDirectoryWithParents(const std::string &folder);

// File name of a shared library as the platform names it:
// "tlvcmn" -> "tlvcmn.dll" on Windows, "libtlvcmn.so" on POSIX.
std::string sharedLibraryFileName(const std::string &baseName);

// ---------------------------------------------------------------- files

// Positioned read access to a dump. The parser reads dumps only through
// this interface, so tests and fuzzers can hand it a dump held in memory.
class RandomAccessFile {
public:
    virtual ~RandomAccessFile() = default;
    // Reads up to `count` bytes at `offset` into `buffer`. Returns the number
    // of bytes read: fewer than `count` at the end of the file, 0 past it or
    // on a read error. Safe from several threads at once on one object.
    virtual size_t readAt(uint64_t offset, void *buffer, size_t count) = 0;
    // Size in bytes.
    virtual uint64_t size() = 0;
};

// A dump held in memory.
class MemoryFile final : public RandomAccessFile {
public:
    MemoryFile() = default;
    explicit MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    size_t readAt(uint64_t offset, void *buffer, size_t count) override;
    uint64_t size() override { return bytes_.size(); }
    std::vector<uint8_t> &bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// An open file of the operating system. Move-only; closes itself.
class File final : public RandomAccessFile {
public:
    File() = default;
    ~File() override;
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Existing regular file (not a folder, pipe or device), read access;
    // others may go on reading and writing it. Never waits for a pipe's
    // writer. Closed on failure.
    static File openForReading(const std::string &path);
    // Creates the file or empties an existing one; write access, others may
    // write too. Never follows a link at `path` and never opens a pipe or a
    // device; an existing file that has other names too (hard links) is
    // left alone. Closed on failure.
    static File createAlways(const std::string &path);
    // The process's standard output, as a file of its own (a duplicate of
    // the handle: closing it leaves standard output open). Sequential
    // writing only: seek and truncateHere fail on a pipe. Closed on failure.
    static File standardOutput();

    bool isOpen() const;
    void close();

    // A positioned read. It may move the current position on Windows, so a
    // File is either read by position or written sequentially, not both.
    size_t readAt(uint64_t offset, void *buffer, size_t count) override;
    uint64_t size() override;

    // Sequential writing from the current position (0 after opening).
    // Returns the number of bytes written.
    size_t write(const void *data, size_t count);
    // Moves the current position; beyond the end is allowed (a later write
    // extends the file, sparsely where the file system can).
    bool seek(uint64_t offset);
    // Ends the file at the current position.
    bool truncateHere();

private:
    intptr_t handle_ = -1; // fd on POSIX, HANDLE on Windows; -1 when closed
};

// Opens the file for appending as a stdio stream (as fopen's "a+b": read
// anywhere, every write at the end), creating it when missing. Like
// createAlways, it never follows a link at `path`, never opens a pipe or a
// device, and leaves alone a file that has other names too (hard links).
// Null on failure; the caller closes the stream with fclose.
std::FILE *openForAppending(const std::string &path);

// ---------------------------------------------------------------- folders

// Creates one folder. False when it could not be made (also when it exists).
bool createDirectory(const std::string &path);
// Removes an empty folder.
bool removeDirectory(const std::string &path);
bool deleteFile(const std::string &path);
bool exists(const std::string &path);
bool isDirectory(const std::string &path);

// What a path names. A link (a symbolic link, or on Windows any reparse
// point such as a junction) is reported as a link and never followed.
enum class PathKind { Missing, File, Directory, Link, Other };
PathKind pathKind(const std::string &path);

// True for a real folder (not a link) owned by the current user into which
// no one else may write. Where the file system keeps no owner, a real
// folder is enough.
bool isPrivateDirectory(const std::string &path);
// Creates one folder that only the current user may enter. False when it
// could not be made (also when anything of that name exists, a link
// included).
bool createPrivateDirectory(const std::string &path);

struct DirectoryEntry {
    std::string name; // name inside the folder, without the folder
    bool isDirectory = false;
};

// Lists the entries of `folder` whose names match `pattern` ('*' any run,
// '?' one character; "*.*" and "*" match everything), "." and ".."
// excluded. False when the folder cannot be listed.
bool listDirectory(const std::string &folder, const std::string &pattern,
                   std::vector<DirectoryEntry> &entries);

// ---------------------------------------------------------------- profile files
// Windows initialisation files: "[section]" lines followed by "key=value"
// lines. Section and key names compare without regard to letter case.

// Writes (adds or replaces) one key; creates the file when missing.
bool writeProfileString(const std::string &path, const std::string &section,
                        const std::string &key, const std::string &value);
// The key's value read as a leading decimal integer, or `defaultValue` when
// the file, section or key is missing.
int readProfileInt(const std::string &path, const std::string &section, const std::string &key,
                   int defaultValue);
std::string readProfileString(const std::string &path, const std::string &section,
                              const std::string &key, const std::string &defaultValue);

// A new profile file written from start to end, a buffer at a time: the
// same bytes as writeProfileString calls for the same keys into an empty
// file would leave ("[section]" and "key=value" lines ending in "\r\n"),
// for files whose sections are new and whose keys are new in their section.
class ProfileFileWriter {
public:
    // Creates the file, or empties an existing one.
    explicit ProfileFileWriter(const std::string &path);
    bool isOpen() const { return file_.isOpen(); }
    // Starts a section; its header is written with its first key.
    void section(const std::string &name);
    // A key of the current section. A name or value writeProfileString
    // would refuse is left out and makes close() fail.
    void key(const std::string &name, const std::string &value);
    // Writes what waits and closes the file; false when anything was left
    // out or could not be written.
    bool close();

private:
    void flush();

    File file_;
    std::string buffer_;
    std::string section_;
    bool header_written_ = false;
    bool ok_ = true;
};

// ---------------------------------------------------------------- libraries

// A loaded shared library. Move-only; unloads itself unless released.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary &&other) noexcept;
    DynamicLibrary &operator=(DynamicLibrary &&other) noexcept;
    DynamicLibrary(const DynamicLibrary &) = delete;
    DynamicLibrary &operator=(const DynamicLibrary &) = delete;

    // Loads by path, or by bare name through the platform's normal search.
    static DynamicLibrary load(const std::string &pathOrName);

    bool isLoaded() const { return handle_ != nullptr; }
    // Address of an exported symbol, or null.
    void *symbol(const char *name) const;
    // Keeps the library loaded for the rest of the process.
    void release() { handle_ = nullptr; }
    void unload();

private:
    void *handle_ = nullptr;
};

// Full path of the loaded module whose file name is `moduleFileName`, or of
// the program's executable when no module of that name is loaded. Empty on
// failure.
std::string modulePath(const std::string &moduleFileName);

// ---------------------------------------------------------------- time

struct DateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
DateTime localTime();
DateTime utcTime();
// Calendar time in whole seconds.
int64_t nowSeconds();

// ---------------------------------------------------------------- process and system

unsigned long processId();
// A write past the process's file-size limit then fails with an error, as
// on a full disk, instead of ending the process (POSIX: SIGXFSZ ignored).
// Nothing to do where there is no such signal.
void ignoreFileSizeSignal();
// A write to a pipe whose reader has gone then fails with an error instead
// of ending the process (POSIX: SIGPIPE ignored). Nothing to do elsewhere.
void ignoreBrokenPipeSignal();
// Sets the largest file this process may write (POSIX: the soft
// RLIMIT_FSIZE). False where there is no such limit or it cannot be set.
bool limitFileSize(uint64_t bytes);
// False when the variable is not set.
bool getEnvironment(const std::string &name, std::string &value);
bool setEnvironment(const std::string &name, const std::string &value);
bool unsetEnvironment(const std::string &name);

// Each returns an empty string when the system cannot tell.
std::string tempPath(); // ends with a separator
std::string currentDirectory();
std::string systemDirectory();
std::string windowsDirectory();
std::string computerName();

// ---------------------------------------------------------------- errors

// The calling thread's last system error (GetLastError / errno).
uint32_t lastErrorCode();
void setLastErrorCode(uint32_t code);
// The system's message text for `code`; false when it has none.
bool errorMessage(uint32_t code, std::string &text);

// ---------------------------------------------------------------- text

// The system's statistical test for UTF-16 text over `size` bytes.
bool isTextUnicode(const void *buffer, size_t size);
// The code page narrow names are in: the ANSI code page of Windows (the
// one its "...A" calls read file names in); 1252 (Windows Western, the code
// page names from a dump are taken to be in) on POSIX, where file names are
// the bytes as they are.
uint32_t ansiCodePage();
// Converts `count` UTF-16 units to the ANSI code page (UTF-8 on POSIX);
// unmappable characters become the default character '?'. Stops at a zero unit.
std::string utf16ToAnsi(const uint16_t *units, size_t count);

} // namespace platform
