// The leveled log: entries, stamps, assertion details, hex dumps, switching
// log files, the machine banner and the LogLevel setting.
//
// Every entry is one line "%6s %s | %s %s\n" (level word, stamp, text,
// details), written under the lock. Error and assertion entries are flushed
// at once; entries below the error level at most a second after they were
// written, and whenever the caller flushes (each pass, the end of a call),
// so a busy info log costs no system call per line. Cheap checks
// (threshold, enabled) come first so that entries below the threshold cost
// next to nothing: the parsers write many debug entries.

#include "Common/logger/logger.h"

#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>

namespace {

// Longest text an entry accepts; longer (or unterminated) texts are skipped.
constexpr size_t kMaxEntryText = 1000000;
// Composed forms ("%s [%s]", "%s [%ld]") and printf-style forms.
constexpr size_t kComposedSize = 4096;
constexpr size_t kFormatSize = 16384;
// Text of the last system error kept in the details of an assertion entry.
constexpr size_t kSystemMessageMax = 1023;
// Folder texts of the machine banner.
constexpr size_t kBannerFolderMax = 4095;

// printf-style composition into a fixed buffer; longer results are cut,
// which is what the composed forms want.
void FormatInto(char *buffer, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void FormatInto(char *buffer, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(buffer, size, format, args) < 0 && size > 0) buffer[0] = '\0';
    va_end(args);
}

const char *const kLevelWords[] = {"ALL", "DEBUG", "INFO", "ERROR", "ASSERT"};

const char *LevelWord(int level) {
    return kLevelWords[level];
}

bool IsWritableLevel(int level) {
    return level >= LOG_ALL && level <= LOG_ASSERT;
}

// True when `text` is non-null and ends within kMaxEntryText characters.
bool IsAcceptableText(const char *text) {
    return text != nullptr && strnlen(text, kMaxEntryText + 1) <= kMaxEntryText;
}

// Puts the caller's last-error code back when an entry has been written, so
// that logging between a failing call and its error check changes nothing.
class LastErrorKeeper {
public:
    explicit LastErrorKeeper(uint32_t code) : code_(code) {}
    ~LastErrorKeeper() { platform::setLastErrorCode(code_); }
    LastErrorKeeper(const LastErrorKeeper &) = delete;
    LastErrorKeeper &operator=(const LastErrorKeeper &) = delete;

private:
    uint32_t code_;
};

// "{0x%08x| text}" for an assertion entry: the system's message for `code`
// up to its first line break.
std::string ErrorDetails(uint32_t code) {
    char details[kSystemMessageMax + 64];
    std::string message;
    if (platform::errorMessage(code, message)) {
        if (message.size() > kSystemMessageMax) message.resize(kSystemMessageMax);
        const size_t lineBreak = message.find_first_of("\r\n");
        if (lineBreak != std::string::npos) message.resize(lineBreak);
        std::snprintf(details, sizeof details, "{0x%08x| %s}", static_cast<unsigned>(code),
                      message.c_str());
    } else {
        std::snprintf(details, sizeof details, "{0x%08x| <FormatMessage fail>}",
                      static_cast<unsigned>(code));
    }
    return details;
}

// Control characters (0x00 to 0x1F and 0x7F) become '_' in an entry's
// text, as they do in every name written to a file.
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool HasControlCharacter(const char *text) {
    for (; *text != '\0'; ++text)
        if (IsControl(static_cast<unsigned char>(*text))) return true;
    return false;
}

void MapControlCharacters(std::string &text) {
    for (char &c : text)
        if (IsControl(static_cast<unsigned char>(c))) c = '_';
}

bool EqualsIgnoringCase(const char *a, const char *b) {
    for (;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

// One line of a byte dump: 127 columns, hex pairs at 3i, characters at 50+i.
void FormatByteLine(const unsigned char *bytes, size_t n, char (&line)[128]) {
    static const char kHex[] = "0123456789ABCDEF";
    std::memset(line, ' ', 127);
    line[127] = '\0';
    for (size_t i = 0; i < n && i < 16; ++i) {
        const unsigned char b = bytes[i];
        line[3 * i] = kHex[b >> 4];
        line[3 * i + 1] = kHex[b & 0x0F];
        // Bytes below 20 (decimal) and above 127 show as dots.
        line[50 + i] = (b < 20 || b >= 128) ? '.' : static_cast<char>(b);
    }
}

// Every Logger alive, for FlushAll.
std::vector<Logger *> &LiveLoggers() {
    static std::vector<Logger *> loggers;
    return loggers;
}
std::mutex &LiveLoggersLock() {
    static std::mutex lock;
    return lock;
}

// Names of the product line's logs, by product number. This library is
// product 7; other numbers get a name made from the number.
std::string ProductLogName(int product) {
    if (product == kLoggerProduct) return "log_kest";
    return "log_p" + std::to_string(product);
}

} // namespace

// ---------------------------------------------------------------- life cycle

Logger::Logger(int product, int level, LoggerStart start)
    : lastStamp_(platform::nowSeconds()), product_(product), threshold_(level) {
    {
        std::lock_guard<std::mutex> guard(LiveLoggersLock());
        LiveLoggers().push_back(this);
    }
    if (start == LoggerStart::kNow) Start();
}

void Logger::Start() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (started_) return;
    started_ = true;
    // Entries written before the start-up log is open are dropped: there is
    // no file yet and the logger is disabled.
    try {
        ReadLogLevel();
    } catch (...) {
        // The threshold stays at the constructor's value.
    }
    try {
        InitTempSpace(product_);
        if (const char *name = NewTempFileName()) {
            if (std::FILE *f = platform::openForAppending(name)) {
                startup_.reset(f);
                current_ = f;
            }
        }
        EnableLog();
        WriteMachineInfo();
        startupFlag_ = 1;
    } catch (...) {
        // No temporary folder: the logger stays disabled until a log file is
        // set; a recovery must not fail because of its log.
        current_ = nullptr;
        startup_.reset();
        enabled_ = 0;
        startupFlag_ = 0;
    }
}

Logger::~Logger() {
    {
        std::lock_guard<std::mutex> guard(LiveLoggersLock());
        auto &loggers = LiveLoggers();
        loggers.erase(std::remove(loggers.begin(), loggers.end(), this), loggers.end());
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // Every stream is closed before the clean-up, so that the files can be
    // deleted; the clean-up's own entries are dropped.
    current_ = nullptr;
    enabled_ = 0;
    switched_.reset();
    startup_.reset();
    try {
        DeleteTempFiles();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- state

bool Logger::hasLogFile() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return current_ != nullptr;
}

bool Logger::initialised() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return initialised_;
}

int Logger::nextFileNumber() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return nextFileNumber_;
}

int Logger::registeredCount() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return static_cast<int>(names_.size());
}

