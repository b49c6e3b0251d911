// vrnrecover: recovers the databases of a dump file into SQL scripts with
// the recovery library found beside this program.
#include <iostream>
#include <string>
#include <vector>

#include "host/host_run.h"
#include "host/recovery_library.h"
#include "platform/platform.h"
#include "platform/terminal.h"

int main(int argc, char **argv) {
    // A file-size limit makes a write fail, like a full disk: the library
    // cuts its script back to a whole batch and the run ends as a failure
    // with the reason, instead of the program being killed mid-statement.
    platform::ignoreFileSizeSignal();
    // A reader that goes away (psql stopped on an error) makes a write to
    // the stream fail, and the run end with the reason, not the program
    // killed.
    platform::ignoreBrokenPipeSignal();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    HostSettings settings;
    settings.library_path = LibraryBesideProgram();
    settings.terminal = platform::isTerminal(2);
    settings.width = platform::terminalWidth(2);
    return RunHost(args, std::cout, std::cerr, settings);
}
