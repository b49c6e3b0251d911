// The extended entry point: one recovery steered by an options record, with
// progress and diagnostics through the host's callbacks and an account of
// what was written and lost in a report.
//
// It runs the same recovery call as FileRecover (RecoverDumpFile), whose
// defaults are FileRecover's behaviour. The records carry their size first:
// a host built against an older, shorter record gets the fields it knows,
// and the fields it does not know are taken as zero.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "Common/logger/logger.h"
#include "vrndll.h"
#include "vrndll/LibraryStart.h"
#include "vrndll/call/RecoveryCall.h"
#include "vrndll/call/ResultCode.h"
#include "vrndll/sql/Charset.h"
#include "vrndll/SA_interractions.h"

namespace {

// Every field of the records lies at the same offset on 32- and 64-bit hosts.
static_assert(sizeof(VrnOptions) == 128, "VrnOptions layout");
static_assert(offsetof(VrnOptions, charset_slot) == 112, "VrnOptions layout");
static_assert(offsetof(VrnOptions, threads) == 120, "VrnOptions layout");
static_assert(offsetof(VrnOptions, target_directory_slot) == 24, "VrnOptions layout");
static_assert(offsetof(VrnOptions, user_data) == 96, "VrnOptions layout");
static_assert(sizeof(VrnReport) == 1648, "VrnReport layout");
static_assert(offsetof(VrnReport, rows_not_written) == 1640, "VrnReport layout");
static_assert(offsetof(VrnReport, chains_continued) == 1616, "VrnReport layout");
static_assert(offsetof(VrnReport, values_changed) == 1624, "VrnReport layout");
static_assert(offsetof(VrnReport, rows_written) == 24, "VrnReport layout");
static_assert(offsetof(VrnReport, output_folder) == 80, "VrnReport layout");
static_assert(sizeof(VrnProgress) == 560, "VrnProgress layout");
static_assert(offsetof(VrnProgress, database) == 48, "VrnProgress layout");
static_assert(sizeof(VrnTableReport) == 616, "VrnTableReport layout");
static_assert(offsetof(VrnTableReport, rows_not_written) == 600, "VrnTableReport layout");
static_assert(offsetof(VrnTableReport, reason_slot) == 608, "VrnTableReport layout");
static_assert(offsetof(VrnTableReport, chains_continued) == 576, "VrnTableReport layout");
static_assert(offsetof(VrnTableReport, values_changed) == 584, "VrnTableReport layout");
static_assert(offsetof(VrnTableReport, columns_slot) == 568, "VrnTableReport layout");

// The host's diagnostic callback, reached through the host interaction's
// WriteDiag (which carries the pass announcements).
struct DiagTarget {
    VrnDiagProc diagnostic = nullptr;
    uintptr_t user_data = 0;
};

void VRN_CDECL ForwardDiag(const char *text, uintptr_t target) {
    const DiagTarget *t = reinterpret_cast<const DiagTarget *>(target);
    if (t && t->diagnostic) t->diagnostic(VRN_DIAG_INFO, text ? text : "", t->user_data);
}

// Progress goes to the host in its own record, not as a percentage.
void VRN_CDECL IgnorePercent(const char *, int, uintptr_t) {}

template <size_t N> void CopyText(char (&to)[N], const std::string &from) {
    const size_t n = std::min(from.size(), N - 1);
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

void FillCounts(VrnTableReport &to, const RecoveryCounts &c) {
    to.rows_written = c.rows_written;
    to.rows_skipped = c.rows_skipped;
    to.pages_read = c.pages_read;
    to.pages_unreadable = c.pages_unreadable;
    to.chains_broken = c.chains_broken;
    to.values_null = c.values_null;
    to.chains_continued = c.chains_continued;
    to.values_changed = c.values_changed;
    to.scripts_not_created = c.scripts_not_created;
    to.rows_not_written = c.rows_not_written;
}

// The one mapping from a recovery's status to the extended entry point's.
int StatusOf(const Status &status, const RecoveryReport &report) {
    if (status.failure() == Failure::kCompressedDump) return VRN_STATUS_COMPRESSED;
    if (status.failure() == Failure::kBigEndianDump) return VRN_STATUS_BIG_ENDIAN;
    switch (status.code()) {
    case kOk:
        if (!report.unmatched_patterns.empty()) return VRN_STATUS_NOTHING_MATCHED;
        return report.Lost() ? VRN_STATUS_LOSSES : VRN_STATUS_OK;
    case kCancelledBeforeStart:
    case kCancelled:
        return VRN_STATUS_CANCELLED;
    case kOutputFailed:
        return status.failure() == Failure::kSourceUnreadable ? VRN_STATUS_NO_SOURCE : VRN_STATUS_OUTPUT_FAILED;
    case kNoCatalogue:
        return VRN_STATUS_NO_CATALOGUE;
    default:
        return VRN_STATUS_FAILED;
    }
}

std::string DefaultMessage(int status, const char *source_path) {
    const std::string dump = source_path ? source_path : "";
    switch (status) {
    case VRN_STATUS_COMPRESSED:
        return "compressed dump: decompress it first (gzip -dc '" + dump + "' > dump.bin)";
    case VRN_STATUS_BIG_ENDIAN:
        return "dump from a big-endian server: not supported";
    case VRN_STATUS_NO_CATALOGUE:
        return "no database catalogue found in the dump";
    case VRN_STATUS_OUTPUT_FAILED:
        return "an output file could not be created or written (see the log)";
    case VRN_STATUS_FAILED:
        return "reading the dump failed (see the log)";
    case VRN_STATUS_CANCELLED:
        return "cancelled";
    default:
        return "";
    }
}

// Reads the host's options into a whole record: fields past the host's
// size stay zero.
bool ReadOptions(const VrnOptions *given, VrnOptions &o) {
    std::memset(&o, 0, sizeof o);
    if (!given || given->size < 8) return false;
    std::memcpy(&o, given, std::min<size_t>(given->size, sizeof o));
    return true;
}

// Checks the options and turns them into the recovery's; empty when sound,
// else what is wrong.
std::string BuildRun(const VrnOptions &o, RecoveryRun &run, DiagTarget &diag) {
    RecoveryOptions &r = run.options;
    if ((o.flags & VRN_SCHEMA_ONLY) && (o.flags & VRN_DATA_ONLY))
        return "schema only and data only exclude each other";
    if (o.rows_per_file < 0) return "rows per file must be positive";
    if (o.output_format < VRN_FORMAT_TSQL || o.output_format > VRN_FORMAT_CSV) return "unknown output format";
    r.output_format = o.output_format == VRN_FORMAT_POSTGRES ? OutputFormat::kPostgres
                      : o.output_format == VRN_FORMAT_SQLITE ? OutputFormat::kSqlite
                      : o.output_format == VRN_FORMAT_CSV    ? OutputFormat::kCsv
                                                             : OutputFormat::kTsql;
    if (o.charset) {
        if (!values::CharsetByName(o.charset))
            return std::string("unknown character set '") + o.charset +
                   "' (one of iso_1, cp1252, cp850, cp437, roman8, utf8)";
        r.charset = o.charset;
    }
    if (o.threads < 0 || o.threads > kMaxThreads) return "threads must be 0 to " + std::to_string(kMaxThreads);
    r.threads = o.threads;
    r.standard_output = (o.flags & VRN_STANDARD_OUTPUT) != 0 && !(o.flags & VRN_LIST_ONLY);
    if (r.standard_output && r.output_format != OutputFormat::kPostgres && r.output_format != OutputFormat::kSqlite)
        return "the stream on standard output is for the postgres and sqlite formats";
    if (r.standard_output && r.output_format == OutputFormat::kSqlite && SplitPatternLines(o.databases).empty())
        return "the sqlite stream holds one database: choose it with a database pattern";
    if (o.template_mode < VRN_TEMPLATE_AUTO || o.template_mode > VRN_TEMPLATE_FILE)
        return "unknown template mode";
    if (o.template_mode == VRN_TEMPLATE_FILE && (!o.template_file || !*o.template_file))
        return "template mode names no template file";
    const bool has_target = o.target_directory && *o.target_directory;
    const bool has_output = o.output_folder && *o.output_folder;
    if (!(o.flags & VRN_LIST_ONLY) && !r.standard_output && !has_target && !has_output)
        return "neither an output folder nor a target folder given";

    r.schema_only = (o.flags & VRN_SCHEMA_ONLY) != 0;
    r.data_only = (o.flags & VRN_DATA_ONLY) != 0;
    r.list_only = (o.flags & VRN_LIST_ONLY) != 0;
    r.rows_per_file = o.rows_per_file > 0 ? o.rows_per_file : 100;
    r.template_mode = o.template_mode == VRN_TEMPLATE_OFF    ? TemplateMode::kOff
                      : o.template_mode == VRN_TEMPLATE_FILE ? TemplateMode::kFile
                                                             : TemplateMode::kAuto;
    if (o.template_file) r.template_file = o.template_file;
    r.database_patterns = SplitPatternLines(o.databases);
    r.table_patterns = SplitPatternLines(o.tables);
    if (has_output) {
        run.exact_output_folder = o.output_folder;
        r.output_folder_given = true;
    }

    const uintptr_t user = static_cast<uintptr_t>(o.user_data);
    diag.diagnostic = o.diagnostic;
    diag.user_data = user;
    if (VrnDiagProc d = o.diagnostic)
        r.diagnostic = [d, user](int level, const std::string &text) { d(level, text.c_str(), user); };
    if (VrnProgressProc p = o.progress) {
        r.progress = [p, user](const RecoveryProgress &at) {
            VrnProgress v;
            std::memset(&v, 0, sizeof v);
            v.size = sizeof v;
            v.pass = static_cast<uint32_t>(at.pass);
            v.pages_read = at.pages_read;
            v.pages_total = at.pages_total;
            v.bytes_scanned = std::min(at.bytes_total, at.pages_read * at.page_bytes);
            v.bytes_total = at.bytes_total;
            v.rows_written = at.rows_written;
            CopyText(v.database, at.database);
            CopyText(v.table, at.table);
            p(&v, user);
        };
    }
    if (VrnTableProc t = o.table_done) {
        r.table_done = [t, user](const TableAccount &a) {
            VrnTableReport v;
            std::memset(&v, 0, sizeof v);
            v.size = sizeof v;
            v.kind = a.database_lost ? VRN_LOST_DATABASE_ENTRY
                     : a.database_total ? VRN_DATABASE_ENTRY
                                        : VRN_TABLE_ENTRY;
            FillCounts(v, a.counts);
            CopyText(v.database, a.database);
            CopyText(v.table, a.table);
            v.columns = a.columns.c_str();
            v.reason = a.reason.c_str();
            t(&v, user);
        };
    }
    return std::string();
}

// Copies the report into the host's record, as far as the host's size reaches.
int Deliver(VrnReport *to, VrnReport &from, int status) {
    from.status = status;
    if (to && to->size >= 8) {
        const uint32_t size = to->size;
        std::memcpy(to, &from, std::min<size_t>(size, sizeof from));
        to->size = size;
    }
    return status;
}

bool g_ex_break_flag = false;

} // namespace

extern "C" VRNDLL_API int VRN_CDECL FileRecoverEx(const char *source_path, const VrnOptions *options,
                                                  VrnReport *report) {
    VrnReport out;
    std::memset(&out, 0, sizeof out);
    out.size = sizeof out;
    try {
        VrnOptions o;
        if (!ReadOptions(options, o)) {
            CopyText(out.message, "no options record");
            return Deliver(report, out, VRN_STATUS_BAD_OPTIONS);
        }
        RecoveryRun run;
        DiagTarget diag;
        const std::string wrong = BuildRun(o, run, diag);
        if (!wrong.empty()) {
            CopyText(out.message, wrong);
            return Deliver(report, out, VRN_STATUS_BAD_OPTIONS);
        }

        StartLibrary();
        Logger &log = TheLogger();
        SA_interractions &host = TheHost();
        if (!host.mf_init(ForwardDiag, IgnorePercent, reinterpret_cast<uintptr_t>(&diag), 3,
                          kRecoveryProduct)) {
            CopyText(out.message, "the companion library tlvcmn is missing or incomplete");
            return Deliver(report, out, VRN_STATUS_COMPANION_MISSING);
        }
        if (!host.break_flag) {
            g_ex_break_flag = false;
            host.break_flag = &g_ex_break_flag;
            log.Info("Breakflag initialized manually");
        }
        log.SetLogFile(log.NewTempFileName());
        if (o.log_file && *o.log_file) {
            log.SetLogFile(o.log_file);
            log.EnableLog();
        }
        // The level holds for this call only.
        const int threshold = log.threshold();
        if (o.log_level > 0) log.setThreshold(o.log_level);
        const char *target = o.target_directory ? o.target_directory : "";
        LogRequiredInformation(source_path, o.output_folder ? o.output_folder : target);

        const Status result = RecoverDumpFile(source_path, target, &run);
        log.setThreshold(threshold);

        const RecoveryCounts &t = run.report.totals;
        out.databases = run.report.databases;
        out.tables = run.report.tables;
        out.databases_lost = run.report.databases_lost;
        out.rows_written = t.rows_written;
        out.rows_skipped = t.rows_skipped;
        out.pages_read = t.pages_read;
        out.pages_unreadable = t.pages_unreadable;
        out.chains_broken = t.chains_broken;
        out.values_null = t.values_null;
        out.chains_continued = t.chains_continued;
        out.values_changed = t.values_changed;
        out.scripts_not_created = t.scripts_not_created;
        out.rows_not_written = t.rows_not_written;
        out.lost = run.report.Lost() ? 1 : 0;
        {
            platform::File dump = source_path ? platform::File::openForReading(source_path) : platform::File();
            out.bytes_total = dump.isOpen() ? dump.size() : 0;
        }
        CopyText(out.output_folder, run.output_folder);
        const int status = StatusOf(result, run.report);
        std::string message = result.reason();
        if (status == VRN_STATUS_NOTHING_MATCHED) {
            std::string text;
            for (const std::string &u : run.report.unmatched_patterns) text += (text.empty() ? "" : ", ") + u;
            message = "nothing matches " + text;
        }
        CopyText(out.message, message.empty() ? DefaultMessage(status, source_path) : message);
        return Deliver(report, out, status);
    } catch (...) {
        try {
            TheLogger().Info("Trap in FileRecoverEx function");
        } catch (...) {
        }
        CopyText(out.message, "unexpected failure (see the log)");
        return Deliver(report, out, VRN_STATUS_FAILED);
    }
}
