#include "host/options.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "host/exit_codes.h"
#include "vrndll.h"
#include "vrndll/sql/Charset.h"

namespace {

// "debug", "info", "error", "assert" or 1..4; 0 when neither.
int LevelOf(const std::string &text) {
    if (text == "debug" || text == "1") return 1;
    if (text == "info" || text == "2") return 2;
    if (text == "error" || text == "3") return 3;
    if (text == "assert" || text == "4") return 4;
    return 0;
}

} // namespace

std::string ParseOptions(const std::vector<std::string> &args, HostOptions &options) {
    options = HostOptions();
    std::vector<std::string> positional;
    bool options_ended = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        // "--name=value", or "--name value" / "-x value" for options that take one.
        std::string name = arg;
        std::string value;
        bool has_value = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        auto take = [&](std::string &into) -> std::string {
            if (!has_value) {
                if (i + 1 >= args.size()) return name + " needs a value";
                value = args[++i];
            }
            if (value.empty()) return name + " needs a value";
            into = value;
            return "";
        };
        std::string problem;
        std::string text;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--quiet" || name == "-q") {
            options.quiet = true;
        } else if (name == "--list" || name == "-l") {
            options.list = true;
        } else if (name == "--json") {
            options.json = true;
        } else if (name == "--force") {
            options.force = true;
        } else if (name == "--schema-only") {
            options.schema_only = true;
        } else if (name == "--data-only") {
            options.data_only = true;
        } else if (name == "--no-template") {
            options.no_template = true;
        } else if (name == "-v" || name == "--verbose") {
            options.verbose = true;
        } else if (name == "--log") {
            problem = take(options.log_file);
        } else if (name == "--output" || name == "-o") {
            problem = take(options.output);
        } else if (name == "--template") {
            problem = take(options.template_file);
        } else if (name == "--charset") {
            problem = take(options.charset);
        } else if (name == "--format") {
            if ((problem = take(text)).empty()) {
                const int format = text == "tsql"       ? VRN_FORMAT_TSQL
                                   : text == "postgres" ? VRN_FORMAT_POSTGRES
                                   : text == "sqlite"   ? VRN_FORMAT_SQLITE
                                   : text == "csv"      ? VRN_FORMAT_CSV
                                                        : -1;
                if (format < 0) return "--format is one of tsql, postgres, sqlite, csv";
                options.format = format;
            }
        } else if (name == "--database" || name == "-d") {
            if ((problem = take(text)).empty()) options.databases.push_back(text);
        } else if (name == "--table" || name == "-t") {
            if ((problem = take(text)).empty()) options.tables.push_back(text);
        } else if (name == "--rows-per-file") {
            if ((problem = take(text)).empty()) {
                char *end = nullptr;
                const long n = std::strtol(text.c_str(), &end, 10);
                if (*end != '\0' || n < 1 || n > 100000000) return "--rows-per-file needs a positive number";
                options.rows_per_file = static_cast<int>(n);
            }
        } else if (name == "--jobs" || name == "-j") {
            if ((problem = take(text)).empty()) {
                char *end = nullptr;
                const long n = std::strtol(text.c_str(), &end, 10);
                if (*end != '\0' || n < 1 || n > 64) return "-j needs a number of threads from 1 to 64";
                options.threads = static_cast<int>(n);
            }
        } else if (name == "--log-level") {
            if ((problem = take(text)).empty()) {
                options.log_level = LevelOf(text);
                if (options.log_level == 0) return "--log-level is one of debug, info, error, assert";
            }
        } else {
            return "unknown option '" + arg + "'";
        }
        if (!problem.empty()) return problem;
    }
    if (options.help || options.version) return "";
    if (options.schema_only && options.data_only) return "--schema-only and --data-only exclude each other";
    if (!options.template_file.empty() && options.no_template) return "--template and --no-template exclude each other";
    if (options.verbose && options.log_level == 0) options.log_level = 1;
    if (options.json && !options.list) return "--json goes with --list";
    const size_t needed = options.list || !options.output.empty() ? 1 : 2;
    if (positional.size() < needed)
        return needed == 1 ? "a dump file is needed" : "a dump file and a target folder (or -o DIR) are needed";
    if (positional.size() > 2 || (positional.size() == 2 && !options.output.empty()))
        return "unexpected argument '" + positional.back() + "'";
    if (!options.charset.empty() && !values::CharsetByName(options.charset))
        return "unknown character set '" + options.charset + "' (--charset is one of iso_1, cp1252, cp850, cp437, "
               "roman8, utf8)";
    if (options.Stream()) {
        if (options.list) return "-o - writes a stream, which --list does not";
        if (options.format != VRN_FORMAT_POSTGRES && options.format != VRN_FORMAT_SQLITE)
            return "-o - streams the postgres or sqlite format only (--format postgres or --format sqlite)";
        if (options.format == VRN_FORMAT_SQLITE && options.databases.empty())
            return "-o - with --format sqlite streams one database: choose it with -d";
    }
    options.dump = positional[0];
    if (positional.size() == 2) options.target = positional[1];
    if (options.dump.empty()) return "the dump file name is empty";
    if (positional.size() == 2 && options.target.empty()) return "the target folder name is empty";
    return "";
}

