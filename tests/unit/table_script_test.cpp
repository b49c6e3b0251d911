// Table definition scripts: the texts of a column definition, names as
// they stand in SQL, the column order, and GenerateDll over dumps made by
// the dump writer (tables from the catalogue and tables known only from
// their columns).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/unit/parser_test_support.h"
#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/sql/SqlIdentifier.h"
#include "vrndll/sql/SqlTypeText.h"
#include "vrndll/VRNRecover.h"

using dumpwriter::Bytes;
using dumpwriter::Column;
using dumpwriter::ColumnRecord;
using dumpwriter::Dump;
using dumpwriter::kNull;
using dumpwriter::Schema;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;
namespace types = dumpwriter::types;
namespace encode = dumpwriter::encode;

namespace {

ColumnEntry Entry(uint8_t type, int16_t length, const std::string &name = "c",
                  std::vector<uint8_t> after = {}) {
    ColumnEntry c;
    c.user_type = type;
    c.length = length;
    std::memcpy(c.name, name.data(), name.size());
    if (!after.empty()) std::memcpy(c.name + name.size(), after.data(), after.size());
    c.var_len = static_cast<int32_t>(name.size() + after.size());
    return c;
}

ColumnEntry At(int32_t tab_id, int16_t col_id, const std::string &name) {
    ColumnEntry c = Entry(types::kInt, 4, name);
    c.tab_id = tab_id;
    c.col_id = col_id;
    return c;
}

Column Col(const std::string &name, uint8_t type = types::kInt, int16_t col_id = 0) {
    Column c;
    c.name = name;
    c.user_type = type;
    c.length = 4;
    c.col_id = col_id;
    return c;
}

// The scripts GenerateDll writes for the master database of a dump.
class TableScripts : public ::testing::Test {
protected:
    Dump dump{4};
    dumpwriter::Database &master = dump.database("master", 1, 0);
    TempFolder target{"table_scripts"};
    TempFolder source{"table_scripts_src"};
    std::unique_ptr<platform::RandomAccessFile> file;
    std::unique_ptr<VRNRecover> driver;

    // Reads the master catalogue as the driver does, then GenerateDll.
    int Generate(int template_flag = 0) {
        file = dump.memory_file();
        const int64_t size = static_cast<int64_t>(file->size());
        driver = std::make_unique<VRNRecover>(std::make_unique<VRNParser12>(file.get(), 2, size, 0),
                                              size, target.path().c_str(),
                                              (source.path() + platform::kPathSeparator).c_str());
        VRNParser &p = *driver->parser;
        if (p.Detect(2) != 0) return 1001;
        p.VRN_bl_count = static_cast<int32_t>(size / (p.bl.kb * 1024));
        std::vector<DatabaseEntry> databases;
        uint32_t count = 0;
        if (p.Prepare(&databases, &count) != 0) return 1002;
        const int rc = driver->GenerateDll("master", template_flag);
        driver->outfiles.CloseAll();
        return rc;
    }
    std::string Script(const std::string &table) const { return ReadFileText(target / "master" + "/" + table + ".sql"); }
    std::vector<std::string> Scripts() const {
        std::vector<std::string> out;
        for (const std::string &f : ListTree(target / "master"))
            if (f.size() > 4 && f.compare(f.size() - 4, 4, ".sql") == 0) out.push_back(f);
        return out;
    }
    std::string Bat() const { return ReadFileText(target / "master" + "/commit.bat"); }
    const SysobjEntry *Object(const std::string &name) const {
        const VRNParser &p = *driver->parser;
        for (uint32_t i = 0; i < p.iSysobj; ++i)
            if (name == p.pSysobj[i].name) return &p.pSysobj[i];
        return nullptr;
    }
};

} // namespace

// ------------------------------------------------------------------ type and nullability texts

