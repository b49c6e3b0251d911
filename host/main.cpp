// vrnrecover: recovers the databases of a dump file into SQL scripts with
// the recovery library found beside this program.
#include <iostream>
#include <string>
#include <vector>

#include "host/host_run.h"
#include "host/recovery_library.h"
#include "platform/terminal.h"

int main(int argc, char **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    HostSettings settings;
    settings.library_path = LibraryBesideProgram();
    settings.terminal = platform::isTerminal(2);
    settings.width = platform::terminalWidth(2);
    return RunHost(args, std::cout, std::cerr, settings);
}
