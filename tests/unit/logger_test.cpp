// The log: line format and levels, stamps, assertion details, hex dumps,
// switching log files and the LogLevel setting.

#include "logger_fixture.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
using LoggerTest = LoggerFixture;

// ---------------------------------------------------------------- entries

TEST_F(LoggerTest, EntriesBelowTheThresholdAreDroppedOthersShowTheirLevelWordRightAligned) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "levels.log");
    log.setThreshold(LOG_INFO);
    platform::setLastErrorCode(0);
    log.Debug("not written");
    log.Info("information");
    log.Error("trouble");
    log.WriteEntry(LOG_ASSERT, "broken");
    log.setThreshold(LOG_ALL);
    log.DebugText("page", "7");
    log.DisableLog();
    log.Info("dropped while disabled");
    log.EnableLog();

    EXPECT_EQ(Lines(file), (Strings{"  INFO  | information ", " ERROR  | trouble ",
                                    "ASSERT  | broken ", " DEBUG  | page [7] "}));
}

TEST_F(LoggerTest, LabelAndPrintfFormsComposeTheirTextWithinTheirLimits) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "forms.log");
    log.InfoText("Recovering file:", "C:\\dumps\\sales.dmp");
    log.InfoText("Target directory:", nullptr);
    log.InfoNumber("Source file size (high DWORD):", -5);
    log.ErrorNumber("rec_len", 2048);
    log.InfoFormat("VRN size:%i", 123456);
    log.InfoText(std::string(5000, 'a').c_str(), "cut");
    log.ErrorFormat("%s", std::string(20000, 'b').c_str());
    // Texts that are missing or absurdly long are skipped.
    log.Info(nullptr);
    log.Info(std::string(1000001, 'x').c_str());

    EXPECT_EQ(Texts(file), (Strings{"Recovering file: [C:\\dumps\\sales.dmp]", "Target directory: [null]",
                                    "Source file size (high DWORD): [-5]", "rec_len [2048]",
                                    "VRN size:123456", std::string(4095, 'a'), std::string(16383, 'b')}));
}

TEST_F(LoggerTest, AStampIsWrittenOnceASecondEntriesInBetweenHaveTwoSpacesBeforeTheBar) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "stamps.log");
    log.setLastStampTime(0); // long ago
    log.Info("first");
    log.Info("second");

    const Strings lines = Lines(file);
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].size(), std::string("  INFO hh:mm:ss | first ").size()) << lines[0];
    EXPECT_EQ(lines[0].substr(0, 7), "  INFO ");
    for (int at : {7, 8, 10, 11, 13, 14}) EXPECT_TRUE(lines[0][at] >= '0' && lines[0][at] <= '9');
    EXPECT_EQ(lines[0].substr(9, 1) + lines[0].substr(12, 1), "::");
    EXPECT_EQ(lines[0].substr(15), " | first ");
    EXPECT_EQ(lines[1], "  INFO  | second ");
}

TEST_F(LoggerTest, EveryEntryIsOneLineWhateverItsTextHolds) {
    // A name of the dump with a line break must not write a line of its own
    // (a command for whoever runs the log through a shell, a forged entry).
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "one_line.log");
    log.InfoText("Table name:", "t\n!! rm -rf /\r\n  INFO  | forged");
    log.ErrorFormat("TableName:%s TabId:%i", "a\x1b[2Jb\x7f", 5);
    log.Info("tab\there");
    EXPECT_EQ(Texts(file), (Strings{"Table name: [t_!! rm -rf /__  INFO  | forged]", "TableName:a_[2Jb_ TabId:5",
                                    "tab_here"}));
}

// ---------------------------------------------------------------- assertion entries

TEST_F(LoggerTest, AssertionsCarryTheFirstLineOfTheLastErrorOtherEntriesNever) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "assert.log");
    platform::setLastErrorCode(0);
    log.AssertFailed("NULL!=logfile", "vrndll/vrndll", 147);
    platform::setLastErrorCode(2);
    log.AssertFailed("!\"Error\"", "vrndll/vrndll", 134);
    log.Error("plain error");
    EXPECT_EQ(log.AssertEntry(7, "holds", 10), 7);
    platform::setLastErrorCode(0xE0001234u); // a code the system has no text for
    EXPECT_EQ(log.AssertEntry(0, "!\"Error in GetCol\"", 88), 0);
    EXPECT_EQ(platform::lastErrorCode(), 0xE0001234u); // logging leaves it alone
    platform::setLastErrorCode(0);

    std::string message;
    const std::string details = platform::errorMessage(2, message)
                                    ? "{0x00000002| " + message.substr(0, message.find_first_of("\r\n")) + "}"
                                    : "{0x00000002| <FormatMessage fail>}";
    EXPECT_EQ(Lines(file),
              (Strings{"ASSERT  | A.F. Exp [NULL!=logfile] File [vrndll/vrndll] Line  [147] ",
                       "ASSERT  | A.F. Exp [!\"Error\"] File [vrndll/vrndll] Line  [134] " + details,
                       " ERROR  | plain error ",
                       "ASSERT  | !\"Error in GetCol\" [88] {0xe0001234| <FormatMessage fail>}"}));
}

