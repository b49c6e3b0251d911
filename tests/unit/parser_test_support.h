// Helpers of the parser tests: a dump in memory behind a parser, the log
// entries a test produced, the host's cancel flag, and a clock bound.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Common/logger/logger.h"
#include "platform/platform.h"
#include "tests/support/dump_writer.h"
#include "tests/support/temp_folder.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNParser12.h"
#include "vrndll/VRNParser15.h"

namespace parsertest {

// Sends the library's log to a fresh file for the life of the object and
// reads back the entry texts (what follows " | " on each line).
class LogCapture {
public:
    LogCapture() : folder_("parser_log") {
        Logger &log = TheLogger();
        saved_threshold_ = log.threshold();
        // Two switches: the first may carry over the start-up log, the
        // second starts the file we read, with its banner held back.
        log.setThreshold(LOG_ERROR);
        log.SetLogFile((folder_ / "carried.log").c_str());
        log.SetLogFile((folder_ / "test.log").c_str());
        log.setThreshold(LOG_ALL);
    }
    ~LogCapture() {
        TheLogger().SetLogFile("");
        TheLogger().setThreshold(saved_threshold_);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        TheLogger().Flush();
        for (const std::string &line : testsupport::SplitLines(testsupport::ReadFileText(folder_ / "test.log"))) {
            const size_t bar = line.find(" | ");
            if (bar == std::string::npos) continue;
            std::string text = line.substr(bar + 3);
            while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
            out.push_back(text);
        }
        return out;
    }
    bool HasContaining(const std::string &part) const {
        for (const std::string &e : Entries())
            if (e.find(part) != std::string::npos) return true;
        return false;
    }
    std::string Raw() const {
        TheLogger().Flush();
        return testsupport::ReadFileText(folder_ / "test.log");
    }

private:
    testsupport::TempFolder folder_;
    int saved_threshold_ = LOG_INFO;
};

// Points the host's cancel flag at a byte of ours for the life of the object.
class CancelFlag {
public:
    CancelFlag() : saved_(TheHost().break_flag) { TheHost().break_flag = &flag_; }
    ~CancelFlag() { TheHost().break_flag = saved_; }
    CancelFlag(const CancelFlag &) = delete;
    CancelFlag &operator=(const CancelFlag &) = delete;
    void Set(bool stop) { flag_ = stop; }

private:
    bool flag_ = false;
    bool *saved_;
};

// A dump in memory and a parser on it, built as the driver builds one
// (2 KiB, base 0); Detect() also sets the block count as the driver does.
template <class Parser = VRNParser12>
struct Parsed {
    std::unique_ptr<platform::RandomAccessFile> file;
    std::unique_ptr<Parser> parser;

    explicit Parsed(dumpwriter::Dump &dump) : Parsed(dump.memory_file()) {}
    explicit Parsed(std::unique_ptr<platform::RandomAccessFile> f) : file(std::move(f)) {
        parser.reset(new Parser(file.get(), 2, static_cast<int64_t>(file->size()), 0));
    }
    Parser *operator->() { return parser.get(); }

    int Detect() {
        const int rc = parser->Detect(2);
        parser->VRN_bl_count = static_cast<int32_t>(file->size() / (static_cast<uint64_t>(parser->bl.kb) * 1024));
        return rc;
    }
    // Detect, then the first Prepare, which lists the databases.
    int List() {
        const int rc = Detect();
        if (rc != 0) return rc;
        count = 0;
        return parser->Prepare(&databases, &count);
    }
    std::vector<DatabaseEntry> databases;
    uint32_t count = 0;
    // The catalogue entry called `name`, or null.
    const SysobjEntry *Object(const std::string &name) const {
        for (uint32_t i = 0; i < parser->iSysobj; ++i)
            if (name == parser->pSysobj[i].name) return &parser->pSysobj[i];
        return nullptr;
    }
};

// Fails the test when the code under test took longer than `seconds`.
class TimeBound {
public:
    explicit TimeBound(double seconds) : seconds_(seconds), start_(std::chrono::steady_clock::now()) {}
    ~TimeBound() {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
        EXPECT_LT(took.count(), seconds_) << "took " << took.count() << " s";
    }

private:
    double seconds_;
    std::chrono::steady_clock::time_point start_;
};

} // namespace parsertest
