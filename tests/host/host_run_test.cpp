// vrnrecover from command line to exit status, with the built library.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host/cancel.h"
#include "host/exit_codes.h"
#include "host/host_run.h"
#include "host/output_folder.h"
#include "host/progress_display.h"
#include "platform/platform.h"
#include "tests/support/dump_description.h"
#include "tests/support/dump_writer.h"
#include "tests/support/table_builder.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::TempFolder;
using testsupport::WriteFileText;

namespace {

// A stream that acts as the Ctrl-C handler does the first time something is
// written to it: the first text the recovery shows.
class CtrlCOnFirstWrite : public std::streambuf {
protected:
    int overflow(int c) override {
        Press();
        return c == EOF ? 0 : c;
    }
    std::streamsize xsputn(const char *, std::streamsize n) override {
        Press();
        return n;
    }

private:
    void Press() {
        if (pressed_) return;
        pressed_ = true;
        *CancelFlag() = true;
    }
    bool pressed_ = false;
};

// Acts as the Ctrl-C handler does when the recovery first shows a text
// holding `at` (a pass announcement, say).
class CtrlCOnText : public std::streambuf {
public:
    explicit CtrlCOnText(std::string at) : at_(std::move(at)) {}

protected:
    int overflow(int c) override {
        if (c != EOF) Seen(std::string(1, static_cast<char>(c)));
        return c == EOF ? 0 : c;
    }
    std::streamsize xsputn(const char *s, std::streamsize n) override {
        Seen(std::string(s, static_cast<size_t>(n)));
        return n;
    }

private:
    void Seen(const std::string &text) {
        seen_ += text;
        if (seen_.find(at_) != std::string::npos) *CancelFlag() = true;
    }

public:

private:
    std::string at_;
    std::string seen_;
};

class Vrnrecover : public ::testing::Test {
protected:
    int Run(const std::vector<std::string> &args, const std::string &library_path) {
        out_.str("");
        err_.str("");
        HostSettings settings;
        settings.library_path = library_path;
        return RunHost(args, out_, err_, settings);
    }
    int Run(const std::vector<std::string> &args) {
        return Run(args, testsupport::LibraryBesideProgram("vrndll"));
    }

    // A dump with one user database besides the master database.
    std::string GoodDump() {
        dumpwriter::Dump dump(2);
        dump.database("master", 1, 0);
        dump.database("sales", 5, 2).table(101, "orders");
        const std::string path = folder_ / "sales.dmp";
        EXPECT_TRUE(dump.write_file(path));
        return path;
    }

    TempFolder folder_{"host"};
    std::ostringstream out_, err_;
};

} // namespace

// ---------------------------------------------------------------- before the library

TEST_F(Vrnrecover, HelpAndVersionSucceed) {
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_NE(out_.str().find("Usage: vrnrecover [options] DUMP TARGET_DIR"), std::string::npos);
    EXPECT_EQ(Run({"--version"}), kExitOk);
    EXPECT_EQ(out_.str(), "vrnrecover 1.0\n");
}

TEST_F(Vrnrecover, WrongCommandLineIsAUsageError) {
    EXPECT_EQ(Run({"only-one-argument"}), kExitUsage);
    EXPECT_NE(err_.str().find("Try 'vrnrecover --help'."), std::string::npos);
    EXPECT_EQ(out_.str(), "");
}

TEST_F(Vrnrecover, MissingOrFolderDumpIsReportedAndNothingIsMade) {
    const std::string target = folder_ / "out";
    EXPECT_EQ(Run({folder_ / "missing.dmp", target}), kExitDumpUnreadable);
    EXPECT_NE(err_.str().find("cannot read the dump file"), std::string::npos);
    EXPECT_EQ(Run({folder_.path(), target}), kExitDumpUnreadable);
    EXPECT_NE(err_.str().find("is a folder"), std::string::npos);
    EXPECT_FALSE(platform::exists(target));
}

TEST_F(Vrnrecover, MissingLibraryIsReported) {
    const std::string dump = folder_ / "any.dmp";
    ASSERT_TRUE(WriteFileText(dump, "x"));
    EXPECT_EQ(Run({dump, folder_ / "out"}, folder_ / "no-library"), kExitLibraryMissing);
    EXPECT_NE(err_.str().find("cannot load the recovery library"), std::string::npos);
}

