// The log entries whose words are fixed: readers of the log (people and
// scripts that look for them) rely on each text as it stands. Each case runs
// a scene and names the entries it must leave, to the letter; what a scene
// recovers is checked by the tests of that part, not here.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "parser_test_support.h"
#include "tests/support/table_builder.h"
#include "vrndll.h"
#include "tests/support/loaded_vrndll.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNRecover.h"

using dumpwriter::Bytes;
using dumpwriter::Dump;
using parsertest::CancelFlag;
using parsertest::LogCapture;
using parsertest::Parsed;
namespace types = dumpwriter::types;

namespace {

// A whole recovery of `dump` into a scratch folder, in this process.
void RecoverInProcess(Dump &dump) {
    testsupport::TempFolder out("log_contract");
    auto file = dump.memory_file();
    const uint32_t size = static_cast<uint32_t>(file->size());
    VRNRecover driver(file.get(), 2, size, 0, out.path().c_str(), size, 0, "");
    driver.Recover();
}

// A master whose page 1 holds exactly the objects named (ids 101, ...), one
// catalogue page, the length of record `bad` set to `rec_len`.
void ListWithRecordLength(const std::vector<std::string> &names, size_t bad, int16_t rec_len) {
    Dump d(4);
    d.without_master_device();
    dumpwriter::ChainOptions one_per_page;
    one_per_page.records_per_page = 1;
    auto &db = d.database("master", 1, 0).without_system_entries().chain(500, {Bytes(8, 1), Bytes(8, 1)}, one_per_page);
    db.catalogue_options(1000);
    size_t at = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        db.table(101 + static_cast<int32_t>(i), names[i]);
        if (i < bad) at += 71 + names[i].size();
    }
    d.master().edit_page(1, [at, rec_len](dumpwriter::Page &p) {
        p.body[at + 66] = static_cast<uint8_t>(rec_len & 0xff);
        p.body[at + 67] = static_cast<uint8_t>((static_cast<uint16_t>(rec_len) >> 8) & 0xff);
    });
    Parsed<> p(d);
    p.List();
}

class FailingFile : public platform::RandomAccessFile {
public:
    size_t readAt(uint64_t, void *, size_t) override { throw std::runtime_error("device error"); }
    uint64_t size() override { return uint64_t(1) << 30; }
};

// A host's FileRecover call of a missing dump, the host's callbacks and
// cancel flag put back as they were afterwards.
class HostCalls {
public:
    HostCalls() = default;
    ~HostCalls() {
        TheHost().write_diag = write_diag_;
        TheHost().status_bar = status_bar_;
        TheHost().break_flag = break_flag_;
        TheLogger().SetLogFile("");
    }
    HostCalls(const HostCalls &) = delete;
    HostCalls &operator=(const HostCalls &) = delete;
    void Call(const char *log_file) {
        FileRecover(missing_.c_str(), (folder_ / "target").c_str(), 0, testsupport::IgnoreDiag,
                    testsupport::IgnorePercent, 0, log_file);
    }
    std::string Log() const { return folder_ / "host.log"; }

private:
    WriteDiag write_diag_ = TheHost().write_diag;
    StatusBar status_bar_ = TheHost().status_bar;
    bool *break_flag_ = TheHost().break_flag;
    testsupport::TempFolder folder_{"log_contract_host"};
    std::string missing_ = folder_ / "no such dump.bin";
};

// An entry that starts with `text` (details may follow), `times` times
// (0: at least once).
struct Entry {
    std::string text;
    size_t times = 0;
};

size_t Starting(const std::vector<std::string> &entries, const std::string &text) {
    size_t n = 0;
    for (const std::string &e : entries) n += e.rfind(text, 0) == 0;
    return n;
}

struct Case {
    const char *scene;
    std::function<void()> run;
    std::vector<Entry> entries;
};

} // namespace

