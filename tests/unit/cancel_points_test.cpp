// A cancel at every point where the recovery asks for one: the host's flag
// set at the n-th block read and at the n-th host callback, for every n a
// whole recovery reaches. Each run ends with the cancel result (or, when the
// flag came after the last question, with the whole output), every file
// closed, and no script ending inside a batch.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_chain.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNRecover.h"

using testsupport::JoinPath;
using testsupport::ListTree;
using testsupport::ReadFileText;
using testsupport::TempFolder;
namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

namespace {

bool g_stop = false;
int64_t g_stop_at_read = 0;     // 0: never
int64_t g_stop_at_callback = 0; // 0: never
int64_t g_reads = 0;
int64_t g_callbacks = 0;

void Called() {
    if (++g_callbacks == g_stop_at_callback) g_stop = true;
}
void OnDiag(const char *, uintptr_t) { Called(); }
void OnBar(const char *, int, uintptr_t) { Called(); }

// The dump from memory, counting reads.
class CountingFile final : public platform::RandomAccessFile {
public:
    explicit CountingFile(std::vector<uint8_t> bytes) : file_(std::move(bytes)) {}
    size_t readAt(uint64_t offset, void *buffer, size_t count) override {
        if (++g_reads == g_stop_at_read) g_stop = true;
        return file_.readAt(offset, buffer, count);
    }
    uint64_t size() override { return file_.size(); }

private:
    platform::MemoryFile file_;
};

// Host callbacks and cancel flag of the library, restored afterwards.
class HostHooks {
public:
    HostHooks() : saved_(TheHost()) {
        TheHost().write_diag = OnDiag;
        TheHost().status_bar = OnBar;
        TheHost().break_flag = &g_stop;
    }
    ~HostHooks() {
        TheHost().write_diag = saved_.write_diag;
        TheHost().status_bar = saved_.status_bar;
        TheHost().break_flag = saved_.break_flag;
    }

private:
    struct Saved {
        explicit Saved(const SA_interractions &h)
            : write_diag(h.write_diag), status_bar(h.status_bar), break_flag(h.break_flag) {}
        WriteDiag write_diag;
        StatusBar status_bar;
        bool *break_flag;
    } saved_;
};

// Two tables over several pages, one with text values on chains.
std::vector<uint8_t> SampleDump() {
    dumpwriter::Dump dump(2);
    dump.database("master", 1, 0);
    dumpwriter::Database &sales = dump.database("sales", 5, 4);
    dumpwriter::Schema schema;
    dumpwriter::Table &orders = schema.table(101, "orders")
                                    .column("id", types::kInt)
                                    .column("note", types::kVarChar, 40, dumpwriter::kNull)
                                    .rows_per_page(7);
    for (int k = 0; k < 60; ++k) orders.row({encode::Int(k), encode::Chars("order " + std::to_string(k))});
    // Pages of long values: a page's batch leaves in pieces (some of them
    // written to disk) before its last row's chain is read.
    dumpwriter::Table &docs =
        schema.table(102, "docs").column("k", types::kInt).column("body", types::kText, 16, dumpwriter::kNull).rows_per_page(4);
    for (int k = 0; k < 12; ++k) {
        dumpwriter::TextChain(sales, 102, 600 + 14 * k, dumpwriter::ToBytes(std::string(25000, 'a' + k)), 1900);
        docs.row({encode::Int(k), encode::TextPointer(600 + 14 * k)});
    }
    schema.add_to(sales);
    return dump.bytes();
}

struct Outcome {
    int rc = 0;
    bool files_open = false;
    std::vector<std::string> tree;
    std::string scripts; // every file's name and text
    std::vector<std::string> cut_scripts; // scripts that end inside a batch
};

Outcome RecoverOnce(const std::vector<uint8_t> &bytes, const std::string &target) {
    Outcome out;
    platform::createDirectory(target);
    CountingFile file(bytes);
    {
        VRNRecover driver(&file, 2, static_cast<uint32_t>(bytes.size()), 0, target.c_str(),
                          static_cast<uint32_t>(bytes.size()), 0, "");
        out.rc = driver.Recover();
        out.files_open = driver.outfiles.AnyOpen();
    }
    out.tree = ListTree(target);
    for (const std::string &name : out.tree) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".sql") != 0) continue;
        const std::string text = ReadFileText(JoinPath(target, name));
        out.scripts += name + "\n" + text;
        const bool whole = text.empty() || (text.size() >= 3 && text.compare(text.size() - 3, 3, "\nGO") == 0) ||
                           (text.size() >= 4 && text.compare(text.size() - 4, 4, "\nGO\n") == 0);
        if (!whole) out.cut_scripts.push_back(name);
    }
    return out;
}

TEST(CancelPoints, AFlagSetAtAnyReadOrCallbackEndsTheRecoveryCleanly) {
    HostHooks hooks;
    const std::vector<uint8_t> bytes = SampleDump();
    TempFolder folder("cancel_points");

    g_stop = false;
    g_stop_at_read = g_stop_at_callback = 0;
    g_reads = g_callbacks = 0;
    const Outcome full = RecoverOnce(bytes, folder / "full");
    ASSERT_EQ(full.rc, 0);
    ASSERT_TRUE(full.cut_scripts.empty());
    const int64_t reads = g_reads, callbacks = g_callbacks;
    ASSERT_GT(reads, 50);
    ASSERT_GT(callbacks, 3);

    struct Kind {
        const char *name;
        int64_t *stop_at;
        int64_t count;
    };
    int cancelled = 0, runs = 0;
    for (const Kind &kind : {Kind{"read", &g_stop_at_read, reads}, Kind{"callback", &g_stop_at_callback, callbacks}}) {
        // Every n up to 40, then a spread of later ones up to the last.
        const int64_t step = kind.count > 120 ? kind.count / 80 : 1;
        for (int64_t n = 1; n <= kind.count; n = n < 40 || n + step > kind.count ? n + 1 : n + step) {
            SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(n));
            g_stop = false;
            g_stop_at_read = g_stop_at_callback = 0;
            *kind.stop_at = n;
            g_reads = g_callbacks = 0;
            const std::string target = folder / (std::string(kind.name) + std::to_string(n));
            const Outcome run = RecoverOnce(bytes, target);
            ++runs;
            EXPECT_FALSE(run.files_open);
            EXPECT_TRUE(run.cut_scripts.empty()) << run.cut_scripts.front();
            if (run.rc == kCancelled) {
                ++cancelled;
            } else {
                // Too late to stop anything: the whole output.
                EXPECT_EQ(run.rc, 0);
                EXPECT_EQ(run.tree, full.tree);
                EXPECT_TRUE(run.scripts == full.scripts);
            }
            testsupport::RemoveTree(target);
        }
    }
    g_stop = false;
    EXPECT_GT(cancelled, runs * 9 / 10) << cancelled << " of " << runs << " runs cancelled";
}

} // namespace
