#include "host/recovery_library.h"

#include <cstring>

namespace {

template <typename Proc> Proc Export(const platform::DynamicLibrary &library, const char *name) {
    void *address = library.symbol(name);
    Proc proc = nullptr;
    static_assert(sizeof(proc) == sizeof(address), "function and data pointers differ in size");
    std::memcpy(&proc, &address, sizeof(proc));
    return proc;
}

} // namespace

bool RecoveryLibrary::Load(const std::string &path, std::string &error) {
    library_ = platform::DynamicLibrary::load(path);
    if (!library_.isLoaded()) {
        error = "cannot load the recovery library '" + path + "'";
        return false;
    }
    file_recover = Export<FileRecoverProc>(library_, "FileRecover");
    set_break_flag = Export<SetBreakFlagProc>(library_, "SetBreakFlag");
    get_dll_version = Export<GetDllVersionProc>(library_, "GetDllVersion");
    file_recover_ex = Export<FileRecoverExProc>(library_, "FileRecoverEx");
    if (!file_recover || !set_break_flag || !get_dll_version || !file_recover_ex) {
        error = "the recovery library '" + path + "' lacks an export";
        library_.unload();
        file_recover = nullptr;
        set_break_flag = nullptr;
        get_dll_version = nullptr;
        file_recover_ex = nullptr;
        return false;
    }
    return true;
}

std::string LibraryBesideProgram() {
    const std::string program = platform::modulePath("");
    const size_t sep = platform::lastSeparator(program);
    const std::string folder = sep == std::string::npos ? std::string() : program.substr(0, sep + 1);
    return folder + platform::sharedLibraryFileName("vrndll");
}