int Logger::tableCapacity() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return tableCapacity_;
}

int64_t Logger::lastStampTime() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return lastStamp_;
}

void Logger::setLastStampTime(int64_t seconds) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    lastStamp_ = seconds;
}

// ---------------------------------------------------------------- entries

std::string Logger::Stamp() {
    const int64_t now = platform::nowSeconds();
    // A clock set back is stamped at once rather than silenced until it
    // catches up.
    if (now >= lastStamp_ && now - lastStamp_ <= 1) return std::string();
    lastStamp_ = now;
    const platform::DateTime t = platform::localTime();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return stamp;
}

void Logger::WriteEntry(int level, const char *text) {
    if (!ShouldLog(level)) return;
    WriteEntryWithError(level, text, platform::lastErrorCode());
}

namespace {
thread_local HeldLogEntries *t_capture = nullptr;
} // namespace

ScopedHeldEntries::ScopedHeldEntries(HeldLogEntries &capture) : previous_(t_capture) { t_capture = &capture; }
ScopedHeldEntries::~ScopedHeldEntries() { t_capture = previous_; }

void HeldLogEntries::WriteTo(Logger &log) {
    for (const Entry &e : entries_) log.WriteEntryWithError(e.level, e.text.c_str(), e.error);
    entries_.clear();
}

