// The log: line format and levels, stamps, assertion details, hex dumps,
// switching log files and the LogLevel setting.

#include "logger_fixture.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using LoggerTest = LoggerFixture;

// ---------------------------------------------------------------- line format and levels

TEST_F(LoggerTest, EntriesBelowTheThresholdAreDroppedOthersShowTheirLevelWordRightAligned) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "levels.log");
    log.setThreshold(LOG_INFO);
    platform::setLastErrorCode(0);

    log.Debug("not written");
    log.Info("information");
    log.Error("trouble");
    log.WriteEntry(LOG_ASSERT, "broken");

    const std::vector<std::string> expected = {
        "  INFO  | information ",
        " ERROR  | trouble ",
        "ASSERT  | broken ",
    };
    EXPECT_EQ(ReadLines(file), expected);
}

TEST_F(LoggerTest, ThresholdAllLetsDebugEntriesThrough) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "all.log");
    log.Debug("detail");
    log.DebugText("page", "7");
    EXPECT_EQ(ReadLines(file), (std::vector<std::string>{" DEBUG  | detail ", " DEBUG  | page [7] "}));
}

TEST_F(LoggerTest, LabelFormsComposeTextAndNumbers) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "forms.log");

    log.InfoText("Recovering file:", "C:\\dumps\\sales.dmp");
    log.InfoText("Target directory:", nullptr);
    log.InfoNumber("Source file size (high DWORD):", -5);
    log.ErrorText("Cannot delete temp file:", "x.dat");
    log.ErrorNumber("rec_len", 2048);
    log.InfoFormat("VRN size:%i", 123456);
    log.ErrorFormat("EmptyFolder: d.f. 0x%08x", 5u);

    const std::vector<std::string> expected = {
        "Recovering file: [C:\\dumps\\sales.dmp]",
        "Target directory: [null]",
        "Source file size (high DWORD): [-5]",
        "Cannot delete temp file: [x.dat]",
        "rec_len [2048]",
        "VRN size:123456",
        "EmptyFolder: d.f. 0x00000005",
    };
    EXPECT_EQ(EntryTexts(file), expected);
}

TEST_F(LoggerTest, ComposedTextsAreCutAtTheirLimits) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "limits.log");

    const std::string label(5000, 'a');
    log.InfoText(label.c_str(), "text");
    const std::string big(20000, 'b');
    log.InfoFormat("%s", big.c_str());

    const std::vector<std::string> texts = EntryTexts(file);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], std::string(4095, 'a'));
    EXPECT_EQ(texts[1], std::string(16383, 'b'));
}

TEST_F(LoggerTest, NullAndOverlongTextsAreSkippedSilently) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "skip.log");

    log.Info(nullptr);
    log.Info(std::string(1000001, 'x').c_str());
    log.Info(std::string(1000000, 'y').c_str());

    const std::vector<std::string> texts = EntryTexts(file);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].size(), 1000000u);
}

TEST_F(LoggerTest, DisabledLoggerWritesNothingUntilEnabledAgain) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "disabled.log");
    log.DisableLog();
    log.Info("dropped");
    log.ErrorBinary("abc", 3, 1, false);
    log.EnableLog();
    log.Info("kept");
    EXPECT_EQ(EntryTexts(file), std::vector<std::string>{"kept"});
}

TEST_F(LoggerTest, LoggingLeavesTheCallersLastErrorCodeAlone) {
    Logger log(kLoggerProduct, LOG_INFO);
    StartCleanLog(log, "lasterror.log");
    platform::setLastErrorCode(5);
    log.Info("entry");
    EXPECT_EQ(platform::lastErrorCode(), 5u);
    log.AssertFailed("x", "logger", 1);
    EXPECT_EQ(platform::lastErrorCode(), 5u);
    log.ErrorBinary("abcd", 4, 1, false);
    EXPECT_EQ(platform::lastErrorCode(), 5u);
}

// ---------------------------------------------------------------- stamps

