// vrnrecover from command line to exit status, with the built library.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "host/cancel.h"
#include "host/exit_codes.h"
#include "host/host_run.h"
#include "host/output_folder.h"
#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::TempFolder;
using testsupport::WriteFileText;

namespace {

// A stream that acts as the Ctrl-C handler does the first time something is
// written to it: the first text the recovery shows.
class CtrlCOnFirstWrite : public std::streambuf {
protected:
    int overflow(int c) override {
        Press();
        return c == EOF ? 0 : c;
    }
    std::streamsize xsputn(const char *, std::streamsize n) override {
        Press();
        return n;
    }

private:
    void Press() {
        if (pressed_) return;
        pressed_ = true;
        *CancelFlag() = true;
    }
    bool pressed_ = false;
};

class Vrnrecover : public ::testing::Test {
protected:
    int Run(const std::vector<std::string> &args, const std::string &library_path) {
        out_.str("");
        err_.str("");
        HostSettings settings;
        settings.library_path = library_path;
        return RunHost(args, out_, err_, settings);
    }
    int Run(const std::vector<std::string> &args) {
        return Run(args, testsupport::LibraryBesideProgram("vrndll"));
    }

    // A dump with one user database besides the master database.
    std::string GoodDump() {
        dumpwriter::Dump dump(2);
        dump.database("master", 1, 0);
        dump.database("sales", 5, 2).table(101, "orders");
        const std::string path = folder_ / "sales.dmp";
        EXPECT_TRUE(dump.write_file(path));
        return path;
    }

    TempFolder folder_{"host"};
    std::ostringstream out_, err_;
};

} // namespace

// ---------------------------------------------------------------- before the library

TEST_F(Vrnrecover, HelpAndVersionSucceed) {
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_NE(out_.str().find("Usage: vrnrecover [options] DUMP TARGET_DIR"), std::string::npos);
    EXPECT_EQ(Run({"--version"}), kExitOk);
    EXPECT_EQ(out_.str(), "vrnrecover 1.0\n");
}

TEST_F(Vrnrecover, WrongCommandLineIsAUsageError) {
    EXPECT_EQ(Run({"only-one-argument"}), kExitUsage);
    EXPECT_NE(err_.str().find("Try 'vrnrecover --help'."), std::string::npos);
    EXPECT_EQ(out_.str(), "");
}

TEST_F(Vrnrecover, MissingOrFolderDumpIsReportedAndNothingIsMade) {
    const std::string target = folder_ / "out";
    EXPECT_EQ(Run({folder_ / "missing.dmp", target}), kExitDumpUnreadable);
    EXPECT_NE(err_.str().find("cannot read the dump file"), std::string::npos);
    EXPECT_EQ(Run({folder_.path(), target}), kExitDumpUnreadable);
    EXPECT_NE(err_.str().find("is a folder"), std::string::npos);
    EXPECT_FALSE(platform::exists(target));
}

TEST_F(Vrnrecover, MissingLibraryIsReported) {
    const std::string dump = folder_ / "any.dmp";
    ASSERT_TRUE(WriteFileText(dump, "x"));
    EXPECT_EQ(Run({dump, folder_ / "out"}, folder_ / "no-library"), kExitLibraryMissing);
    EXPECT_NE(err_.str().find("cannot load the recovery library"), std::string::npos);
}

// ---------------------------------------------------------------- with the library

TEST_F(Vrnrecover, RecoveryEndsWithASummaryNamingTheOutputFolder) {
    const std::string dump = GoodDump();
    const std::string target = folder_ / "out";
    const std::string log = folder_ / "run.log";
    ASSERT_EQ(Run({"--log", log, dump, target}), kExitOk) << err_.str();
    const std::string folder = FindNewestOutputFolder(target, "sales.dmp");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(out_.str().find("Recovered sales.dmp into " + folder + " ("), 0u) << out_.str();
    EXPECT_NE(err_.str().find("Pass 1: analyzing database...\n"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("progress: 100%\n"), std::string::npos);
    EXPECT_TRUE(platform::exists(log));
}

TEST_F(Vrnrecover, QuietRecoveryShowsOnlyTheSummary) {
    ASSERT_EQ(Run({"-q", GoodDump(), folder_ / "out"}), kExitOk) << err_.str();
    EXPECT_EQ(err_.str(), "");
    EXPECT_NE(out_.str().find("Recovered sales.dmp into "), std::string::npos);
}

TEST_F(Vrnrecover, UnwritableTargetIsNotBlamedOnTheDump) {
    const std::string dump = GoodDump();
    const std::string blocker = folder_ / "file";
    ASSERT_TRUE(WriteFileText(blocker, "in the way"));
    EXPECT_EQ(Run({dump, JoinPath(blocker, "out")}), kExitOutputNotWritable);
    EXPECT_NE(err_.str().find("could not write the output"), std::string::npos);
}

TEST_F(Vrnrecover, CtrlCStopsTheRecoveryAsCancelled) {
    const std::string dump = GoodDump();
    CtrlCOnFirstWrite presses;
    std::ostream err(&presses);
    HostSettings settings;
    settings.library_path = testsupport::LibraryBesideProgram("vrndll");
    const int status = RunHost({dump, folder_ / "out"}, out_, err, settings);
    EXPECT_EQ(status, kExitCancelled);
}

// ---------------------------------------------------------------- pieces

TEST(CancelHandler, FirstCtrlCSetsTheFlagHandedToTheLibrary) {
    ArmCancel();
    EXPECT_FALSE(*CancelFlag());
    std::raise(SIGINT);
    EXPECT_TRUE(*CancelFlag());
    EXPECT_TRUE(CancelRequested());
    ArmCancel();
    EXPECT_FALSE(CancelRequested()) << "armed afresh for the next run";
    DisarmCancel();
}

TEST(OutputFolderSearch, NewestFolderByTheTimeInItsName) {
    TempFolder target("newest");
    for (const char *name : {"Recovered a.dmp 31-12-2009 23.59", "Recovered a.dmp 01-01-2010 00.00",
                             "Recovered a.dmp 07-03-2009 09.05", "Recovered b.dmp 01-01-2030 00.00",
                             "Recovered a.dmp garbage"})
        ASSERT_TRUE(platform::createDirectory(target / name));
    ASSERT_TRUE(WriteFileText(target / "Recovered a.dmp 01-01-2031 00.00", "a file, not a folder"));
    EXPECT_EQ(FindNewestOutputFolder(target.path(), "a.dmp"),
              target / "Recovered a.dmp 01-01-2010 00.00");
    EXPECT_EQ(FindNewestOutputFolder(target.path(), "c.dmp"), "");
    EXPECT_EQ(FindNewestOutputFolder(target / "missing", "a.dmp"), "");
}