TEST(SqlTypeText, EveryCodeInBothFormats) {
    const std::vector<uint8_t> numeric12 = {10, 2, 0, 0, 0};          // the name is var_len - 5 bytes
    const std::vector<uint8_t> numeric15 = {18, 4, 0, 0, 0, 0, 0, 0}; // the name is var_len - 8 bytes
    struct Case {
        uint8_t type;
        int16_t length;
        const char *format12;
        const char *format15;
    } cases[] = {
        {1, 10, " char(10)", " char(10)"},
        {2, 20, " varchar(20)", " varchar(20)"},
        {3, 4, " binary(4)", " binary(4)"},
        {4, 300, " varbinary(300)", " varbinary(300)"},
        {5, 1, " tinyint", " tinyint"},
        {6, 2, " smallint", " smallint"},
        {7, 4, " int", " int"},
        {8, 8, " float", " float(16)"},
        {11, 8, " money", " money"},
        {12, 8, " datetime", " datetime"},
        {16, 1, " bit", " bit"},
        {18, 30, " sysname", " sysname(30)"},
        {19, 16, " text", " text"},
        {20, 16, " image", " image"},
        {21, 4, " smallmoney", " smallmoney"},
        {22, 4, " smalldatetime", " smalldatetime"},
        {23, 4, " real", " real"},
        {24, 6, " nchar(6)", " nchar(6)"},
        {25, 9, " nvarchar(9)", " nvarchar(9)"},
        {34, 20, "", " unichar(10)"},
        {35, 21, "", " univarchar(10)"},
        {35, -7, "", " univarchar(-3)"}, // halved toward zero
        {36, 16, "", " unitext"},
        {37, 4, "", " date"},
        {38, 4, "", " time"},
        {42, 255, "", " longsysname"},
        {43, 8, "", " bigint"},
        {44, 2, "", " unsigned smallint"},
        {45, 4, "", " unsigned int"},
        {46, 8, "", " unsigned bigint"},
        {80, 8, "", " timestamp"},
        {0, 4, "", ""},
        {9, 4, "", ""},
        {27, 4, "", ""},
        {81, 8, "", ""},
        {255, 4, "", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.format12, SqlTypeText(Entry(c.type, c.length), DumpFormat::k12)) << int(c.type);
        EXPECT_EQ(c.format15, SqlTypeText(Entry(c.type, c.length), DumpFormat::k15)) << int(c.type);
    }
    EXPECT_EQ(" numeric(10,2)", SqlTypeText(Entry(10, 5, "n", numeric12), DumpFormat::k12));
    EXPECT_EQ(" decimal(10,2)", SqlTypeText(Entry(26, 5, "d", numeric12), DumpFormat::k12));
    EXPECT_EQ(" numeric(18,4)", SqlTypeText(Entry(10, 9, "n", numeric15), DumpFormat::k15));
    EXPECT_EQ(" decimal(18,4)", SqlTypeText(Entry(26, 9, "d", numeric15), DumpFormat::k15));
}

TEST(SqlTypeText, NullabilityByStatusByte) {
    EXPECT_STREQ(" NOT NULL", NullabilityText(0));
    EXPECT_STREQ(" NULL", NullabilityText(8));
    for (int other : {1, 4, 9, 16}) EXPECT_STREQ("", NullabilityText(static_cast<uint8_t>(other)));
    // The identity bit (an identity column holds no NULL).
    for (int identity : {0x80, 0x88, 255}) EXPECT_STREQ(" IDENTITY", NullabilityText(static_cast<uint8_t>(identity)));
}

// ------------------------------------------------------------------ names

TEST(SqlNames, OrdinaryNamesStayAsTheyAre) {
    for (const char *name : {"orders", "Order_Lines", "_x", "a1", "t$1", "n#2", "x@y", "Table1"})
        EXPECT_EQ(name, SqlIdentifier(name));
}

TEST(SqlNames, OtherNamesAreBracketed) {
    EXPECT_EQ("[order lines]", SqlIdentifier("order lines"));
    EXPECT_EQ("[1st]", SqlIdentifier("1st"));
    EXPECT_EQ("[a-b]", SqlIdentifier("a-b"));
    EXPECT_EQ("[a]]b]", SqlIdentifier("a]b"));
    EXPECT_EQ("[[x]]]", SqlIdentifier("[x]"));
    EXPECT_EQ("[x;drop table t]", SqlIdentifier("x;drop table t"));
    EXPECT_EQ("[caf\xe9]", SqlIdentifier("caf\xe9"));
    EXPECT_EQ("[@p]", SqlIdentifier("@p"));
    EXPECT_EQ("_", SqlIdentifier(""));
}

TEST(SqlNames, ReservedWordsAreBracketedInAnyCase) {
    EXPECT_EQ("[order]", SqlIdentifier("order"));
    EXPECT_EQ("[User]", SqlIdentifier("User"));
    EXPECT_EQ("[KEY]", SqlIdentifier("KEY"));
    EXPECT_EQ("orders", SqlIdentifier("orders"));
    EXPECT_EQ("keys", SqlIdentifier("keys"));
}

