// commit.sh, run against a stub isql that records its arguments: it loads
// every script of commit.bat in the same order, passes names and arguments
// whole (the password on isql's standard input), and stops at the first
// script isql fails on, naming it. Then the whole load of a dump whose
// child tables come before their parents, with identity columns, through
// a stub that checks every statement's order as the server would
// (tests/isql_stub.py).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

#if !defined(_WIN32)

using testsupport::JoinPath;
using testsupport::ReadFileText;
using testsupport::RecoverWithOptions;
using testsupport::SplitLines;
using testsupport::TempFolder;
using testsupport::TheLibrary;
namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

namespace {

// The value after `flag` in a recorded argument line ("-i orders_1.sql").
std::string ArgumentAfter(const std::string &line, const std::string &flag) {
    const size_t at = line.find(" " + flag + " ");
    if (at == std::string::npos) return "";
    const size_t from = at + flag.size() + 2;
    const size_t end = line.find(' ', from);
    return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

TEST(LoadScripts, CommitShLoadsWhatCommitBatLoadsAndStopsAtTheFirstFailure) {
    ASSERT_TRUE(TheLibrary().loaded());
    TempFolder folder("loadscripts");
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    auto &orders = schema.table(101, "orders").column("id", types::kInt);
    for (int i = 0; i < 300; ++i) orders.row({encode::Int(i)});
    schema.table(16000158, "items").column("k", types::kInt).row({encode::Int(1)});
    schema.add_to(dump.database("sales", 5, 4));
    ASSERT_TRUE(dump.write_file(folder / "sales.dmp"));
    VrnReport report;
    ASSERT_EQ(RecoverWithOptions(folder / "sales.dmp", folder / "out", VrnOptions{}, report), VRN_STATUS_OK)
        << report.message;
    const std::string db = JoinPath(folder / "out", "sales");

    // The scripts commit.bat loads, in its order.
    std::vector<std::string> bat_order;
    for (const std::string &line : SplitLines(ReadFileText(JoinPath(db, "commit.bat")))) {
        const std::string script = ArgumentAfter(line + " ", "-i");
        if (!script.empty()) bat_order.push_back(script);
    }
    ASSERT_GE(bat_order.size(), 4u);

    // The stub: records one line of arguments per call, fails on FAIL_ON.
    const std::string bin = folder / "isql bin";
    ASSERT_TRUE(platform::createDirectory(bin));
    const std::string stub = JoinPath(bin, "isql");
    ASSERT_TRUE(testsupport::WriteFileText(stub, "#!/bin/sh\n"
                                                 "printf '%s|' \"$@\" >> \"$CALLS\"\n"
                                                 "IFS= read -r pw; printf 'pw=%s|' \"$pw\" >> \"$CALLS\"\n"
                                                 "printf '\\n' >> \"$CALLS\"\n"
                                                 "case \"$*\" in *\"-i $FAIL_ON\"*) [ -n \"$FAIL_ON\" ] && exit 1;; esac\n"
                                                 "exit 0\n"));
    ASSERT_EQ(std::system(("chmod +x '" + stub + "'").c_str()), 0);

    struct Case {
        const char *what;
        std::string fail_on;
        size_t loaded;
        int status;
    };
    const Case cases[] = {
        {"every script loads", "", bat_order.size(), 0},
        {"the second script fails", bat_order[1], 2, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string calls = folder / "calls.txt";
        const std::string errors = folder / "errors.txt";
        platform::deleteFile(calls);
        const std::string command = "cd / && CALLS='" + calls + "' FAIL_ON='" + c.fail_on + "' sh '" +
                                    JoinPath(db, "commit.sh") + "' '" + bin +
                                    "' 'my server' sa 'pa ss' 2> '" + errors + "'";
        const int raw = std::system(command.c_str());
        ASSERT_NE(raw, -1);
        EXPECT_EQ(WEXITSTATUS(raw), c.status);

        const std::vector<std::string> expected(bat_order.begin(), bat_order.begin() + c.loaded);
        std::vector<std::string> got;
        for (const std::string &line : SplitLines(ReadFileText(calls))) {
            // Each argument whole: the server and password keep their blanks.
            // The password on stdin, not on the command line.
            EXPECT_EQ(line.rfind("-S|my server|-U|sa|-D|sales|-i|", 0), 0u) << line;
            const size_t at = line.find("|-i|");
            const size_t pw = line.find("|pw=");
            EXPECT_EQ(line.substr(pw == std::string::npos ? 0 : pw), "|pw=pa ss|") << line;
            got.push_back(at == std::string::npos || pw == std::string::npos ? line : line.substr(at + 4, pw - at - 4));
        }
        EXPECT_EQ(got, expected);
        if (c.status != 0) {
            EXPECT_NE(ReadFileText(errors).find(c.fail_on + " failed"), std::string::npos);
        }
    }
}

// The server's order, checked by the stub: every table before a key names
// it, every row before the foreign keys, identity values only while
// identity_insert is on. The child tables have the lower ids, so object
// order alone would make a key to a table not yet made; the database name
// has a blank, which the load scripts pass whole.
TEST(LoadScripts, ALoadInTheServersOrderKeepsEveryRow) {
    if (std::system("python3 -c '' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is not installed";
    ASSERT_TRUE(TheLibrary().loaded());
    for (const dumpwriter::Format format : {dumpwriter::Format::k12, dumpwriter::Format::k15}) {
        SCOPED_TRACE(format == dumpwriter::Format::k12 ? "format 12" : "format 15");
        TempFolder folder("loadorder");
        dumpwriter::Dump dump(2, format);
        dump.database("master", 1, 0);
        dumpwriter::Schema schema;
        auto &lines = schema.table(101, "order_lines")
                          .numeric("line_id", types::kNumeric, 10, 0, dumpwriter::kIdentity)
                          .column("order_id", types::kInt)
                          .primary_key("pk_lines", {"line_id"})
                          .foreign_key(150, "fk_lines_orders", {"order_id"}, 102, {"id"});
        auto &orders = schema.table(102, "orders")
                           .numeric("id", types::kNumeric, 10, 0, dumpwriter::kIdentity)
                           .column("customer", types::kInt)
                           .primary_key("pk_orders", {"id"})
                           .foreign_key(151, "fk_orders_customers", {"customer"}, 103, {"id"});
        auto &customers = schema.table(103, "customers").column("id", types::kInt).primary_key("pk_customers", {"id"});
        const int kRows = 130;
        for (int i = 1; i <= kRows; ++i) {
            customers.row({encode::Int(i)});
            orders.row({encode::Numeric(i, dumpwriter::NumericLength(10)), encode::Int(i)});
            lines.row({encode::Numeric(1000 + i, dumpwriter::NumericLength(10)), encode::Int(i)});
        }
        schema.add_to(dump.database("sales prod", 5, 4));
        ASSERT_TRUE(dump.write_file(folder / "sales.dmp"));
        const std::string out = folder / "out";
        VrnOptions o{};
        o.rows_per_file = 60; // several data scripts per table
        VrnReport report;
        ASSERT_EQ(RecoverWithOptions(folder / "sales.dmp", out, o, report), VRN_STATUS_OK) << report.message;
        std::string db;
        for (const std::string &f : testsupport::ListTree(out))
            if (f.size() > 10 && f.compare(f.size() - 10, 10, "/commit.sh") == 0 && f.rfind("master/", 0) != 0)
                db = JoinPath(out, f.substr(0, f.size() - 10));
        ASSERT_FALSE(db.empty());
        EXPECT_TRUE(platform::pathKind(JoinPath(db, "foreign_keys.sql")) == platform::PathKind::File);
        // The identity column is defined so and read from the fixed area.
        EXPECT_NE(ReadFileText(JoinPath(db, "orders.sql")).find("id  numeric(10,0) IDENTITY, \n"), std::string::npos);
        const std::string rows = ReadFileText(JoinPath(db, "orders_1.sql"));
        EXPECT_EQ(rows.rfind("set identity_insert orders on\nGO\nINSERT INTO orders(id,customer) \n VALUES(1,1)", 0), 0u)
            << rows.substr(0, 200);
        const std::string off = "\nGO\nset identity_insert orders off\nGO\n";
        EXPECT_EQ(rows.substr(rows.size() - off.size()), off);

        const std::string bin = folder / "bin";
        ASSERT_TRUE(platform::createDirectory(bin));
        const std::string stub = JoinPath(bin, "isql");
        ASSERT_TRUE(testsupport::WriteFileText(stub, std::string("#!/bin/sh\nexec python3 '") + VRN_TEST_SOURCE +
                                                         "/isql_stub.py' \"$@\"\n"));
        ASSERT_EQ(std::system(("chmod +x '" + stub + "'").c_str()), 0);
        const std::string state = folder / "state.json";
        const std::string errors = folder / "errors.txt";
        // The password from ISQL_PASSWORD this time: three arguments.
        const std::string command = "cd / && ISQL_STUB_STATE='" + state + "' ISQL_STUB_PASSWORD='pa ss' " +
                                    "ISQL_STUB_DATABASE='sales prod' ISQL_PASSWORD='pa ss' sh '" +
                                    JoinPath(db, "commit.sh") + "' '" + bin + "' srv sa 2> '" + errors + "'";
        const int raw = std::system(command.c_str());
        ASSERT_NE(raw, -1);
        EXPECT_EQ(WEXITSTATUS(raw), 0) << ReadFileText(errors);
        const std::string loaded = ReadFileText(state);
        for (const char *table : {"customers", "orders", "order_lines"})
            EXPECT_NE(loaded.find("\"" + std::string(table) + "\": " + std::to_string(kRows)), std::string::npos)
                << table << " in " << loaded;
        EXPECT_NE(loaded.find("[\"order_lines\", \"orders\"]"), std::string::npos) << loaded;
        EXPECT_NE(loaded.find("[\"orders\", \"customers\"]"), std::string::npos) << loaded;
        // commit.bat passes the same name whole, and loads the same scripts.
        const std::string bat = ReadFileText(JoinPath(db, "commit.bat"));
        EXPECT_NE(bat.find("-D \"sales prod\" -P %4 -i foreign_keys.sql\n@goto exit"), std::string::npos) << bat;
        EXPECT_EQ(bat.rfind("@echo off\n", 0), 0u);
    }
}

} // namespace

#endif