TEST_F(LoggerTest, AStampIsWrittenOnceASecondEntriesInBetweenHaveTwoSpacesBeforeTheBar) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "stamps.log");

    log.setLastStampTime(0); // long ago
    log.Info("first");
    log.Info("second");

    const std::vector<std::string> lines = ReadLines(file);
    ASSERT_EQ(lines.size(), 2u);
    // "  INFO hh:mm:ss | first "
    ASSERT_EQ(lines[0].size(), std::string("  INFO hh:mm:ss | first ").size()) << lines[0];
    EXPECT_EQ(lines[0].substr(0, 7), "  INFO ");
    EXPECT_EQ(lines[0][9], ':');
    EXPECT_EQ(lines[0][12], ':');
    for (int digit : {7, 8, 10, 11, 13, 14}) EXPECT_NE(std::strchr("0123456789", lines[0][digit]), nullptr);
    EXPECT_EQ(lines[0].substr(15), " | first ");
    EXPECT_EQ(lines[1], "  INFO  | second ");
    EXPECT_LE(platform::nowSeconds() - log.lastStampTime(), 1);
}

// ---------------------------------------------------------------- assertion entries

TEST_F(LoggerTest, AssertionWithoutLastErrorHasEmptyDetails) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "assert.log");
    platform::setLastErrorCode(0);
    log.AssertFailed("NULL!=logfile", "vrndll/vrndll", 147);
    EXPECT_EQ(ReadLines(file),
              std::vector<std::string>{
                  "ASSERT  | A.F. Exp [NULL!=logfile] File [vrndll/vrndll] Line  [147] "});
}

TEST_F(LoggerTest, AssertionWithLastErrorCarriesTheFirstLineOfTheSystemText) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "assert_error.log");
    platform::setLastErrorCode(2);
    log.AssertFailed("!\"Error\"", "vrndll/vrndll", 134);

    std::string message;
    const bool known = platform::errorMessage(2, message);
    message = message.substr(0, message.find_first_of("\r\n"));
    const std::string prefix = "ASSERT  | A.F. Exp [!\"Error\"] File [vrndll/vrndll] Line  [134] ";
    const std::string details =
        known ? "{0x00000002| " + message + "}" : std::string("{0x00000002| <FormatMessage fail>}");
    EXPECT_EQ(ReadLines(file), std::vector<std::string>{prefix + details});
}

TEST_F(LoggerTest, AssertionWithAnUnknownErrorCodeSaysTheMessageFailed) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "assert_unknown.log");
    platform::setLastErrorCode(0xE0001234u);
    log.AssertEntry(0, "!\"Error in GetCol\"", 88);
    EXPECT_EQ(ReadLines(file), std::vector<std::string>{
                                   "ASSERT  | !\"Error in GetCol\" [88] {0xe0001234| <FormatMessage fail>}"});
    platform::setLastErrorCode(0);
}

TEST_F(LoggerTest, OnlyAssertionsCarryTheLastError) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "no_details.log");
    platform::setLastErrorCode(2);
    log.Error("plain error");
    log.ErrorNumber("number", 1);
    platform::setLastErrorCode(0);
    EXPECT_EQ(ReadLines(file), (std::vector<std::string>{" ERROR  | plain error ", " ERROR  | number [1] "}));
}

TEST_F(LoggerTest, AssertEntryWritesOnlyWhenTheConditionIsZeroAndReturnsIt) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "assert_entry.log");
    platform::setLastErrorCode(0);
    EXPECT_EQ(log.AssertEntry(7, "holds", 10), 7);
    EXPECT_EQ(log.AssertEntry(0, "fails", 12), 0);
    EXPECT_EQ(ReadLines(file), std::vector<std::string>{"ASSERT  | fails [12] "});
}

// ---------------------------------------------------------------- hex dumps

TEST_F(LoggerTest, ByteDumpWritesLinesOfSixteenWithTheCharacterColumnAtFifty) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "bytes.log");

    unsigned char data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>('a' + i);
    data[0] = 0x00;
    data[1] = 19;   // below 20: a dot
    data[2] = 20;   // 20 and above: shown as it is
    data[3] = 0x7F;
    data[4] = 0x80; // 128 and above: a dot
    data[5] = 0xFF;
    log.ErrorBinary(data, sizeof data, 1, false);

    const std::vector<std::string> lines = ReadLines(file);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], " ERROR  | binary data starts...");
    EXPECT_EQ(lines[3], " ERROR  | binary data ends.");
    EXPECT_EQ(lines[4], "");

    const std::string first = lines[1];
    ASSERT_EQ(first.size(), 11u + 127u);
    EXPECT_EQ(first.substr(0, 11), "  00000000 ");
    EXPECT_EQ(first.substr(11, 48), "00 13 14 7F 80 FF 67 68 69 6A 6B 6C 6D 6E 6F 70 ");
    EXPECT_EQ(first.substr(11 + 48, 2), "  ");
    EXPECT_EQ(first.substr(11 + 50, 16), std::string("..\x14\x7f..ghijklmnop"));
    EXPECT_EQ(first.substr(11 + 66), std::string(61, ' '));

    const std::string second = lines[2];
    ASSERT_EQ(second.size(), 11u + 127u);
    EXPECT_EQ(second.substr(0, 11), "  00000010 ");
    EXPECT_EQ(second.substr(11, 12), "71 72 73 74 ");
    EXPECT_EQ(second.substr(11 + 12, 38), std::string(38, ' '));
    EXPECT_EQ(second.substr(11 + 50, 4), "qrst");
    EXPECT_EQ(second.substr(11 + 54), std::string(73, ' '));
}

