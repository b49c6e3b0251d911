// Which companion library a loaded library uses, and what a faulty one does
// to a recovery call. Each case copies the library into a folder of its own
// beside the companion it needs, so each runs in a process of its own (the
// build registers one test per case): a process can tell apart only one
// library of a name.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/platform.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"

using testsupport::LibraryBesideProgram;
using testsupport::LoadedVrndll;
using testsupport::TempFolder;

namespace {

void VRN_CDECL IgnoreDiag(const char *, uintptr_t) {}
void VRN_CDECL IgnorePercent(const char *, int, uintptr_t) {}

bool CopyFile(const std::string &from, const std::string &to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return in.good() && out.good();
}

class CompanionLoading : public ::testing::Test {
protected:
    void SetUp() override {
        if (platform::modulePath(platform::sharedLibraryFileName("vrndll")) !=
            platform::modulePath(""))
            GTEST_SKIP() << "another copy of the library is loaded: run this case on its own";
    }

    // Copies the library into the case's folder as `library_base` and, when
    // `fake` is not empty, the companion built as `fake` beside it under the
    // companion's own name. Returns the copied library's path.
    std::string Arrange(const std::string &library_base, const std::string &fake) {
        const std::string library = folder_ / platform::sharedLibraryFileName(library_base);
        EXPECT_TRUE(CopyFile(LibraryBesideProgram("vrndll"), library));
        if (!fake.empty()) {
            EXPECT_TRUE(CopyFile(LibraryBesideProgram(fake),
                                 folder_ / platform::sharedLibraryFileName("tlvcmn")));
        }
        return library;
    }

    // A call on a missing dump: -5 once the host interaction is set up, -2
    // when the companion library failed it.
    int RecoverMissingDump(LoadedVrndll &library) {
        return library.file_recover((folder_ / "missing.bin").c_str(),
                                    (folder_ / "target").c_str(), 0, IgnoreDiag, IgnorePercent, 0,
                                    "");
    }

    TempFolder folder_{"companion"};
};

} // namespace

TEST_F(CompanionLoading, MissingGetStringFailsTheCall) {
    LoadedVrndll library(Arrange("vrndll", "tlvcmn_no_getstring"));
    ASSERT_TRUE(library.loaded());
    EXPECT_EQ(RecoverMissingDump(library), VRN_RESULT_FAILED);
}

TEST_F(CompanionLoading, NoCompanionFailsTheCall) {
    const char *installed = platform::kPathSeparator == '\\'
                                ? "c:\\Program Files\\Varnoth\\tlvcmn.dll"
                                : "/usr/lib/varnoth/libtlvcmn.so";
    if (platform::exists(installed)) GTEST_SKIP() << "a companion library is installed";
    LoadedVrndll library(Arrange("vrndll", ""));
    ASSERT_TRUE(library.loaded());
    EXPECT_EQ(RecoverMissingDump(library), VRN_RESULT_FAILED);
    EXPECT_FALSE(platform::exists(folder_ / "target"));
}

TEST_F(CompanionLoading, EmptyProductNameStillRecovers) {
    LoadedVrndll library(Arrange("vrndll", "tlvcmn_empty_name"));
    ASSERT_TRUE(library.loaded());
    EXPECT_EQ(RecoverMissingDump(library), VRN_RESULT_NO_SOURCE);
}

TEST_F(CompanionLoading, RenamedLibraryUsesTheProgramFolder) {
    // The faulty companion beside the renamed copy is not the one used: the
    // library finds no module of its own name and looks beside the program.
    LoadedVrndll library(Arrange("vrndll_renamed", "tlvcmn_no_getstring"));
    ASSERT_TRUE(library.loaded());
    EXPECT_EQ(RecoverMissingDump(library), VRN_RESULT_NO_SOURCE);
}

TEST_F(CompanionLoading, LoadingAndUnloadingCreateNoFileAndLoadNoCompanion) {
    // Loading may happen under the system's loader lock: the library then
    // creates no file (its temporary space stays empty) and loads no
    // companion library (the fake would leave its marker).
    TempFolder temp("load_temp");
    const std::string marker = folder_ / "companion_loaded";
    ASSERT_TRUE(platform::setEnvironment("TALVANETMP", temp.path()));
    ASSERT_TRUE(platform::setEnvironment("VRN_COMPANION_LOAD_MARKER", marker));
    const std::string path = Arrange("vrndll", "tlvcmn_empty_name");
    {
        LoadedVrndll library(path);
        ASSERT_TRUE(library.loaded());
        library.unload();
    }
    EXPECT_TRUE(testsupport::ListTree(temp.path()).empty());
    EXPECT_FALSE(platform::exists(marker));

    // The first call does that work: the marker shows the test can see it.
    LoadedVrndll library(path);
    ASSERT_TRUE(library.loaded());
    EXPECT_EQ(RecoverMissingDump(library), VRN_RESULT_NO_SOURCE);
    EXPECT_TRUE(platform::exists(marker));
    EXPECT_FALSE(testsupport::ListTree(temp.path()).empty());
    platform::unsetEnvironment("VRN_COMPANION_LOAD_MARKER");
    platform::unsetEnvironment("TALVANETMP");
}
