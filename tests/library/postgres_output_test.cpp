// The postgres and csv outputs loaded into a real PostgreSQL server: every
// database's load.sql run with psql in its folder, side by side in one
// database, and every value read back compared with what the dump holds.
#include <gtest/gtest.h>

#if !defined(_WIN32) && __has_include("tests/support/postgres_server.h")

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/dump_description.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_folder.h"

using namespace testsupport;

namespace {

std::string FileText(const std::string &path) { return ReadFileText(path); }

// Hostile names and values of the first generation: an identity column,
// a name with a quote, a space and backslashes, values that would end a
// COPY block or start a meta-command, a tab, extremes, -0, binary with
// trailing zero bytes, cp1252 bytes, and a NUL in a varchar (dropped,
// counted).
const std::string kHostile12 = std::string(
    "block_size 4\n"
    "database master 1 0\n"
    "table 101 spt_values\n"
    "column number int\n"
    "database 'h\"q b\\s' 5 2\n"
    "table 110 'T \"x\" \\\\'\n"
    "column 'c\"1' int status=128\n"
    "column 'v x' varchar(40) null\n"
    "column t text null\n"
    "column f float null\n"
    "column r real null\n"
    "column b binary(4)\n"
    "column n numeric(38,0) null\n"
    "column m money\n"
    "column d datetime null\n"
    "column bt bit\n"
    "rows_per_page 2\n"
    "row 1 '\\.' '\\! rm -rf /' 1.7976931348623157e308 -0.0 0x00000000 -999999999999999999 -92233720368.5807 "
    "'1753-01-01 00:00:00.000' 1\n"
    "row 7 '.shell ls' 'tab\ttab back\\slash \\N' -0.0 1e-45 0x01000000 NULL 92233720368.5807 "
    "'9999-12-31 23:59:59.997' 0\n"
    "row 9 'caf\xe9 \x80' NULL NULL NULL 0xff00ff00 12 0 NULL 1\n"
    "row 10 'A") + std::string(1, '\0') + "B' NULL NULL NULL 0x00 NULL 0 NULL 0\n";

// The second generation in two databases: every integer width at its
// extremes, dates and times at theirs, unicode, text and image chains,
// empty values apart from NULL.
const char kHostile15[] =
    "format 15\n"
    "block_size 8\n"
    "database master 1 0\n"
    "table 101 spt_values\n"
    "column number int\n"
    "database db_one 5 2\n"
    "table 110 every\n"
    "column id bigint status=128\n"
    "column us usmallint\n"
    "column ui uint\n"
    "column ub ubigint\n"
    "column bi bigint null\n"
    "column dt date null\n"
    "column tm time null\n"
    "column u unichar(4) null\n"
    "column uv univarchar(20) null\n"
    "column ut unitext null\n"
    "column tx text null\n"
    "column im image null\n"
    "column ts timestamp\n"
    "row 1 0 0 0 -9223372036854775808 '0001-01-01' '00:00:00.000' 'a' 'Gr\xc3\xbcn \"q\"' 'line' 'x\\.y' 0x00 "
    "0x0000000000000000\n"
    "row 2 65535 4294967295 18446744073709551615 9223372036854775807 '9999-12-31' '23:59:59.997' "
    "'\xc5\xbc\xc3\xb3' '\\. ' '' '' 0x 0xffffffffffffffff\n"
    "row 3 1 1 1 NULL NULL NULL NULL NULL NULL NULL NULL 0x0000000000000001\n"
    "primary_key pk_every id\n"
    "database db_two 6 8\n"
    "table 120 every\n"
    "column id int\n"
    "row 5\n";

struct Query {
    const char *sql;
    const char *rows; // psql -At: fields split by tabs, NULL as \N
};

struct Case {
    const char *name;
    std::string description;
    uint64_t values_changed;
    std::vector<Query> queries;
};

std::vector<Case> Cases() {
    const std::string examples = std::string(VRN_TEST_SOURCE) + "/../examples/";
    return {
        {"sample",
         FileText(examples + "sample.dump.txt"),
         0,
         {{"SELECT * FROM sales.customers ORDER BY id",
           "1\tt\tSmith & Sons\tLeeds\t1998-03-01 09:30:00\n"
           "2\tf\tO'Brien Ltd\t\\N\t\\N\n"
           "3\tf\tNordwind\tBergen\t2001-11-17 00:00:00\n"},
          {"SELECT * FROM sales.orders ORDER BY id",
           "1\t1\t1999-01-02 10:15:00\t1250.7500\t5.00\tDeliver to the side door.\n"
           "2\t1\t1999-02-03 08:00:00\t99.9900\t\\N\t\\N\n"
           "3\t2\t1999-02-28 17:45:00\t-12.5000\t0.25\tCredit note\n"
           "4\t3\t2000-06-30 23:59:00\t0.0000\t\\N\t\\N\n"
           "5\t3\t2000-07-01 00:00:00\t1000000.0001\t12.50\t\\N\n"},
          {"SELECT order_id, line_no, item_code, qty, unit_price, amount, float4send(weight), float8send(ratio) "
           "FROM sales.order_lines ORDER BY 1, 2",
           "1\t1\tA-100   \t3\t19.9900\t59.970\t\\x3fc00000\t\\x3fc0000000000000\n"
           "1\t2\tB-7     \t1\t1190.8000\t1190.800\t\\N\t\\N\n"
           "3\t1\tC-33    \t250\t-4.2000\t-1050.000\t\\x3a83126f\t\\x3df12e0be826d695\n"},
          {"SELECT conname FROM pg_constraint WHERE connamespace = 'sales'::regnamespace ORDER BY 1",
           "fk_order_lines_orders\nfk_orders_customers\npk_customers\npk_order_lines\npk_orders\n"
           "uq_customers_name\n"}}},
        {"sample15", FileText(examples + "sample15.dump.txt"), 0,
         {{"SELECT code, encode(checksum, 'hex'), name_u, encode(version, 'hex'), title, label, owner, author, "
           "encode(photo, 'hex'), encode(tag, 'hex'), note_u, long_u FROM stock.items ORDER BY code",
           "A-100   \tdeadbeef\tHose        \t0000000000001234\tGarden hose, 20 m\tGRDN\tdbo\tgardener\t"
           "89504e470d0a1a0a\t0102\tGr\xc3\xbcn\tA long description.\n"
           "B-7     \t00000001\tMower       \t0000000000001235\tLawn mower\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\n"
           "C-33    \t00ff00ff\tA\xc3\xa9          \t00000000000012ff\tSeed mix\tSEED\tstock\tit's mine\t"
           "ffd8ffe0\t00\tit's\t\n"}}},
        {"hostile12", kHostile12, 1,
         {{"SELECT \"c\"\"1\", encode(b, 'hex'), m, bt, \"v x\", t, f, float8send(f), float4send(r), n, d "
           "FROM \"'h\"\"q b\\s'\".\"T \"\"x\"\" \\\\\" ORDER BY 1",
           "1\t00000000\t-92233720368.5807\tt\t\\.\t\\! rm -rf /\t1.7976931348623157e+308\t"
           "\\x7fefffffffffffff\t\\x80000000\t-999999999999999999\t1753-01-01 00:00:00\n"
           "7\t01000000\t92233720368.5807\tf\t.shell ls\ttab\ttab back\\slash \\N\t-0\t"
           "\\x8000000000000000\t\\x00000001\t\\N\t9999-12-31 23:59:59.997\n"
           "9\tff00ff00\t0.0000\tt\tcaf\xc3\xa9 \xe2\x82\xac\t\\N\t\\N\t\\N\t\\N\t12\t\\N\n"
           "10\t00000000\t0.0000\tf\tAB\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\n"},
          // The identity goes on past the largest value loaded.
          {"INSERT INTO \"'h\"\"q b\\s'\".\"T \"\"x\"\" \\\\\" (b, m, bt) VALUES ('\\x00', 1, true) "
           "RETURNING \"c\"\"1\"",
           "11\n"}}},
        {"hostile15", kHostile15, 0,
         {{"SELECT id, us, ui, ub, encode(ts, 'hex'), bi, dt, tm, u, uv, ut, tx, encode(im, 'hex') "
           "FROM db_one.every ORDER BY id",
           "1\t0\t0\t0\t0000000000000000\t-9223372036854775808\t0001-01-01\t00:00:00\ta   \tGr\xc3\xbcn \"q\"\t"
           "line\tx\\.y\t00\n"
           "2\t65535\t4294967295\t18446744073709551615\tffffffffffffffff\t9223372036854775807\t9999-12-31\t"
           "23:59:59.997\t\xc5\xbc\xc3\xb3  \t\\. \t\t\t\n"
           "3\t1\t1\t1\t0000000000000001\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\n"},
          {"SELECT id FROM db_two.every", "5\n"},
          {"SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE attrelid = 'db_one.every'::regclass "
           "AND attnum > 0 ORDER BY attnum",
           "bigint\ninteger\nbigint\nnumeric(20,0)\nbytea\nbigint\ndate\ntime(3) without time zone\n"
           "character(4)\ncharacter varying(20)\ntext\ntext\nbytea\n"}}},
    };
}

TEST(PostgresOutput, LoadsIntoARealServerValueForValue) {
    std::string why;
    PostgresServer *server = PostgresServer::Shared(&why);
    ASSERT_NE(server, nullptr) << why;
    // The postgres output, the same as one stream piped from vrnrecover
    // into psql, and the CSV files with the schema.sql and load.sql beside
    // them: the same values come back from all three.
    constexpr int kStream = -1;
    for (const int format : {int(VRN_FORMAT_POSTGRES), kStream, int(VRN_FORMAT_CSV)})
    for (const Case &c : Cases()) {
        const std::string tag = std::string(format == VRN_FORMAT_CSV ? "csv_" : format == kStream ? "stream_" : "pg_") +
                                c.name;
        SCOPED_TRACE(tag);
        std::istringstream in(c.description);
        std::string error;
        auto dump = dumpwriter::ReadDescription(in, error);
        ASSERT_TRUE(dump) << error;
        TempFolder folder(tag);
        ASSERT_TRUE(dump->write_file(folder / "in.dmp"));
        const std::string database = "output_" + tag;
        ASSERT_TRUE(server->CreateDatabase(database, &why)) << why;
        if (format == kStream) {
            // vrnrecover runs in the tests' folder, beside the library.
            const std::string status_file = folder / "status";
            int rc = -1;
            RunCommand("{ ./vrnrecover --format postgres -q -o - " + ShellQuote(folder / "in.dmp") + "; echo $? > " +
                           ShellQuote(status_file) + "; } | " + server->PsqlCommand(database),
                       &rc);
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(FileText(status_file), c.values_changed ? "8\n" : "0\n");
        }
        VrnOptions o{};
        o.output_format = format == kStream ? VRN_FORMAT_POSTGRES : format;
        VrnReport report;
        const int status = RecoverWithOptions(folder / "in.dmp", folder / "out", o, report);
        EXPECT_EQ(status, c.values_changed ? VRN_STATUS_LOSSES : VRN_STATUS_OK) << report.message;
        EXPECT_EQ(report.values_changed, c.values_changed);

        int loaded = 0;
        const std::string out = report.output_folder;
        for (const std::string &entry : format == kStream ? std::vector<std::string>() : ListTree(out)) {
            const size_t slash = entry.find('/');
            if (slash == std::string::npos || entry.substr(slash) != "/load.sql") continue;
            int rc = -1;
            server->PsqlFile(database, "load.sql", JoinPath(out, entry.substr(0, slash)), &rc);
            EXPECT_EQ(rc, 0) << entry << ": " << server->last_errors();
            ++loaded;
        }
        if (format != kStream) {
            EXPECT_GE(loaded, 2);
        }
        for (const Query &q : c.queries) {
            int rc = -1;
            EXPECT_EQ(server->Psql(database, q.sql, &rc), q.rows) << q.sql;
            EXPECT_EQ(rc, 0) << server->last_errors();
        }
    }
}

} // namespace

#endif