TEST(ColumnNames, NumericNamesEndBeforePrecisionAndScale) {
    ColumnEntry d = Entry(26, 6, "price", {10, 2, 0, 0, 0});
    EXPECT_EQ("price", ColumnName(d, DumpFormat::k12));
    EXPECT_EQ(10, ColumnPrecision(d, DumpFormat::k12));
    EXPECT_EQ(2, ColumnScale(d, DumpFormat::k12));
    ColumnEntry v = Entry(2, 6, "price", {10, 2, 0, 0, 0});
    EXPECT_EQ(std::string("price\x0a\x02", 7), ColumnName(v, DumpFormat::k12)) << "other types use all var_len bytes";
}

TEST(ColumnNames, ShortOrOddVarLengthsStayInsideTheName) {
    ColumnEntry d = Entry(10, 6, "", {7, 3});
    d.var_len = 2; // less than the 5 bytes after a name
    EXPECT_EQ("", ColumnName(d, DumpFormat::k12));
    EXPECT_EQ(7, ColumnPrecision(d, DumpFormat::k12));
    d.var_len = 100000;
    EXPECT_NO_THROW(ColumnPrecision(d, DumpFormat::k15));
    ColumnEntry n = Entry(7, 4, std::string("ab\0cd", 5));
    EXPECT_EQ("ab", ColumnName(n, DumpFormat::k12)) << "a name ends at a NUL byte";
}

// ------------------------------------------------------------------ column order

TEST(ColumnOrder, SortsByTableThenColumnKeepingEqualKeysInCatalogueOrder) {
    VRNParser p(nullptr, 2, 0, 0, DumpFormat::k12);
    p.fields = {At(102, 2, "b2"), At(101, 1, "a1"), At(102, 1, "b1"), At(101, 1, "dup"),
                At(-5, 1, "neg"), At(101, 3, "a3")};
    SysobjEntry a, b, none;
    a.id = 101;
    b.id = 102;
    none.id = 103;
    none.first_field = 4;
    p.pSysobj = {b, a, none};
    p.iSysobj = 3;
    SortColumnsByTable(p);
    std::vector<std::string> names;
    for (const ColumnEntry &c : p.fields) names.push_back(c.name);
    EXPECT_EQ((std::vector<std::string>{"neg", "a1", "dup", "a3", "b1", "b2"}), names);
    EXPECT_EQ(4, p.pSysobj[0].first_field);
    EXPECT_EQ(1, p.pSysobj[1].first_field);
    EXPECT_EQ(-1, p.pSysobj[2].first_field) << "a table without columns";
    EXPECT_EQ(3u, ColumnsOfTable(p, 101).size());
    EXPECT_TRUE(ColumnsOfTable(p, 103).empty());
}

// ------------------------------------------------------------------ CREATE TABLE

TEST_F(TableScripts, TheDefinitionOfATableWithTwoColumns) {
    Schema s;
    s.table(101, "t").column("a", types::kInt).column("b", types::kVarChar, 20, kNull);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ("CREATE TABLE t(\na  int NOT NULL, \nb  varchar(20) NULL)\n\nGO\n", Script("t"));
}

TEST_F(TableScripts, EveryFormat12TypeWithItsNullability) {
    Schema s;
    Column odd = Col("odd", types::kInt);
    odd.status = 4; // neither NULL nor NOT NULL
    s.table(101, "all_types")
        .column("c_char", types::kChar, 10)
        .column("c_varchar", types::kVarChar, 30, kNull)
        .column("c_binary", types::kBinary, 4)
        .column("c_varbinary", types::kVarBinary, 16, kNull)
        .column("c_tinyint", types::kTinyInt)
        .column("c_smallint", types::kSmallInt)
        .column("c_int", types::kInt)
        .column("c_float", types::kFloat)
        .numeric("c_numeric", types::kNumeric, 12, 0)
        .column("c_money", types::kMoney)
        .column("c_datetime", types::kDateTime)
        .column("c_bit", types::kBit)
        .column("c_sysname", types::kSysname, 30)
        .column("c_text", types::kText, 0, kNull)
        .column("c_image", types::kImage, 0, kNull)
        .column("c_smallmoney", types::kSmallMoney)
        .column("c_smalldatetime", types::kSmallDateTime)
        .column("c_real", types::kReal)
        .column("c_nchar", types::kNChar, 8)
        .column("c_nvarchar", types::kNVarChar, 40, kNull)
        .numeric("c_decimal", types::kDecimal, 10, 2, kNull)
        .add(odd);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ("CREATE TABLE all_types(\n"
              "c_char  char(10) NOT NULL, \n"
              "c_varchar  varchar(30) NULL, \n"
              "c_binary  binary(4) NOT NULL, \n"
              "c_varbinary  varbinary(16) NULL, \n"
              "c_tinyint  tinyint NOT NULL, \n"
              "c_smallint  smallint NOT NULL, \n"
              "c_int  int NOT NULL, \n"
              "c_float  float NOT NULL, \n"
              "c_numeric  numeric(12,0) NOT NULL, \n"
              "c_money  money NOT NULL, \n"
              "c_datetime  datetime NOT NULL, \n"
              "c_bit  bit NOT NULL, \n"
              "c_sysname  sysname NOT NULL, \n"
              "c_text  text NULL, \n"
              "c_image  image NULL, \n"
              "c_smallmoney  smallmoney NOT NULL, \n"
              "c_smalldatetime  smalldatetime NOT NULL, \n"
              "c_real  real NOT NULL, \n"
              "c_nchar  nchar(8) NOT NULL, \n"
              "c_nvarchar  nvarchar(40) NULL, \n"
              "c_decimal  decimal(10,2) NULL, \n"
              "odd  int)\n\nGO\n",
              Script("all_types"));
}