// ---------------------------------------------------------------- hex dumps

TEST_F(LoggerTest, ByteDumpWritesLinesOfSixteenWithTheCharacterColumnAtFifty) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "bytes.log");
    unsigned char data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>('a' + i);
    const unsigned char odd[] = {0x00, 19, 20, 0x7F, 0x80, 0xFF}; // dots below 20 and from 128
    std::memcpy(data, odd, sizeof odd);
    log.ErrorBinary(data, sizeof data, 1, false);

    const Strings lines = Lines(file);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], " ERROR  | binary data starts...");
    EXPECT_EQ(lines[1], "  00000000 00 13 14 7F 80 FF 67 68 69 6A 6B 6C 6D 6E 6F 70   " +
                            std::string("..\x14\x7f..ghijklmnop") + std::string(61, ' '));
    EXPECT_EQ(lines[2], "  00000010 71 72 73 74 " + std::string(38, ' ') + "qrst" + std::string(73, ' '));
    EXPECT_EQ(lines[3], " ERROR  | binary data ends.");
    EXPECT_EQ(lines[4], "");
}

TEST_F(LoggerTest, WordDumpWritesFourLittleEndianValuesALine) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "words.log");
    const unsigned char data[20] = {0x44, 0x33, 0x22, 0x11, 2, 0, 0, 0, 3, 0, 0, 0,
                                    4,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF};
    log.WriteBinary(LOG_INFO, data, 5, 4, true);

    char address[2][32];
    for (int line = 0; line < 2; ++line)
        std::snprintf(address[line], sizeof address[line], "  %08llX:\t",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(data)) + 16u * line);
    EXPECT_EQ(Lines(file), (Strings{"  INFO  | binary data starts...", "",
                                    address[0] + std::string("11223344  00000002  00000003  00000004  "),
                                    address[1] + std::string("FFFFFFFF  "),
                                    "  INFO  | binary data ends.", ""}));
}

TEST_F(LoggerTest, NullBlocksAreReportedOtherSizesAndLowLevelsWriteNothing) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "invalid.log");
    const char data[8] = {};
    log.ErrorBinary(data, 4, 2, false);
    log.setThreshold(LOG_ERROR);
    log.WriteBinary(LOG_DEBUG, data, 8, 1, false);
    log.ErrorBinary(nullptr, 16, 1, true);

    EXPECT_EQ(Lines(file), (Strings{" ERROR  | binary data starts...",
                                    "The binary data here seems to be an invalid memory block",
                                    "There is no way to show it, the pointer was 0x00000000",
                                    " ERROR  | binary data ends.", ""}));
}

// ---------------------------------------------------------------- switching log files

TEST_F(LoggerTest, FirstSwitchCarriesOverTheStartupLogInOrder) {
    Logger log(kLoggerProduct, LOG_INFO);
    log.setThreshold(LOG_INFO);
    log.Info("written before the switch");
    log.SetLogFile(Path("first.log").c_str());
    log.Info("written after the switch");

    const Strings texts = Texts(Path("first.log"));
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], " "); // the banner opens with a single space
    const size_t banner = FindText(texts, "============== LOGGER MACHINE INFO =================");
    const size_t temp = FindText(texts, "%%TALVANETMP%% [" + root_ + "]", banner);
    const size_t before = FindText(texts, "written before the switch", temp);
    EXPECT_LT(before, texts.size());
    EXPECT_EQ(FindText(texts, "written after the switch", before), texts.size() - 1);
}

TEST_F(LoggerTest, LaterSwitchesCloseTheOldFileAndStartTheNewOneWithTheBanner) {
    Logger log(kLoggerProduct, LOG_INFO);
    log.setThreshold(LOG_INFO);
    log.Info("start-up entry");
    log.SetLogFile(Path("first.log").c_str());
    log.SetLogFile(Path("second.log").c_str());
    log.Info("entry of the second file");
    EXPECT_TRUE(platform::deleteFile(Path("first.log"))); // not possible on Windows while open

    const Strings texts = Texts(Path("second.log"));
    ASSERT_GE(texts.size(), 8u);
    const std::string rule(52, '=');
    EXPECT_EQ(Strings(texts.begin(), texts.begin() + 4),
              (Strings{" ", rule, "============== LOGGER MACHINE INFO =================", rule}));
    EXPECT_EQ(texts[4].substr(0, 10), "__DATE__ [");
    EXPECT_EQ(texts[5].substr(0, 10), "__TIME__ [");
    EXPECT_EQ(FindText(texts, "start-up entry"), texts.size());
    EXPECT_EQ(Strings(texts.end() - 2, texts.end()), (Strings{rule, "entry of the second file"}));
}

