// The logger's temporary space: where the product folder goes, how names
// and group folders are made, what happens to old files, the growth of the
// name table, emptying folders and the final clean-up.

#include "logger_fixture.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
using TempSpaceTest = LoggerFixture;
using testsupport::ReadFileText;
using testsupport::WriteFileText;

const std::string kSep(1, platform::kPathSeparator);

// The parts of a file name after its folder, split at "_":
// tmp, pid, number, year, month, day, hour, minute+second, ms.dat
Strings NameFields(const std::string &name) {
    const std::string file = name.substr(platform::lastSeparator(name) + 1);
    Strings fields;
    for (size_t start = 0;;) {
        const size_t end = file.find('_', start);
        fields.push_back(file.substr(start, end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

std::string FolderOf(const std::string &name) { return name.substr(0, platform::lastSeparator(name)); }

Strings List(const std::string &folder, const std::string &pattern = "*") {
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, pattern, entries);
    Strings names;
    for (const platform::DirectoryEntry &entry : entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------- the product folder

TEST_F(TempSpaceTest, ProductFolderGoesIntoTalvanetmpOrElseTheSystemTemporaryFolder) {
    {
        Logger log(kLoggerProduct, LOG_INFO);
        EXPECT_EQ(log.productTempPath(), root_ + kSep + "tmp_kest");
        EXPECT_TRUE(platform::isDirectory(log.productTempPath()));
        EXPECT_TRUE(log.hasLogFile()); // the start-up log
    }
    platform::setEnvironment("TALVANETMP", root_ + kSep); // one trailing separator is dropped
    EXPECT_EQ(Logger(kLoggerProduct, LOG_INFO).productTempPath(), root_ + kSep + "tmp_kest");

    platform::setEnvironment("TALVANETMP", Path("does_not_exist"));
    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_EQ(log.productTempPath(), platform::tempPath() + kSep + "tmp_kest");
    EXPECT_TRUE(platform::isDirectory(log.productTempPath()));
}

TEST_F(TempSpaceTest, OldFilesInTheProductFolderAreRemovedAndNumberingStartsAtOne) {
    const std::string product = Path("tmp_kest");
    ASSERT_TRUE(platform::createDirectory(product));
    ASSERT_TRUE(WriteFileText(product + kSep + "tmp_7.dat", "old"));
    ASSERT_TRUE(platform::createDirectory(product + kSep + "tmp_folder.dat"));
    ASSERT_TRUE(WriteFileText(product + kSep + "keep.txt", "not a temporary file"));

    Logger log(kLoggerProduct, LOG_INFO);
    EXPECT_EQ(List(product), (Strings{"keep.txt", "tmp_0"}));
    EXPECT_EQ(log.nextFileNumber(), 2); // 1 went to the start-up log

    // What the search logs: "tmp_7" starts with a letter, so its number is 0.
    const std::string file = StartCleanLog(log, "init.log");
    log.setThreshold(LOG_INFO);
    ASSERT_TRUE(WriteFileText(product + kSep + "tmp_7.dat", "old again"));
    const int registered = log.registeredCount();
    log.InitTempSpace(kLoggerProduct);

    EXPECT_EQ(Texts(file), (Strings{
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
                               // numbers this logger handed out are not given again
                               "Temp file indexes will start from: [2]",
                           }));
    EXPECT_EQ(log.registeredCount(), registered);
}

// ---------------------------------------------------------------- names

TEST_F(TempSpaceTest, NamesCarryProcessNumberAndUtcTimeInGroupFoldersOfAHundred) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string product = log.productTempPath();
    const std::string pid = std::to_string(platform::processId());
    // Number 1 went to the start-up log, in the group folder tmp_0.
    EXPECT_EQ(List(product + kSep + "tmp_0", "tmp_" + pid + "_1_*.dat").size(), 1u);

    Strings names(2); // names[n] is the name of number n
    while (names.size() <= 200) names.push_back(log.NewTempFileName());

    const Strings fields = NameFields(names[2]);
    ASSERT_EQ(fields.size(), 9u) << names[2];
    EXPECT_EQ(Strings(fields.begin(), fields.begin() + 5),
              (Strings{"tmp", pid, "2", std::to_string(platform::utcTime().year),
                       std::to_string(platform::utcTime().month)})); // no padding
    EXPECT_EQ(fields[8].substr(fields[8].size() - 4), ".dat");

    EXPECT_EQ(FolderOf(names[99]), product + kSep + "tmp_0");
    EXPECT_EQ(FolderOf(names[100]), product + kSep + "tmp_1");
    EXPECT_EQ(FolderOf(names[199]), product + kSep + "tmp_1");
    EXPECT_EQ(FolderOf(names[200]), product + kSep + "tmp_2");
    EXPECT_EQ(NameFields(names[100])[2], "100");
    EXPECT_TRUE(platform::isDirectory(product + kSep + "tmp_2"));
    EXPECT_FALSE(platform::exists(names[100])); // names are handed out, not created

    // A group folder removed by someone else is made again.
    log.SetLogFile(Path("host.log").c_str()); // releases the start-up log
    testsupport::RemoveTree(product + kSep + "tmp_2");
    EXPECT_EQ(FolderOf(log.NewTempFileName()), product + kSep + "tmp_2");
    EXPECT_TRUE(platform::isDirectory(product + kSep + "tmp_2"));
}

TEST_F(TempSpaceTest, The1025thNameGrowsTheTableBy1024) {
    Logger log(kLoggerProduct, LOG_INFO);
    const char *first = log.NewTempFileName();
    const std::string firstText = first;
    while (log.registeredCount() < 1024) ASSERT_NE(log.NewTempFileName(), nullptr);
    EXPECT_EQ(log.tableCapacity(), 1024);

    const std::string file = StartCleanLog(log, "growth.log");
    log.setThreshold(LOG_INFO);
    ASSERT_NE(log.NewTempFileName(), nullptr);
    EXPECT_EQ(log.registeredCount(), 1025);
    EXPECT_EQ(log.tableCapacity(), 2048);
    EXPECT_EQ(Texts(file), (Strings{"Size of storage expired, doing realloc", "Previous size was [1024]",
                                    "New size will be [2048]", "Realloc OK", "Temp space ready"}));
    EXPECT_EQ(std::string(first), firstText); // earlier names stay valid
}

// ---------------------------------------------------------------- emptying and clean-up

TEST_F(TempSpaceTest, EmptyFolderRemovesFilesAndSubfoldersButKeepsTheFolder) {
    const std::string folder = Path("full");
    ASSERT_TRUE(platform::createDirectory(folder));
    ASSERT_TRUE(platform::createDirectory(folder + kSep + "sub"));
    ASSERT_TRUE(platform::createDirectory(folder + kSep + "sub" + kSep + "deeper"));
    for (const char *name : {"a.txt", "sub/b.dat", "sub/deeper/c"}) {
        std::string path = folder + kSep + name;
        for (char &c : path) c = c == '/' ? platform::kPathSeparator : c;
        ASSERT_TRUE(WriteFileText(path, "x"));
    }
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "empty.log");
    log.setThreshold(LOG_INFO);

    log.EmptyFolder((folder + kSep).c_str()); // a trailing separator makes no difference
    EXPECT_TRUE(platform::isDirectory(folder));
    EXPECT_TRUE(List(folder).empty());
    log.EmptyFolder(nullptr);
    const Strings texts = Texts(file);
    EXPECT_EQ(texts.front(), "Emptying folder [" + folder + kSep + "]");
    EXPECT_EQ(Strings(texts.end() - 2, texts.end()), (Strings{"Emptying folder [null]", "EmptyFolder: invalid ptr"}));
}

TEST_F(TempSpaceTest, LinksToFoldersElsewhereAreRemovedButNeverFollowed) {
    const std::string outside = Path("outside");
    ASSERT_TRUE(platform::createDirectory(outside));
    ASSERT_TRUE(WriteFileText(outside + kSep + "precious", "keep me"));
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
    EXPECT_EQ(ReadFileText(outside + kSep + "precious"), "keep me");
}

// Whatever someone else left at the product folder's name in a shared
// temporary folder, the logger never writes, deletes or empties through it.
TEST_F(TempSpaceTest, OnlyAPrivateProductFolderIsUsedAndNoLinkInsideIsFollowed) {
    using Plant = bool (*)(const std::string &product, const std::string &outside);
    struct Case {
        const char *what;
        Plant plant;
        bool used; // the planted folder is used as the product folder
    };
    static const Case cases[] = {
        {"a link to a folder elsewhere",
         [](const std::string &product, const std::string &outside) {
             std::error_code error;
             std::filesystem::create_directory_symlink(outside, product, error);
             return !error;
         },
         false},
        {"a file", [](const std::string &product, const std::string &) { return WriteFileText(product, "x"); },
         false},
#if !defined(_WIN32)
        {"a folder others may write into",
         [](const std::string &product, const std::string &) {
             std::error_code error;
             std::filesystem::create_directory(product, error);
             std::filesystem::permissions(product, std::filesystem::perms::others_write,
                                          std::filesystem::perm_options::add, error);
             return !error;
         },
         false},
#endif
        {"a private folder holding links named like old files and group folders",
         [](const std::string &product, const std::string &outside) {
             std::error_code error;
             std::filesystem::create_directory(product, error);
             std::filesystem::create_directory_symlink(outside, product + kSep + "tmp_9.dat", error);
             if (!error) std::filesystem::create_directory_symlink(outside, product + kSep + "tmp_0", error);
             return !error;
         },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string temp = Path(std::string("shared_") + std::to_string(&c - cases));
        const std::string outside = temp + "_outside";
        ASSERT_TRUE(platform::createDirectory(temp));
        ASSERT_TRUE(platform::createDirectory(outside));
        ASSERT_TRUE(WriteFileText(outside + kSep + "tmp_1.dat", "keep me"));
        const std::string product = temp + kSep + "tmp_kest";
        if (!c.plant(product, outside)) GTEST_SKIP() << "cannot plant " << c.what << " here";
        const platform::PathKind planted = platform::pathKind(product);
        platform::setEnvironment("TALVANETMP", temp);

        std::string used;
        {
            Logger log(kLoggerProduct, LOG_INFO);
            used = log.productTempPath();
            EXPECT_EQ(used == product, c.used) << used;
            EXPECT_TRUE(platform::isPrivateDirectory(used));
            const std::string name = log.NewTempFileName();
            EXPECT_EQ(FolderOf(FolderOf(name)), used);
            EXPECT_EQ(platform::pathKind(FolderOf(name)), platform::PathKind::Directory);
            ASSERT_TRUE(WriteFileText(name, "log"));
        }
        EXPECT_EQ(testsupport::ListTree(outside), (Strings{"tmp_1.dat"}));
        EXPECT_EQ(ReadFileText(outside + kSep + "tmp_1.dat"), "keep me");
        if (!c.used) {
            EXPECT_EQ(platform::pathKind(product), planted); // left as it was
            EXPECT_FALSE(platform::exists(used));          // the fresh folder went at the end
        }
    }
}

TEST_F(TempSpaceTest, DeleteTempFilesRemovesEveryRegisteredName) {
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string file = StartCleanLog(log, "cleanup.log"); // closes the start-up log
    log.setThreshold(LOG_INFO);
    const std::string asFile = log.NewTempFileName();
    const std::string asFolder = log.NewTempFileName();
    const std::string never = log.NewTempFileName();
    const std::string withSibling = log.NewTempFileName();
    const std::string sibling = withSibling.substr(0, withSibling.size() - 4); // without ".dat"
    ASSERT_TRUE(WriteFileText(asFile, "data"));
    ASSERT_TRUE(platform::createDirectory(asFolder));
    ASSERT_TRUE(WriteFileText(asFolder + kSep + "inner", "x"));
    ASSERT_TRUE(WriteFileText(withSibling, "data"));
    ASSERT_TRUE(platform::createDirectory(sibling));

    log.DeleteTempFiles();
    for (const std::string &gone : {asFile, asFolder, withSibling, sibling})
        EXPECT_FALSE(platform::exists(gone)) << gone;
    const Strings texts = Texts(file);
    EXPECT_LT(FindText(texts, "Cannot delete temp file: [" + never + "]"), texts.size());
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Temp file deleted"), 3); // start-up log too
}

TEST_F(TempSpaceTest, DestroyingTheLoggerDeletesItsLogsEvenWhileTheyAreInUse) {
    std::string product, recoveryLog;
    {
        Logger log(kLoggerProduct, LOG_INFO);
        product = log.productTempPath();
        recoveryLog = log.NewTempFileName(); // as a recovery call does
        log.SetLogFile(recoveryLog.c_str());
        log.Info("recovering");
        ASSERT_TRUE(platform::exists(recoveryLog));
    }
    // Neither the start-up log nor the recovery log is left; the group folder stays.
    EXPECT_TRUE(platform::isDirectory(product + kSep + "tmp_0"));
    EXPECT_TRUE(List(product + kSep + "tmp_0").empty());
}

} // namespace
