// The postgres output's pieces: COPY text that no value can break out of,
// quoted identifiers, and the column type of every stored type.
#include "vrndll/sql/PostgresValues.h"

#include <gtest/gtest.h>

#include "vrndll/output/TableSchema.h"
#include "vrndll/sql/ValueFormat.h"

using namespace values;

TEST(PostgresValues, CopyTextEscapesEveryByteThatEndsAFieldRowOrBlock) {
    struct Case {
        std::string in, out;
        size_t nuls;
    } cases[] = {
        {"plain", "plain", 0},
        {"\\.", "\\\\.", 0},
        {"\\! rm -rf /", "\\\\! rm -rf /", 0},
        {".shell ls", ".shell ls", 0},
        {"a\tb\nc\rd", "a\\tb\\nc\\rd", 0},
        {"\\N", "\\\\N", 0},
        {"it's \"q\"", "it's \"q\"", 0},
        {std::string("a\0b\0", 4), "ab", 2},
        {"caf\xc3\xa9", "caf\xc3\xa9", 0},
    };
    for (const Case &c : cases) {
        std::string out;
        size_t nuls = 0;
        AppendCopyText(out, c.in.data(), c.in.size(), &nuls);
        EXPECT_EQ(out, c.out) << c.in;
        EXPECT_EQ(nuls, c.nuls) << c.in;
        // No raw tab, line break or single backslash is left.
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_NE(out[i], '\t');
            EXPECT_NE(out[i], '\n');
            if (out[i] == '\\') {
                ASSERT_LT(i + 1, out.size());
                EXPECT_NE(std::string("\\tnr").find(out[i + 1]), std::string::npos) << out;
                ++i;
            }
        }
    }
}

TEST(PostgresValues, IdentifiersAreQuotedAndUtf8) {
    EXPECT_EQ(PostgresIdentifier("orders", Charset::Cp1252), "\"orders\"");
    EXPECT_EQ(PostgresIdentifier("a\"b", Charset::Cp1252), "\"a\"\"b\"");
    EXPECT_EQ(PostgresIdentifier("x \\ y", Charset::Cp1252), "\"x \\ y\"");
    EXPECT_EQ(PostgresIdentifier("", Charset::Cp1252), "\"_\"");
    EXPECT_EQ(PostgresIdentifier("caf\xe9\x80", Charset::Cp1252), "\"caf\xc3\xa9\xe2\x82\xac\"");
    EXPECT_EQ(PostgresIdentifier("\xe9", Charset::Iso1), "\"\xc3\xa9\"");
}

TEST(PostgresValues, EachStoredTypeHasAnExactColumnType) {
    struct Case {
        uint8_t type;
        int32_t length;
        int precision, scale;
        bool identity;
        const char *pg;
        bool numbered;
    } cases[] = {
        {kTinyInt, 1, 0, 0, false, "smallint", false},
        {kSmallInt, 2, 0, 0, false, "smallint", false},
        {kInt, 4, 0, 0, true, "integer", true},
        {kBigInt, 8, 0, 0, false, "bigint", false},
        {kUnsignedSmallInt, 2, 0, 0, false, "integer", false},
        {kUnsignedInt, 4, 0, 0, false, "bigint", false},
        {kUnsignedBigInt, 8, 0, 0, false, "numeric(20,0)", false},
        {kUnsignedBigInt, 8, 0, 0, true, "numeric(20,0)", false},
        {kNumeric, 17, 38, 10, false, "numeric(38,10)", false},
        {kNumeric, 6, 10, 0, true, "bigint", true},
        {kDecimal, 17, 38, 0, true, "numeric(38,0)", false},
        {kMoney, 8, 0, 0, false, "numeric(19,4)", false},
        {kSmallMoney, 4, 0, 0, false, "numeric(10,4)", false},
        {kFloat, 8, 0, 0, false, "double precision", false},
        {kReal, 4, 0, 0, false, "real", false},
        {kDateTime, 8, 0, 0, false, "timestamp(3)", false},
        {kSmallDateTime, 4, 0, 0, false, "timestamp(0)", false},
        {kDate, 4, 0, 0, false, "date", false},
        {kTime, 4, 0, 0, false, "time(3)", false},
        {kBit, 1, 0, 0, false, "boolean", false},
        {kChar, 8, 0, 0, false, "char(8)", false},
        {kVarChar, 40, 0, 0, false, "varchar(40)", false},
        {kVarChar, 0, 0, 0, false, "text", false},
        {kSysname, 30, 0, 0, false, "varchar(30)", false},
        {kUniChar, 24, 0, 0, false, "char(12)", false},
        {kUniVarChar, 80, 0, 0, false, "varchar(40)", false},
        {kText, 16, 0, 0, false, "text", false},
        {kUniText, 16, 0, 0, false, "text", false},
        {kBinary, 4, 0, 0, false, "bytea", false},
        {kVarBinary, 16, 0, 0, false, "bytea", false},
        {kImage, 16, 0, 0, false, "bytea", false},
        {kTimestamp, 8, 0, 0, false, "bytea", false},
    };
    for (const Case &c : cases) {
        SchemaColumn column;
        column.user_type = c.type;
        column.length = c.length;
        column.precision = c.precision;
        column.scale = c.scale;
        column.identity = c.identity;
        bool numbered = !c.numbered;
        EXPECT_EQ(PostgresType(column, &numbered), c.pg) << int(c.type);
        EXPECT_EQ(numbered, c.numbered) << int(c.type);
    }
}
