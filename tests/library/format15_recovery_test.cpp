// Format-15 dumps recovered through the built library, loaded as a host
// loads it: the same description laid out in either generation gives the
// same output, and what only format 15 has comes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/dump_description.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TheLibrary;

namespace {

// Recovers the dump `description` describes into a fresh target and
// returns the result code and the output: every file below the one output
// folder with its text, in path order.
struct Recovered {
    int rc = -1;
    std::vector<std::pair<std::string, std::string>> files;
    std::string File(const std::string &path) const {
        for (const auto &f : files)
            if (f.first == path) return f.second;
        return "<no " + path + ">";
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> out;
        for (const auto &f : files) out.push_back(f.first);
        return out;
    }
};

std::unique_ptr<dumpwriter::Dump> Described(const std::string &description) {
    std::istringstream in(description);
    std::string error;
    auto dump = dumpwriter::ReadDescription(in, error);
    EXPECT_TRUE(dump) << error;
    return dump;
}

Recovered Recover(const std::unique_ptr<dumpwriter::Dump> &dump) {
    Recovered out;
    if (!dump) return out;
    testsupport::TempFolder outer("format15_recovery");
    const testsupport::HostRecovery run = testsupport::RecoverAsHost(*dump, outer.path());
    out.rc = run.rc;
    const std::string &root = run.root;
    if (root.empty()) return out; // a failed recovery leaves no output folder
    for (const std::string &entry : ListTree(root))
        if (entry.back() != '/') out.files.push_back({entry, ReadFileText(JoinPath(root, entry))});
    std::sort(out.files.begin(), out.files.end());
    return out;
}

Recovered Recover(const std::string &description) { return Recover(Described(description)); }

const char kSales[] = R"(
database master 1 0
table 101 spt_values
column number int
row 1
database sales 5 6
table 110 customers
column id int
column name varchar(40)
column city varchar(30) null
column since datetime null
column balance decimal(12,2) null
column note text null
rows_per_page 2
row 1 'Smith & Sons' 'Leeds' '1998-03-01 09:30:00' 1250.75 'Deliver to the side door.'
row 2 'O''Brien' NULL NULL NULL NULL
row 3 'Nordwind' 'Bergen' '2001-11-17' -0.5 NULL
primary_key pk_customers id
unique uq_name name
index ix_city city,since
table 111 orders
column id int
column total money
column placed smalldatetime
row 7 99.99 '1999-01-02 10:15'
primary_key pk_orders id
foreign_key 150 fk_orders_customers id customers id
columns_only_table 600
column orphan int
)";

const char kStock[] = R"(
database stock 6 12
table 120 items
column code char(8)
column photo image null
column tag varbinary(16) null
row 'A-100' 0x89504e47 0x0102
row 'B-7' NULL NULL
)";

} // namespace

// One and several databases at every block size: the format-15 layout of a
// description is recovered exactly as its format-12 layout is, keys and
// indexes included.
TEST(Format15Recovery, RecoversWhatFormat12RecoversAtEveryBlockSize) {
    ASSERT_TRUE(TheLibrary().loaded());
    for (int kb : {2, 4, 8, 16}) {
        for (bool several : {false, true}) {
            SCOPED_TRACE("kb " + std::to_string(kb) + (several ? ", three databases" : ", two databases"));
            const std::string description =
                "block_size " + std::to_string(kb) + "\n" + kSales + (several ? kStock : "");
            const Recovered f12 = Recover(description);
            const Recovered f15 = Recover("format 15\n" + description);
            ASSERT_EQ(f12.rc, VRN_RESULT_OK);
            ASSERT_EQ(f15.rc, VRN_RESULT_OK);
            EXPECT_EQ(f15.Paths(), f12.Paths());
            EXPECT_NE(f15.File("sales/customers_1.sql").find("VALUES(2,'O''Brien')"), std::string::npos);
            EXPECT_NE(f15.File("sales/customers.sql").find("CREATE INDEX ix_city ON customers\n(city,since)"),
                      std::string::npos);
            EXPECT_NE(f15.File("sales/foreign_keys.sql").find("ADD CONSTRAINT fk_orders_customers FOREIGN KEY (id)\n"
                                                        " REFERENCES customers(id)"),
                      std::string::npos);
            // int0.ini records the catalogue rows' own lengths and numbers,
            // which differ by generation; every script is the same.
            for (size_t i = 0; i < f12.files.size() && i < f15.files.size(); ++i) {
                if (f12.files[i].first == "int0.ini") continue;
                EXPECT_EQ(f15.files[i].second, f12.files[i].second) << f12.files[i].first;
            }
        }
    }
}

