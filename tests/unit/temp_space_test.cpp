// The logger's temporary space: where the product folder goes, how names
// and group folders are made, what happens to old files, the growth of the
// name table, emptying folders and the final clean-up.

#include "logger_fixture.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

using TempSpaceTest = LoggerFixture;

const std::string kSep(1, platform::kPathSeparator);

// The parts of a temporary file name after its folder, split at "_":
// tmp, pid, number, year, month, day, hour, minute+second, ms.dat
std::vector<std::string> NameFields(const std::string &name) {
    const std::string file = name.substr(platform::lastSeparator(name) + 1);
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t end = file.find('_', start);
        fields.push_back(file.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return fields;
}

std::string Folder(const std::string &name) {
    return name.substr(0, platform::lastSeparator(name));
}

std::vector<std::string> List(const std::string &folder, const std::string &pattern = "*") {
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, pattern, entries);
    std::vector<std::string> names;
    for (const platform::DirectoryEntry &entry : entries) names.push_back(entry.name);
    return names;
}

// ---------------------------------------------------------------- the product folder

TEST_F(TempSpaceTest, ProductFolderIsMadeInsideTheFolderNamedByTalvanetmp) {
    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_TRUE(log.initialised());
    EXPECT_EQ(log.productTempPath(), root_ + kSep + "tmp_kest");
    EXPECT_TRUE(platform::isDirectory(log.productTempPath()));
    EXPECT_TRUE(log.hasLogFile()); // the start-up log
}

TEST_F(TempSpaceTest, OneTrailingSeparatorOfTalvanetmpIsRemoved) {
    platform::setEnvironment("TALVANETMP", root_ + kSep);
    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_EQ(log.productTempPath(), root_ + kSep + "tmp_kest");
}

TEST_F(TempSpaceTest, MissingTalvanetmpFolderFallsBackToTheSystemTemporaryFolder) {
    platform::setEnvironment("TALVANETMP", Path("does_not_exist"));
    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_EQ(log.productTempPath(), platform::tempPath() + kSep + "tmp_kest");
    EXPECT_TRUE(platform::isDirectory(log.productTempPath()));
}

// ---------------------------------------------------------------- names and group folders

TEST_F(TempSpaceTest, NamesCarryProcessNumberAndUtcTimeInGroupFoldersOfAHundred) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string product = log.productTempPath();
    const std::string pid = std::to_string(platform::processId());

    // Number 1 went to the start-up log, in the group folder tmp_0.
    EXPECT_EQ(List(product + kSep + "tmp_0", "tmp_" + pid + "_1_*.dat").size(), 1u);
    EXPECT_EQ(log.nextFileNumber(), 2);

    std::vector<std::string> names(1); // names[n] is the name of number n
    names.push_back("(start-up log)");
    while (names.size() <= 200) {
        const char *name = log.NewTempFileName();
        ASSERT_NE(name, nullptr);
        names.push_back(name);
    }

    const platform::DateTime now = platform::utcTime();
    const std::vector<std::string> fields = NameFields(names[2]);
    ASSERT_EQ(fields.size(), 9u) << names[2];
    EXPECT_EQ(fields[0], "tmp");
    EXPECT_EQ(fields[1], pid);
    EXPECT_EQ(fields[2], "2");
    EXPECT_EQ(fields[3], std::to_string(now.year));
    EXPECT_EQ(fields[4], std::to_string(now.month)); // no padding
    EXPECT_EQ(fields[8].substr(fields[8].size() - 4), ".dat");

    EXPECT_EQ(Folder(names[99]), product + kSep + "tmp_0");
    EXPECT_EQ(Folder(names[100]), product + kSep + "tmp_1");
    EXPECT_EQ(Folder(names[199]), product + kSep + "tmp_1");
    EXPECT_EQ(Folder(names[200]), product + kSep + "tmp_2");
    EXPECT_EQ(NameFields(names[100])[2], "100");
    EXPECT_TRUE(platform::isDirectory(product + kSep + "tmp_1"));
    EXPECT_TRUE(platform::isDirectory(product + kSep + "tmp_2"));
    // Names are handed out, not created.
    EXPECT_FALSE(platform::exists(names[100]));
}

