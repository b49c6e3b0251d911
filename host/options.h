// Command line of vrnrecover.
#pragma once

#include <string>
#include <vector>

struct HostOptions {
    std::string dump;     // the dump file to recover
    std::string target;   // the folder that receives the dated output folder
    std::string output;   // -o: the exact output folder
    bool force = false;   // write into a non-empty -o folder
    bool list = false;    // -l: list what the dump holds, write nothing
    bool json = false;    // --json (with --list): the listing as the manifest's JSON
    std::vector<std::string> databases; // -d patterns
    std::vector<std::string> tables;    // -t patterns
    bool schema_only = false;
    bool data_only = false;
    int rows_per_file = 0;      // 0: the library's 100
    std::string template_file;  // --template
    bool no_template = false;   // --no-template
    int format = 0;             // --format: VRN_FORMAT_*
    std::string charset;        // --charset: empty, the library's default
    int threads = 0;            // -j: threads that decode rows; 0: one per core
    int log_level = 0;          // 0: the library's setting; 1 debug .. 4 assert
    bool verbose = false;       // -v: losses shown as they happen, debug log
    std::string log_file;       // empty: recovery.log in the output folder
    bool quiet = false;
    bool help = false;
    bool version = false;
    // -o -: one stream on standard output instead of folders.
    bool Stream() const { return output == "-"; }
};

// Reads the arguments that follow the program name. Returns an empty text
// when they are sound, else what is wrong with them. With --help or
// --version nothing else is required.
std::string ParseOptions(const std::vector<std::string> &args, HostOptions &options);

// The threads -j asks for, or one per core of this machine (at most 64).
int ThreadsToUse(const HostOptions &options);

// The text of vrnrecover --help, exit statuses included.
std::string UsageText();

// The text of vrnrecover --version.
std::string VersionText();
