#include "host/host_run.h"

#include <chrono>

#include "host/cancel.h"
#include "host/exit_codes.h"
#include "host/options.h"
#include "host/output_folder.h"
#include "host/progress_display.h"
#include "host/recovery_library.h"
#include "platform/platform.h"

namespace {

void VRN_CDECL OnDiag(const char *text, uintptr_t user_data) {
    try {
        reinterpret_cast<ProgressDisplay *>(user_data)->Diag(text ? text : "");
    } catch (...) {
    }
}

void VRN_CDECL OnStatus(const char * /*text*/, int percent, uintptr_t user_data) {
    try {
        reinterpret_cast<ProgressDisplay *>(user_data)->Percent(percent);
    } catch (...) {
    }
}

bool DumpReadable(const std::string &path) {
    return !platform::isDirectory(path) && platform::File::openForReading(path).isOpen();
}

} // namespace

int RunHost(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
            const HostSettings &settings) {
    HostOptions options;
    const std::string problem = ParseOptions(args, options);
    if (!problem.empty()) {
        err << "vrnrecover: " << problem << "\nTry 'vrnrecover --help'.\n";
        return kExitUsage;
    }
    if (options.help) {
        out << UsageText();
        return kExitOk;
    }
    if (options.version) {
        out << VersionText();
        return kExitOk;
    }
    if (platform::isDirectory(options.dump)) {
        err << "vrnrecover: '" << options.dump << "' is a folder, not a dump file\n";
        return kExitDumpUnreadable;
    }
    if (!DumpReadable(options.dump)) {
        err << "vrnrecover: cannot read the dump file '" << options.dump << "'\n";
        return kExitDumpUnreadable;
    }

    RecoveryLibrary library;
    std::string error;
    if (!library.Load(settings.library_path, error)) {
        err << "vrnrecover: " << error << "\n";
        return kExitLibraryMissing;
    }

    const auto started = std::chrono::steady_clock::now();
    auto elapsed = [started]() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    const ProgressDisplay::Mode mode = options.quiet      ? ProgressDisplay::Mode::Quiet
                                       : settings.terminal ? ProgressDisplay::Mode::Terminal
                                                           : ProgressDisplay::Mode::Lines;
    ProgressDisplay display(err, mode, elapsed);

    ArmCancel();
    library.set_break_flag(CancelFlag());
    const int result =
        library.file_recover(options.dump.c_str(), options.target.c_str(), 0, OnDiag, OnStatus,
                             reinterpret_cast<uintptr_t>(&display), options.log_file.c_str());
    const bool cancelled = CancelRequested();
    library.set_break_flag(nullptr);
    DisarmCancel();
    display.Finish();

    const HostOutcome outcome = ClassifyResult(result, cancelled, DumpReadable(options.dump));
    if (outcome.exit_code != kExitOk) {
        err << "vrnrecover: " << outcome.message << "\n";
        return outcome.exit_code;
    }
    const std::string folder = FindNewestOutputFolder(options.target, FileNameOf(options.dump));
    out << "Recovered " << FileNameOf(options.dump) << " into "
        << (folder.empty() ? options.target : folder) << " ("
        << ProgressDisplay::FormatElapsed(elapsed()) << ")\n";
    return kExitOk;
}
