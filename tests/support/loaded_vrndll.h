// The built recovery library, loaded at run time as a host loads it, and
// one FileRecover call made the way a host makes it.
#pragma once

#include <string>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
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

// The library beside the test program, loaded once for the whole program.
LoadedVrndll &TheLibrary();

// Host callbacks that ignore what they are told.
void VRN_CDECL IgnoreDiag(const char *text, uintptr_t user_data);
void VRN_CDECL IgnorePercent(const char *text, int percent, uintptr_t user_data);

// The one output folder ("Recovered NAME DATE") a FileRecover call made
// below `target`; empty when it made none.
std::string OutputFolder(const std::string &target);

// One FileRecover call of TheLibrary() in `folder`: the dump is written to
// folder/sample.dmp and recovered into folder/target (made when missing), with
// its log in folder/recovery.log.
struct HostRecovery {
    int rc = -1;
    std::string dump, target, log;
    std::string root; // OutputFolder(target)
};
HostRecovery RecoverAsHost(dumpwriter::Dump &dump, const std::string &folder, StatusBar bar = IgnorePercent);

// One FileRecoverEx call of TheLibrary() on the dump file `dump_path`, with
// `options` completed by their size and the output folder; `report` is
// cleared and sized first.
int RecoverWithOptions(const std::string &dump_path, const std::string &output_folder, VrnOptions options,
                       VrnReport &report);

} // namespace testsupport
