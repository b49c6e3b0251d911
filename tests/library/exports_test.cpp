// The library as a host sees it: the three exports of the loaded library,
// the output folder of a call, and the failures a host must be told about.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::Occurrences;
using testsupport::ReadFileText;
using testsupport::TempFolder;
using testsupport::WriteFileText;

namespace {

struct HostRecord {
    std::vector<std::string> diags;
    std::vector<int> percents;
};

void VRN_CDECL RecordDiag(const char *text, uintptr_t user_data) {
    reinterpret_cast<HostRecord *>(user_data)->diags.push_back(text);
}

void VRN_CDECL RecordPercent(const char *, int percent, uintptr_t user_data) {
    reinterpret_cast<HostRecord *>(user_data)->percents.push_back(percent);
}

std::string FolderNameAt(const std::string &file_name, const platform::DateTime &t) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, " %02d-%02d-%d %02d.%02d", t.day, t.month, t.year, t.hour,
                  t.minute);
    return "Recovered " + file_name + stamp + "/";
}

// The host's cancel flag lives as long as the process: the library keeps the
// pointer until it is replaced.
bool g_cancel = false;

class LoadedLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() { library_.reset(new testsupport::LoadedVrndll()); }
    static void TearDownTestSuite() { library_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(library_->loaded()) << testsupport::LibraryBesideProgram("vrndll");
        g_cancel = false;
        library_->set_break_flag(&g_cancel);
        dump_ = folder_ / "dump.bin";
        ASSERT_TRUE(WriteFileText(dump_, std::string(4096, '\x5a')));
        target_ = folder_ / "target";
        log_ = folder_ / "host.log";
    }
    void TearDown() override {
        if (library_ && library_->loaded()) library_->set_break_flag(nullptr);
    }

    int Recover(const std::string &source, const std::string &target, const char *log) {
        return library_->file_recover(source.c_str(), target.c_str(), 0, RecordDiag, RecordPercent,
                                      reinterpret_cast<uintptr_t>(&record_), log);
    }
    int Recover(const std::string &source) { return Recover(source, target_, log_.c_str()); }

    static std::unique_ptr<testsupport::LoadedVrndll> library_;
    TempFolder folder_{"exports"};
    std::string dump_, target_, log_;
    HostRecord record_;
};

std::unique_ptr<testsupport::LoadedVrndll> LoadedLibrary::library_;

} // namespace

// ---------------------------------------------------------------- the exports

TEST_F(LoadedLibrary, VersionIsAlwaysZero) { EXPECT_EQ(library_->get_dll_version(), 0); }

// The three original exports and the extended entry point, by their
// undecorated names (the Windows build checks that these are all).
TEST_F(LoadedLibrary, ExportsTheThreeOriginalFunctionsAndTheExtendedEntry) {
    platform::DynamicLibrary library =
        platform::DynamicLibrary::load(testsupport::LibraryBesideProgram("vrndll"));
    ASSERT_TRUE(library.isLoaded());
    for (const char *name : {"FileRecover", "SetBreakFlag", "GetDllVersion", "FileRecoverEx"})
        EXPECT_NE(library.symbol(name), nullptr) << name;
}

TEST_F(LoadedLibrary, MissingCallbackFailsTheCallBeforeAnythingIsMade) {
    EXPECT_EQ(library_->file_recover(dump_.c_str(), target_.c_str(), 0, nullptr, RecordPercent, 0,
                                     log_.c_str()),
              VRN_RESULT_FAILED);
    EXPECT_EQ(library_->file_recover(dump_.c_str(), target_.c_str(), 0, RecordDiag, nullptr, 0,
                                     log_.c_str()),
              VRN_RESULT_FAILED);
    EXPECT_FALSE(platform::exists(target_));
}

// ---------------------------------------------------------------- the output folder

TEST_F(LoadedLibrary, BareFileNameIsTakenFromTheCurrentFolder) {
    const std::string name = "vrn_bare_" + std::to_string(platform::processId()) + ".dmp";
    const std::string in_current = JoinPath(platform::currentDirectory(), name);
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    ASSERT_TRUE(dump.write_file(in_current));
    const int result = Recover(name);
    platform::deleteFile(in_current);
    EXPECT_EQ(result, VRN_RESULT_OK);
    const std::vector<std::string> made = ListTree(target_);
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(made[0].compare(0, 10 + name.size(), "Recovered " + name), 0) << made[0];
}