class TableScriptsPerLayout : public TableScripts, public ::testing::WithParamInterface<int16_t> {};

TEST_P(TableScriptsPerLayout, LengthsFollowTheCatalogueLayout) {
    Schema s;
    s.column_firoff(GetParam());
    // At firoff 24 the length is one unsigned byte, at 32 two bytes.
    s.table(101, "t").column("a", types::kVarChar, 100).column("b", types::kChar, GetParam() == 32 ? 300 : 250);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    const char *expected[] = {
        "CREATE TABLE t(\na  varchar(100) NOT NULL, \nb  char(250) NOT NULL)\n\nGO\n",
        "CREATE TABLE t(\na  varchar(100) NOT NULL, \nb  char(300) NOT NULL)\n\nGO\n",
        "CREATE TABLE t(\na  varchar(0) NOT NULL, \nb  char(0) NOT NULL)\n\nGO\n"};
    EXPECT_EQ(expected[GetParam() == 24 ? 0 : GetParam() == 32 ? 1 : 2], Script("t"));
}

INSTANTIATE_TEST_SUITE_P(Firoff, TableScriptsPerLayout, ::testing::Values(24, 32, 28));

TEST_F(TableScripts, NamesThatAreNotPlainIdentifiersAreBracketed) {
    Schema s;
    s.table(101, "order lines").column("line no", types::kInt).column("order", types::kInt)
        .column("qty", types::kInt);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ("CREATE TABLE [order lines](\n[line no]  int NOT NULL, \n[order]  int NOT NULL, \n"
              "qty  int NOT NULL)\n\nGO\n",
              Script("order_lines"));
}

TEST_F(TableScripts, ColumnsComeInColumnOrderWhateverTheCatalogueOrder) {
    // The catalogue lists table 102 first and the columns of 101 backwards,
    // one of them after table 102.
    const std::vector<Bytes> records = {
        ColumnRecord(102, Col("y", types::kInt, 1), 24), ColumnRecord(101, Col("c", types::kInt, 3), 24),
        ColumnRecord(101, Col("b", types::kInt, 2), 24), ColumnRecord(102, Col("z", types::kInt, 2), 24),
        ColumnRecord(101, Col("a", types::kInt, 1), 24)};
    dumpwriter::ChainOptions o;
    o.firoff = 24;
    master.table(101, "t1").table(102, "t2").chain(dumpwriter::kColumnCatalogue, records, o);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ("CREATE TABLE t1(\na  int NOT NULL, \nb  int NOT NULL, \nc  int NOT NULL)\n\nGO\n", Script("t1"));
    EXPECT_EQ("CREATE TABLE t2(\ny  int NOT NULL, \nz  int NOT NULL)\n\nGO\n", Script("t2"));
    EXPECT_EQ(3, Object("t2")->first_field) << "first_field points into the sorted array";
    EXPECT_EQ(0, Object("t1")->first_field);
}

