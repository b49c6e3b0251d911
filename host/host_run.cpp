#include "host/host_run.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "host/cancel.h"
#include "host/exit_codes.h"
#include "host/options.h"
#include "host/output_folder.h"
#include "host/progress_display.h"
#include "host/recovery_library.h"
#include "platform/platform.h"
#include "vrndll/output/Manifest.h"
#include "vrndll/sql/Charset.h"

namespace {

// What the callbacks of one run feed.
struct RunState {
    ProgressDisplay *display = nullptr;
    bool verbose = false;
    bool list = false;
    std::ostringstream listing;       // --list: what the dump holds
    std::string listed_database;      // database of the last listed table
    Manifest listed;                  // --list --json: the same account as manifest.json
    std::vector<std::string> losses;  // databases and tables that lost something
    std::vector<std::string> notes;   // what the library left out or could not pass on
    uint64_t lost_databases = 0;
};

void VRN_CDECL OnDiag(int level, const char *text, uintptr_t user) {
    try {
        RunState &s = *reinterpret_cast<RunState *>(user);
        if (level == VRN_DIAG_NOTE) {
            s.notes.push_back(text ? text : "");
            return;
        }
        if (level >= VRN_DIAG_ERROR && !s.verbose) return;
        s.display->Diag(text ? text : "");
    } catch (...) {
    }
}

void VRN_CDECL OnProgress(const VrnProgress *p, uintptr_t user) {
    try {
        RunState &s = *reinterpret_cast<RunState *>(user);
        ProgressFigures f;
        f.pass = static_cast<int>(p->pass);
        f.bytes_scanned = p->bytes_scanned;
        f.bytes_total = p->bytes_total;
        f.rows = p->rows_written;
        if (p->table[0]) f.table = std::string(p->database) + "." + p->table;
        s.display->Moving(f);
    } catch (...) {
    }
}

std::string Plural(uint64_t n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The losses of a table or of the run. Values changed are named only when
// there are any (the log names each one, its column and what was written).
template <class Record> std::string LossText(const Record &r) {
    return Plural(r.rows_skipped, "row skipped", "rows skipped") + ", " +
           Plural(r.pages_unreadable, "page unreadable", "pages unreadable") + ", " +
           Plural(r.chains_broken, "chain broken", "chains broken") +
           (r.chains_continued ? " (" + std::to_string(r.chains_continued) + " continued by the pages' headers)"
                               : std::string()) +
           ", " + Plural(r.values_null, "value written as NULL", "values written as NULL") +
           (r.values_changed ? ", " + Plural(r.values_changed, "value changed", "values changed") +
                                   " (NaN, infinity or date out of range; see the log)"
                             : std::string()) +
           (r.scripts_not_created || r.rows_not_written
                ? ", " + Plural(r.scripts_not_created, "script not created", "scripts not created") +
                      (r.rows_not_written ? " (" + Plural(r.rows_not_written, "row", "rows") + " not written)"
                                          : std::string())
                : std::string());
}

void VRN_CDECL OnTable(const VrnTableReport *given, uintptr_t user) {
    try {
        RunState &s = *reinterpret_cast<RunState *>(user);
        // A library older than this host hands a shorter record: the fields
        // it does not know are taken as zero.
        VrnTableReport whole;
        std::memset(&whole, 0, sizeof whole);
        std::memcpy(&whole, given, std::min<size_t>(given->size, sizeof whole));
        const VrnTableReport *t = &whole;
        if (t->kind == VRN_LOST_DATABASE_ENTRY) {
            s.lost_databases += 1;
            // A library older than the reason field names none.
            const bool has_reason = t->size >= offsetof(VrnTableReport, reason_slot) + 8 && t->reason && *t->reason;
            s.losses.push_back(std::string(t->database) + ": lost whole, " +
                               (has_reason ? t->reason : "its catalogue is not in the dump"));
            ManifestDatabase d;
            d.name = t->database;
            d.lost = true;
            d.reason = has_reason ? t->reason : "its catalogue is not in the dump";
            s.listed.databases.push_back(d);
            s.listed_database.clear();
            return;
        }
        if (t->kind != VRN_TABLE_ENTRY) return;
        if (s.list) {
            if (s.listed.databases.empty() || s.listed_database != t->database) {
                ManifestDatabase d;
                d.name = t->database;
                s.listed.databases.push_back(d);
            }
            ManifestTable listed;
            listed.name = t->table;
            listed.counts.rows_written = t->rows_written;
            listed.counts.rows_skipped = t->rows_skipped;
            listed.counts.pages_read = t->pages_read;
            listed.counts.pages_unreadable = t->pages_unreadable;
            listed.counts.chains_broken = t->chains_broken;
            listed.counts.values_null = t->values_null;
            listed.counts.chains_continued = t->chains_continued;
            listed.counts.values_changed = t->values_changed;
            s.listed.databases.back().tables.push_back(listed);
            if (s.listed_database != t->database) {
                s.listing << t->database << "\n";
                s.listed_database = t->database;
            }
            s.listing << "  " << t->table << "  " << Plural(t->rows_written, "row", "rows") << "  ("
                      << (t->columns ? t->columns : "") << ")\n";
            return;
        }
        if (t->rows_skipped || t->pages_unreadable || t->chains_broken || t->values_null || t->values_changed ||
            t->scripts_not_created || t->rows_not_written)
            s.losses.push_back(std::string(t->database) + "." + t->table + ": " + LossText(*t));
    } catch (...) {
    }
}

bool DumpReadable(const std::string &path) {
    return !platform::isDirectory(path) && platform::File::openForReading(path).isOpen();
}

// True when `folder` is empty or holds only what a run of ours that did not
// end left: its INCOMPLETE file, or nothing but its recovery.log and
// manifest.json. Such a
// folder is written into again without --force.
bool FolderIsFree(const std::string &folder) {
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, "*", entries);
    bool others = false;
    for (const platform::DirectoryEntry &e : entries) {
        if (e.name == "." || e.name == ".." || e.name == "recovery.log" || e.name == "manifest.json") continue;
        if (e.name == "INCOMPLETE" && !e.isDirectory) return true;
        others = true;
    }
    return !others;
}

std::string Join(const std::string &folder, const std::string &name) {
    if (!folder.empty() && platform::isPathSeparator(folder.back())) return folder + name;
    return folder + platform::kPathSeparator + name;
}

std::string FolderOf(const std::string &path) {
    const size_t sep = platform::lastSeparator(path);
    return sep == std::string::npos ? std::string(".") : path.substr(0, sep + 1);
}

// Copies the log written in temporary space into the output folder.
bool MoveLog(const std::string &from, const std::string &to) {
    platform::File in = platform::File::openForReading(from);
    if (!in.isOpen()) return false;
    std::vector<char> bytes(static_cast<size_t>(in.size()));
    if (!bytes.empty() && in.readAt(0, bytes.data(), bytes.size()) != bytes.size()) return false;
    in.close();
    platform::File out = platform::File::createAlways(to);
    if (!out.isOpen() || out.write(bytes.data(), bytes.size()) != bytes.size()) return false;
    out.close();
    platform::deleteFile(from); // may stay while the library holds it open
    return true;
}

} // namespace