// ---------------------------------------------------------------- with the library

TEST_F(Vrnrecover, RecoveryEndsWithASummaryNamingTheOutputFolder) {
    const std::string dump = GoodDump();
    const std::string target = folder_ / "out";
    const std::string log = folder_ / "run.log";
    ASSERT_EQ(Run({"--log", log, dump, target}), kExitOk) << err_.str();
    const std::string folder = FindNewestOutputFolder(target, "sales.dmp");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(out_.str().find("Recovered sales.dmp into " + folder + "\n"), 0u) << out_.str();
    EXPECT_NE(out_.str().find("lost: nothing\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("log: " + log + "\n"), std::string::npos) << out_.str();
    EXPECT_NE(err_.str().find("Pass 1: analyzing database...\n"), std::string::npos) << err_.str();
    EXPECT_TRUE(platform::exists(log));

    // A second run writes a folder of its own (" (2)" within the same
    // minute) and names that one.
    ASSERT_EQ(Run({"--log", log, dump, target}), kExitOk) << err_.str();
    const std::string into = "Recovered sales.dmp into ";
    ASSERT_EQ(out_.str().find(into), 0u) << out_.str();
    const std::string second = out_.str().substr(into.size(), out_.str().find('\n') - into.size());
    EXPECT_NE(second, folder);
    EXPECT_EQ(ListTree(second), ListTree(folder));
}

TEST_F(Vrnrecover, QuietRecoveryShowsOnlyTheSummary) {
    ASSERT_EQ(Run({"-q", GoodDump(), folder_ / "out"}), kExitOk) << err_.str();
    EXPECT_EQ(err_.str(), "");
    EXPECT_NE(out_.str().find("Recovered sales.dmp into "), std::string::npos);
}

TEST_F(Vrnrecover, UnwritableTargetIsNotBlamedOnTheDump) {
    const std::string dump = GoodDump();
    const std::string blocker = folder_ / "file";
    ASSERT_TRUE(WriteFileText(blocker, "in the way"));
    EXPECT_EQ(Run({dump, JoinPath(blocker, "out")}), kExitOutputNotWritable);
    EXPECT_NE(err_.str().find("cannot create the "), std::string::npos) << err_.str();
}

TEST_F(Vrnrecover, CtrlCStopsTheRecoveryAsCancelled) {
    const std::string dump = GoodDump();
    CtrlCOnFirstWrite presses;
    std::ostream err(&presses);
    HostSettings settings;
    settings.library_path = testsupport::LibraryBesideProgram("vrndll");
    const int status = RunHost({dump, folder_ / "out"}, out_, err, settings);
    EXPECT_EQ(status, kExitCancelled);
}

// Ctrl-C at several points, into the -o folder and into a dated folder:
// before the catalogue is read, before master (the first database) and
// before sales. A run into the -o folder, which stands from the start,
// says it is cancelled there however early it stopped: INCOMPLETE, a
// manifest that says so, the summary of what was written. A dated folder
// with nothing in it is not left behind. Every load script has its end,
// every file its last line break, and a rerun into the same folder goes
// ahead without --force and leaves a whole output. The same for a run
// that failed and left only its log.
TEST_F(Vrnrecover, CtrlCAtSeveralPointsLeavesAnOutputThatSaysSoAndARerunMends) {
    const std::string dump = GoodDump();
    const std::string t = folder_ / "t";
    HostSettings settings;
    settings.library_path = testsupport::LibraryBesideProgram("vrndll");
    struct Case {
        const char *at;
        bool dated;
        bool marked; // INCOMPLETE and manifest.json left
    };
    const Case cases[] = {
        {"Pass 1", false, true}, {"Pass 2", false, true}, {"Pass 3", false, true},
        {"Pass 1", true, false}, {"Pass 2", true, false}, {"Pass 3", true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.at) + (c.dated ? ", dated folder" : ", -o folder"));
        testsupport::RemoveTree(t);
        CtrlCOnText presses(c.at);
        std::ostream err(&presses);
        out_.str("");
        EXPECT_EQ(RunHost(c.dated ? std::vector<std::string>{dump, t} : std::vector<std::string>{"-o", t, dump}, out_,
                          err, settings),
                  kExitCancelled);
        const std::string folder = c.dated ? FindNewestOutputFolder(t, "sales.dmp") : t;
        EXPECT_EQ(!folder.empty(), c.marked) << "a dated folder is left only with something in it";
        if (folder.empty()) continue;
        EXPECT_EQ(platform::pathKind(JoinPath(folder, "INCOMPLETE")) == platform::PathKind::File, c.marked);
        if (c.marked) {
            EXPECT_NE(testsupport::ReadFileText(JoinPath(folder, "INCOMPLETE")).find("cancelled"), std::string::npos);
            EXPECT_NE(testsupport::ReadFileText(JoinPath(folder, "manifest.json")).find("\"complete\": false"),
                      std::string::npos);
            EXPECT_NE(out_.str().find("Partly recovered sales.dmp into " + folder), std::string::npos) << out_.str();
        }
        for (const std::string &f : ListTree(folder)) {
            if (f.back() == '/') continue;
            const std::string text = testsupport::ReadFileText(JoinPath(folder, f));
            EXPECT_TRUE(text.empty() || text.back() == '\n') << f << " ends without a line break";
            if (f.size() > 9 && f.compare(f.size() - 9, 9, "commit.sh") == 0) {
                EXPECT_NE(text.rfind("\necho 'commit.sh: "), std::string::npos) << f << "\n" << text;
            }
            if (f.size() > 10 && f.compare(f.size() - 10, 10, "commit.bat") == 0) {
                EXPECT_EQ(text.substr(text.size() - 7), "\t:exit\n") << f;
            }
        }
        if (c.dated) continue;
        const std::vector<std::string> stopped = ListTree(t);
        EXPECT_EQ(Run({"-q", "-o", t, dump}), kExitOk) << err_.str();
        EXPECT_EQ(platform::pathKind(JoinPath(t, "INCOMPLETE")), platform::PathKind::Missing);
        EXPECT_NE(testsupport::ReadFileText(JoinPath(t, "manifest.json")).find("\"complete\": true"), std::string::npos);
        EXPECT_GE(ListTree(t).size(), stopped.size() - 1);
    }

    // A run that fails before any output leaves its log alone there.
    testsupport::RemoveTree(t);
    const std::string junk = folder_ / "junk.dmp";
    ASSERT_TRUE(WriteFileText(junk, std::string(64 * 1024, 'j')));
    EXPECT_EQ(Run({"-q", "-o", t, junk}), kExitNoCatalogue);
    EXPECT_EQ(Run({"-q", "-o", t, dump}), kExitOk) << err_.str();
}

// ---------------------------------------------------------------- pieces

TEST(CancelHandler, FirstCtrlCSetsTheFlagHandedToTheLibrary) {
    ArmCancel();
    EXPECT_FALSE(*CancelFlag());
    std::raise(SIGINT);
    EXPECT_TRUE(*CancelFlag());
    EXPECT_TRUE(CancelRequested());
    ArmCancel();
    EXPECT_FALSE(CancelRequested()) << "armed afresh for the next run";
    DisarmCancel();
}

TEST(OutputFolderSearch, NewestFolderByTheTimeInItsName) {
    TempFolder target("newest");
    for (const char *name : {"Recovered a.dmp 31-12-2009 23.59", "Recovered a.dmp 01-01-2010 00.00",
                             "Recovered a.dmp 07-03-2009 09.05", "Recovered b.dmp 01-01-2030 00.00",
                             "Recovered a.dmp garbage"})
        ASSERT_TRUE(platform::createDirectory(target / name));
    ASSERT_TRUE(WriteFileText(target / "Recovered a.dmp 01-01-2031 00.00", "a file, not a folder"));
    EXPECT_EQ(FindNewestOutputFolder(target.path(), "a.dmp"),
              target / "Recovered a.dmp 01-01-2010 00.00");
    EXPECT_EQ(FindNewestOutputFolder(target.path(), "c.dmp"), "");
    EXPECT_EQ(FindNewestOutputFolder(target / "missing", "a.dmp"), "");
}

namespace {

// A dump whose table "orders" holds 400 rows on several pages; `cut`
// bytes taken off its end lose some of them.
std::string RowsDump(const TempFolder &folder, const std::string &name, uint64_t cut) {
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    auto &orders = schema.table(101, "orders").column("id", dumpwriter::types::kInt).column("note", dumpwriter::types::kChar, 100);
    for (int i = 0; i < 400; ++i) orders.row({dumpwriter::encode::Int(i), dumpwriter::encode::Chars(std::string(100, 'x'))});
    schema.add_to(dump.database("sales", 5, 4));
    if (cut) dump.cut(dump.size() - cut);
    const std::string path = folder / name;
    EXPECT_TRUE(dump.write_file(path));
    return path;
}

// A dump of `databases` databases on 2 KiB pages, one a MiB: the master
// database and databases db_1 ... each holding one table of one row. Then
// `clones` further databases listed whose usage records name the pages of
// db_1.
std::string ManyDatabasesDump(const std::string &folder, const std::string &name, int databases, int clones) {
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    schema.table(101, "orders").column("id", dumpwriter::types::kInt).row({dumpwriter::encode::Int(7)});
    for (int k = 1; k < databases; ++k)
        schema.add_to(dump.database("db_" + std::to_string(k), static_cast<int16_t>(4 + k), k));
    for (int k = 1; k <= clones; ++k) {
        const int16_t dbid = static_cast<int16_t>(1000 + k);
        dump.listed(dbid, "clone_" + std::to_string(k));
        dump.usage(dbid, 512, dump.databases()[1]->start_page(2));
    }
    const std::string path = JoinPath(folder, name);
    EXPECT_TRUE(dump.write_file(path));
    return path;
}

} // namespace

// The command line's options as a DBA uses them: each case's exit status,
// what is written where, and what the screen says.
TEST_F(Vrnrecover, OptionsSummaryAndExitStatuses) {
    const std::string whole = RowsDump(folder_, "whole.dmp", 0);
    const std::string cut = RowsDump(folder_, "cut.dmp", 3 * 2048);
    // Cut 1 MiB short: the dump ends before the database "sales" starts.
    const std::string short_dump = RowsDump(folder_, "short.dmp", 1 << 20);
    // 100 databases: their usage records fill two pages.
    const std::string many = ManyDatabasesDump(folder_.path(), "many.dmp", 100, 0);
    const std::string clones = ManyDatabasesDump(folder_.path(), "clones.dmp", 2, 40);
    // A dump alone in its folder, recovered into that folder.
    const std::string own = folder_ / "own";
    ASSERT_TRUE(platform::createDirectory(own));
    const std::string own_dump = ManyDatabasesDump(own, "own.dmp", 3, 0);
    const std::string no_total = folder_ / "no_total.ini";
    ASSERT_TRUE(WriteFileText(no_total, "[table_0]\nname=orders\n"));
    const std::string full = folder_ / "full";
    ASSERT_TRUE(platform::createDirectory(full));
    ASSERT_TRUE(WriteFileText(JoinPath(full, "keep.txt"), "x"));
    const std::string deep = folder_ / "deep/a/b";
    const std::string outside = folder_ / "precious.txt";
    ASSERT_TRUE(WriteFileText(outside, "keep me"));
    // Databases named as the files beside the database folders are.
    dumpwriter::Dump names(2);
    names.database("master", 1, 0);
    int base = 2;
    for (const char *name : {"recovery.log", "INT0.INI", "sales"}) {
        dumpwriter::Schema schema;
        schema.table(101, "orders").column("id", dumpwriter::types::kInt);
        schema.add_to(names.database(name, static_cast<int16_t>(3 + base), base));
        base += 2;
    }
    const std::string own_names = folder_ / "names.dmp";
    ASSERT_TRUE(names.write_file(own_names));
    struct Case {
        const char *what;
        std::vector<std::string> args;
        int status;
        const char *out_has;
        const char *err_has;
        std::vector<std::string> tree; // below folder_/t when not empty
        // After t is emptied, before the run; false: the case cannot be set up here.
        std::function<bool()> before = nullptr;
        std::vector<std::string> folders = {}; // the database folders in t, when not empty
    };
    const std::string t = folder_ / "t";
    const Case cases[] = {
        {"a truncated dump ends with its losses and status 8", {"-q", "-o", t, cut}, kExitLosses, "lost: ", "losses",
         {}},
        {"a dump that ends before a database it lists loses that database whole", {"-q", "-o", t, short_dump},
         kExitLosses, "sales: lost whole", "losses", {}},
        {"a dump of 100 databases gives all 100", {"-q", "-o", t, many}, kExitOk,
         "100 databases, 99 tables, 99 rows written\n  lost: nothing", "", {}},
        {"databases whose usage records name the pages of another are lost, not written again",
         {"-q", "-o", t, clones}, kExitLosses,
         "    clone_40: lost whole, its usage records place it on the pages of database db_1", "losses", {}},
        {"-o into the dump's own folder: no database is decoded with the description written for the one before",
         {"-q", "--force", "-o", own, own_dump}, kExitOk, "3 databases, 2 tables, 2 rows written", "", {}},
        {"a --template that does not exist is refused before anything is written",
         {"-q", "--template", folder_ / "none.ini", "-o", t, whole}, kExitNoCatalogue, "", "none.ini' does not exist",
         {"recovery.log"}},
        {"a --template that is a folder", {"-q", "--template", folder_.path(), "-o", t, whole}, kExitNoCatalogue, "",
         "is a folder", {"recovery.log"}},
#if !defined(_WIN32)
        {"a --template that is a device", {"-q", "--template", "/dev/zero", "-o", t, whole}, kExitNoCatalogue, "",
         "is not a regular file", {"recovery.log"}},
#endif
        {"a --template without [Total]", {"-q", "--template", no_total, "-o", t, whole}, kExitNoCatalogue, "",
         "has no [Total] section", {"recovery.log"}},
        {"--list writes nothing", {"--list", whole, folder_ / "listed"}, kExitOk, "  orders  400 rows  (id int, note char(100))", "", {}},
        {"-o refuses a folder that is not empty", {"-o", full, whole}, kExitOutputNotWritable, "", "--force", {}},
        {"--force writes into it", {"-q", "--force", "-o", full, whole}, kExitOk, "400 rows written", "", {}},
        {"-o makes the folder with its parents, the log inside", {"-q", "-o", deep, whole}, kExitOk,
         "log: ", "", {}},
        {"a dated folder below a target made with its parents", {"-q", whole, folder_ / "t/x/y"}, kExitOk,
         "400 rows written", "", {}},
        {"patterns and schema only", {"-q", "-d", "sal*", "-t", "ord?rs", "--schema-only", "-o", t, whole}, kExitOk,
         "0 rows written", "", {"commit.bat", "commit.sh", "int0.ini", "manifest.json", "orders.sql", "recovery.log"}},
        {"rows per file", {"-q", "-d", "sales", "--rows-per-file", "1000", "--data-only", "-o", t, whole}, kExitOk, "", "",
         {"commit.bat", "commit.sh", "int0.ini", "manifest.json", "orders_1.sql", "recovery.log"}},
        {"databases named after the output's own files keep apart from them", {"-q", "-o", t, own_names}, kExitOk,
         "4 databases, 3 tables", "", {}, nullptr, {"INT0.INI-2/", "master/", "recovery.log-2/", "sales/"}},
        {"a folder planted at a table's script costs that table's script only", {"-q", "--force", "-o", t, whole},
         kExitLosses, "sales.orders: 0 rows skipped, 0 pages unreadable, 0 chains broken, 0 values written as NULL, "
                      "1 script not created\n",
         "losses", {"commit.bat", "commit.bat", "commit.sh", "commit.sh", "int0.ini", "manifest.json", "orders_1.sql", "orders_2.sql",
                    "orders_3.sql", "orders_4.sql", "recovery.log"},
         [&] { return platform::createDirectoryWithParents(JoinPath(t, "sales/orders.sql")); }},
        {"a link planted at the log is refused", {"-q", "--force", "-o", t, whole}, kExitOutputNotWritable, "",
         "is a link", {},
         [&] {
             if (!platform::createDirectory(t)) return false;
             std::error_code error;
             std::filesystem::create_symlink(outside, JoinPath(t, "recovery.log"), error);
             return !error;
         }},
        {"a table pattern that matches nothing is an error naming it", {"-q", "-t", "nosuch", "-o", t, whole},
         kExitUsage, "", "table 'nosuch'", {}},
        {"a database pattern that matches nothing is an error naming it",
         {"-q", "-d", "sales", "-d", "nosuch", "-o", t, whole}, kExitUsage, "", "database 'nosuch'", {}},
        {"--list --json gives each table's account as manifest.json does", {"-q", "--list", "--json", whole},
         kExitOk, "{\"name\": \"orders\", \"rows_written\": 400, \"rows_skipped\": 0", "", {}},
        {"--json without --list is refused", {"-q", "--json", "-o", t, whole}, kExitUsage, "",
         "--json goes with --list", {}},
        {"-j 0 is refused", {"-q", "-j", "0", "-o", t, whole}, kExitUsage, "", "-j needs a number of threads", {}},
        {"-j 65 is refused", {"-q", "-j", "65", "-o", t, whole}, kExitUsage, "", "-j needs a number of threads", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::RemoveTree(t);
        if (c.before && !c.before()) continue; // e.g. no links under Wine
        EXPECT_EQ(Run(c.args), c.status) << err_.str();
        EXPECT_NE(out_.str().find(c.out_has), std::string::npos) << out_.str();
        EXPECT_NE(err_.str().find(c.err_has), std::string::npos) << err_.str();
        if (!c.tree.empty()) {
            std::vector<std::string> files;
            for (const std::string &f : ListTree(t)) {
                const size_t slash = f.rfind('/');
                if (f.back() != '/') files.push_back(slash == std::string::npos ? f : f.substr(slash + 1));
            }
            std::sort(files.begin(), files.end());
            EXPECT_EQ(files, c.tree);
        }
        if (!c.folders.empty()) {
            std::vector<std::string> folders;
            for (const std::string &f : ListTree(t))
                if (f.back() == '/' && f.find('/') == f.size() - 1) folders.push_back(f);
            std::sort(folders.begin(), folders.end());
            EXPECT_EQ(folders, c.folders);
        }
    }
    EXPECT_EQ(platform::pathKind(folder_ / "listed"), platform::PathKind::Missing) << "--list made nothing";
    EXPECT_TRUE(platform::exists(JoinPath(deep, "recovery.log")));
    EXPECT_TRUE(platform::exists(JoinPath(full, "keep.txt")));
    EXPECT_EQ(testsupport::ReadFileText(outside), "keep me");

    // A template beside the dump is named on screen.
    ASSERT_TRUE(WriteFileText(folder_ / "int0.ini", testsupport::ReadFileText(JoinPath(deep, "int0.ini"))));
    EXPECT_EQ(Run({"-q", "-o", folder_ / "tpl", whole}), kExitOk);
    EXPECT_NE(err_.str().find("using the template " + JoinPath(folder_.path(), "int0.ini")), std::string::npos)
        << err_.str();
}

// ---------------------------------------------------------------- on a terminal

namespace {

// What a terminal shows of `bytes`: a carriage return goes back to the
// start of the line, a line feed to the next line, any other byte
// overwrites the cell under the cursor. Also every segment drawn in place
// (the text before a carriage return) with the pass last announced on a
// line of its own ("Pass <n>: ...") when it was drawn.
struct Screen {
    std::vector<std::string> lines{1};
    std::vector<std::pair<std::string, int>> drawn;
    explicit Screen(const std::string &bytes) {
        size_t column = 0;
        std::string segment;
        int announced = 0;
        for (char c : bytes) {
            if (c == '\r' || c == '\n') {
                if (c == '\r' && segment.find_first_not_of(' ') != std::string::npos) drawn.push_back({segment, announced});
                if (c == '\n' && segment.compare(0, 5, "Pass ") == 0 && segment.find(':') != std::string::npos)
                    announced = std::atoi(segment.c_str() + 5);
                segment.clear();
                if (c == '\n') lines.emplace_back();
                column = 0;
                continue;
            }
            std::string &line = lines.back();
            if (line.size() <= column) line.resize(column + 1, ' ');
            line[column++] = c;
            segment += c;
        }
        for (std::string &line : lines) line.erase(line.find_last_not_of(' ') + 1);
    }
    // The first line starting with `text`, or lines.size().
    size_t Row(const std::string &text) const {
        size_t row = 0;
        while (row < lines.size() && lines[row].compare(0, text.size(), text) != 0) ++row;
        return row;
    }
};

} // namespace

// A recovery on a terminal, both dump generations, texts and summary on one
// screen: every pass is announced, the line drawn in place is one line of
// moving figures never behind the pass announced above it, never a second
// bar, nothing is drawn in place once the last pass is done, the summary
// follows the texts with no progress line left between them, and a run too
// short to measure gives no rates.
TEST_F(Vrnrecover, OnATerminalOneLineEveryPassAndNothingDrawnAfterTheEnd) {
    const std::string databases = "database master 1 0\n"
                                  "table 101 spt_values\ncolumn number int\nrow 1\n"
                                  "database sales 5 4\n"
                                  "table 110 customers\ncolumn id int\ncolumn name varchar(20)\n"
                                  "row 1 'a'\nrow 2 'b'\nrow 3 'c'\n"
                                  "database stock 6 8\n"
                                  "table 120 items\ncolumn code char(8)\nrow 'A-100'\n";
    struct Case {
        const char *what;
        std::string description;
    };
    const Case cases[] = {
        {"format 12", "block_size 4\n" + databases},
        {"format 15, with a database listed after the last one recovered",
         "format 15\nblock_size 8\n" + databases + "database archive 7 12\nskip\ntable 130 old\ncolumn id int\nrow 1\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::istringstream in(c.description);
        std::string problem;
        const std::unique_ptr<dumpwriter::Dump> dump = dumpwriter::ReadDescription(in, problem);
        ASSERT_TRUE(dump) << problem;
        const std::string path = folder_ / "terminal.dmp";
        ASSERT_TRUE(dump->write_file(path));
        const std::string t = folder_ / "t";
        testsupport::RemoveTree(t);

        std::ostringstream both;
        HostSettings settings;
        settings.library_path = testsupport::LibraryBesideProgram("vrndll");
        settings.terminal = true;
        settings.width = 80;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(RunHost({"-o", t, path}, both, both, settings), kExitOk);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const std::string bytes = both.str();
        const Screen screen(bytes);

        // Every pass announced, in order, on a line of its own.
        std::vector<int> announced;
        for (const std::string &line : screen.lines)
            if (line.compare(0, 5, "Pass ") == 0 && line.find(':') != std::string::npos)
                announced.push_back(std::atoi(line.c_str() + 5));
        EXPECT_EQ(announced, (std::vector<int>{1, 2, 3})) << bytes;

        // Drawn in place: moving figures alone, never a bar nor a pass text,
        // never behind the pass announced above them.
        EXPECT_FALSE(screen.drawn.empty()) << bytes;
        for (const auto &d : screen.drawn) {
            EXPECT_EQ(d.first.find('['), std::string::npos) << d.first;
            EXPECT_EQ(d.first.find(':'), std::string::npos) << d.first;
            ASSERT_EQ(d.first.compare(0, 5, "Pass "), 0) << d.first;
            EXPECT_GE(std::atoi(d.first.c_str() + 5), d.second) << d.first;
        }

        // The text that closes a pass (the one above "Pass 2: ...") stands
        // right above the summary, and nothing is drawn in place after it.
        const size_t pass2 = screen.Row("Pass 2:");
        const size_t summary = screen.Row("Recovered terminal.dmp");
        ASSERT_LT(summary, screen.lines.size()) << bytes;
        ASSERT_GT(pass2, 0u);
        const std::string done = screen.lines[pass2 - 1];
        EXPECT_EQ(screen.lines[summary - 1], done) << bytes;
        const size_t end = bytes.rfind(done + "\n", bytes.find("Recovered terminal.dmp"));
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(bytes.find('\r', end), std::string::npos) << "drawn after the end:\n" << bytes.substr(end);

        // A run too short to measure names no rate, on the line or in the summary.
        if (seconds < ProgressDisplay::kShortestMeasuredRun) {
            EXPECT_EQ(bytes.find("/s"), std::string::npos) << bytes;
        }
    }
}
