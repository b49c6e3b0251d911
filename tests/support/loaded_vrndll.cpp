#include "tests/support/loaded_vrndll.h"

#include <cstring>

namespace testsupport {

namespace {

template <typename Proc> Proc Export(const platform::DynamicLibrary &library, const char *name) {
    void *address = library.symbol(name);
    Proc proc = nullptr;
    std::memcpy(&proc, &address, sizeof(proc));
    return proc;
}

} // namespace

std::string LibraryBesideProgram(const std::string &base_name) {
    const std::string program = platform::modulePath("");
    const size_t sep = platform::lastSeparator(program);
    return (sep == std::string::npos ? std::string() : program.substr(0, sep + 1)) +
           platform::sharedLibraryFileName(base_name);
}

LoadedVrndll::LoadedVrndll(const std::string &path)
    : library_(platform::DynamicLibrary::load(path)) {
    if (!library_.isLoaded()) return;
    file_recover = Export<FileRecoverProc>(library_, "FileRecover");
    set_break_flag = Export<SetBreakFlagProc>(library_, "SetBreakFlag");
    get_dll_version = Export<GetDllVersionProc>(library_, "GetDllVersion");
    file_recover_ex = Export<FileRecoverExProc>(library_, "FileRecoverEx");
}

void LoadedVrndll::unload() {
    file_recover = nullptr;
    set_break_flag = nullptr;
    get_dll_version = nullptr;
    file_recover_ex = nullptr;
    library_.unload();
}

} // namespace testsupport