TEST_F(LoggerTest, ByteDumpWithAbsoluteAddressesShowsThePointer) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "absolute.log");
    const char data[] = "absolute";
    log.WriteBinary(LOG_INFO, data, 8, 1, true);

    char address[32];
    std::snprintf(address, sizeof address, "  %08llX ",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(data)));
    const std::vector<std::string> lines = ReadLines(file);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, std::strlen(address)), address);
}

TEST_F(LoggerTest, WordDumpWritesFourLittleEndianValuesALine) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "words.log");
    const unsigned char data[20] = {0x44, 0x33, 0x22, 0x11, 2, 0, 0, 0, 3, 0, 0, 0,
                                    4,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF};
    log.WriteBinary(LOG_INFO, data, 5, 4, false);

    const std::vector<std::string> expected = {
        "  INFO  | binary data starts...",
        "",
        "  00000000:\t11223344  00000002  00000003  00000004  ",
        "  00000010:\tFFFFFFFF  ",
        "  INFO  | binary data ends.",
        "",
    };
    EXPECT_EQ(ReadLines(file), expected);
}

TEST_F(LoggerTest, DumpOfANullPointerSaysTheBlockIsInvalid) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "invalid.log");
    log.ErrorBinary(nullptr, 16, 1, true);

    const std::vector<std::string> expected = {
        " ERROR  | binary data starts...",
        "The binary data here seems to be an invalid memory block",
        "There is no way to show it, the pointer was 0x00000000",
        " ERROR  | binary data ends.",
        "",
    };
    EXPECT_EQ(ReadLines(file), expected);
}

TEST_F(LoggerTest, DumpsOfOtherElementSizesOrBelowTheThresholdWriteNothing) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "nodump.log");
    const char data[8] = {};
    log.WriteBinary(LOG_ERROR, data, 4, 2, false);
    log.setThreshold(LOG_ERROR);
    log.WriteBinary(LOG_DEBUG, data, 8, 1, false);
    EXPECT_EQ(ReadFile(file), "");
}

// ---------------------------------------------------------------- switching log files

TEST_F(LoggerTest, FirstSwitchCarriesOverTheStartupLogInOrder) {
    Logger log(kLoggerProduct, LOG_INFO);
    log.setThreshold(LOG_INFO);
    log.Info("written before the switch");
    log.SetLogFile(Path("first.log").c_str());
    log.Info("written after the switch");

    const std::vector<std::string> texts = EntryTexts(Path("first.log"));
    const size_t banner = FindText(texts, "============== LOGGER MACHINE INFO =================");
    const size_t talvanetmp = FindText(texts, "%%TALVANETMP%% [" + root_ + "]", banner);
    const size_t before = FindText(texts, "written before the switch", talvanetmp);
    const size_t after = FindText(texts, "written after the switch", before);
    ASSERT_LT(banner, texts.size());
    EXPECT_LT(talvanetmp, texts.size());
    EXPECT_LT(before, texts.size());
    EXPECT_EQ(after, texts.size() - 1);
    EXPECT_EQ(texts[0], " "); // the banner opens with a single space
}

