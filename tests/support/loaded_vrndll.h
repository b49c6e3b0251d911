// The built recovery library, loaded at run time as a host loads it.
#pragma once

#include <string>

#include "platform/platform.h"
#include "vrndll.h"

namespace testsupport {

// The library file named `base_name` ("vrndll") beside the test program.
std::string LibraryBesideProgram(const std::string &base_name);

class LoadedVrndll {
public:
    // Loads `path` (default: the library beside the test program) and looks
    // up the exports; loaded() tells whether all went well.
    explicit LoadedVrndll(const std::string &path = LibraryBesideProgram("vrndll"));

    bool loaded() const { return file_recover && set_break_flag && get_dll_version; }
    void unload();

    FileRecoverProc file_recover = nullptr;
    SetBreakFlagProc set_break_flag = nullptr;
    GetDllVersionProc get_dll_version = nullptr;
    FileRecoverExProc file_recover_ex = nullptr; // the extended entry point

private:
    platform::DynamicLibrary library_;
};

} // namespace testsupport