TEST(LogContract, EachSceneLeavesItsEntriesWordForWord) {
    const std::vector<Case> cases = {
        {"a format-12 recovery",
         [] {
             Dump d(2);
             dumpwriter::Schema master, sales;
             master.table(500, "-").without_object().column("x", types::kInt); // columns without a table
             master.add_to(d.database("master", 1, 0));
             sales.table(101, "orders").column("id", types::kInt).row({dumpwriter::encode::Int(1)});
             sales.table(102, "empty").column("id", types::kInt);
             sales.add_to(d.database("sales", 5, 4));
             RecoverInProcess(d);
         },
         {{"Run VRNParser12::Prepare"}, {"First block with database_info:"}, {"Table name: [orders]"}, {"Table ID: [101]"}, {"bl_type:101"},
          {"DatInd:1 RecLen:51 DataName:sales"}, {"Database type: [1]"}, {"Running getcol"},
          {"skip_tables_num= [0]"}, {"No Fkey"}, {"This table have not data"}, {"RecoverTableFromField()", 1},
          {"Cound of find tables =  [1]"}}},
        {"a format-15 recovery of more than a hundred objects, one of them deleted",
         [] {
             Dump d(4, dumpwriter::Format::k15);
             auto &master = d.database("master", 1, 0);
             master.object(102, 'U', "dropped", dumpwriter::records15::kDeletedRow);
             for (int i = 0; i < 200; ++i) master.table(200 + i, "t" + std::to_string(i));
             d.database("sales", 5, 8).table(110, "customers");
             RecoverInProcess(d);
         },
         {{"Parser15::big starts"}, {"Parser15::big ends"}, {"Grow Sysobj array"}, {"Table name: [dropped]"}}},
        {"a database without database information",
         [] {
             Dump d(4);
             d.database("master", 1, 0).table(101, "t");
             d.build();
             d.master().edit_page(d.master().pages_of(30)[0], [](dumpwriter::Page &p) { p.type = 77; });
             Parsed<> p(d);
             p.List();
         },
         {{"First block with database_info:-1"}}},
        {"block sizes told apart", [] {
             for (int kb : {4, 32}) {
                 Dump d(kb);
                 d.database("master", 1, 0).catalogue_options(1).table(101, "a").table(102, "b").table(103, "c");
                 Parsed<> p(d);
                 p->Detect(2);
             }
         },
         {{"Database type: [2]"}, {"Database type: [5]"}}},
        {"a catalogue record longer than its page", [] { ListWithRecordLength({"alpha", "beta", "gamma"}, 1, 3000); },
         {{"Bad rec_len [3000]"}}},
        {"a catalogue record shorter than its fixed part",
         [] { ListWithRecordLength({"alpha", "beta", "gamma"}, 1, 40); }, {{"Bad name_len"}}},
        {"a dump that ends before its database list",
         [] {
             Dump d(2);
             d.database("master", 1, 0).table(101, "never_found");
             auto file = d.memory_file();
             VRNParser12 small(file.get(), 2, 3, 0);
             small.VRN_bl_count = static_cast<int32_t>(file->size() / 2048);
             std::vector<DatabaseEntry> list;
             uint32_t count = 0;
             small.Prepare(&list, &count);
         },
         {{"ONLY 1 database"}}},
        {"a cancel during the first-page sweep",
         [] {
             Dump d(2);
             d.database("master", 1, 0).table(101, "t");
             Parsed<> p(d);
             p.Detect();
             CancelFlag cancel;
             cancel.Set(true);
             p->data_blockread();
         },
         {{"Recovered censel by user in data_blockread"}}},
        {"a database entry whose name fills its field", [] {
             VRNParser12 p(nullptr, 2, 0, 0);
             DatabaseEntry e;
             e.row = 3;
             e.rec_len = 52;
             std::memset(e.name, 'n', sizeof e.name); // no terminating NUL: never read past it
             p.LogDatabaseEntry(e);
         },
         {{"DatInd:3 RecLen:52 DataName:" + std::string(256, 'n')}}},
        {"a read that fails", [] {
             FailingFile file;
             BlockReader bl(2, 0, &file);
             bl.GetBlock(3);
             bl.len = 100;
             bl.GetAllBlock(3);
         },
         {{"A.F. Exp [Error while getting GetBlock] File [vrndll/VRNParser] Line  [92]"},
          {"A.F. Exp [Error while getting GetAllBlock] File [vrndll/VRNParser] Line  [132]"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scene);
        LogCapture log;
        c.run();
        const std::vector<std::string> entries = log.Entries();
        for (const Entry &e : c.entries) {
            if (e.times) EXPECT_EQ(Starting(entries, e.text), e.times) << e.text;
            else EXPECT_GE(Starting(entries, e.text), 1u) << e.text << "\n" << log.Raw();
        }
    }
}

// The host's calls log into the host's file: a missing dump, a cancel flag
// of the library's own made once when the host gives none, a null log path
// noted in the log of the call before (an empty one is not).
TEST(LogContract, TheHostsCallsLeaveTheirEntriesInTheHostsLog) {
    HostCalls host;
    bool flag = false;
    SetBreakFlag(&flag);
    host.Call(host.Log().c_str());
    SetBreakFlag(nullptr);
    host.Call(host.Log().c_str());
    host.Call(host.Log().c_str());
    host.Call(nullptr);
    host.Call("");
    const std::string text = testsupport::ReadFileText(host.Log());
    const std::vector<Entry> entries = {{"LogRequiredInformation failed to open file", 3},
                                        {"Cannot create destination file", 3},
                                        {"Breakflag initialized manually", 1},
                                        {"A.F. Exp [NULL!=logfile] File [vrndll/vrndll] Line  [147]", 1}};
    for (const Entry &e : entries) EXPECT_EQ(testsupport::Occurrences(text, e.text), e.times) << e.text << " in\n" << text;
}
