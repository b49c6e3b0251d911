// The table builder of the dump writer: the bytes of column records and
// data rows that the readers' tests rely on.
#include <gtest/gtest.h>

#include "tests/support/table_builder.h"

using namespace dumpwriter;

namespace {

Bytes B(std::initializer_list<int> v) {
    Bytes out;
    for (int x : v) out.push_back(static_cast<uint8_t>(x));
    return out;
}

} // namespace

TEST(TableBuilderRows, FixedColumnsOnlyGiveARowOfFiroffBytes) {
    Table t(101, "t");
    t.column("a", types::kInt).column("b", types::kChar, 3);
    EXPECT_EQ(9, t.firoff());
    EXPECT_EQ(B({0, 5, 7, 0, 0, 0, 'x', ' ', ' '}), t.EncodeRow({encode::Int(7), encode::Chars("x")}, 5));
}

TEST(TableBuilderRows, VariableValuesCarryTheLengthAndAReversedOffsetTable) {
    Table t(101, "t");
    t.column("a", types::kTinyInt).column("b", types::kVarChar, 10, kNull).column("c", types::kInt, 0, kNull);
    // firoff 3; variable area from 5: "hi" at 5..6, c (nullable int) at 7..10.
    const Bytes row = t.EncodeRow({encode::TinyInt(9), encode::Chars("hi"), encode::Int(1)});
    EXPECT_EQ(B({2, 0, 9, 14, 0, 'h', 'i', 1, 0, 0, 0, 11, 7, 5}), row);
}

TEST(TableBuilderRows, NullsAreEmptyEntriesAndTrailingNullsAreLeftOut) {
    Table t(101, "t");
    t.column("a", types::kVarChar, 5, kNull).column("b", types::kVarChar, 5, kNull)
        .column("c", types::kVarChar, 5, kNull);
    EXPECT_EQ(B({2, 0, 8, 0, 'x', 5, 4, 4}), t.EncodeRow({kNullValue, encode::Chars("x"), kNullValue}))
        << "the leading NULL stays as a zero-length entry, the trailing one goes";
    EXPECT_EQ(B({0, 0}), t.EncodeRow({kNullValue, kNullValue, kNullValue}));

    t.keep_trailing_nulls();
    EXPECT_EQ(B({3, 0, 9, 0, 'x', 5, 5, 4, 4}), t.EncodeRow({kNullValue, encode::Chars("x"), kNullValue}));
}

TEST(TableBuilderRows, ValuesThatCannotBeStoredAreRefused) {
    Table t(101, "t");
    t.column("a", types::kInt).column("b", types::kVarChar, 255, kNull);
    EXPECT_THROW(t.EncodeRow({kNullValue, kNullValue}), std::invalid_argument);
    EXPECT_THROW(t.EncodeRow({encode::SmallInt(1), kNullValue}), std::invalid_argument);
    EXPECT_THROW(t.EncodeRow({encode::Int(1), encode::Chars(std::string(260, 'x'))}), std::invalid_argument);
    EXPECT_THROW(t.row({encode::Int(1)}), std::invalid_argument);
}

TEST(TableBuilderRows, NumbersAreStoredTheWayTheServerStoresThem) {
    EXPECT_EQ(B({0, 0, 0, 0x04, 0xe2}), encode::Numeric(1250, 5));
    EXPECT_EQ(B({1, 0, 5}), encode::Numeric(-5, 3));
    EXPECT_THROW(encode::Numeric(70000, 3), std::invalid_argument);
    EXPECT_EQ(B({0xff, 0xff, 0xff, 0xff, 0xfe, 0xff, 0xff, 0xff}), encode::Money(-2))
        << "high word first, then the low word";
    EXPECT_EQ(2, NumericLength(2));
    EXPECT_EQ(5, NumericLength(9));
    EXPECT_EQ(6, NumericLength(10));
    EXPECT_EQ(17, NumericLength(38));
}

TEST(TableBuilderCatalogue, ColumnRecordsOfBothLayouts) {
    Column c;
    c.name = "price";
    c.user_type = types::kDecimal;
    c.length = 6;
    c.status = kNull;
    c.precision = 10;
    c.scale = 2;
    c.col_id = 3;

    const Bytes r24 = ColumnRecord(101, c, 24);
    ASSERT_EQ(24u + 2 + 5 + 5 + 3, r24.size());
    EXPECT_EQ(101, r24[4]);
    EXPECT_EQ(3, r24[8]);
    EXPECT_EQ(kNull, r24[9]);
    EXPECT_EQ(6, r24[11]);
    EXPECT_EQ(types::kDecimal, r24[14]);
    EXPECT_EQ(r24.size(), static_cast<size_t>(r24[24] | (r24[25] << 8)));
    EXPECT_EQ("price", std::string(r24.begin() + 26, r24.begin() + 31));
    EXPECT_EQ(10, r24[31]);
    EXPECT_EQ(2, r24[32]);

    const Bytes r32 = ColumnRecord(101, c, 32);
    EXPECT_EQ(3, r32[8] | (r32[9] << 8));
    EXPECT_EQ(kNull, r32[10]);
    EXPECT_EQ(6, r32[12] | (r32[13] << 8));
    EXPECT_EQ(types::kDecimal, r32[22]);
    EXPECT_EQ("price", std::string(r32.begin() + 34, r32.begin() + 39));
}

TEST(TableBuilderCatalogue, RecordsAreOrderedByTableAndColumnId) {
    Schema s;
    s.table(102, "b").column("x", types::kInt);
    Column late;
    late.name = "z";
    late.col_id = 9;
    s.table(101, "a").add(late).column("y", types::kInt);
    const auto records = s.ColumnRecords();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(101, records[0][4]);
    EXPECT_EQ(2, records[0][8]) << "y is the second column of a";
    EXPECT_EQ(9, records[1][8]);
    EXPECT_EQ(102, records[2][4]);
}
