#include "host/cancel.h"

#include <csignal>
#include <cstdlib>

namespace {

bool g_cancel_flag = false;
volatile std::sig_atomic_t g_presses = 0;

extern "C" void OnInterrupt(int signal_number) {
    if (g_presses > 0) std::_Exit(130);
    g_presses = 1;
    *static_cast<volatile bool *>(&g_cancel_flag) = true;
    // Some systems reset the handler before calling it.
    std::signal(signal_number, OnInterrupt);
}

} // namespace

bool *CancelFlag() { return &g_cancel_flag; }

bool CancelRequested() { return *static_cast<volatile bool *>(&g_cancel_flag); }

void ArmCancel() {
    g_presses = 0;
    g_cancel_flag = false;
    std::signal(SIGINT, OnInterrupt);
}

void DisarmCancel() { std::signal(SIGINT, SIG_DFL); }
