// The index and key statements of the table scripts: the orders example
// written by GenerateDll from a dump, every form and every fault of a key
// from a catalogue given directly, and a schema of many tables.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/unit/parser_test_support.h"
#include "vrndll/sql/KeyStatements.h"
#include "vrndll/VRNRecover.h"

using dumpwriter::Schema;
using testsupport::ReadFileText;
using testsupport::TempFolder;
namespace types = dumpwriter::types;

namespace {

SysobjEntry Object(int32_t id, const std::string &name, char type = 'U') {
    SysobjEntry e;
    e.id = id;
    e.type = type;
    std::memcpy(e.name, name.data(), name.size());
    e.name_len = static_cast<int32_t>(name.size());
    return e;
}

ColumnEntry Column(int32_t tab_id, int16_t col_id, const std::string &name) {
    ColumnEntry c;
    c.tab_id = tab_id;
    c.col_id = col_id;
    c.user_type = types::kInt;
    std::memcpy(c.name, name.data(), name.size());
    c.var_len = static_cast<int32_t>(name.size());
    return c;
}

IndexEntry Index(int32_t tab_id, int16_t index_id, int16_t flags, int16_t key_count, const std::string &name,
                 std::vector<int> columns) {
    IndexEntry x;
    x.tab_id = tab_id;
    x.index_id = index_id;
    x.constraint_flags = flags;
    x.key_count = key_count;
    std::memcpy(x.name, name.data(), name.size());
    for (size_t k = 0; k < columns.size() && 4 + 16 * k < 255; ++k) x.keys[4 + 16 * k] = columns[k];
    return x;
}

ForeignKeyEntry Fkey(int32_t constraint_id, int32_t tab_id, int32_t ref_tab_id, std::vector<int16_t> from,
                     std::vector<int16_t> to) {
    ForeignKeyEntry f;
    f.constraint_id = constraint_id;
    f.tab_id = tab_id;
    f.ref_tab_id = ref_tab_id;
    for (size_t k = 0; k < from.size(); ++k) f.foreign_keys[k] = from[k];
    for (size_t k = 0; k < to.size(); ++k) f.referenced_keys[k] = to[k];
    return f;
}

std::vector<int16_t> Ids(int16_t from, int16_t to) {
    std::vector<int16_t> out;
    for (int16_t k = from; k <= to; ++k) out.push_back(k);
    return out;
}

// ",c5,c6,..." for `separator_stem` ",c".
std::string Names(const std::string &separator_stem, int from, int to) {
    std::string out;
    for (int k = from; k <= to; ++k) out += separator_stem + std::to_string(k);
    return out;
}

} // namespace

