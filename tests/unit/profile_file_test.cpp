// Initialisation files: what the table description and the settings of the
// companion library rely on. The public calls run on each system's own
// implementation; the portable document and store are tested directly.
#include "platform/platform.h"
#include "platform/profile_file.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>

using platform::detail::IniDocument;
using testsupport::TempFolder;

namespace {

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

} // namespace

// ---------------------------------------------------------------- public calls

TEST(ProfileFile, WritesAndReadsBackKeys) {
    TempFolder folder("profile");
    const std::string ini = folder / "int0.ini";
    ASSERT_TRUE(platform::writeProfileString(ini, "table_0", "name", "orders"));
    ASSERT_TRUE(platform::writeProfileString(ini, "table_0", "type", "85"));
    ASSERT_TRUE(platform::writeProfileString(ini, "field_0", "col_byte", "-10"));
    ASSERT_TRUE(platform::writeProfileString(ini, "Total", "tab_count", "1"));

    EXPECT_EQ(platform::readProfileString(ini, "table_0", "name", "none"), "orders");
    EXPECT_EQ(platform::readProfileInt(ini, "table_0", "type", 0), 85);
    EXPECT_EQ(platform::readProfileInt(ini, "field_0", "col_byte", 0), -10);
    EXPECT_EQ(platform::readProfileInt(ini, "TOTAL", "Tab_Count", 0), 1)
        << "section and key names ignore letter case";
    EXPECT_EQ(withoutCarriageReturns(testsupport::ReadFileText(ini)),
              "[table_0]\nname=orders\ntype=85\n[field_0]\ncol_byte=-10\n[Total]\ntab_count=1\n");
}

TEST(ProfileFile, ReplacingAKeyKeepsEverythingElse) {
    TempFolder folder("profile");
    const std::string ini = folder / "settings.ini";
    ASSERT_TRUE(testsupport::WriteFileText(
        ini, "; settings\r\n[General]\r\nLogLevel=2\r\nLanguage=en\r\n\r\n[Other]\r\nx=1\r\n"));

    ASSERT_TRUE(platform::writeProfileString(ini, "general", "loglevel", "4"));
    ASSERT_TRUE(platform::writeProfileString(ini, "General", "Extra", "yes"));
    EXPECT_EQ(platform::readProfileInt(ini, "General", "LogLevel", 0), 4);
    EXPECT_EQ(platform::readProfileString(ini, "General", "Language", ""), "en");
    EXPECT_EQ(platform::readProfileString(ini, "General", "Extra", ""), "yes");
    EXPECT_EQ(platform::readProfileString(ini, "Other", "x", ""), "1");
    const std::string text = withoutCarriageReturns(testsupport::ReadFileText(ini));
    EXPECT_NE(text.find("; settings\n[General]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Language=en\n"), std::string::npos) << text;
    EXPECT_LT(text.find("Extra=yes"), text.find("[Other]")) << "a new key joins its own section";
}

TEST(ProfileFile, MissingFileSectionOrKeyGivesTheDefault) {
    TempFolder folder("profile");
    const std::string ini = folder / "int0.ini";
    EXPECT_EQ(platform::readProfileInt(ini, "Total", "tab_count", -10), -10);
    EXPECT_EQ(platform::readProfileString(ini, "table_0", "name", "none"), "none");
    EXPECT_FALSE(platform::exists(ini)) << "reading never creates the file";
    EXPECT_EQ(platform::readProfileString(ini, "table_0", "name", "none  "), "none")
        << "the default loses its trailing blanks, as on Windows";
    EXPECT_EQ(platform::readProfileString("", "windows", "load", "none"), "none")
        << "no file name reads no file, not even a system one";
    EXPECT_EQ(platform::readProfileInt("", "windows", "load", -10), -10);

    ASSERT_TRUE(testsupport::WriteFileText(
        ini, "[field_0]\nname=id\nnum=12abc\nword=abc\nempty=\nspaced =  7  \nquoted=\"a b\"\n"));
    EXPECT_EQ(platform::readProfileInt(ini, "field_1", "name", -10), -10);
    EXPECT_EQ(platform::readProfileInt(ini, "field_0", "col_num", -10), -10);
    EXPECT_EQ(platform::readProfileInt(ini, "field_0", "num", 0), 12) << "leading digits count";
    EXPECT_EQ(platform::readProfileInt(ini, "field_0", "word", -10), 0) << "no digits read as 0";
    EXPECT_EQ(platform::readProfileInt(ini, "field_0", "empty", -10), -10);
    EXPECT_EQ(platform::readProfileInt(ini, "field_0", "spaced", 0), 7);
    EXPECT_EQ(platform::readProfileString(ini, "field_0", "spaced", ""), "7");
    EXPECT_EQ(platform::readProfileString(ini, "field_0", "quoted", ""), "a b");
    EXPECT_EQ(platform::readProfileString(ini, "field_0", "empty", "none"), "");
}

