// Tables, columns and rows in dump descriptions: the words of types and
// values, and the errors that name their line.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/dump_description.h"
#include "tests/support/value_words.h"
#include "tests/unit/parser_test_support.h"

using namespace dumpwriter;

namespace {

Column TypeOf(const std::string &word) {
    Column c;
    c.name = "c";
    std::string error;
    EXPECT_TRUE(ParseColumnType(word, c, error)) << word << ": " << error;
    return c;
}

Value ValueOf(const std::string &type, const std::string &word, uint8_t status = kNotNull) {
    Column c = TypeOf(type);
    c.status = status;
    Value v;
    std::optional<Bytes> chain;
    std::string error;
    EXPECT_TRUE(ParseValueWord(word, c, v, chain, error)) << word << ": " << error;
    return v;
}

std::string ErrorOf(const std::string &type, const std::string &word) {
    Column c = TypeOf(type);
    Value v;
    std::optional<Bytes> chain;
    std::string error;
    EXPECT_FALSE(ParseValueWord(word, c, v, chain, error)) << word;
    return error;
}

std::vector<std::string> Words(const std::string &line) {
    std::vector<std::string> w;
    std::string error;
    EXPECT_TRUE(SplitWords(line, w, error)) << error;
    return w;
}

} // namespace

TEST(DescriptionWords, QuotedStringsAreOneWordAndCommentsEndTheLine) {
    EXPECT_EQ((std::vector<std::string>{"row", "1", "'a b # c'", "'it''s'", "NULL"}),
              Words("row 1 'a b # c' 'it''s' NULL # comment 'x"));
    std::vector<std::string> w;
    std::string error;
    EXPECT_FALSE(SplitWords("row 'open", w, error));
}

TEST(DescriptionWords, TypesTakeTheirLengthsOrPrecisionAndScale) {
    EXPECT_EQ(40, TypeOf("varchar(40)").length);
    EXPECT_EQ(4, TypeOf("int").length);
    EXPECT_EQ(16, TypeOf("text").length);
    const Column d = TypeOf("decimal(10,2)");
    EXPECT_EQ(types::kDecimal, d.user_type);
    EXPECT_EQ(10, d.precision);
    EXPECT_EQ(2, d.scale);
    EXPECT_EQ(6, d.length);
    EXPECT_EQ(33, TypeOf("code33(8)").user_type);
    EXPECT_EQ(20, TypeOf("unichar(10)").length); // two bytes a character
    EXPECT_EQ(8, TypeOf("timestamp").length);
    EXPECT_EQ(types::kUnsignedBigInt, TypeOf("ubigint").user_type);
    Column c;
    std::string error;
    for (const char *bad : {"varchar", "int(4)", "decimal(10)", "decimal(2,3)", "blob", "code300(1)", "char(4"})
        EXPECT_FALSE(ParseColumnType(bad, c, error)) << bad;
}

TEST(DescriptionWords, ValuesAreStoredAsTheirTypeStoresThem) {
    EXPECT_EQ(encode::Int(-7), *ValueOf("int", "-7"));
    EXPECT_EQ(encode::Numeric(1250, 6), *ValueOf("decimal(10,2)", "12.5"));
    EXPECT_EQ(encode::Numeric(-3, 2), *ValueOf("numeric(2,0)", "-3"));
    EXPECT_EQ(encode::Money(12345), *ValueOf("money", "1.2345"));
    EXPECT_EQ(encode::SmallMoney(-42000), *ValueOf("smallmoney", "-4.2"));
    EXPECT_EQ(encode::DateTime(36219, (9 * 3600 + 30 * 60) * 300 + 150), *ValueOf("datetime", "'1999-03-02 09:30:00.500'"));
    EXPECT_EQ(encode::DateTime(-53690, 0), *ValueOf("datetime", "'1753-01-01'"));
    EXPECT_EQ(encode::SmallDateTime(0, 61), *ValueOf("smalldatetime", "'1900-01-01 01:01'"));
    EXPECT_EQ(encode::Chars("it's"), *ValueOf("varchar(10)", "'it''s'"));
    EXPECT_EQ((Bytes{0x00, 0xff}), *ValueOf("varbinary(4)", "0x00ff"));
    EXPECT_EQ(encode::BigInt(INT64_MIN), *ValueOf("bigint", "-9223372036854775808"));
    EXPECT_EQ(encode::Unsigned(UINT64_MAX, 8), *ValueOf("ubigint", "18446744073709551615"));
    EXPECT_EQ(encode::Unsigned(65535, 2), *ValueOf("usmallint", "65535"));
    EXPECT_EQ(encode::Date(36219), *ValueOf("date", "'1999-03-02'"));
    EXPECT_EQ(encode::Time((9 * 3600 + 30 * 60) * 300 + 150), *ValueOf("time", "'09:30:00.500'"));
    EXPECT_EQ((Bytes{'A', 0, 0xfc, 0, 0x3d, 0xd8, 0x00, 0xde}), *ValueOf("univarchar(4)", "'A\xc3\xbc\xf0\x9f\x98\x80'"));
    EXPECT_FALSE(ValueOf("int", "NULL", kNull).has_value());
}

