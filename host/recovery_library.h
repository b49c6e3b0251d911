// The recovery library as vrnrecover loads it at run time.
#pragma once

#include <string>

#include "platform/platform.h"
#include "vrndll.h"

class RecoveryLibrary {
public:
    // Loads the library and looks up its three exports. False, with a
    // message in `error`, when the file cannot be loaded or an export is
    // missing.
    bool Load(const std::string &path, std::string &error);

    FileRecoverProc file_recover = nullptr;
    SetBreakFlagProc set_break_flag = nullptr;
    GetDllVersionProc get_dll_version = nullptr;
    FileRecoverExProc file_recover_ex = nullptr; // null for a library without it

private:
    platform::DynamicLibrary library_;
};

// The library beside the running program.
std::string LibraryBesideProgram();
