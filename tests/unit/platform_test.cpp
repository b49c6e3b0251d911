// Behaviour of the platform layer that the library relies on: positioned
// reads of large dumps, output files, folder listings, clocks, environment,
// errors, libraries and UTF-16 text.
#include "platform/platform.h"
#include "platform/utf16_text.h"
#include "platform/wildcard.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using testsupport::TempFolder;

namespace {

std::vector<std::string> sortedNames(const std::vector<platform::DirectoryEntry> &entries) {
    std::vector<std::string> names;
    for (const auto &e : entries)
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::string fileText(platform::RandomAccessFile &file) {
    std::string text(static_cast<size_t>(file.size()), '\0');
    text.resize(file.readAt(0, &text[0], text.size()));
    return text;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t secondsOf(const platform::DateTime &t) {
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

} // namespace

// ---------------------------------------------------------------- files

TEST(PlatformFile, ReadsAtAnyOffsetAndShortAtTheEnd) {
    TempFolder folder("platform");
    const std::string path = folder / "dump.bin";
    {
        platform::File out = platform::File::createAlways(path);
        ASSERT_TRUE(out.isOpen());
        std::string bytes;
        for (int i = 0; i < 1000; ++i)
            bytes += static_cast<char>(i % 251);
        ASSERT_EQ(out.write(bytes.data(), bytes.size()), 1000u);
    }
    platform::File in = platform::File::openForReading(path);
    ASSERT_TRUE(in.isOpen());
    EXPECT_EQ(in.size(), 1000u);

    unsigned char buffer[64];
    ASSERT_EQ(in.readAt(500, buffer, 16), 16u);
    EXPECT_EQ(buffer[0], 500 % 251);
    EXPECT_EQ(buffer[15], 515 % 251);
    EXPECT_EQ(in.readAt(990, buffer, 64), 10u) << "a read across the end stops at the end";
    EXPECT_EQ(buffer[9], 999 % 251);
    EXPECT_EQ(in.readAt(1000, buffer, 64), 0u);
    EXPECT_EQ(in.readAt(UINT64_MAX - 4, buffer, 64), 0u);
    EXPECT_EQ(in.readAt(0, nullptr, 64), 0u);
}

TEST(PlatformFile, ReadsBeyondFourGibibytes) {
    TempFolder folder("platform");
    const std::string path = folder / "sparse.bin";
    const uint64_t far = (5ull << 30) + 123; // beyond any 32-bit offset
    const char marker[] = "far away";
    {
        platform::File out = platform::File::createAlways(path);
        ASSERT_TRUE(out.isOpen());
        if (!out.seek(far) || out.write(marker, sizeof marker) != sizeof marker)
            GTEST_SKIP() << "the file system cannot hold a sparse 5 GiB file here";
    }
    platform::File in = platform::File::openForReading(path);
    ASSERT_TRUE(in.isOpen());
    EXPECT_EQ(in.size(), far + sizeof marker);
    char back[sizeof marker] = {};
    ASSERT_EQ(in.readAt(far, back, sizeof back), sizeof marker);
    EXPECT_STREQ(back, marker);
    // The hole reads as zeros, also right at the 4 GiB line.
    char hole[8];
    std::memset(hole, 1, sizeof hole);
    ASSERT_EQ(in.readAt((4ull << 30) - 4, hole, sizeof hole), sizeof hole);
    EXPECT_EQ(std::count(hole, hole + sizeof hole, 0), 8);
    // A read straddling the end of the file.
    EXPECT_EQ(in.readAt(far + 4, back, sizeof back), sizeof marker - 4);
    in.close();
    EXPECT_TRUE(platform::deleteFile(path));
}

TEST(PlatformFile, CreateAlwaysTruncatesAndWritesSequentially) {
    TempFolder folder("platform");
    const std::string path = folder / "out.sql";
    ASSERT_TRUE(testsupport::WriteFileText(path, std::string(300, 'x')));

    platform::File out = platform::File::createAlways(path);
    ASSERT_TRUE(out.isOpen());
    EXPECT_EQ(out.size(), 0u) << "an existing file starts empty";
    EXPECT_EQ(out.write("abc", 3), 3u);
    char peek[3];
    EXPECT_EQ(out.readAt(0, peek, 3), 3u);
    EXPECT_EQ(out.write("def", 3), 3u) << "reading does not move the write position";
    EXPECT_EQ(fileText(out), "abcdef");

    ASSERT_TRUE(out.seek(2));
    EXPECT_TRUE(out.truncateHere());
    EXPECT_EQ(fileText(out), "ab");
    EXPECT_EQ(out.write("Z", 1), 1u);
    EXPECT_EQ(fileText(out), "abZ");
}

TEST(PlatformFile, OpensOnlyExistingFilesAndMovesOwnership) {
    TempFolder folder("platform");
    EXPECT_FALSE(platform::File::openForReading(folder / "missing.dmp").isOpen());
    EXPECT_FALSE(platform::File::openForReading(folder.path()).isOpen()) << "a folder is no dump";
    EXPECT_FALSE(platform::File::createAlways(folder / "no_such_folder" + platform::kPathSeparator + "a.sql").isOpen());

    platform::File first = platform::File::createAlways(folder / "a.bin");
    ASSERT_TRUE(first.isOpen());
    platform::File second(std::move(first));
    EXPECT_FALSE(first.isOpen());
    EXPECT_TRUE(second.isOpen());
    EXPECT_EQ(first.write("x", 1), 0u);
    EXPECT_EQ(second.write("x", 1), 1u);
    second = platform::File();
    EXPECT_FALSE(second.isOpen());
}

TEST(PlatformFile, MemoryFileReadsLikeADiskFile) {
    platform::MemoryFile file(std::vector<uint8_t>{1, 2, 3, 4, 5});
    uint8_t buffer[8] = {};
    EXPECT_EQ(file.size(), 5u);
    EXPECT_EQ(file.readAt(1, buffer, 2), 2u);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(file.readAt(3, buffer, 8), 2u);
    EXPECT_EQ(file.readAt(5, buffer, 8), 0u);
    EXPECT_EQ(file.readAt(UINT64_MAX, buffer, 8), 0u);
}

// ---------------------------------------------------------------- folders

TEST(PlatformFolders, CreateRemoveAndTellFilesFromFolders) {
    TempFolder folder("platform");
    const std::string sub = folder / "db";
    EXPECT_FALSE(platform::exists(sub));
    EXPECT_TRUE(platform::createDirectory(sub));
    EXPECT_FALSE(platform::createDirectory(sub)) << "an existing folder is not made again";
    EXPECT_TRUE(platform::isDirectory(sub));

    const std::string file = sub + platform::kPathSeparator + "t.sql";
    ASSERT_TRUE(testsupport::WriteFileText(file, "GO"));
    EXPECT_TRUE(platform::exists(file));
    EXPECT_FALSE(platform::isDirectory(file));
    EXPECT_FALSE(platform::removeDirectory(sub)) << "a folder with files stays";
    EXPECT_FALSE(platform::deleteFile(sub)) << "deleteFile never removes a folder";
    EXPECT_TRUE(platform::deleteFile(file));
    EXPECT_FALSE(platform::deleteFile(file));
    EXPECT_TRUE(platform::removeDirectory(sub));
    EXPECT_FALSE(platform::exists(sub));
}

TEST(PlatformFolders, ListsEntriesMatchingAPattern) {
    TempFolder folder("platform");
    for (const char *name : {"tmp_1.dat", "tmp_22.dat", "x.dat", "notes.txt", "noext", "a.data"})
        ASSERT_TRUE(testsupport::WriteFileText(folder / name, "1"));
    ASSERT_TRUE(platform::createDirectory(folder / "tmp_0"));

    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::listDirectory(folder.path(), "*.*", entries));
    EXPECT_EQ(sortedNames(entries),
              (std::vector<std::string>{"a.data", "noext", "notes.txt", "tmp_0", "tmp_1.dat",
                                        "tmp_22.dat", "x.dat"}));
    for (const auto &e : entries)
        EXPECT_EQ(e.isDirectory, e.name == "tmp_0") << e.name;

    entries.clear();
    ASSERT_TRUE(platform::listDirectory(folder.path(), "tmp_*.dat", entries));
    EXPECT_EQ(sortedNames(entries), (std::vector<std::string>{"tmp_1.dat", "tmp_22.dat"}));

    entries.clear();
    ASSERT_TRUE(platform::listDirectory(folder.path(), "?.dat", entries));
    EXPECT_EQ(sortedNames(entries), (std::vector<std::string>{"x.dat"}));

    entries.clear();
    ASSERT_TRUE(platform::listDirectory(folder.path() + platform::kPathSeparator, "*", entries));
    EXPECT_EQ(entries.size(), 7u) << "a trailing separator on the folder is fine";

    entries.clear();
    EXPECT_FALSE(platform::listDirectory(folder / "missing", "*", entries));
    EXPECT_TRUE(entries.empty());
}

TEST(PlatformFolders, WildcardsMatchWholeNames) {
    using platform::detail::matchesWildcard;
    EXPECT_TRUE(matchesWildcard("anything", "*", false));
    EXPECT_TRUE(matchesWildcard("no_dot", "*.*", false));
    EXPECT_TRUE(matchesWildcard("", "*", false));
    EXPECT_FALSE(matchesWildcard("", "?", false));
    EXPECT_TRUE(matchesWildcard("abXbc", "a*bc", false)) << "the star backtracks";
    EXPECT_TRUE(matchesWildcard("a.b.c", "*.c", false));
    EXPECT_FALSE(matchesWildcard("a.cd", "*.c", false));
    EXPECT_FALSE(matchesWildcard("TMP_1.DAT", "tmp_*.dat", false));
    EXPECT_TRUE(matchesWildcard("TMP_1.DAT", "tmp_*.dat", true));
    // Many stars against a long name still finish at once.
    EXPECT_FALSE(matchesWildcard(std::string(5000, 'a'), std::string(50, '*') + "b", false));
}

// ---------------------------------------------------------------- libraries

TEST(PlatformLibraries, LoadsSystemLibrariesAndFindsModules) {
#if defined(_WIN32)
    const std::string systemLibrary = "kernel32.dll";
    const char *symbol = "GetCurrentProcessId";
#else
    const std::string systemLibrary = "libc.so.6";
    const char *symbol = "getpid";
#endif
    platform::DynamicLibrary library = platform::DynamicLibrary::load(systemLibrary);
    ASSERT_TRUE(library.isLoaded());
    EXPECT_NE(library.symbol(symbol), nullptr);
    EXPECT_EQ(library.symbol("NoSuchExport_vrn"), nullptr);

    const std::string path = platform::modulePath(systemLibrary);
    ASSERT_GT(path.size(), systemLibrary.size());
    const size_t sep = platform::lastSeparator(path);
    ASSERT_NE(sep, std::string::npos);
    std::string name = path.substr(sep + 1);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    EXPECT_EQ(name, systemLibrary);

    platform::DynamicLibrary moved = std::move(library);
    EXPECT_FALSE(library.isLoaded());
    moved.unload();
    EXPECT_FALSE(moved.isLoaded());
    EXPECT_FALSE(platform::DynamicLibrary::load("no_such_library_vrn").isLoaded());
}

TEST(PlatformLibraries, UnknownModuleNamesTheExecutable) {
    const std::string exe = platform::modulePath("no_such_module_vrn");
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(platform::exists(exe));
    EXPECT_FALSE(platform::isDirectory(exe));
    EXPECT_EQ(platform::modulePath(""), exe);
    EXPECT_EQ(platform::sharedLibraryFileName("tlvcmn"),
              platform::kPathSeparator == '\\' ? "tlvcmn.dll" : "libtlvcmn.so");
}

// ---------------------------------------------------------------- time and system

TEST(PlatformSystem, ClocksAgree) {
    const int64_t before = platform::nowSeconds();
    const platform::DateTime utc = platform::utcTime();
    const platform::DateTime local = platform::localTime();
    const int64_t after = platform::nowSeconds();

    for (const platform::DateTime &t : {utc, local}) {
        EXPECT_GE(t.year, 2020);
        EXPECT_TRUE(t.month >= 1 && t.month <= 12);
        EXPECT_TRUE(t.day >= 1 && t.day <= 31);
        EXPECT_TRUE(t.hour >= 0 && t.hour <= 23);
        EXPECT_TRUE(t.minute >= 0 && t.minute <= 59);
        EXPECT_TRUE(t.second >= 0 && t.second <= 59);
        EXPECT_TRUE(t.millisecond >= 0 && t.millisecond <= 999);
    }
    EXPECT_GE(secondsOf(utc), before);
    EXPECT_LE(secondsOf(utc), after);
    // Time zones lie within 14 hours of UTC.
    EXPECT_LE(std::abs(secondsOf(local) - secondsOf(utc)), 14 * 3600 + 2);
}

TEST(PlatformSystem, EnvironmentVariablesComeAndGo) {
    const std::string name = "VRN_PLATFORM_TEST_" + std::to_string(platform::processId());
    std::string value = "untouched";
    EXPECT_FALSE(platform::getEnvironment(name, value));
    EXPECT_EQ(value, "untouched");
    ASSERT_TRUE(platform::setEnvironment(name, "C:\\some folder"));
    ASSERT_TRUE(platform::getEnvironment(name, value));
    EXPECT_EQ(value, "C:\\some folder");
    ASSERT_TRUE(platform::setEnvironment(name, std::string(3000, 'v')));
    ASSERT_TRUE(platform::getEnvironment(name, value));
    EXPECT_EQ(value.size(), 3000u) << "long values are not cut";
    EXPECT_TRUE(platform::unsetEnvironment(name));
    EXPECT_FALSE(platform::getEnvironment(name, value));
    EXPECT_FALSE(platform::setEnvironment("", "x"));
}

TEST(PlatformSystem, SystemFoldersAndNames) {
    const std::string temp = platform::tempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(platform::isPathSeparator(temp.back())) << temp;
    EXPECT_TRUE(platform::isDirectory(temp)) << temp;
    EXPECT_TRUE(platform::isDirectory(platform::currentDirectory()));
    EXPECT_FALSE(platform::systemDirectory().empty());
    EXPECT_FALSE(platform::windowsDirectory().empty());
    EXPECT_FALSE(platform::computerName().empty());
    EXPECT_NE(platform::processId(), 0u);
}

TEST(PlatformSystem, LastErrorAndItsMessage) {
    platform::setLastErrorCode(0);
    EXPECT_FALSE(platform::File::openForReading("no_such_dump_vrn.dmp").isOpen());
    const uint32_t code = platform::lastErrorCode();
    EXPECT_NE(code, 0u) << "a failed open leaves its reason";
    std::string text;
    ASSERT_TRUE(platform::errorMessage(code, text));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_last_of("\r\n"), std::string::npos) << "one line, no line end";

    platform::setLastErrorCode(1234);
    EXPECT_EQ(platform::lastErrorCode(), 1234u);
    EXPECT_FALSE(platform::errorMessage(0xDEADBEEFu, text));
}

// ---------------------------------------------------------------- text

namespace {

std::vector<uint8_t> utf16Bytes(const std::string &ascii, size_t padTo = 0) {
    std::vector<uint8_t> bytes;
    for (char c : ascii) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(0);
    }
    bytes.resize(std::max(bytes.size(), padTo), 0);
    return bytes;
}

} // namespace