// The orders example from a format-12 dump through GenerateDll: the table's
// definition, then its primary key, unique constraint, index and foreign
// key, byte for byte.
TEST(KeyStatements, TheOrdersExampleAfterItsTableDefinition) {
    dumpwriter::Dump dump(4);
    auto &master = dump.database("master", 1, 0);
    Schema s;
    s.table(110, "customers").column("id", types::kInt);
    s.table(111, "orders").column("id", types::kInt).column("no", types::kInt).column("cust", types::kInt)
        .primary_key("pk_orders", {"id"}).unique("uq_no", {"no"}).index("ix_cust", {"cust"})
        .foreign_key(150, "fk_cust", {"cust"}, 110, {"id"});
    s.add_to(master);
    TempFolder target("key_statements");
    auto file = dump.memory_file();
    const auto size = static_cast<int64_t>(file->size());
    VRNRecover driver(std::make_unique<VRNParser12>(file.get(), 2, size, 0), size, target.path().c_str(),
                      (target.path() + platform::kPathSeparator).c_str());
    VRNParser &p = *driver.parser;
    ASSERT_EQ(0, p.Detect(2));
    p.VRN_bl_count = static_cast<int32_t>(size / (p.bl.kb * 1024));
    std::vector<DatabaseEntry> databases;
    uint32_t count = 0;
    ASSERT_EQ(0, p.Prepare(&databases, &count));
    ASSERT_EQ(0, driver.GenerateDll("master", 0));
    ASSERT_EQ(0, driver.GenerateData());
    driver.outfiles.CloseAll();
    EXPECT_EQ("CREATE TABLE orders(\nid  int NOT NULL, \nno  int NOT NULL, \ncust  int NOT NULL)\n\nGO"
              "\n\nALTER TABLE orders \n ADD CONSTRAINT pk_orders PRIMARY KEY NONCLUSTERED\n  (id)\nGO"
              "\n\nALTER TABLE orders \n ADD CONSTRAINT uq_no UNIQUE NONCLUSTERED\n  (no)\nGO\n"
              "\n\nCREATE INDEX ix_cust ON orders\n(cust)\nGO\n",
              ReadFileText(target / "master" + "/orders.sql"));
    EXPECT_EQ("CREATE TABLE customers(\nid  int NOT NULL)\n\nGO\n", ReadFileText(target / "master" + "/customers.sql"));
    // The foreign key waits for the rows: foreign_keys.sql, loaded last.
    EXPECT_EQ("\n\nALTER TABLE orders\nADD CONSTRAINT fk_cust FOREIGN KEY (cust)\n REFERENCES customers(id)\nGO\n",
              ReadFileText(target / "master" + "/foreign_keys.sql"));
    const std::string bat = ReadFileText(target / "master" + "/commit.bat");
    EXPECT_LT(bat.find("-i customers.sql"), bat.find("-i foreign_keys.sql"));
}

