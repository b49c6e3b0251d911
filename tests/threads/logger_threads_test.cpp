// Entries of every form written to one log from several threads at once:
// each reaches the file whole, once, in its thread's order, while another
// thread flushes, asks for temporary names and reads the logger's state.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/logger_fixture.h"

namespace {

class LoggerThreads : public LoggerFixture {};

// The tag that names entry k of thread t, 13 characters.
std::string Tag(int t, int k) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "<t=%d k=%05d>", t, k);
    return tag;
}

// A text long enough that a torn entry would show.
std::string Filler(int k) { return std::string(static_cast<size_t>(60 + k % 90), static_cast<char>('a' + k % 26)); }

// The bytes of a hex dump entry: its tag padded to two dump lines.
std::string BinaryPayload(int t, int k) {
    std::string bytes = Tag(t, k);
    bytes.resize(32, '-');
    return bytes;
}

struct EntryForm {
    const char *level; // the level word as the line writes it ("%6s")
    std::function<void(Logger &, int, int)> write;
    std::function<std::string(int, int)> text; // the entry text the file shows
};

const std::vector<EntryForm> &Forms() {
    static const std::vector<EntryForm> forms = {
        {"  INFO", [](Logger &l, int t, int k) { l.Info((Tag(t, k) + Filler(k)).c_str()); },
         [](int t, int k) { return Tag(t, k) + Filler(k); }},
        {" DEBUG", [](Logger &l, int t, int k) { l.DebugText(Tag(t, k).c_str(), Filler(k).c_str()); },
         [](int t, int k) { return Tag(t, k) + " [" + Filler(k) + "]"; }},
        {"  INFO", [](Logger &l, int t, int k) { l.InfoFormat("%s %d %s", Tag(t, k).c_str(), k * 7, Filler(k).c_str()); },
         [](int t, int k) { return Tag(t, k) + " " + std::to_string(k * 7) + " " + Filler(k); }},
        {" ERROR", [](Logger &l, int t, int k) { l.ErrorFormat("%s|%x", Tag(t, k).c_str(), static_cast<unsigned>(k)); },
         [](int t, int k) {
             char hex[16];
             std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(k));
             return Tag(t, k) + "|" + hex;
         }},
        {" ERROR", [](Logger &l, int t, int k) { l.ErrorNumber(Tag(t, k).c_str(), -k); },
         [](int t, int k) { return Tag(t, k) + " [" + std::to_string(-k) + "]"; }},
        {" ERROR",
         [](Logger &l, int t, int k) {
             const std::string bytes = BinaryPayload(t, k);
             l.ErrorBinary(bytes.data(), bytes.size(), 1, false);
         },
         [](int t, int k) { return BinaryPayload(t, k); }},
    };
    return forms;
}

// One entry as read back: its level word and text (for a hex dump, the
// characters of its dump lines).
struct ReadEntry {
    std::string level, text;
};

// The entries of the log, or a failure naming the first line that is no
// part of a whole entry.
::testing::AssertionResult ReadEntries(const std::vector<std::string> &lines, std::vector<ReadEntry> &out) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        const size_t bar = line.find(" | ");
        if (bar == std::string::npos || bar < 6)
            return ::testing::AssertionFailure() << "line " << i << " is no entry: " << line;
        ReadEntry e{line.substr(0, 6), line.substr(bar + 3)};
        if (e.text != "binary data starts...") {
            if (e.text.empty() || e.text.back() != ' ')
                return ::testing::AssertionFailure() << "line " << i << " is cut: " << line;
            e.text.pop_back();
            out.push_back(e);
            continue;
        }
        // "  %08llX " and 16 hex pairs, the characters from column 61; then
        // the closing entry and the empty line its text ends with.
        std::string chars;
        for (++i; i < lines.size() && lines[i].rfind("  0000", 0) == 0; ++i) {
            if (lines[i].size() < 77) return ::testing::AssertionFailure() << "line " << i << " is cut";
            chars += lines[i].substr(61, 16);
        }
        if (i + 1 >= lines.size() || lines[i].find(" | binary data ends.") == std::string::npos || !lines[i + 1].empty())
            return ::testing::AssertionFailure() << "hex dump torn at line " << i;
        ++i;
        out.push_back({e.level, chars});
    }
    return ::testing::AssertionSuccess();
}

TEST_F(LoggerThreads, EntriesFromManyThreadsReachTheLogWholeOnceAndInTheirThreadsOrder) {
    constexpr int kThreads = 4;
    constexpr int kEntries = 1500;
    Logger log(kLoggerProduct, LOG_INFO);
    const std::string path = StartCleanLog(log, "threads.log");

    std::atomic<int> writing{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kEntries; ++k) Forms()[static_cast<size_t>(k) % Forms().size()].write(log, t, k);
            writing -= 1;
        });
    }
    // Meanwhile the rest of the logger is used as a driver uses it.
    int names = 0;
    while (writing.load() > 0) {
        log.Flush();
        if (names < 20 && log.NewTempFileName() != nullptr) ++names;
        EXPECT_TRUE(log.hasLogFile());
        EXPECT_GE(log.registeredCount(), names);
        EXPECT_GT(log.lastStampTime(), 0);
        log.setThreshold(LOG_ALL);
        std::this_thread::yield();
    }
    for (std::thread &t : threads) t.join();

    std::vector<ReadEntry> entries;
    ASSERT_TRUE(ReadEntries(Lines(path), entries));
    ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kEntries));
    std::vector<int> next(kThreads, 0);
    for (const ReadEntry &e : entries) {
        int t = -1, k = -1;
        ASSERT_EQ(std::sscanf(e.text.c_str(), "<t=%d k=%d>", &t, &k), 2) << e.text;
        ASSERT_TRUE(t >= 0 && t < kThreads) << e.text;
        ASSERT_EQ(k, next[static_cast<size_t>(t)]) << "thread " << t << " out of order";
        const EntryForm &form = Forms()[static_cast<size_t>(k) % Forms().size()];
        EXPECT_EQ(e.level, form.level);
        EXPECT_EQ(e.text, form.text(t, k));
        next[static_cast<size_t>(t)] += 1;
    }
}

} // namespace
