// The command line of vrnrecover and the exit statuses it documents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/exit_codes.h"
#include "host/options.h"
#include "vrndll.h"

namespace {

std::string Parse(std::vector<std::string> args, HostOptions &options) {
    return ParseOptions(args, options);
}

} // namespace

// ---------------------------------------------------------------- command line

TEST(CommandLine, DumpAndTargetWithOptionsAnywhere) {
    HostOptions options;
    EXPECT_EQ(Parse({"--quiet", "a.dmp", "--log", "run.log", "out"}, options), "");
    EXPECT_EQ(options.dump, "a.dmp");
    EXPECT_EQ(options.target, "out");
    EXPECT_EQ(options.log_file, "run.log");
    EXPECT_TRUE(options.quiet);

    EXPECT_EQ(Parse({"--log=x.log", "a.dmp", "out"}, options), "");
    EXPECT_EQ(options.log_file, "x.log");
    EXPECT_FALSE(options.quiet) << "every parse starts afresh";
}

TEST(CommandLine, DoubleDashEndsTheOptions) {
    HostOptions options;
    EXPECT_EQ(Parse({"--", "--odd name.dmp", "-out"}, options), "");
    EXPECT_EQ(options.dump, "--odd name.dmp");
    EXPECT_EQ(options.target, "-out");
}

TEST(CommandLine, WrongCommandLinesAreExplained) {
    HostOptions options;
    EXPECT_NE(Parse({}, options), "");
    EXPECT_NE(Parse({"only.dmp"}, options), "");
    EXPECT_NE(Parse({"a.dmp", "out", "third"}, options), "");
    EXPECT_NE(Parse({"a.dmp", "out", "--log"}, options), "");
    EXPECT_NE(Parse({"a.dmp", "out", "--log="}, options), "");
    EXPECT_NE(Parse({"a.dmp", "out", "--frobnicate"}, options), "");
    EXPECT_NE(Parse({"", "out"}, options), "");
    // The stream on standard output: postgres, or sqlite with one database.
    EXPECT_NE(Parse({"-o", "-", "a.dmp"}, options), "");
    EXPECT_NE(Parse({"--format", "csv", "-o", "-", "a.dmp"}, options), "");
    EXPECT_NE(Parse({"--format", "sqlite", "-o", "-", "a.dmp"}, options), "");
    EXPECT_EQ(Parse({"--format", "sqlite", "-d", "sales", "-o", "-", "a.dmp"}, options), "");
    EXPECT_EQ(Parse({"--format", "postgres", "-o", "-", "a.dmp"}, options), "");
    EXPECT_TRUE(options.Stream());
    EXPECT_NE(Parse({"--charset", "klingon", "a.dmp", "out"}, options), "");
    EXPECT_EQ(Parse({"--charset", "ISO-8859-1", "a.dmp", "out"}, options), "");
}

TEST(CommandLine, HelpDocumentsEveryExitStatus) {
    const std::string help = UsageText();
    for (int code = kExitOk; code <= kExitLibraryMissing; ++code)
        EXPECT_NE(help.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
}

// ---------------------------------------------------------------- results

TEST(ExitStatus, EachResultOfTheLibraryHasItsOwnStatus) {
    EXPECT_EQ(ClassifyResult(VRN_RESULT_OK, false, true).exit_code, kExitOk);
    EXPECT_EQ(ClassifyResult(VRN_RESULT_CANCELLED, false, true).exit_code, kExitCancelled);
    EXPECT_EQ(ClassifyResult(VRN_RESULT_NO_SOURCE, false, false).exit_code, kExitDumpUnreadable);
    EXPECT_EQ(ClassifyResult(VRN_RESULT_NO_SOURCE, false, true).exit_code, kExitOutputNotWritable);
    EXPECT_EQ(ClassifyResult(VRN_RESULT_NO_CATALOGUE, false, true).exit_code, kExitNoCatalogue);
    EXPECT_EQ(ClassifyResult(VRN_RESULT_DRIVER_FAILED, false, true).exit_code, kExitFailed);
    EXPECT_EQ(ClassifyResult(VRN_RESULT_FAILED, false, true).exit_code, kExitFailed);
    EXPECT_EQ(ClassifyResult(12345, false, true).exit_code, kExitFailed);
}

TEST(ExitStatus, StopAfterCtrlCIsACancelNotAFailure) {
    // The library reports a stop during the run as a plain failure.
    const HostOutcome outcome = ClassifyResult(VRN_RESULT_FAILED, true, true);
    EXPECT_EQ(outcome.exit_code, kExitCancelled);
    EXPECT_EQ(outcome.message, "recovery cancelled");
    EXPECT_EQ(ClassifyResult(VRN_RESULT_OK, true, true).exit_code, kExitOk)
        << "finished before the stop was noticed";
}

