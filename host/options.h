// Command line of vrnrecover.
#pragma once

#include <string>
#include <vector>

struct HostOptions {
    std::string dump;     // the dump file to recover
    std::string target;   // the folder that receives the dated output folder
    std::string log_file; // empty: no log file of the host's
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Reads the arguments that follow the program name. Returns an empty text
// when they are sound, else what is wrong with them. With --help or
// --version nothing else is required.
std::string ParseOptions(const std::vector<std::string> &args, HostOptions &options);

// The text of vrnrecover --help, exit statuses included.
std::string UsageText();

// The text of vrnrecover --version.
std::string VersionText();