TEST_F(TempSpaceTest, AGroupFolderRemovedWhileInUseIsMadeAgain) {
    Logger log(kLoggerProduct, LOG_INFO);
    log.SetLogFile(Path("host.log").c_str()); // releases the start-up log
    const std::string group = log.productTempPath() + kSep + "tmp_0";
    RemoveTree(group);
    ASSERT_FALSE(platform::exists(group));

    const char *name = log.NewTempFileName();
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(platform::isDirectory(group));
}

TEST_F(TempSpaceTest, OldFilesInTheProductFolderAreRemovedAndNumberingStartsAtOne) {
    const std::string product = Path("tmp_kest");
    ASSERT_TRUE(platform::createDirectory(product));
    WriteFile(product + kSep + "tmp_7.dat", "old");
    ASSERT_TRUE(platform::createDirectory(product + kSep + "tmp_folder.dat"));
    WriteFile(product + kSep + "keep.txt", "not ours");
    ASSERT_TRUE(platform::createDirectory(product + kSep + "tmp_0"));
    WriteFile(product + kSep + "tmp_0" + kSep + "tmp_1_1_2010.dat", "in a group folder");

    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_FALSE(platform::exists(product + kSep + "tmp_7.dat"));
    EXPECT_FALSE(platform::exists(product + kSep + "tmp_folder.dat"));
    EXPECT_TRUE(platform::exists(product + kSep + "keep.txt"));
    EXPECT_TRUE(platform::exists(product + kSep + "tmp_0" + kSep + "tmp_1_1_2010.dat"));
    EXPECT_EQ(log.nextFileNumber(), 2); // 1 went to the start-up log

    // What the search logs: "tmp_7" starts with a letter, so its number is 0.
    const std::string file = StartCleanLog(log, "init.log");
    log.setThreshold(LOG_INFO);
    WriteFile(product + kSep + "tmp_7.dat", "old again");
    const int registered = log.registeredCount();
    log.InitTempSpace(kLoggerProduct);

    const std::vector<std::string> texts = EntryTexts(file);
    const std::vector<std::string> expected = {
        "The system returns a temp path: [" + root_ + "]",
        "Temp path openen successfully: [" + root_ + "]",
        "Temp path found successfully: [" + root_ + "]",
        "The product is [7]",
        "Product temp path will be: [" + product + "]",
        "This folder already exists!!!",
        "Found old file: [" + product + kSep + "tmp_7.dat]",
        "Name: [tmp_7]",
        "File number: [0]",
        "Maximal file number found: [0]",
        // Numbers already handed out by this logger are not given again.
        "Temp file indexes will start from: [" + std::to_string(log.nextFileNumber()) + "]",
    };
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(log.registeredCount(), registered);
    EXPECT_FALSE(platform::exists(product + kSep + "tmp_7.dat"));
}

TEST_F(TempSpaceTest, The1025thNameGrowsTheTableBy1024) {
    Logger log(kLoggerProduct, LOG_INFO);
    const char *firstPointer = log.NewTempFileName();
    ASSERT_NE(firstPointer, nullptr);
    EXPECT_EQ(log.tableCapacity(), 1024);
    while (log.registeredCount() < 1024) ASSERT_NE(log.NewTempFileName(), nullptr);
    const std::string firstPointerText = firstPointer;
    EXPECT_EQ(log.tableCapacity(), 1024);

    const std::string file = StartCleanLog(log, "growth.log");
    log.setThreshold(LOG_INFO);
    ASSERT_NE(log.NewTempFileName(), nullptr);
    EXPECT_EQ(log.registeredCount(), 1025);
    EXPECT_EQ(log.tableCapacity(), 2048);

    const std::vector<std::string> expected = {
        "Size of storage expired, doing realloc",
        "Previous size was [1024]",
        "New size will be [2048]",
        "Realloc OK",
        "Temp space ready",
    };
    EXPECT_EQ(EntryTexts(file), expected);
    // Names handed out before the growth stay valid.
    EXPECT_EQ(std::string(firstPointer), firstPointerText);
}

// ---------------------------------------------------------------- EmptyFolder

TEST_F(TempSpaceTest, EmptyFolderRemovesFilesAndSubfoldersButKeepsTheFolder) {
    const std::string folder = Path("full");
    ASSERT_TRUE(platform::createDirectory(folder));
    WriteFile(folder + kSep + "a.txt", "a");
    ASSERT_TRUE(platform::createDirectory(folder + kSep + "sub"));
    WriteFile(folder + kSep + "sub" + kSep + "b.dat", "b");
    ASSERT_TRUE(platform::createDirectory(folder + kSep + "sub" + kSep + "deeper"));
    WriteFile(folder + kSep + "sub" + kSep + "deeper" + kSep + "c", "c");

    Logger log(kLoggerProduct, LOG_INFO);
    log.EmptyFolder(folder.c_str());
    EXPECT_TRUE(platform::isDirectory(folder));
    EXPECT_TRUE(List(folder).empty());

    // A trailing separator makes no difference.
    WriteFile(folder + kSep + "again", "x");
    log.EmptyFolder((folder + kSep).c_str());
    EXPECT_TRUE(List(folder).empty());
}

