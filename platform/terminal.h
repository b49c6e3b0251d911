// Whether a standard stream of the process is an interactive terminal.
#pragma once

namespace platform {

// fd: 0 standard input, 1 standard output, 2 standard error.
bool isTerminal(int fd);

} // namespace platform