// One catalogue entry per case, for table 101 "t" (columns a 1, b 2, c 3,
// "line no" 4, c5 to c16) referencing table 102 "r" (columns id 1, k 2, k3
// to k16) or the object-less table 300 (column id 1).
TEST(KeyStatements, EveryFormAndEveryFaultOfAKey) {
    struct Case {
        const char *what;
        std::vector<IndexEntry> indexes;
        std::vector<ForeignKeyEntry> fkeys;
        std::string text; // the statements written for table 101
        int faults;       // keys and foreign keys of table 101 not written
    };
    const std::vector<Case> cases = {
        {"a primary key lists key_count columns", {Index(101, 1, 0, 2, "pk", {1, 2})}, {},
         "\n\nALTER TABLE t \n ADD CONSTRAINT pk PRIMARY KEY NONCLUSTERED\n  (a,b)\nGO", 0},
        {"a unique constraint lists key_count - 1", {Index(101, 2, 2, 3, "uq", {3, 1, 9})}, {},
         "\n\nALTER TABLE t \n ADD CONSTRAINT uq UNIQUE NONCLUSTERED\n  (c,a)\nGO\n", 0},
        {"an index lists key_count - 1", {Index(101, 3, 0, 2, "ix", {4, 9})}, {},
         "\n\nCREATE INDEX ix ON t\n([line no])\nGO\n", 0},
        {"key_count 0 is ignored", {Index(101, 1, 0, 0, "none", {1})}, {}, "", 0},
        {"an index without columns is not written", {Index(101, 2, 0, 1, "empty", {})}, {}, "", 1},
        {"an unknown key column drops the statement", {Index(101, 1, 0, 2, "pk", {1, 40}), Index(101, 3, 0, 2, "ix", {2})},
         {}, "\n\nCREATE INDEX ix ON t\n(b)\nGO\n", 1},
        {"a key beyond the key description", {Index(101, 1, 0, 20, "pk", {1})}, {}, "", 1},
        {"indexes without names", {Index(101, 1, 0, 1, "", {1}), Index(101, 4, 2, 2, "", {2}), Index(101, 5, 0, 2, "", {3})},
         {},
         "\n\nALTER TABLE t \n ADD CONSTRAINT pk_101 PRIMARY KEY NONCLUSTERED\n  (a)\nGO"
         "\n\nALTER TABLE t \n ADD CONSTRAINT uq_101_4 UNIQUE NONCLUSTERED\n  (b)\nGO\n"
         "\n\nCREATE INDEX ix_101_5 ON t\n(c)\nGO\n",
         0},
        {"foreign-key columns in their stored order", {}, {Fkey(150, 101, 102, {3, 1}, {2, 1})},
         "\n\nALTER TABLE t\nADD CONSTRAINT fk_t FOREIGN KEY (c,a)\n REFERENCES r(k,id)\nGO", 0},
        {"a referenced table without an object", {}, {Fkey(150, 101, 300, {4}, {1})},
         "\n\nALTER TABLE t\nADD CONSTRAINT fk_t FOREIGN KEY ([line no])\n REFERENCES table_300(id)\nGO", 0},
        {"a constraint without an object", {}, {Fkey(151, 101, 102, {1}, {1})},
         "\n\nALTER TABLE t\nADD CONSTRAINT fk_151 FOREIGN KEY (a)\n REFERENCES r(id)\nGO", 0},
        {"lists of different lengths", {}, {Fkey(150, 101, 102, {1, 2}, {1})}, "", 1},
        {"an unknown referenced column", {}, {Fkey(150, 101, 102, {1}, {50})}, "", 1},
        {"sixteen foreign-key columns", {}, {Fkey(150, 101, 102, Ids(1, 16), Ids(1, 16))},
         "\n\nALTER TABLE t\nADD CONSTRAINT fk_t FOREIGN KEY (a,b,c,[line no]" + Names(",c", 5, 16) +
             ")\n REFERENCES r(id,k" + Names(",k", 3, 16) + ")\nGO",
         0},
        {"another table's keys", {Index(102, 1, 0, 1, "pk_r", {1})}, {Fkey(150, 102, 101, {1}, {1})}, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        VRNParser p(nullptr, 2, 0, 0, DumpFormat::k12);
        p.pSysobj = {Object(101, "t"), Object(102, "r"), Object(150, "fk_t", 'R')};
        p.iSysobj = 3;
        p.fields = {Column(101, 1, "a"), Column(101, 2, "b"), Column(101, 3, "c"), Column(101, 4, "line no"),
                    Column(102, 1, "id"), Column(102, 2, "k"), Column(300, 1, "id")};
        for (int16_t k = 5; k <= 16; ++k) p.fields.push_back(Column(101, k, "c" + std::to_string(k)));
        for (int16_t k = 3; k <= 16; ++k) p.fields.push_back(Column(102, k, "k" + std::to_string(k)));
        p.indexes = c.indexes;
        p.fkeys = c.fkeys;
        const KeyStatements keys(p);
        EXPECT_EQ(c.text, keys.IndexText(p.pSysobj[0]) + keys.ForeignKeyText(p.pSysobj[0]));
        int faults = 0;
        for (const TableKey &k : keys.keys().Keys(p.pSysobj[0])) faults += k.fault != nullptr;
        for (const TableForeignKey &f : keys.keys().ForeignKeys(p.pSysobj[0])) faults += f.fault != nullptr;
        EXPECT_EQ(faults, c.faults);
    }
}

// Keys are found by table, not by a scan of the whole arrays per table:
// twenty thousand tables with a primary key and a foreign key each.
TEST(KeyStatements, ManyTablesStayLinear) {
    constexpr int kTables = 20000;
    VRNParser p(nullptr, 2, 0, 0, DumpFormat::k12);
    for (int k = 0; k < kTables; ++k) {
        const int32_t id = 1000 + k;
        p.pSysobj.push_back(Object(id, "t" + std::to_string(k)));
        p.fields.push_back(Column(id, 1, "id"));
        p.indexes.push_back(Index(id, 1, 0, 1, "pk" + std::to_string(k), {1}));
        p.fkeys.push_back(Fkey(0, id, 1000, {1}, {1}));
    }
    p.iSysobj = kTables;
    parsertest::TimeBound bound(5);
    const KeyStatements keys(p);
    size_t written = 0;
    for (int k = 0; k < kTables; ++k) written += !keys.IndexText(p.pSysobj[k]).empty() && !keys.ForeignKeyText(p.pSysobj[k]).empty();
    EXPECT_EQ(static_cast<size_t>(kTables), written);
}
