// Whether a standard stream of the process is an interactive terminal.
#pragma once

namespace platform {

// fd: 0 standard input, 1 standard output, 2 standard error.
bool isTerminal(int fd);

// Columns of the terminal on `fd`; 0 when unknown (not a terminal).
int terminalWidth(int fd);

} // namespace platform