TEST_F(TableScripts, SptTablesAndTablesWithoutColumnsGetNoScriptAndNoBatLine) {
    Schema s;
    s.table(101, "spt_values").column("a", types::kInt);
    s.table(102, "sptx").column("a", types::kInt);
    s.table(103, "sales").column("a", types::kInt);
    s.table(104, "s_p_t").column("a", types::kInt);
    master.table(105, "no_columns").object(106, 'V', "a_view");
    s.table(106, "a_view_columns_only").without_object().column("v", types::kInt);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ((std::vector<std::string>{"s_p_t.sql", "sales.sql"}), Scripts());
    const std::string bat = Bat();
    EXPECT_NE(std::string::npos, bat.find("-i sales.sql\n"));
    EXPECT_EQ(std::string::npos, bat.find("no_columns"));
    EXPECT_EQ(std::string::npos, bat.find("spt"));
    EXPECT_EQ(std::string::npos, bat.find("Table1")) << "a view's columns add no table";
}

// ------------------------------------------------------------------ tables known from their columns

TEST_F(TableScripts, AColumnBeforeTableTypeAddsTheTable) {
    Schema s;
    s.table(101, "known").column("a", types::kInt);
    s.table(500, "-").without_object().column("x", types::kInt).column("TABLE_TYPE", types::kVarChar, 10, kNull);
    s.table(501, "-").without_object().add(Col("TABLE_TYPE", types::kVarChar, 1)).add(Col("x", types::kInt, 2));
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ((std::vector<std::string>{"Table1.sql", "known.sql"}), Scripts());
    EXPECT_EQ("CREATE TABLE Table1(\nx  int NOT NULL, \nTABLE_TYPE  varchar(10) NULL)\n\nGO\n", Script("Table1"));
    const SysobjEntry *added = Object("Table1");
    ASSERT_NE(nullptr, added);
    EXPECT_EQ(500, added->id);
    EXPECT_EQ('U', added->type);
    EXPECT_EQ(6, added->name_len);
    EXPECT_EQ(98, added->rec_len);
}

TEST_F(TableScripts, ParametersAndSystemTablesAddNoTable) {
    Schema s;
    s.table(101, "known").column("a", types::kInt);
    s.table(600, "-").without_object().column("@p1", types::kInt).column("@p2", types::kInt);
    int id = 700;
    for (const char *marker : {"TABLE_TYPE", "mdinfo", "querytype", "query", "datatype", "TABLE_TYPE"})
        s.table(id++, "-").without_object().column(marker, types::kVarChar, 10).column("x", types::kInt);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ((std::vector<std::string>{"known.sql"}), Scripts())
        << "six system tables: more than any fixed list of four would hold";
}

TEST_F(TableScripts, MoreThanAHundredAddedTablesAllGetScripts) {
    Schema s;
    s.table(101, "known").column("a", types::kInt);
    for (int k = 0; k < 150; ++k) s.table(1000 + k, "-").without_object().column("c", types::kInt);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    EXPECT_EQ(151u, Scripts().size());
    EXPECT_EQ("CREATE TABLE Table150(\nc  int NOT NULL)\n\nGO\n", Script("Table150"));
    EXPECT_EQ(1149, Object("Table150")->id);
}

TEST_F(TableScripts, AnAddedTableGetsTheFirstPageOfItsRows) {
    Schema s;
    s.table(101, "known").column("a", types::kInt).row({encode::Int(1)});
    s.table(800, "-").without_object().column("x", types::kInt).row({encode::Int(7)}).row({encode::Int(8)});
    s.table(801, "-").without_object().column("y", types::kInt);
    s.add_to(master);
    ASSERT_EQ(0, Generate());
    dump.build();
    ASSERT_NE(nullptr, Object("Table1"));
    EXPECT_EQ(master.pages_of(800).at(0), Object("Table1")->first_block);
    EXPECT_EQ(master.pages_of(101).at(0), Object("known")->first_block);
    EXPECT_EQ(0, Object("Table2")->first_block) << "no rows: no page, never a negative one";
}

TEST_F(TableScripts, TablesAreAddedOncePerRecoveryAndNotFromATemplate) {
    Schema s;
    s.table(101, "known").column("a", types::kInt);
    s.table(500, "-").without_object().column("x", types::kInt);
    s.add_to(master);
    ASSERT_EQ(0, Generate(1));
    EXPECT_FALSE(driver->fields_scanned);
    EXPECT_EQ(nullptr, Object("Table1"));
    ASSERT_EQ(0, Generate());
    EXPECT_TRUE(driver->fields_scanned);
    const uint32_t objects = driver->parser->iSysobj;
    ASSERT_EQ(0, driver->GenerateDll("master", 0)) << "the next database of the same recovery";
    EXPECT_EQ(objects, driver->parser->iSysobj) << "no table added twice";
    EXPECT_NE(nullptr, Object("Table1"));
}