int ThreadsToUse(const HostOptions &options) {
    if (options.threads > 0) return options.threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min(cores, 64u));
}

std::string UsageText() {
    auto status = [](int code, const char *meaning) { return "  " + std::to_string(code) + "  " + meaning + "\n"; };
    return "Usage: vrnrecover [options] DUMP TARGET_DIR\n"
           "       vrnrecover [options] -o OUTPUT_DIR DUMP\n"
           "       vrnrecover --list DUMP\n"
           "\n"
           "Recovers the databases of the dump file DUMP of a Sybase database server (format\n"
           "12 or 15) into SQL scripts, written to a new folder \"Recovered <dump file name>\n"
           "DD-MM-YYYY HH.MM\" below TARGET_DIR (made with its parents), or to exactly\n"
           "OUTPUT_DIR: per database its tables (with identity columns, primary keys, unique\n"
           "constraints, indexes), views, procedures, triggers, defaults and rules, rows and\n"
           "foreign keys, and commit.bat and commit.sh, which load them in that order (the\n"
           "foreign keys after every row; identity values between identity_insert on and\n"
           "off). Every run that writes leaves manifest.json: per database and table the\n"
           "rows and files written and every loss, each value written as NULL or changed\n"
           "with its page and row. A run that is cancelled or fails also leaves a file\n"
           "INCOMPLETE naming what is missing; a rerun into that -o folder needs no --force.\n"
           "\n"
           "Options:\n"
           "  -l, --list            list databases, tables, columns and rows; write nothing\n"
           "      --json            with --list: the listing as JSON, laid out as manifest.json\n"
           "  -o, --output DIR      write into DIR itself (refused when not empty); -o - with\n"
           "                        postgres or sqlite: one stream on standard output, e.g.\n"
           "                        vrnrecover --format postgres -o - DUMP | psql -d NEWDB\n"
           "                        (sqlite: one database, chosen with -d)\n"
           "      --force           write into a non-empty DIR\n"
           "  -d, --database PAT    recover only databases matching PAT (* and ?; repeatable)\n"
           "  -t, --table PAT       recover only tables matching PAT (repeatable); keys and\n"
           "                        object texts naming other tables are left out\n"
           "      --schema-only     table scripts only, no data scripts\n"
           "      --data-only       data scripts only, no table scripts\n"
           "      --rows-per-file N start the next data script after N rows (default 100)\n"
           "      --template FILE   decode with the tables of FILE (an int0.ini)\n"
           "      --no-template     ignore an int0.ini beside the dump\n"
           "      --format FORMAT   tsql (default: the scripts above), postgres (a load.sql\n"
           "                        for psql), sqlite (a load.sql for the sqlite3 shell) or\n"
           "                        csv (a .csv file per table, with a schema.sql and load.sql)\n"
           "      --charset NAME    the server's character set, for postgres, sqlite and csv\n"
           "                        (iso_1, cp1252, cp850, cp437, roman8, utf8; default cp1252)\n"
           "  -j, --jobs N          decode rows on N threads (default: one per core); the\n"
           "                        output is the same for every N\n"
           "  -v, --verbose         show losses as they happen; log at debug level\n"
           "      --log-level LEVEL debug, info, error or assert\n"
           "      --log FILE        write the log to FILE (default: recovery.log in the output)\n"
           "  -q, --quiet           show no progress, only errors and the final summary\n"
           "  -h, --help            show this text\n"
           "      --version         show the version\n"
           "\n"
           "Press Ctrl-C once to stop the recovery cleanly, twice to end at once.\n"
           "\n"
           "Exit status:\n" +
           status(kExitOk, "the dump was recovered, nothing lost") +
           status(kExitFailed, "the recovery failed (see the log)") + status(kExitUsage, "wrong command line, or a -d/-t pattern that matched nothing") +
           status(kExitCancelled, "cancelled with Ctrl-C") +
           status(kExitDumpUnreadable, "the dump file is missing or cannot be read") +
           status(kExitNoCatalogue, "no database catalogue found in the dump") +
           status(kExitOutputNotWritable, "the output could not be written") +
           status(kExitLibraryMissing, "the recovery library or its companion library could not be loaded") +
           status(kExitLosses, "recovered with losses (databases, rows, pages or values lost; see the summary)") +
           status(kExitCompressed, "the dump is compressed: decompress it first") +
           status(kExitBigEndian, "the dump comes from a big-endian server: not supported");
}

std::string VersionText() { return "vrnrecover 1.0\n"; }