void Logger::WriteEntryWithError(int level, const char *text, uint32_t errorCode) {
    if (!IsWritableLevel(level) || !ShouldLog(level)) return;
    if (t_capture != nullptr) {
        if (IsAcceptableText(text)) t_capture->entries_.push_back({level, errorCode, text});
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (current_ == nullptr || !ShouldLog(level) || !IsAcceptableText(text)) return;
    LastErrorKeeper keeper(errorCode);

    std::string details;
    if (errorCode != 0 && level == LOG_ASSERT) details = ErrorDetails(errorCode);
    const std::string stamp = Stamp();
    // One entry, one line: a name of the dump with a line break in it must
    // not write log lines of its own.
    std::string printable;
    if (HasControlCharacter(text)) {
        printable = text;
        MapControlCharacters(printable);
        text = printable.c_str();
    }
    std::fprintf(current_, "%6s %s | %s %s\n", LevelWord(level), stamp.c_str(), text,
                 details.c_str());
    FlushWhenDue(level);
}

void Logger::FlushWhenDue(int level) {
    // Errors reach the file at once; the rest at most a second late.
    const int64_t now = platform::nowSeconds();
    if (level >= LOG_ERROR || now < lastFlush_ || now - lastFlush_ >= 1) {
        std::fflush(current_);
        lastFlush_ = now;
    }
}

void Logger::Flush() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (current_ != nullptr) std::fflush(current_);
    lastFlush_ = platform::nowSeconds();
}

void Logger::FlushAll() {
    std::lock_guard<std::mutex> guard(LiveLoggersLock());
    for (Logger *logger : LiveLoggers()) logger->Flush();
}

void Logger::WriteComposed(int level, const char *label, const char *text) {
    if (!ShouldLog(level)) return;
    const uint32_t errorCode = platform::lastErrorCode();
    char buffer[kComposedSize];
    // Precisions keep the reads bounded even for unterminated texts.
    FormatInto(buffer, sizeof buffer, "%.4095s [%.4095s]", label ? label : "null",
                  text ? text : "null");
    WriteEntryWithError(level, buffer, errorCode);
}

void Logger::WriteNumber(int level, const char *label, long n) {
    if (!ShouldLog(level)) return;
    const uint32_t errorCode = platform::lastErrorCode();
    char buffer[kComposedSize];
    FormatInto(buffer, sizeof buffer, "%.4095s [%ld]", label ? label : "null", n);
    WriteEntryWithError(level, buffer, errorCode);
}

void Logger::Debug(const char *text) { WriteEntry(LOG_DEBUG, text); }
void Logger::DebugText(const char *label, const char *text) { WriteComposed(LOG_DEBUG, label, text); }
void Logger::Info(const char *text) { WriteEntry(LOG_INFO, text); }
void Logger::InfoText(const char *label, const char *text) { WriteComposed(LOG_INFO, label, text); }
void Logger::InfoNumber(const char *label, long n) { WriteNumber(LOG_INFO, label, n); }
void Logger::Error(const char *text) { WriteEntry(LOG_ERROR, text); }
void Logger::ErrorText(const char *label, const char *text) { WriteComposed(LOG_ERROR, label, text); }
void Logger::ErrorNumber(const char *label, long n) { WriteNumber(LOG_ERROR, label, n); }

void Logger::InfoFormat(const char *format, ...) {
    if (!ShouldLog(LOG_INFO) || format == nullptr) return;
    va_list args;
    va_start(args, format);
    WriteFormatted(LOG_INFO, format, args);
    va_end(args);
}

void Logger::ErrorFormat(const char *format, ...) {
    if (!ShouldLog(LOG_ERROR) || format == nullptr) return;
    va_list args;
    va_start(args, format);
    WriteFormatted(LOG_ERROR, format, args);
    va_end(args);
}

void Logger::WriteFormatted(int level, const char *format, va_list args) {
    const uint32_t errorCode = platform::lastErrorCode();
    char buffer[kFormatSize];
    if (std::vsnprintf(buffer, sizeof buffer, format, args) < 0) buffer[0] = '\0';
    WriteEntryWithError(level, buffer, errorCode);
}