// The output folder's name is predictable. Whatever lies there already (an
// earlier recovery's output, a link to a folder elsewhere, a file) is never
// written into or through: the recovery makes a new folder beside it.
TEST_F(LoadedLibrary, OutputGoesIntoANewFolderWhateverLiesAtItsName) {
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dump.database("sales", 5, 2).table(101, "orders");
    const std::string sales = folder_ / "sales.dmp";
    ASSERT_TRUE(dump.write_file(sales));
    const std::string outside = folder_ / "outside";
    ASSERT_TRUE(platform::createDirectory(outside));

    using Plant = bool (*)(const std::string &at, const std::string &outside);
    struct Case {
        const char *what;
        Plant plant;
    };
    const Case cases[] = {
        {"an earlier recovery's folder",
         [](const std::string &at, const std::string &) {
             return platform::createDirectory(at) && WriteFileText(JoinPath(at, "int0.ini"), "earlier");
         }},
        {"a link to a folder elsewhere",
         [](const std::string &at, const std::string &to) {
             std::error_code error;
             std::filesystem::create_directory_symlink(to, at, error);
             return !error;
         }},
        {"a file", [](const std::string &at, const std::string &) { return WriteFileText(at, "x"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string planted;
        for (int attempt = 0; attempt < 3; ++attempt) {
            testsupport::RemoveTree(target_);
            ASSERT_TRUE(platform::createDirectory(target_));
            const platform::DateTime before = platform::localTime();
            std::string name = FolderNameAt("sales.dmp", before);
            planted = JoinPath(target_, name.substr(0, name.size() - 1));
            if (!c.plant(planted, outside)) break;
            ASSERT_EQ(Recover(sales), VRN_RESULT_OK);
            if (before.minute == platform::localTime().minute) break; // else the minute turned: again
        }
        if (platform::pathKind(planted) == platform::PathKind::Missing) continue; // cannot be planted here
        const std::string made = planted + " (2)";
        EXPECT_EQ(ListTree(made), (std::vector<std::string>{"int0.ini", "manifest.json", "master/", "master/commit.bat",
                                                            "master/commit.sh", "sales/", "sales/commit.bat",
                                                            "sales/commit.sh"}));
        EXPECT_TRUE(ListTree(outside).empty());
        EXPECT_NE(platform::pathKind(planted), platform::PathKind::Missing);
        if (platform::pathKind(planted) == platform::PathKind::Directory) {
            EXPECT_EQ(ListTree(planted), (std::vector<std::string>{"int0.ini"}));
        }
    }
}

// ---------------------------------------------------------------- failures

// A recovery that fails leaves no empty output folder behind, and a dump
// that is no regular file is refused at once, before anything is made.
TEST_F(LoadedLibrary, FailedRecoveriesLeaveNoOutputFolder) {
    struct Case {
        const char *what;
        std::string dump;
        bool cancel;
        int result;
    };
    std::vector<Case> cases = {
        {"cancelled before the start", dump_, true, VRN_RESULT_CANCELLED},
        {"no catalogue in the dump", dump_, false, VRN_RESULT_NO_CATALOGUE},
    };
#if !defined(_WIN32)
    const std::string fifo = folder_ / "pipe.dmp";
    if (std::system(("mkfifo '" + fifo + "'").c_str()) == 0)
        cases.push_back({"a FIFO, which has no writer", fifo, false, VRN_RESULT_NO_SOURCE});
    cases.push_back({"a device", "/dev/zero", false, VRN_RESULT_NO_SOURCE});
#endif
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::RemoveTree(target_);
        g_cancel = c.cancel;
        record_ = HostRecord();
        EXPECT_EQ(Recover(c.dump), c.result);
        EXPECT_TRUE(ListTree(target_).empty());
        EXPECT_TRUE(record_.diags.empty() || !c.cancel) << "no pass was announced";
    }
    EXPECT_TRUE(platform::deleteFile(dump_)) << "the dump was closed";
}

TEST_F(LoadedLibrary, MissingDumpIsReportedAndNothingIsMade) {
    EXPECT_EQ(Recover(folder_ / "no such dump.bin"), VRN_RESULT_NO_SOURCE);
    EXPECT_FALSE(platform::exists(target_));
}

TEST_F(LoadedLibrary, FolderGivenAsDumpIsRefused) {
    EXPECT_EQ(Recover(folder_.path()), VRN_RESULT_NO_SOURCE);
    EXPECT_FALSE(platform::exists(target_));
}

TEST_F(LoadedLibrary, OverlongOutputFolderIsRefusedBeforeAnythingIsWritten) {
    const std::string deep_target = JoinPath(target_, std::string(240, 't'));
    EXPECT_EQ(Recover(dump_, deep_target, log_.c_str()), VRN_RESULT_NO_SOURCE);
    EXPECT_FALSE(platform::exists(target_));
}

TEST_F(LoadedLibrary, OverlongSourceFolderIsRefusedBeforeAnythingIsWritten) {
    std::string deep = folder_.path();
    while (deep.size() <= 260) {
        deep = JoinPath(deep, std::string(50, 's'));
        platform::createDirectory(deep);
    }
    const std::string deep_dump = JoinPath(deep, "d.bin");
    if (!WriteFileText(deep_dump, "not a dump")) GTEST_SKIP() << "no paths this long here";
    EXPECT_EQ(Recover(deep_dump), VRN_RESULT_NO_SOURCE);
    EXPECT_FALSE(platform::exists(target_));
}

TEST_F(LoadedLibrary, TargetThatCannotBeMadeIsAFailure) {
    // A file stands where the target's parent folder should be.
    ASSERT_TRUE(WriteFileText(target_, "in the way"));
    EXPECT_EQ(Recover(dump_, JoinPath(target_, "sub"), log_.c_str()), VRN_RESULT_NO_SOURCE);
    EXPECT_EQ(ReadFileText(target_), "in the way");
}

// ---------------------------------------------------------------- log and cancel flag set-up

TEST_F(LoadedLibrary, NullAndEmptyLogPathsAreAccepted) {
    const std::string missing = folder_ / "missing.bin";
    EXPECT_EQ(Recover(missing, target_, nullptr), VRN_RESULT_NO_SOURCE);
    EXPECT_EQ(Recover(missing, target_, ""), VRN_RESULT_NO_SOURCE);
    EXPECT_FALSE(platform::exists(target_));
}
