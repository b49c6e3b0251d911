// commit.sh, run against a stub isql that records its arguments: it loads
// every script of commit.bat in the same order, passes names and arguments
// whole, and stops at the first script isql fails on, naming it.
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
using testsupport::SplitLines;
using testsupport::TempFolder;
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
    testsupport::LoadedVrndll library;
    ASSERT_TRUE(library.loaded());
    TempFolder folder("loadscripts");
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    auto &orders = schema.table(101, "orders").column("id", types::kInt);
    for (int i = 0; i < 300; ++i) orders.row({encode::Int(i)});
    schema.table(16000158, "items").column("k", types::kInt).row({encode::Int(1)});
    schema.add_to(dump.database("sales", 5, 4));
    const std::string dump_path = folder / "sales.dmp";
    ASSERT_TRUE(dump.write_file(dump_path));

    const std::string out = folder / "out";
    VrnOptions o{};
    o.size = sizeof o;
    o.output_folder = out.c_str();
    VrnReport report{};
    report.size = sizeof report;
    ASSERT_EQ(library.file_recover_ex(dump_path.c_str(), &o, &report), VRN_STATUS_OK) << report.message;
    const std::string db = JoinPath(out, "sales");

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
            EXPECT_EQ(line.rfind("-S|my server|-U|sa|-D|sales|-P|pa ss|", 0), 0u) << line;
            const size_t at = line.find("|-i|");
            got.push_back(at == std::string::npos ? line : line.substr(at + 4, line.size() - at - 5));
        }
        EXPECT_EQ(got, expected);
        if (c.status != 0) {
            EXPECT_NE(ReadFileText(errors).find(c.fail_on + " failed"), std::string::npos);
        }
    }
}

} // namespace

#endif
