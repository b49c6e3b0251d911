// libFuzzer target: a whole recovery of the input, served from memory.
//
// Each input is recovered by the recovery driver as FileRecover runs it,
// into a fresh output folder inside a sandbox folder made once per
// process. After each run the sandbox must hold nothing but the output
// folder and the dump's (empty) folder, and the current folder must be as
// it was: anything else was written outside the output folder, and the
// run aborts as a finding. The output folder is emptied after each run.
//
// Crashes, leaks, undefined behaviour and hangs are libFuzzer's and the
// sanitizers' to report (fuzz/run.sh sets the time limit).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Common/logger/logger.h"
#include "fuzz/fuzz_runs.h"
#include "platform/platform.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<std::string> Names(const std::string &folder) {
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, "*", entries);
    std::vector<std::string> names;
    for (const auto &e : entries) names.push_back(e.name);
    return names;
}

[[noreturn]] void Escape(const std::string &what) {
    std::fprintf(stderr, "recovery_fuzzer: written outside the output folder: %s\n", what.c_str());
    std::abort();
}

class Sandbox {
public:
    Sandbox() {
        if (root_.path().empty() || !platform::createDirectory(root_ / "source")) {
            std::fprintf(stderr, "recovery_fuzzer: no sandbox folder below %s\n",
                         platform::tempPath().c_str());
            std::abort();
        }
        cwd_ = platform::currentDirectory();
        cwd_names_ = Names(cwd_);
        // The log as in a recovery, at its usual level, to no file.
        Logger &log = TheLogger();
        log.setThreshold(LOG_INFO);
        log.SetLogFile("/dev/null");
        log.EnableLog();
    }

    std::string out() const { return root_ / "out"; }
    std::string source() const { return root_ / "source" + platform::kPathSeparator; }

    void Prepare() {
        if (!platform::createDirectory(out())) Escape("the output folder was left behind: " + out());
    }
    // The run wrote only into the output folder; then it is emptied.
    void Check() {
        for (const std::string &entry : fuzzruns::WrittenOutside(root_.path(), "out", "source"))
            Escape(root_ / entry);
        if (platform::pathKind(out()) != platform::PathKind::Directory) Escape("the output folder is gone");
        if (Names(cwd_) != cwd_names_) Escape("the current folder " + cwd_);
        testsupport::RemoveTree(out());
    }

private:
    testsupport::TempFolder root_{"recovery_fuzzer"};
    std::string cwd_;
    std::vector<std::string> cwd_names_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Sandbox sandbox;
    sandbox.Prepare();
    fuzzruns::RecoverFromMemory(data, size, sandbox.out(), sandbox.source());
    sandbox.Check();
    return 0;
}