TEST(ProfileFile, RefusesTextThatWouldBreakTheFile) {
    TempFolder folder("profile");
    const std::string ini = folder / "int0.ini";
    // A name read from a damaged dump must not add lines or sections.
    EXPECT_FALSE(platform::writeProfileString(ini, "table_0", "name", "a\r\n[Total]\r\ntab_count=99"));
    EXPECT_FALSE(platform::writeProfileString(ini, "table]x", "name", "a"));
    EXPECT_FALSE(platform::writeProfileString(ini, "table_0", "na=me", "a"));
    EXPECT_FALSE(platform::writeProfileString(ini, "table_0", "", "a"));
    EXPECT_FALSE(platform::writeProfileString(ini, "table_0", "name", std::string("a\0b", 3)));
    EXPECT_FALSE(platform::exists(ini));
    EXPECT_FALSE(platform::writeProfileString(folder / "missing" + platform::kPathSeparator + "int0.ini", "s", "k", "v"));
    // Text that keeps to one line is stored as it is.
    ASSERT_TRUE(platform::writeProfileString(ini, "table_0", "name", "weird = [name];"));
    EXPECT_EQ(platform::readProfileString(ini, "table_0", "name", ""), "weird = [name];");
}

// ---------------------------------------------------------------- the document

TEST(IniDocumentTest, KeepsTheTextByteForByte) {
    const std::string text = "\xEF\xBB\xBF; c\n[a]\r\nk = v \n\n[b]\nx=1";
    IniDocument doc;
    doc.parse(text);
    EXPECT_EQ(doc.text(), text);
    std::string value;
    EXPECT_TRUE(doc.find("a", "K", value));
    EXPECT_EQ(value, "v");
    EXPECT_TRUE(doc.find("b", "x", value));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(doc.find("c", "x", value));
}

TEST(IniDocumentTest, AddsAtTheEndByAppending) {
    IniDocument doc;
    doc.parse("[a]\nk=1"); // no line end after the last line
    std::string appended;
    EXPECT_EQ(doc.set("a", "j", "2", appended), IniDocument::Change::Appended);
    EXPECT_EQ(appended, "\nj=2\n") << "the open last line is ended first, in the file's style";
    EXPECT_EQ(doc.set("b", "k", "3", appended), IniDocument::Change::Appended);
    EXPECT_EQ(appended, "[b]\nk=3\n");
    EXPECT_EQ(doc.text(), "[a]\nk=1\nj=2\n[b]\nk=3\n");
    EXPECT_EQ(doc.set("B", "K", "3", appended), IniDocument::Change::Unchanged);

    IniDocument empty;
    empty.parse("");
    EXPECT_EQ(empty.set("s", "k", "v", appended), IniDocument::Change::Appended);
    EXPECT_EQ(appended, "[s]\r\nk=v\r\n") << "a new file gets Windows line ends";
}