TEST_F(LoggerTest, LaterSwitchesStartTheFileWithTheBannerInstead) {
    Logger log(kLoggerProduct, LOG_INFO);
    log.setThreshold(LOG_INFO);
    log.Info("start-up entry");
    log.SetLogFile(Path("first.log").c_str());
    log.SetLogFile(Path("second.log").c_str());
    log.Info("entry of the second file");

    const std::vector<std::string> texts = EntryTexts(Path("second.log"));
    ASSERT_GE(texts.size(), 6u);
    EXPECT_EQ(texts[0], " ");
    EXPECT_EQ(texts[1], std::string(52, '='));
    EXPECT_EQ(texts[2], "============== LOGGER MACHINE INFO =================");
    EXPECT_EQ(texts[3], std::string(52, '='));
    EXPECT_EQ(texts[4].substr(0, 10), "__DATE__ [");
    EXPECT_EQ(texts[5].substr(0, 10), "__TIME__ [");
    EXPECT_EQ(FindText(texts, "start-up entry"), texts.size());
    EXPECT_EQ(texts.back(), "entry of the second file");
    EXPECT_EQ(texts[texts.size() - 2], std::string(52, '='));
}

TEST_F(LoggerTest, EmptyOrUnopenablePathStopsLoggingUntilTheNextGoodSwitch) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "before.log");

    log.SetLogFile("");
    EXPECT_FALSE(log.hasLogFile());
    log.Info("lost");
    log.SetLogFile(nullptr);
    EXPECT_FALSE(log.hasLogFile());
    log.SetLogFile(Path("no_such_folder/x.log").c_str());
    EXPECT_FALSE(log.hasLogFile());
    log.Info("lost too");

    log.SetLogFile(Path("after.log").c_str());
    ASSERT_TRUE(log.hasLogFile());
    log.Info("found again");
    EXPECT_EQ(ReadFile(file), "");
    const std::vector<std::string> texts = EntryTexts(Path("after.log"));
    EXPECT_EQ(texts[0], " ");
    EXPECT_EQ(texts.back(), "found again");
    EXPECT_EQ(FindText(texts, "lost"), texts.size());
}

TEST_F(LoggerTest, AFileSwitchedAwayFromIsClosed) {
    Logger log(kLoggerProduct, LOG_INFO);
    log.SetLogFile(Path("a.log").c_str());
    log.SetLogFile(Path("b.log").c_str());
    // An open file could not be deleted on Windows.
    EXPECT_TRUE(platform::deleteFile(Path("a.log")));
}

TEST_F(LoggerTest, LoggerWithoutAStartupLogStillLogsIntoItsFirstFile) {
    // A file where the product folder belongs: no temporary file can be made.
    WriteFile(Path("tmp_kest"), "in the way");
    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_FALSE(log.hasLogFile());
    EXPECT_FALSE(log.enabled());

    log.setThreshold(LOG_INFO);
    log.SetLogFile(Path("host.log").c_str());
    log.Info("request");
    const std::vector<std::string> texts = EntryTexts(Path("host.log"));
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], " ");
    EXPECT_EQ(texts.back(), "request");
}

// ---------------------------------------------------------------- LogLevel setting

TEST(LogLevelSetting, LevelWordsMatchInAnyLetterCase) {
    EXPECT_EQ(Logger::ThresholdFromSetting("assert", LOG_INFO), LOG_ASSERT);
    EXPECT_EQ(Logger::ThresholdFromSetting("ERROR", LOG_INFO), LOG_ERROR);
    EXPECT_EQ(Logger::ThresholdFromSetting("eRrOr", LOG_INFO), LOG_ERROR);
    EXPECT_EQ(Logger::ThresholdFromSetting("Info", LOG_ERROR), LOG_INFO);
    EXPECT_EQ(Logger::ThresholdFromSetting("DeBuG", LOG_INFO), LOG_DEBUG);
    EXPECT_EQ(Logger::ThresholdFromSetting("ALL", LOG_INFO), LOG_ALL);
}

TEST(LogLevelSetting, WordsNamingNoLevelKeepTheThreshold) {
    EXPECT_EQ(Logger::ThresholdFromSetting("", LOG_INFO), LOG_INFO);
    EXPECT_EQ(Logger::ThresholdFromSetting("errors", LOG_INFO), LOG_INFO);
    EXPECT_EQ(Logger::ThresholdFromSetting(" error", LOG_DEBUG), LOG_DEBUG);
    EXPECT_EQ(Logger::ThresholdFromSetting("3", LOG_INFO), LOG_INFO);
    EXPECT_EQ(Logger::ThresholdFromSetting(nullptr, LOG_ASSERT), LOG_ASSERT);
}

TEST(LogLevelSetting, TheProductTagOfThisLibraryIsKest) {
    EXPECT_EQ(Logger::ProductTag(kLoggerProduct), "kest");
}

} // namespace