int Logger::AssertEntry(int condition, const char *text, long line) {
    if (condition != 0) return condition;
    WriteNumber(LOG_ASSERT, text, line);
    return condition;
}

void Logger::AssertFailed(const char *expression, const char *source, long line) {
    if (!ShouldLog(LOG_ASSERT)) return;
    // Taken first: composing the text must not disturb the code reported.
    const uint32_t errorCode = platform::lastErrorCode();
    char assertion[kComposedSize];
    FormatInto(assertion, sizeof assertion, "A.F. Exp [%.2000s] File [%.1000s] Line ",
                  expression ? expression : "null", source ? source : "null");
    char buffer[kComposedSize];
    FormatInto(buffer, sizeof buffer, "%s [%ld]", assertion, line);
    WriteEntryWithError(LOG_ASSERT, buffer, errorCode);
}

// ---------------------------------------------------------------- hex dumps

void Logger::ErrorBinary(const void *pointer, size_t count, int elementSize, bool absolute) {
    WriteBinary(LOG_ERROR, pointer, count, elementSize, absolute);
}

void Logger::WriteBinary(int level, const void *pointer, size_t count, int elementSize,
                         bool absolute) {
    if (elementSize != 1 && elementSize != 4) return;
    if (!IsWritableLevel(level) || !ShouldLog(level)) return;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (current_ == nullptr || !ShouldLog(level)) return;
    LastErrorKeeper keeper(platform::lastErrorCode());

    const std::string stamp = Stamp();
    const char *word = LevelWord(level);
    std::fprintf(current_, "%6s %s | %s\n", word, stamp.c_str(), "binary data starts...");

    const size_t size = static_cast<size_t>(elementSize);
    if (pointer == nullptr || count > SIZE_MAX / size) {
        std::fprintf(current_, "The binary data here seems to be an invalid memory block\n");
        std::fprintf(current_, "There is no way to show it, the pointer was 0x%08llX\n",
                     static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
    } else {
        const unsigned char *bytes = static_cast<const unsigned char *>(pointer);
        const unsigned long long base =
            absolute ? static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)) : 0;
        if (elementSize == 1) {
            char line[128];
            for (size_t offset = 0; offset < count; offset += 16) {
                const size_t n = std::min<size_t>(16, count - offset);
                FormatByteLine(bytes + offset, n, line);
                std::fprintf(current_, "  %08llX %s\n", base + offset, line);
            }
        } else {
            for (size_t i = 0; i < count; ++i) {
                if (i % 4 == 0) std::fprintf(current_, "\n  %08llX:\t", base + 4 * i);
                const unsigned char *e = bytes + 4 * i;
                const unsigned value = static_cast<unsigned>(e[0]) | (static_cast<unsigned>(e[1]) << 8) |
                                       (static_cast<unsigned>(e[2]) << 16) |
                                       (static_cast<unsigned>(e[3]) << 24);
                std::fprintf(current_, "%08X  ", value);
            }
            if (count > 0) std::fprintf(current_, "\n");
        }
    }
    std::fprintf(current_, "%6s %s | %s\n", word, stamp.c_str(), "binary data ends.\n");
    FlushWhenDue(level);
}

// ---------------------------------------------------------------- log files

void Logger::EnableLog() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (current_ != nullptr) enabled_ = 1;
}

void Logger::DisableLog() { enabled_ = 0; }

void Logger::SetLogFile(const char *path) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // The start-up log stays open until it has been carried over; a file
    // switched to earlier is closed here.
    current_ = nullptr;
    switched_.reset();
    if (path != nullptr && *path != '\0' && strnlen(path, kMaxEntryText + 1) <= kMaxEntryText) {
        // Never through a link planted at the log's name.
        if (std::FILE *f = platform::openForAppending(path)) {
            switched_.reset(f);
            current_ = f;
        }
    }
    if (current_ == nullptr) return; // nothing is logged until a switch succeeds

    if (startupFlag_ != 0 && startup_) {
        CarryOverStartupLog();
        return;
    }
    // A later switch, or a first one with no start-up log to carry over
    // (which would otherwise leave the new file silent): start the file with
    // the banner.
    startupFlag_ = 0;
    EnableLog();
    WriteMachineInfo();
}

