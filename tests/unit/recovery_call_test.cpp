// The pieces of one recovery call: where the output goes, and how results
// travel to the host.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "vrndll.h"
#include "vrndll/call/RecoveryCall.h"

namespace {

const std::string S(1, platform::kPathSeparator);

platform::DateTime March7th2010At0905() {
    platform::DateTime when;
    when.year = 2010;
    when.month = 3;
    when.day = 7;
    when.hour = 9;
    when.minute = 5;
    when.second = 41;
    return when;
}

} // namespace

// ---------------------------------------------------------------- output folder

TEST(OutputFolder, NameHoldsTheDumpFileNameAndTheMinuteOfTheCall) {
    EXPECT_EQ(ComposeOutputFolder("out", "sales.dmp", March7th2010At0905()),
              "out" + S + "Recovered sales.dmp 07-03-2010 09.05");
    platform::DateTime late = March7th2010At0905();
    late.day = 31;
    late.month = 12;
    late.hour = 23;
    late.minute = 59;
    late.year = 999;
    EXPECT_EQ(ComposeOutputFolder("t", "a", late), "t" + S + "Recovered a 31-12-999 23.59")
        << "the year is written as it is";
}

TEST(OutputFolder, SeparatorsEndingTheTargetAreNotDoubled) {
    EXPECT_EQ(ComposeOutputFolder("out" + S + S, "x", March7th2010At0905()),
              "out" + S + "Recovered x 07-03-2010 09.05");
    // The root folder stays the root folder.
    EXPECT_EQ(ComposeOutputFolder(S, "x", March7th2010At0905()),
              S + "Recovered x 07-03-2010 09.05");
}

// ---------------------------------------------------------------- source path

TEST(SourcePathSplit, FolderKeepsItsSeparatorAndTheNameItsExtension) {
    const SourcePath parts = SplitSourcePath("d" + S + "dumps" + S + "sales.dmp", "cwd");
    EXPECT_EQ(parts.folder, "d" + S + "dumps" + S);
    EXPECT_EQ(parts.file_name, "sales.dmp");
}

TEST(SourcePathSplit, BareFileNameLiesInTheCurrentFolder) {
    SourcePath parts = SplitSourcePath("sales.dmp", "work");
    EXPECT_EQ(parts.folder, "work" + S);
    EXPECT_EQ(parts.file_name, "sales.dmp");

    parts = SplitSourcePath("sales.dmp", "work" + S);
    EXPECT_EQ(parts.folder, "work" + S) << "no doubled separator";

    parts = SplitSourcePath("sales.dmp", "");
    EXPECT_EQ(parts.folder, "") << "unknown current folder: relative to it";
}

TEST(SourcePathSplit, DriveWithoutSeparatorIsTheFolderOnWindowsOnly) {
    const SourcePath parts = SplitSourcePath("c:sales.dmp", "work");
    if (platform::kPathSeparator == '\\') {
        EXPECT_EQ(parts.folder, "c:");
        EXPECT_EQ(parts.file_name, "sales.dmp");
    } else {
        EXPECT_EQ(parts.folder, "work/");
        EXPECT_EQ(parts.file_name, "c:sales.dmp");
    }
}

// ---------------------------------------------------------------- results

TEST(ResultMapping, DriverResultsOtherThanTheKnownFailuresCountAsDone) {
    EXPECT_EQ(MapDriverResult(0), 0);
    EXPECT_EQ(MapDriverResult(-1000), -1000);
    EXPECT_EQ(MapDriverResult(-5), -5);
    EXPECT_EQ(MapDriverResult(-3), -3);
    EXPECT_EQ(MapDriverResult(-2), -2);
    EXPECT_EQ(MapDriverResult(-200), 0) << "a scan that ran to the end of the dump";
    EXPECT_EQ(MapDriverResult(7), 0);
}

TEST(ResultMapping, ExportedCodesOfARecovery) {
    EXPECT_EQ(MapRecoverResult(0), VRN_RESULT_OK);
    EXPECT_EQ(MapRecoverResult(kCancelledBeforeStart), VRN_RESULT_CANCELLED);
    EXPECT_EQ(MapRecoverResult(-5), VRN_RESULT_NO_SOURCE);
    EXPECT_EQ(MapRecoverResult(-3), VRN_RESULT_NO_CATALOGUE);
    EXPECT_EQ(MapRecoverResult(-2), VRN_RESULT_DRIVER_FAILED);
    EXPECT_EQ(MapRecoverResult(-1000), VRN_RESULT_FAILED) << "stopped during the run";
    EXPECT_EQ(MapRecoverResult(-77), VRN_RESULT_FAILED);
}
