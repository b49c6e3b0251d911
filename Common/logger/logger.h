// The leveled log of the library, and the temporary space that holds its
// start-up logs.
//
// One Logger exists per loaded library (TheLogger()); tests may construct
// their own. A line is "%6s %s | %s %s\n": level word, time stamp (empty
// within a second of the last stamp), text, details.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum LogLevelValue { LOG_ALL = 0, LOG_DEBUG = 1, LOG_INFO = 2, LOG_ERROR = 3, LOG_ASSERT = 4 };

// Product number of this library's logger, and its initial threshold.
constexpr int kLoggerProduct = 7;
constexpr int kLoggerInitialLevel = LOG_INFO;

// When a logger does the work of starting (see Logger::Start).
enum class LoggerStart { kNow, kOnFirstCall };

class Logger;

// Entries written on one thread while a ScopedHeldEntries holds this
// capture there: kept here instead of being written, for the owner to
// write out later, in the order of the work that made them (decoders that
// run ahead of the writer of their output).
class HeldLogEntries {
public:
    // Writes the entries kept to `log`, in the order they came, and forgets
    // them.
    void WriteTo(Logger &log);
    void Clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }

private:
    friend class Logger;
    struct Entry {
        int level;
        uint32_t error;
        std::string text;
    };
    std::vector<Entry> entries_;
};

// Entries of this thread go to `capture` while this lives.
class ScopedHeldEntries {
public:
    explicit ScopedHeldEntries(HeldLogEntries &capture);
    ~ScopedHeldEntries();
    ScopedHeldEntries(const ScopedHeldEntries &) = delete;
    ScopedHeldEntries &operator=(const ScopedHeldEntries &) = delete;

private:
    HeldLogEntries *previous_;
};

class Logger {
public:
    // With LoggerStart::kNow, Start() at once; with kOnFirstCall (the
    // library's own logger, built while the library loads) nothing that
    // loads a library or creates a file happens until Start().
    Logger(int product, int level, LoggerStart start = LoggerStart::kNow);
    // Reads the LogLevel setting (through the companion library), prepares
    // the temporary space and opens the start-up log; once, later calls do
    // nothing. Never throws: when no temporary folder can be had the logger
    // stays disabled (initialised() is false).
    void Start();
    ~Logger();
    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;

    // ---- core
    bool ShouldLog(int level) const {
        return level >= threshold_.load(std::memory_order_relaxed) &&
               enabled_.load(std::memory_order_relaxed) != 0;
    }
    void WriteEntry(int level, const char *text);
    // Hex dump of `count` elements of `elementSize` (1 or 4) bytes.
    void WriteBinary(int level, const void *pointer, size_t count, int elementSize, bool absolute);
    // Switches the current log file; the first switch carries over the
    // start-up log, later ones write the machine banner. A null or empty
    // path, or one that cannot be opened, leaves the logger without a file.
    void SetLogFile(const char *path);
    // Writes out what the current log file holds in its buffer. Entries
    // below the error level are otherwise flushed at most a second late.
    void Flush();
    // Flush() of every logger alive (for readers of a log file, e.g. tests).
    static void FlushAll();
    void EnableLog();
    void DisableLog();
    void WriteMachineInfo();
    void ReadLogLevel();

    // ---- convenience forms
    void Debug(const char *text);
    void DebugText(const char *label, const char *text);
    void Info(const char *text);
    void InfoText(const char *label, const char *text);
    void InfoNumber(const char *label, long n);
    void InfoFormat(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void Error(const char *text);
    void ErrorText(const char *label, const char *text);
    void ErrorNumber(const char *label, long n);
    void ErrorFormat(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // When `condition` is zero writes "%s [%ld]" of `text` and `line` at
    // level assert. Returns `condition`.
    int AssertEntry(int condition, const char *text, long line);
    // The assertion entry "A.F. Exp [expression] File [source] Line " with
    // `line`, as every catch-all handler writes it.
    void AssertFailed(const char *expression, const char *source, long line);
    void ErrorBinary(const void *pointer, size_t count, int elementSize, bool absolute);

    // ---- temporary space
    void InitTempSpace(int product); // throws std::runtime_error on failure
    // A new registered temporary file name, or null when the table cannot
    // grow or there is no temporary space. The text lives as long as the
    // logger.
    const char *NewTempFileName();
    void EmptyFolder(const char *path);
    void DeleteTempFiles();

    // ---- state, for the entry code and tests
    int threshold() const { return threshold_.load(std::memory_order_relaxed); }
    void setThreshold(int level) { threshold_.store(level, std::memory_order_relaxed); }
    bool enabled() const { return enabled_.load(std::memory_order_relaxed) != 0; }
    bool hasLogFile() const;
    bool initialised() const;
    // Set when the temporary space is prepared (at the start).
    const std::string &productTempPath() const { return productTempPath_; }
    int nextFileNumber() const;
    int registeredCount() const;
    int tableCapacity() const;
    // Calendar time (seconds) of the last stamp written; entries within a
    // second of it carry no stamp.
    int64_t lastStampTime() const;
    void setLastStampTime(int64_t seconds);
    // Product tag: the product's log base name without "log_" ("kest").
    static std::string ProductTag(int product);
    // The threshold a LogLevel setting word selects ("assert", "error",
    // "info", "debug", "all", in any letter case); `current` when the word
    // names no level.
    static int ThresholdFromSetting(const char *word, int current);

private:
    friend class HeldLogEntries;
    struct FileCloser {
        void operator()(std::FILE *f) const {
            if (f) std::fclose(f);
        }
    };
    using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

    // The time stamp of an entry written now, or "" within a second of the
    // last one.
    std::string Stamp();
    // WriteEntry with the last-error code the caller saw.
    void WriteEntryWithError(int level, const char *text, uint32_t errorCode);
    void WriteComposed(int level, const char *label, const char *text);
    void WriteNumber(int level, const char *label, long n);
    void WriteFormatted(int level, const char *format, va_list args);
    void CarryOverStartupLog();
    // Flushes the current file after an entry of `level`: at once for errors
    // and assertions, else when the last flush is a second old.
    void FlushWhenDue(int level);
    void EmptyFolderAt(const char *path, int depth);
    // Removes a folder with its contents; a link is removed, not followed.
    bool RemoveFolder(const std::string &path, int depth);

    // Every member below is read and changed under lock_ (threshold_ and
    // enabled_ are read without it too, as the cheap first check of an
    // entry), so entries, file switches and temporary names may come from
    // any thread; each entry reaches the file whole.
    mutable std::recursive_mutex lock_;
    int64_t lastStamp_ = 0;
    int64_t lastFlush_ = 0; // calendar time (seconds) of the last flush
    int product_ = 0;
    bool started_ = false;
    std::FILE *current_ = nullptr; // startup_ or switched_, or none
    std::atomic<int> threshold_{LOG_INFO};
    std::atomic<int> enabled_{0};
    FilePtr startup_;
    int startupFlag_ = 0;
    FilePtr switched_; // the file of the last successful SetLogFile
    bool initialised_ = false;

    // temporary space
    int nextFileNumber_ = 1;
    std::vector<std::unique_ptr<std::string>> names_; // stable text for callers
    int tableCapacity_ = 0;
    std::string productTempPath_;
    bool freshProductFolder_ = false; // made for this process, removed at the clean-up
};

// The library-global logger (constructed first when the library loads).
Logger &TheLogger();