void Logger::CarryOverStartupLog() {
    std::FILE *from = startup_.get();
    std::fflush(from);
    const long length = std::ftell(from);
    if (length > 0 && std::fseek(from, 0, SEEK_SET) == 0) {
        char buffer[8192];
        long remaining = length;
        while (remaining > 0) {
            const size_t want = static_cast<size_t>(std::min<long>(remaining, sizeof buffer));
            const size_t got = std::fread(buffer, 1, want, from);
            if (got == 0) break;
            std::fwrite(buffer, 1, got, current_);
            remaining -= static_cast<long>(got);
        }
        std::fflush(current_);
    }
    startup_.reset();
    startupFlag_ = 0;
}

// ---------------------------------------------------------------- banner

void Logger::WriteMachineInfo() {
    // The banner's lines stay together when other threads log too.
    std::lock_guard<std::recursive_mutex> guard(lock_);
    static const char kRule[] = "====================================================";
    Info(" ");
    Info(kRule);
    Info("============== LOGGER MACHINE INFO =================");
    Info(kRule);
    InfoText("__DATE__", __DATE__);
    InfoText("__TIME__", __TIME__);

    const platform::DateTime t = platform::localTime();
    char today[64];
    std::snprintf(today, sizeof today, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year,
                  t.hour, t.minute, t.second);
    InfoText("Today is", today);

    struct Folder {
        const char *label;
        std::string (*query)();
    };
    const Folder folders[] = {
        {"GetCurrentDirectory", &platform::currentDirectory},
        {"GetSystemDirectory", &platform::systemDirectory},
        {"GetWindowsDirectory", &platform::windowsDirectory},
        {"GetTempPath", &platform::tempPath},
    };
    for (const Folder &folder : folders) {
        const std::string value = folder.query();
        if (!value.empty() && value.size() <= kBannerFolderMax) InfoText(folder.label, value.c_str());
    }

    std::string temp;
    if (platform::getEnvironment("TALVANETMP", temp)) InfoText("%%TALVANETMP%%", temp.c_str());
    const std::string computer = platform::computerName();
    if (!computer.empty()) InfoText("GetComputerName", computer.c_str());
    Info(kRule);
}

// ---------------------------------------------------------------- LogLevel setting

std::string Logger::ProductTag(int product) {
    const std::string name = ProductLogName(product);
    return name.size() > 4 ? name.substr(4, 9) : std::string();
}

int Logger::ThresholdFromSetting(const char *word, int current) {
    if (word == nullptr) return current;
    static const struct {
        const char *word;
        int level;
    } kWords[] = {{"assert", LOG_ASSERT}, {"error", LOG_ERROR}, {"info", LOG_INFO},
                  {"debug", LOG_DEBUG},   {"all", LOG_ALL}};
    for (const auto &entry : kWords) {
        if (EqualsIgnoringCase(word, entry.word)) return entry.level;
    }
    return current;
}

void Logger::ReadLogLevel() {
    using InitializeFn = int (*)(int);
    using ReadProfileStringFn = int (*)(const char *, const char *, const char *, char *, int, int);

    platform::DynamicLibrary library =
        platform::DynamicLibrary::load(platform::sharedLibraryFileName("tlvcmn"));
    if (!library.isLoaded()) return;
    const auto initialize = reinterpret_cast<InitializeFn>(library.symbol("Initialize"));
    const auto readProfileString =
        reinterpret_cast<ReadProfileStringFn>(library.symbol("ReadProfileString"));
    if (initialize != nullptr && readProfileString != nullptr && product_ >= 0) {
        initialize(256 + product_);
        char value[256] = {0};
        readProfileString("", "LogLevel", "", value, static_cast<int>(sizeof value), 0);
        value[sizeof value - 1] = '\0';
        setThreshold(ThresholdFromSetting(value, threshold()));
    }
    // The library unloads when `library` goes out of scope.
}
