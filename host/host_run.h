// One run of vrnrecover: command line in, exit status out.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct HostSettings {
    std::string library_path; // the recovery library to load
    bool terminal = false;    // `err` is an interactive terminal
    int width = 0;            // its columns; 0 when unknown
};

// args: the arguments after the program name. Progress and errors go to
// `err`, the final summary to `out`. Returns the exit status (exit_codes.h).
int RunHost(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
            const HostSettings &settings);