TEST(DescriptionWords, TextAndImageValuesGoToAChain) {
    Column c = TypeOf("text");
    c.status = kNull;
    Value v;
    std::optional<Bytes> chain;
    std::string error;
    ASSERT_TRUE(ParseValueWord("'long text'", c, v, chain, error));
    EXPECT_FALSE(v.has_value());
    EXPECT_EQ(encode::Chars("long text"), *chain);
}

TEST(DescriptionWords, ValuesThatDoNotFitAreRefusedWithAReason) {
    EXPECT_EQ("column c does not allow NULL", ErrorOf("int", "NULL"));
    EXPECT_NE(std::string::npos, ErrorOf("tinyint", "256").find("0 to 255"));
    EXPECT_NE(std::string::npos, ErrorOf("decimal(5,2)", "1.234").find("decimals"));
    EXPECT_NE(std::string::npos, ErrorOf("decimal(3,0)", "99999999").find("digits"));
    EXPECT_NE(std::string::npos, ErrorOf("smalldatetime", "'1999-01-01 10:00:30'").find("whole minutes"));
    EXPECT_NE(std::string::npos, ErrorOf("datetime", "'1999-13-01'").find("YYYY-MM-DD"));
    EXPECT_NE(std::string::npos, ErrorOf("varchar(4)", "abc").find("quotes"));
    EXPECT_NE(std::string::npos, ErrorOf("binary(2)", "0x123").find("0x"));
    EXPECT_NE(std::string::npos, ErrorOf("usmallint", "65536").find("unsigned"));
    EXPECT_NE(std::string::npos, ErrorOf("uint", "-1").find("unsigned"));
}

TEST(DescriptionTables, ColumnsAndRowsReachTheDump) {
    std::istringstream text(
        "block_size 4\n"
        "database master 1 0\n"
        "table 101 t\n"
        "column id int\n"
        "column note varchar(20) null\n"
        "column body text null\n"
        "rows_per_page 1\n"
        "row 1 'one # not a comment' 'a text value'\n"
        "row 2 NULL NULL\n"
        "columns_only_table 600\n"
        "column x int\n");
    std::string error;
    auto dump = ReadDescription(text, error);
    ASSERT_TRUE(dump) << error;
    dump->build();
    Database &master = *dump->databases()[0];
    EXPECT_EQ(1u, master.pages_of(dumpwriter::kColumnCatalogue).size());
    EXPECT_EQ(3u, master.pages_of(101).size()) << "two data pages and one text page";

    parsertest::Parsed<> p(*dump);
    ASSERT_EQ(0, p.List());
    ASSERT_EQ(0, p->GetCol());
    ASSERT_EQ(4u, p->field_count());
    EXPECT_STREQ("body", p->fields[2].name);
    EXPECT_EQ(600, p->fields[3].tab_id);
    EXPECT_EQ(nullptr, p.Object("-")) << "a columns-only table has no object entry";
}

TEST(DescriptionTables, ErrorsNameTheLine) {
    const std::pair<const char *, const char *> cases[] = {
        {"database m 1 0\ncolumn a int\n", "line 2: column before the first table line"},
        {"database m 1 0\ntable 5 t\ncolumn a int wide\n", "line 3: unknown column option 'wide'"},
        {"database m 1 0\ntable 5 t\ncolumn a int\nrow 1 2\n", "line 4: row takes 1 values, one per column"},
        {"database m 1 0\ntable 5 t\ncolumn a char(2)\nrow 'abc'\n",
         "line 4: value of column a wider than the column"},
        {"database m 1 0\ntable 5 t\nrow 'x\n", "line 3: a quoted string is not closed"},
        {"database m 1 0\ntable 5 t\ncolumn a int\nrow 1\ncolumn b int\n", "line 5: column after the table's first row"},
    };
    for (const auto &c : cases) {
        std::istringstream text(c.first);
        std::string error;
        EXPECT_FALSE(ReadDescription(text, error)) << c.first;
        EXPECT_EQ(c.second, error);
    }
}