// What format 15 alone has: its types and type texts, databases left out by
// their skip flag, and "mon" tables, which get no scripts.
TEST(Format15Recovery, Format15TypesSkippedDatabasesAndMonitorTables) {
    ASSERT_TRUE(TheLibrary().loaded());
    const Recovered r = Recover(R"(
format 15
block_size 4
database master 1 0
database sales 5 4
table 110 kinds
column b bigint
column us usmallint
column ui uint
column ub ubigint
column d date
column t time
column u unichar(10)
column uv univarchar(20) null
column ut unitext null
column ls longsysname(30)
column ts timestamp
column f float
column n numeric(10,3) null
row -9223372036854775808 65535 4294967295 18446744073709551615 '1999-12-31' '23:59:59.997' 'ab' 'caf' 'long text' 'dbo' 0x0000000000001234 1.5 -12.345
table 111 monitor
column id int
row 1
database old 7 8
skip
table 120 gone
column id int
row 1
)");
    ASSERT_EQ(r.rc, VRN_RESULT_OK);
    EXPECT_EQ(r.Paths(), (std::vector<std::string>{"int0.ini", "manifest.json", "master/commit.bat", "master/commit.sh", "sales/commit.bat", "sales/commit.sh",
                                                   "sales/kinds.sql", "sales/kinds_1.sql"}));
    const std::string table = r.File("sales/kinds.sql");
    for (const char *text : {"b  bigint NOT NULL", "us  unsigned smallint NOT NULL", "ub  unsigned bigint NOT NULL",
                             "d  date NOT NULL", "t  time NOT NULL", "u  unichar(10) NOT NULL",
                             "uv  univarchar(20) NULL", "ut  unitext NULL", "ts  timestamp NOT NULL",
                             "f  float(16) NOT NULL", "n  numeric(10,3) NULL"})
        EXPECT_NE(table.find(text), std::string::npos) << text << " in\n" << table;
    const std::string rows = r.File("sales/kinds_1.sql");
    EXPECT_NE(rows.find("VALUES(-9223372036854775808,65535,4294967295,18446744073709551615,'12/31/1999',"
                        "'23:59:59.997','ab        ',"),
              std::string::npos)
        << rows;
    for (const char *value : {"'caf'", "'long text'", "0x0000000000001234", "1.5", "-12.345"})
        EXPECT_NE(rows.find(value), std::string::npos) << value << " in\n" << rows;
}

// Damaged format-15 catalogues end in bounded time with a known result: a
// dump whose page 161 or 50 is lost is no longer recognised as format 15
// and read as format 12 it has no catalogue; with the name index lost the
// usage rows are found by their owner, so everything is kept; a looping object index or column
// map keeps everything; a cut through the last database's catalogue keeps
// the databases before it and an empty folder for the last.
TEST(Format15Recovery, DamagedCataloguesEndInBoundedTime) {
    ASSERT_TRUE(TheLibrary().loaded());
    const std::string base = std::string("format 15\nblock_size 4\n") + kSales;
    const std::vector<std::string> whole = {"int0.ini", "manifest.json", "master/commit.bat", "master/commit.sh", "sales/commit.bat", "sales/commit.sh",
                                            "sales/customers.sql", "sales/customers_1.sql", "sales/foreign_keys.sql", "sales/orders.sql",
                                            "sales/orders_1.sql"};
    auto edit = [](int32_t page, std::function<void(dumpwriter::Page &)> change) {
        return [page, change](dumpwriter::Dump &d) { d.master().edit_page(page, change); };
    };
    auto zero = [](dumpwriter::Page &p) { p = dumpwriter::Page(); };
    struct Case {
        const char *what;
        std::function<void(dumpwriter::Dump &)> damage;
        int rc;
        std::vector<std::string> paths;
    };
    const std::vector<Case> cases = {
        {"intact", [](dumpwriter::Dump &) {}, VRN_RESULT_OK, whole},
        {"page 161 zeroed", edit(161, zero), VRN_RESULT_NO_CATALOGUE, {}},
        {"page 50 zeroed", edit(50, zero), VRN_RESULT_NO_CATALOGUE, {}},
        {"page 90 zeroed", edit(90, zero), VRN_RESULT_OK, whole},
        {"the object index loops", edit(161, [](dumpwriter::Page &p) { p.next_id = 161; }), VRN_RESULT_OK, whole},
        {"the column map loops", edit(50, [](dumpwriter::Page &p) { p.next_id = 50; }), VRN_RESULT_OK, whole},
        {"cut inside the last database", [](dumpwriter::Dump &d) { d.cut(6 * 1048576 + 8192 + 100 * 4096); },
         VRN_RESULT_OK, {"int0.ini", "manifest.json", "master/commit.bat", "master/commit.sh", "sales/commit.bat", "sales/commit.sh"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto dump = Described(base);
        ASSERT_TRUE(dump);
        c.damage(*dump);
        const auto start = std::chrono::steady_clock::now();
        const Recovered r = Recover(dump);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(r.Paths(), c.paths);
    }
}