TEST(PlatformText, TellsUtf16FromNarrowText) {
    const std::vector<uint8_t> wide = utf16Bytes("Product name of the companion");
    EXPECT_TRUE(platform::isTextUnicode(wide.data(), wide.size()));
    const std::string narrow = "Product name of the companion!!!";
    EXPECT_FALSE(platform::isTextUnicode(narrow.data(), narrow.size()));
    EXPECT_FALSE(platform::isTextUnicode(nullptr, 10));
    EXPECT_FALSE(platform::isTextUnicode(wide.data(), 0));
}

TEST(PlatformText, StatisticalTestOfThePortableBackend) {
    using platform::detail::looksLikeUtf16;
    // Narrow text in a zero-filled buffer, as a companion library returns it:
    // only its last unit can look like a UTF-16 character.
    for (const std::string text : {"Abc", "Abcd", "Talvane Recovery", "x1"}) {
        std::vector<uint8_t> buffer(100, 0);
        std::memcpy(buffer.data(), text.data(), text.size());
        EXPECT_FALSE(looksLikeUtf16(buffer.data(), buffer.size())) << text;
    }
    const std::vector<uint8_t> padded = utf16Bytes("Recovery", 100);
    EXPECT_TRUE(looksLikeUtf16(padded.data(), padded.size()));
    EXPECT_FALSE(looksLikeUtf16(padded.data(), 99)) << "an odd size is never UTF-16";
    const uint8_t bom[] = {0xFF, 0xFE, 0x41, 0x4E};
    EXPECT_TRUE(looksLikeUtf16(bom, sizeof bom));
    const uint8_t zeros[8] = {};
    EXPECT_FALSE(looksLikeUtf16(zeros, sizeof zeros));
}

TEST(PlatformText, ConvertsUtf16ToNarrowText) {
    const uint16_t text[] = {'L', 'o', 'g', 0, 'X'};
    EXPECT_EQ(platform::utf16ToAnsi(text, 5), "Log") << "stops at a zero unit";
    EXPECT_EQ(platform::utf16ToAnsi(text, 2), "Lo") << "and at the count";
    EXPECT_EQ(platform::utf16ToAnsi(text, 0), "");
    EXPECT_EQ(platform::utf16ToAnsi(nullptr, 3), "");

    using platform::detail::utf16ToUtf8;
    const uint16_t accented[] = {0x00E9, 0x20AC};
    EXPECT_EQ(utf16ToUtf8(accented, 2), "\xC3\xA9\xE2\x82\xAC");
    const uint16_t pair[] = {0xD83D, 0xDE00};
    EXPECT_EQ(utf16ToUtf8(pair, 2), "\xF0\x9F\x98\x80");
    const uint16_t lone[] = {0xD83D, 'a', 0xDE00};
    EXPECT_EQ(utf16ToUtf8(lone, 3), "?a?") << "a broken pair becomes the default character";
    EXPECT_EQ(utf16ToUtf8(pair, 1), "?") << "a pair cut by the count";
}