TEST(IniDocumentTest, ChangesInsideTheFileRewriteIt) {
    IniDocument doc;
    doc.parse("[a]\nk=1\n\n[b]\nx=1\n");
    std::string appended;
    EXPECT_EQ(doc.set("a", "j", "2", appended), IniDocument::Change::Rewritten);
    EXPECT_EQ(doc.set("b", "X", "5", appended), IniDocument::Change::Rewritten);
    EXPECT_EQ(doc.text(), "[a]\nk=1\nj=2\n\n[b]\nx=5\n") << "the key keeps its spelling";
    // Keys before any section belong to the section "".
    EXPECT_EQ(doc.set("", "top", "1", appended), IniDocument::Change::Rewritten);
    EXPECT_EQ(doc.text(), "top=1\n[a]\nk=1\nj=2\n\n[b]\nx=5\n");
    std::string value;
    EXPECT_TRUE(doc.find("", "top", value));
    EXPECT_TRUE(doc.find("a", "j", value));
    EXPECT_EQ(value, "2");
}

TEST(IniDocumentTest, FirstOfRepeatedSectionsAndKeysWins) {
    IniDocument doc;
    doc.parse("[s]\nk=1\nk=2\n[S]\nk=3\nonly=4\n");
    std::string value;
    ASSERT_TRUE(doc.find("s", "k", value));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(doc.find("s", "only", value));
}

// ---------------------------------------------------------------- the store

TEST(ProfileStoreTest, SeesChangesMadeBehindItsBack) {
    namespace store = platform::detail::ProfileStore;
    TempFolder folder("profile");
    const std::string ini = folder / "a.ini";
    std::string value;
    ASSERT_TRUE(testsupport::WriteFileText(ini, "[s]\nk=1\n"));
    ASSERT_TRUE(store::read(ini, "s", "k", value));
    EXPECT_EQ(value, "1");
    // Same size, written within the same clock tick as the first version.
    ASSERT_TRUE(testsupport::WriteFileText(ini, "[s]\nk=2\n"));
    ASSERT_TRUE(store::read(ini, "s", "k", value));
    EXPECT_EQ(value, "2");

    ASSERT_TRUE(store::write(ini, "s", "j", "3"));
    ASSERT_TRUE(testsupport::WriteFileText(ini, "[t]\nk=4\n"));
    EXPECT_FALSE(store::read(ini, "s", "j", value));
    ASSERT_TRUE(store::read(ini, "t", "k", value));
    EXPECT_EQ(value, "4");

    ASSERT_TRUE(platform::deleteFile(ini));
    EXPECT_FALSE(store::read(ini, "t", "k", value));
    ASSERT_TRUE(store::write(ini, "u", "k", "5"));
    EXPECT_EQ(testsupport::ReadFileText(ini), "[u]\r\nk=5\r\n");
}

namespace {

// Seconds to write a table description of `sections` fields key by key and
// to read one key of each field back.
double describeFields(const std::string &ini, int sections) {
    namespace store = platform::detail::ProfileStore;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < sections; ++i) {
        const std::string section = "field_" + std::to_string(i);
        for (const char *key : {"name", "begin_fl", "col_byte", "col_num", "null_fl", "rec_len",
                                "id", "type", "id_num"})
            EXPECT_TRUE(store::write(ini, section, key, std::to_string(i)));
    }
    EXPECT_TRUE(store::write(ini, "Total", "col_count", std::to_string(sections)));
    store::clear();
    std::string value;
    for (int i = 0; i < sections; ++i) {
        EXPECT_TRUE(store::read(ini, "field_" + std::to_string(i), "id_num", value));
        EXPECT_EQ(value, std::to_string(i));
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(ProfileStoreTest, EachKeyCostsTheSameHoweverLargeTheFile) {
    TempFolder folder("profile");
    const double small = describeFields(folder / "small.ini", 250);
    const double large = describeFields(folder / "large.ini", 1000);
    // Four times the keys: about four times the time, where rewriting the
    // whole file for every key would take about sixteen times.
    EXPECT_LT(large, 9 * small + 0.05) << small << " s for 250 fields, " << large << " s for 1000";
}