TEST_F(TempSpaceTest, EmptyFolderLogsWhatItDoesAndRefusesANullPath) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "empty.log");
    log.setThreshold(LOG_INFO);
    log.EmptyFolder(nullptr);
    log.EmptyFolder(Path("missing").c_str());

    const std::vector<std::string> expected = {
        "Emptying folder [null]",
        "EmptyFolder: invalid ptr",
        "Emptying folder [" + Path("missing") + "]",
    };
    EXPECT_EQ(EntryTexts(file), expected);
}

TEST_F(TempSpaceTest, LinksToFoldersElsewhereAreRemovedButNeverFollowed) {
    const std::string outside = Path("outside");
    ASSERT_TRUE(platform::createDirectory(outside));
    WriteFile(outside + kSep + "precious", "keep me");
    const std::string folder = Path("with_link");
    ASSERT_TRUE(platform::createDirectory(folder));
    std::error_code error;
    std::filesystem::create_directory_symlink(outside, folder + kSep + "link", error);
    if (error) GTEST_SKIP() << "links to folders cannot be made here: " << error.message();

    Logger log(kLoggerProduct, LOG_INFO);
    log.EmptyFolder(folder.c_str());
    EXPECT_TRUE(List(folder).empty());

    // A temporary name that has become a link is removed at the clean-up.
    const std::string name = log.NewTempFileName();
    std::filesystem::create_directory_symlink(outside, name, error);
    ASSERT_FALSE(error) << error.message();
    log.DeleteTempFiles();
    EXPECT_FALSE(platform::exists(name));

    EXPECT_EQ(ReadFile(outside + kSep + "precious"), "keep me");
}

// ---------------------------------------------------------------- clean-up

TEST_F(TempSpaceTest, DeleteTempFilesRemovesEveryRegisteredName) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "cleanup.log"); // closes the start-up log
    log.setThreshold(LOG_INFO);

    const std::string asFile = log.NewTempFileName();
    const std::string asFolder = log.NewTempFileName();
    const std::string never = log.NewTempFileName();
    const std::string withSibling = log.NewTempFileName();
    WriteFile(asFile, "data");
    ASSERT_TRUE(platform::createDirectory(asFolder));
    WriteFile(asFolder + kSep + "inner", "x");
    WriteFile(withSibling, "data");
    const std::string sibling = withSibling.substr(0, withSibling.size() - 4); // without ".dat"
    ASSERT_TRUE(platform::createDirectory(sibling));

    log.DeleteTempFiles();
    EXPECT_FALSE(platform::exists(asFile));
    EXPECT_FALSE(platform::exists(asFolder));
    EXPECT_FALSE(platform::exists(withSibling));
    EXPECT_FALSE(platform::exists(sibling));

    const std::vector<std::string> texts = EntryTexts(file);
    EXPECT_LT(FindText(texts, "Cannot delete temp file: [" + never + "]"), texts.size());
    size_t deleted = 0;
    for (const std::string &text : texts) deleted += text == "Temp file deleted";
    EXPECT_EQ(deleted, 3u); // the start-up log, asFile and withSibling
}

TEST_F(TempSpaceTest, DestroyingTheLoggerDeletesItsLogsEvenWhileTheyAreInUse) {
    std::string product;
    std::string recoveryLog;
    {
        Logger log(kLoggerProduct, LOG_INFO);
        product = log.productTempPath();
        // As a recovery call does: switch to a fresh temporary file.
        recoveryLog = log.NewTempFileName();
        log.SetLogFile(recoveryLog.c_str());
        log.Info("recovering");
        ASSERT_TRUE(platform::exists(recoveryLog));
    }
    EXPECT_FALSE(platform::exists(recoveryLog));
    // Neither the start-up log nor the recovery log is left; the group
    // folder stays.
    EXPECT_TRUE(List(product + kSep + "tmp_0").empty());
}

} // namespace
