// The library's exports and one recovery call from entry to return.
//
// FileRecover initialises the host interaction, sets up the log, logs the
// request, then RecoverDumpFile opens the dump, makes the dated output
// folder and runs the recovery driver on the open dump. No exception leaves
// an export: each runs inside a catch-all handler that turns a fault into a
// result code.
#include "vrndll/call/AssertionSites.h"
#include "vrndll.h"

#include <cstdio>

#include "Common/logger/logger.h"
#include "platform/platform.h"
#include "vrndll/catalogue/DescriptionTemplate.h"
#include "vrndll/LibraryStart.h"
#include "vrndll/call/RecoveryCall.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNRecover.h"

namespace {


// The cancel flag of the library's own, used when the host hands over none.
bool g_own_break_flag = false;

std::string TwoDigits(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

} // namespace

SourcePath SplitSourcePath(const std::string &source_path, const std::string &current_folder) {
    SourcePath parts;
    const size_t sep = platform::lastSeparator(source_path);
    if (sep != std::string::npos) {
        parts.folder = source_path.substr(0, sep + 1);
        parts.file_name = source_path.substr(sep + 1);
        return parts;
    }
    if (platform::kPathSeparator == '\\' && source_path.size() >= 2 && source_path[1] == ':') {
        parts.folder = source_path.substr(0, 2);
        parts.file_name = source_path.substr(2);
        return parts;
    }
    parts.folder = current_folder;
    if (!parts.folder.empty() && !platform::isPathSeparator(parts.folder.back()))
        parts.folder += platform::kPathSeparator;
    parts.file_name = source_path;
    return parts;
}

std::string ComposeOutputFolder(const std::string &target, const std::string &file_name,
                                const platform::DateTime &when) {
    std::string folder = target;
    // "out/" and "out" name the same folder; keep a root ("/", "C:\") whole.
    while (folder.size() > 1 && platform::isPathSeparator(folder.back()) &&
           folder[folder.size() - 2] != ':')
        folder.pop_back();
    if (folder.empty() || !platform::isPathSeparator(folder.back())) folder += platform::kPathSeparator;
    folder += "Recovered ";
    folder += file_name;
    folder += " " + TwoDigits(when.day) + "-" + TwoDigits(when.month) + "-" +
              std::to_string(when.year) + " " + TwoDigits(when.hour) + "." + TwoDigits(when.minute);
    return folder;
}

std::string MakeOutputFolder(const std::string &source_path, const std::string &target) {
    platform::createDirectory(target);
    const SourcePath parts = SplitSourcePath(source_path, platform::currentDirectory());
    const std::string planned = ComposeOutputFolder(target, parts.file_name, platform::localTime());
    // The name is predictable: whatever already lies there (an earlier
    // recovery's output, or a folder or link planted by someone else) is
    // never written into.
    for (int n = 1; n <= kMaxOutputFolderSuffix; ++n) {
        const std::string folder = n == 1 ? planned : planned + " (" + std::to_string(n) + ")";
        if (folder.size() > kMaxOutputFolderLength) break;
        if (platform::createDirectory(folder)) {
            if (n > 1) TheLogger().InfoText("Output folder name taken, writing into:", folder.c_str());
            return folder;
        }
        const uint32_t reason = platform::lastErrorCode();
        const bool taken = platform::pathKind(folder) != platform::PathKind::Missing;
        platform::setLastErrorCode(reason); // why it could not be made, for the caller
        if (!taken) break;
    }
    return std::string();
}

void RemoveEmptyOutputFolder(const std::string &folder) {
    // Removing a folder fails unless it is empty: what was written stays.
    if (platform::removeDirectory(folder))
        TheLogger().InfoText("Empty output folder removed:", folder.c_str());
}

int MapDriverResult(int driver_result) {
    switch (driver_result) {
    case kCancelled:
    case kOutputFailed:
    case kNoCatalogue:
    case kFailed:
        return driver_result;
    default:
        return 0;
    }
}

int MapRecoverResult(int recover_result) {
    switch (recover_result) {
    case 0:
        return VRN_RESULT_OK;
    case kCancelledBeforeStart:
        return VRN_RESULT_CANCELLED;
    case kOutputFailed:
        return VRN_RESULT_NO_SOURCE;
    case kNoCatalogue:
        return VRN_RESULT_NO_CATALOGUE;
    case kFailed:
        return VRN_RESULT_DRIVER_FAILED;
    default:
        // Also kCancelled: a cancel during the run is reported as a failure.
        return VRN_RESULT_FAILED;
    }
}

void LogRequiredInformation(const char *source_path, const char *target_directory) {
    Logger &log = TheLogger();
    log.InfoText("Recovering file:", source_path);
    log.InfoText("Target directory:", target_directory);
    platform::File source;
    if (source_path && !platform::isDirectory(source_path))
        source = platform::File::openForReading(source_path);
    if (!source.isOpen()) {
        log.Error("LogRequiredInformation failed to open file");
        return;
    }
    const uint64_t size = source.size();
    log.InfoNumber("Source file size (low DWORD):", static_cast<int32_t>(size & 0xFFFFFFFFu));
    log.InfoNumber("Source file size (high DWORD):", static_cast<int32_t>(size >> 32));
}

std::string SystemReason(const std::string &what, const std::string &path) {
    const uint32_t code = platform::lastErrorCode();
    std::string text;
    if (code == 0 || !platform::errorMessage(code, text)) text = "unknown reason";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return what + " '" + path + "': " + text;
}

Status RecoverDumpFile(const char *source_path, const char *target_directory, RecoveryRun *run) {
    Logger &log = TheLogger();

    // A folder opens for reading on some systems but holds no dump.
    platform::File dump;
    if (source_path && !platform::isDirectory(source_path))
        dump = platform::File::openForReading(source_path);
    if (!dump.isOpen()) {
        log.Error("Cannot create destination file");
        return Status(kOutputFailed, Failure::kSourceUnreadable,
                      source_path && platform::isDirectory(source_path)
                          ? std::string("the dump '") + source_path + "' is a folder"
                          : SystemReason("cannot open the dump", source_path ? source_path : ""));
    }
    if (run) {
        // Compressed and big-endian dumps are named, not searched in vain.
        const DumpKind kind = SniffDump(dump);
        if (kind == DumpKind::kCompressed) {
            log.Error("Compressed dump: decompress it first");
            return Status(kNoCatalogue, Failure::kCompressedDump);
        }
        if (kind == DumpKind::kBigEndian) {
            log.Error("Dump from a big-endian server: not supported");
            return Status(kNoCatalogue, Failure::kBigEndianDump);
        }
    }
    const uint64_t size = dump.size();
    const uint32_t size_low = static_cast<uint32_t>(size & 0xFFFFFFFFu);
    const uint32_t size_high = static_cast<uint32_t>(size >> 32);
    log.InfoFormat("VRN size:%i", static_cast<int>(size_low));

    // The template is read, or refused, before any output is made.
    const SourcePath parts = SplitSourcePath(source_path, platform::currentDirectory());
    std::shared_ptr<const DescriptionTemplate> described;
    {
        std::string why;
        if (!ChooseDescriptionTemplate(run ? run->options : RecoveryOptions(), parts.folder, described, why)) {
            log.ErrorText("Template refused:", why.c_str());
            return Status(kNoCatalogue, Failure::kTemplateRefused, why);
        }
    }

    if (run && (run->options.list_only || run->options.standard_output || !run->exact_output_folder.empty())) {
        // Listing and the stream on standard output make no folder.
        std::string folder;
        if (!run->options.list_only && !run->options.standard_output) {
            folder = run->exact_output_folder;
            if (!platform::createDirectoryWithParents(folder)) {
                const std::string why = SystemReason("cannot create the output folder", folder);
                log.ErrorText("Cannot create output folder", folder.c_str());
                return Status(kOutputFailed, Failure::kOutputFolder, why);
            }
        }
        if (!TheHost().MayContinue()) return Status(kCancelledBeforeStart);
        VRNRecover driver(&dump, 2, size_low, 0, folder.c_str(), size_low, size_high,
                          parts.folder.c_str());
        driver.options = run->options;
        driver.UseTemplate(described);
        const int result = driver.Recover();
        dump.close();
        run->report = driver.report;
        run->output_folder = folder;
        return Status(MapDriverResult(result));
    }

    // Without a target there is no place for the output: never fall back to
    // the root folder.
    if (!target_directory || !*target_directory) {
        log.Error("Target directory missing");
        return Status(kOutputFailed, Failure::kOutputFolder, "no target folder given");
    }

    // Both paths are checked before anything is written.
    const std::string planned =
        ComposeOutputFolder(target_directory, parts.file_name, platform::localTime());
    if (planned.size() > kMaxOutputFolderLength) {
        log.ErrorText("Output folder path too long", planned.c_str());
        return Status(kOutputFailed, Failure::kOutputFolder, "the output folder's path is too long: '" + planned + "'");
    }
    if (parts.folder.size() > kMaxSourceFolderLength) {
        log.ErrorText("Source folder path too long", parts.folder.c_str());
        return Status(kOutputFailed, Failure::kNone, "the dump's folder path is too long: '" + parts.folder + "'");
    }

    const std::string output_folder = MakeOutputFolder(source_path, target_directory);
    if (!TheHost().MayContinue()) {
        if (!output_folder.empty()) RemoveEmptyOutputFolder(output_folder);
        return Status(kCancelledBeforeStart);
    }
    if (output_folder.empty()) {
        log.ErrorText("Cannot create output folder", planned.c_str());
        return Status(kOutputFailed, Failure::kOutputFolder,
                      SystemReason("cannot create the output folder", planned));
    }

    VRNRecover driver(&dump, 2, size_low, 0, output_folder.c_str(), size_low, size_high,
                      parts.folder.c_str());
    if (run) driver.options = run->options;
    driver.UseTemplate(described);
    const int result = MapDriverResult(driver.Recover());
    dump.close();
    if (run) {
        run->report = driver.report;
        run->output_folder = output_folder;
    }
    if (result != kOk) RemoveEmptyOutputFolder(output_folder);
    return Status(result);
}

extern "C" {

VRNDLL_API int VRN_CDECL FileRecover(const char *source_path, const char *target_directory,
                                     uintptr_t /*reserved*/, WriteDiag write_diag,
                                     StatusBar status_bar, uintptr_t user_data,
                                     const char *log_file) {
    try {
        StartLibrary();
        Logger &log = TheLogger();
        SA_interractions &host = TheHost();
        if (!host.mf_init(write_diag, status_bar, user_data, 3, kRecoveryProduct)) {
            LogAssertion(sites::kRecoverCall);
            return VRN_RESULT_FAILED;
        }
        if (!host.break_flag) {
            g_own_break_flag = false;
            host.break_flag = &g_own_break_flag;
            log.Info("Breakflag initialized manually");
        }
        if (!log_file) LogAssertion(sites::kNoLogFile);
        log.SetLogFile(log.NewTempFileName());
        if (log_file && *log_file) {
            log.SetLogFile(log_file);
            log.EnableLog();
        }
        LogRequiredInformation(source_path, target_directory);
        const int result = MapRecoverResult(RecoverDumpFile(source_path, target_directory).code());
        log.Flush(); // everything logged is in the file when the call returns
        return result;
    } catch (...) {
        try {
            TheLogger().Info("Trap in FileRecover function");
            TheLogger().Flush();
        } catch (...) {
        }
        return VRN_RESULT_FAILED;
    }
}

VRNDLL_API void VRN_CDECL SetBreakFlag(bool *flag) {
    try {
        StartLibrary();
        TheLogger().Info("void SetBreakFlag(bool *flag)");
        TheLogger().Flush();
    } catch (...) {
    }
    TheHost().break_flag = flag;
}

VRNDLL_API int VRN_CDECL GetDllVersion(void) { return 0; }

} // extern "C"
