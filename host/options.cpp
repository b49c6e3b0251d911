#include "host/options.h"

#include "host/exit_codes.h"

std::string ParseOptions(const std::vector<std::string> &args, HostOptions &options) {
    options = HostOptions();
    std::vector<std::string> positional;
    bool options_ended = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg == "--log") {
            if (i + 1 >= args.size()) return "--log needs a file name";
            options.log_file = args[++i];
            if (options.log_file.empty()) return "--log needs a file name";
        } else if (arg.compare(0, 6, "--log=") == 0) {
            options.log_file = arg.substr(6);
            if (options.log_file.empty()) return "--log needs a file name";
        } else {
            return "unknown option '" + arg + "'";
        }
    }
    if (options.help || options.version) return "";
    if (positional.size() < 2) return "a dump file and a target folder are needed";
    if (positional.size() > 2) return "unexpected argument '" + positional[2] + "'";
    options.dump = positional[0];
    options.target = positional[1];
    if (options.dump.empty()) return "the dump file name is empty";
    if (options.target.empty()) return "the target folder name is empty";
    return "";
}

std::string UsageText() {
    return "Usage: vrnrecover [options] DUMP TARGET_DIR\n"
           "\n"
           "Recovers the databases of the dump file DUMP into SQL scripts, written to a new\n"
           "folder \"Recovered <dump file name> DD-MM-YYYY HH.MM\" below TARGET_DIR.\n"
           "\n"
           "Options:\n"
           "  --log FILE   append a detailed log of the recovery to FILE\n"
           "  -q, --quiet  show no progress, only errors and the final summary\n"
           "  -h, --help   show this text\n"
           "  --version    show the version\n"
           "\n"
           "Press Ctrl-C once to stop the recovery cleanly, twice to end at once.\n"
           "\n"
           "Exit status:\n"
           "  " + std::to_string(kExitOk) + "  the dump was recovered\n"
           "  " + std::to_string(kExitFailed) + "  the recovery failed (see the log)\n"
           "  " + std::to_string(kExitUsage) + "  wrong command line\n"
           "  " + std::to_string(kExitCancelled) + "  cancelled with Ctrl-C\n"
           "  " + std::to_string(kExitDumpUnreadable) + "  the dump file is missing or cannot be read\n"
           "  " + std::to_string(kExitNoCatalogue) + "  no database catalogue found in the dump\n"
           "  " + std::to_string(kExitOutputNotWritable) + "  the output could not be written below TARGET_DIR\n"
           "  " + std::to_string(kExitLibraryMissing) + "  the recovery library could not be loaded\n";
}

std::string VersionText() { return "vrnrecover 1.0\n"; }