TEST_F(LoggerTest, EmptyOrUnopenablePathStopsLoggingUntilTheNextGoodSwitch) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "before.log");
    for (const char *path : {"", static_cast<const char *>(nullptr)}) {
        log.SetLogFile(path);
        EXPECT_FALSE(log.hasLogFile());
    }
    log.SetLogFile(Path("no_such_folder/x.log").c_str());
    EXPECT_FALSE(log.hasLogFile());
    log.Info("lost");

    log.SetLogFile(Path("after.log").c_str());
    log.Info("found again");
    EXPECT_EQ(testsupport::ReadFileText(file), "");
    const Strings texts = Texts(Path("after.log"));
    EXPECT_EQ(texts.front(), " ");
    EXPECT_EQ(texts.back(), "found again");
    EXPECT_EQ(FindText(texts, "lost"), texts.size());
}

TEST_F(LoggerTest, ALinkAtTheLogPathIsNeverFollowed) {
    // A link planted where the log goes (a symbolic link, or a second name
    // of a file elsewhere) is refused: the file behind it is never written.
    const std::string outside = Path("precious");
    ASSERT_TRUE(testsupport::WriteFileText(outside, "keep me"));
    std::error_code error;
    std::filesystem::create_symlink(outside, Path("symbolic.log"), error);
    if (error) GTEST_SKIP() << "links cannot be made here: " << error.message();
    std::filesystem::create_hard_link(outside, Path("hard.log"), error);
    ASSERT_FALSE(error) << error.message();

    Logger log(kLoggerProduct, LOG_INFO);
    for (const char *name : {"symbolic.log", "hard.log"}) {
        log.SetLogFile(Path(name).c_str());
        EXPECT_FALSE(log.hasLogFile()) << name;
        log.Error("written through a link");
    }
    EXPECT_EQ(testsupport::ReadFileText(outside), "keep me");
    log.SetLogFile(Path("plain.log").c_str());
    EXPECT_TRUE(log.hasLogFile());
}

TEST_F(LoggerTest, LoggerWithoutAStartupLogStillLogsIntoItsFirstFile) {
    // Files where the product folder and every private stand-in for it
    // belong: no temporary file can be made.
    const std::string product = Path("tmp_kest");
    const std::string fresh = product + "_" + std::to_string(platform::processId());
    ASSERT_TRUE(testsupport::WriteFileText(product, "in the way"));
    ASSERT_TRUE(testsupport::WriteFileText(fresh, "in the way"));
    for (int n = 2; n <= 100; ++n)
        ASSERT_TRUE(testsupport::WriteFileText(fresh + "_" + std::to_string(n), "in the way"));
    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_FALSE(log.hasLogFile());
    EXPECT_FALSE(log.enabled());

    log.setThreshold(LOG_INFO);
    log.SetLogFile(Path("host.log").c_str());
    log.Info("request");
    const Strings texts = Texts(Path("host.log"));
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), " ");
    EXPECT_EQ(texts.back(), "request");
}

// ---------------------------------------------------------------- LogLevel setting

TEST(LogLevelSetting, LevelWordsMatchInAnyLetterCaseOthersKeepTheThreshold) {
    EXPECT_EQ(Logger::ThresholdFromSetting("assert", LOG_INFO), LOG_ASSERT);
    EXPECT_EQ(Logger::ThresholdFromSetting("eRrOr", LOG_INFO), LOG_ERROR);
    EXPECT_EQ(Logger::ThresholdFromSetting("Info", LOG_ERROR), LOG_INFO);
    EXPECT_EQ(Logger::ThresholdFromSetting("DEBUG", LOG_INFO), LOG_DEBUG);
    EXPECT_EQ(Logger::ThresholdFromSetting("All", LOG_INFO), LOG_ALL);
    for (const char *other : {"", "errors", " error", "3"})
        EXPECT_EQ(Logger::ThresholdFromSetting(other, LOG_INFO), LOG_INFO) << other;
    EXPECT_EQ(Logger::ThresholdFromSetting(nullptr, LOG_ASSERT), LOG_ASSERT);
    EXPECT_EQ(Logger::ProductTag(kLoggerProduct), "kest");
}

} // namespace
