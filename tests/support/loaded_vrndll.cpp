#include "tests/support/loaded_vrndll.h"

#include <algorithm>
#include <cstring>

#include "tests/support/temp_folder.h"

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

LoadedVrndll &TheLibrary() {
    static LoadedVrndll library;
    return library;
}

void VRN_CDECL IgnoreDiag(const char *, uintptr_t) {}
void VRN_CDECL IgnorePercent(const char *, int, uintptr_t) {}

std::string OutputFolder(const std::string &target) {
    for (const std::string &entry : ListTree(target))
        if (std::count(entry.begin(), entry.end(), '/') == 1 && entry.back() == '/')
            return JoinPath(target, entry.substr(0, entry.size() - 1));
    return std::string();
}

HostRecovery RecoverAsHost(dumpwriter::Dump &dump, const std::string &folder, StatusBar bar) {
    HostRecovery run;
    run.dump = JoinPath(folder, "sample.dmp");
    run.target = JoinPath(folder, "target");
    run.log = JoinPath(folder, "recovery.log");
    if (!platform::createDirectoryWithParents(run.target) || !dump.write_file(run.dump)) return run;
    run.rc = TheLibrary().file_recover(run.dump.c_str(), run.target.c_str(), 0, IgnoreDiag, bar, 0, run.log.c_str());
    run.root = OutputFolder(run.target);
    return run;
}

int RecoverWithOptions(const std::string &dump_path, const std::string &output_folder, VrnOptions options,
                       VrnReport &report) {
    options.size = sizeof options;
    options.output_folder = output_folder.c_str();
    report = VrnReport();
    report.size = sizeof report;
    return TheLibrary().file_recover_ex(dump_path.c_str(), &options, &report);
}

} // namespace testsupport