int RunHost(const std::vector<std::string> &args, std::ostream &standard_out, std::ostream &err,
            const HostSettings &settings) {
    HostOptions options;
    const std::string problem = ParseOptions(args, options);
    // With -o - standard output carries the stream: everything else goes to
    // standard error.
    std::ostream &out = options.Stream() ? err : standard_out;
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
        std::string reason;
        platform::errorMessage(platform::lastErrorCode(), reason);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
        err << "vrnrecover: cannot read the dump file '" << options.dump << "'"
            << (reason.empty() ? "" : ": " + reason) << "\n";
        return kExitDumpUnreadable;
    }
    const bool stream = options.Stream();
    if (!options.output.empty() && !options.list && !stream) {
        if (platform::pathKind(options.output) != platform::PathKind::Missing &&
            !platform::isDirectory(options.output)) {
            err << "vrnrecover: '" << options.output << "' exists and is not a folder\n";
            return kExitOutputNotWritable;
        }
        if (platform::isDirectory(options.output) && !FolderIsFree(options.output) && !options.force) {
            err << "vrnrecover: the output folder '" << options.output
                << "' is not empty (--force writes into it anyway; the output of a run that did not end is "
                   "written over without it)\n";
            return kExitOutputNotWritable;
        }
        if (!platform::createDirectoryWithParents(options.output)) {
            std::string reason;
            platform::errorMessage(platform::lastErrorCode(), reason);
            err << "vrnrecover: cannot create the output folder '" << options.output << "': " << reason << "\n";
            return kExitOutputNotWritable;
        }
    }

    // The target folder of the dated output folder is made with its parents.
    if (options.output.empty() && !options.list && !stream && !platform::createDirectoryWithParents(options.target)) {
        std::string reason;
        platform::errorMessage(platform::lastErrorCode(), reason);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
        err << "vrnrecover: cannot create the target folder '" << options.target << "'"
            << (reason.empty() ? "" : ": " + reason) << "\n";
        return kExitOutputNotWritable;
    }

    RecoveryLibrary library;
    std::string error;
    if (!library.Load(settings.library_path, error)) {
        err << "vrnrecover: " << error << "\n";
        return kExitLibraryMissing;
    }

    // A template is never used silently.
    const std::string beside = Join(FolderOf(options.dump), "int0.ini");
    std::string template_used = options.template_file;
    if (template_used.empty() && !options.no_template && platform::File::openForReading(beside).isOpen())
        template_used = beside;
    if (!template_used.empty())
        err << "vrnrecover: using the template " << template_used
            << ": tables decoded with its layouts, databases named database_<n>"
            << (options.template_file.empty() ? " (--no-template ignores it)" : "") << "\n";

    // The log: where --log says, else recovery.log in the output folder
    // (written in temporary space until the dated folder exists).
    std::string log = options.log_file;
    std::string temp_log;
    if (log.empty()) {
        if (!options.output.empty() && !options.list && !stream) {
            log = Join(options.output, "recovery.log");
        } else {
            temp_log = platform::tempPath() + "vrnrecover-" + std::to_string(platform::processId()) + ".log";
            platform::deleteFile(temp_log);
            log = temp_log;
        }
    }

    // The log is never written through a link planted at its name (nor
    // into a folder or a device): the library refuses to open it, so it is
    // refused here, before anything is written.
    const platform::PathKind log_kind = platform::pathKind(log);
    if (log_kind != platform::PathKind::Missing && log_kind != platform::PathKind::File) {
        err << "vrnrecover: the log '" << log << "' is "
            << (log_kind == platform::PathKind::Link ? "a link" : "not a plain file") << ": not written through it\n";
        return kExitOutputNotWritable;
    }

    const auto started = std::chrono::steady_clock::now();
    auto elapsed = [started]() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    const ProgressDisplay::Mode mode = options.quiet      ? ProgressDisplay::Mode::Quiet
                                       : settings.terminal ? ProgressDisplay::Mode::Terminal
                                                           : ProgressDisplay::Mode::Lines;
    ProgressDisplay display(err, mode, elapsed);
    display.SetWidth(settings.width);

    RunState state;
    state.display = &display;
    state.verbose = options.verbose;
    state.list = options.list;
    std::string databases, tables;
    for (const std::string &d : options.databases) databases += d + "\n";
    for (const std::string &t : options.tables) tables += t + "\n";

    VrnOptions o;
    std::memset(&o, 0, sizeof o);
    o.size = sizeof o;
    o.flags = (options.schema_only ? VRN_SCHEMA_ONLY : 0) | (options.data_only ? VRN_DATA_ONLY : 0) |
              (options.list ? VRN_LIST_ONLY : 0) | (stream ? VRN_STANDARD_OUTPUT : 0);
    o.template_mode = !options.template_file.empty() ? VRN_TEMPLATE_FILE
                      : options.no_template          ? VRN_TEMPLATE_OFF
                                                     : VRN_TEMPLATE_AUTO;
    o.rows_per_file = options.rows_per_file;
    o.log_level = options.log_level;
    o.target_directory = options.target.c_str();
    o.output_folder = options.output.empty() || stream ? nullptr : options.output.c_str();
    o.databases = databases.empty() ? nullptr : databases.c_str();
    o.tables = tables.empty() ? nullptr : tables.c_str();
    o.template_file = options.template_file.empty() ? nullptr : options.template_file.c_str();
    o.log_file = log.c_str();
    o.progress = OnProgress;
    o.diagnostic = OnDiag;
    o.table_done = OnTable;
    o.user_data = reinterpret_cast<uintptr_t>(&state);
    o.output_format = options.format;
    o.charset = options.charset.empty() ? nullptr : options.charset.c_str();
    o.threads = ThreadsToUse(options);
    VrnReport report;
    std::memset(&report, 0, sizeof report);
    report.size = sizeof report;

    ArmCancel();
    library.set_break_flag(CancelFlag());
    const int status = library.file_recover_ex(options.dump.c_str(), &o, &report);
    const bool cancelled = CancelRequested();
    library.set_break_flag(nullptr);
    DisarmCancel();
    display.Finish();
    const double seconds = elapsed();

    const std::string folder = report.output_folder;
    if (!temp_log.empty() && !folder.empty() && MoveLog(temp_log, Join(folder, "recovery.log")))
        log = Join(folder, "recovery.log");

    const HostOutcome outcome = ClassifyStatus(status, report.message, cancelled);
    const bool whole = outcome.exit_code == kExitOk || outcome.exit_code == kExitLosses;
    // A run that stopped after it began writing still says what it wrote.
    const bool wrote = !options.list && !folder.empty() &&
                       platform::pathKind(Join(folder, "INCOMPLETE")) == platform::PathKind::File;
    if (!whole && !wrote) {
        err << "vrnrecover: " << outcome.message << "\n";
        err << "vrnrecover: log: " << log << "\n";
        return outcome.exit_code;
    }

    if (options.list && options.json) {
        out << state.listed.Json(whole ? "" : outcome.message);
        return outcome.exit_code;
    }
    if (options.list) {
        out << state.listing.str();
        out << Plural(report.databases, "database", "databases") << ", " << Plural(report.tables, "table", "tables")
            << ", " << Plural(report.rows_written, "row", "rows") << " found; nothing written\n";
        return outcome.exit_code;
    }
    // Rates only from a run long enough to measure them; a stopped run did
    // not read the dump through, so it has no MB/s.
    char rates[96];
    if (seconds >= ProgressDisplay::kShortestMeasuredRun && !whole)
        std::snprintf(rates, sizeof rates, "%.1f s, %.0f rows/s", seconds,
                      static_cast<double>(report.rows_written) / seconds);
    else if (seconds >= ProgressDisplay::kShortestMeasuredRun)
        std::snprintf(rates, sizeof rates, "%.1f s, %.1f MB/s, %.0f rows/s", seconds,
                      static_cast<double>(report.bytes_total) / 1e6 / seconds,
                      static_cast<double>(report.rows_written) / seconds);
    else
        std::snprintf(rates, sizeof rates, "%.1f s", seconds);
    out << (whole ? "Recovered " : "Partly recovered ") << FileNameOf(options.dump) << " into "
        << (stream ? std::string("standard output") : folder)
        << (whole || stream ? "" : " (incomplete: see INCOMPLETE there)") << "\n"
        << "  " << Plural(report.databases, "database", "databases") << ", "
        << Plural(report.tables, "table", "tables") << ", " << Plural(report.rows_written, "row", "rows")
        << " written\n"
        << "  lost: "
        << (report.lost && state.lost_databases ? Plural(state.lost_databases, "database", "databases") + " whole, "
                                                : std::string())
        << (report.lost ? LossText(report) : std::string("nothing"))
        << "\n";
    for (const std::string &loss : state.losses) out << "    " << loss << "\n";
    if (!state.notes.empty()) out << "  left out or to check:\n";
    for (const std::string &note : state.notes) out << "    " << note << "\n";
    // The character set the character data was converted from.
    if (options.format != VRN_FORMAT_TSQL)
        out << "  character set: "
            << values::CharsetName(values::CharsetByName(options.charset).value_or(values::kDefaultCharset))
            << " (converted to UTF-8)\n";
    out << "  " << rates << "\n"
        << "  log: " << log << "\n";
    if (!whole) err << "vrnrecover: " << outcome.message << "\n";
    if (outcome.exit_code == kExitLosses) err << "vrnrecover: recovered with losses (exit status 8)\n";
    return outcome.exit_code;
}
