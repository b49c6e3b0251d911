// A scratch folder for logger tests: TALVANETMP points at it while a test
// runs, so every Logger the test builds keeps its temporary space there.
#pragma once

#include "Common/logger/logger.h"
#include "platform/platform.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class LoggerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root_.empty());
        hadTemp_ = platform::getEnvironment("TALVANETMP", savedTemp_);
        platform::setEnvironment("TALVANETMP", root_);
    }
    void TearDown() override {
        if (hadTemp_)
            platform::setEnvironment("TALVANETMP", savedTemp_);
        else
            platform::unsetEnvironment("TALVANETMP");
    }

    std::string Path(const std::string &name) const { return folder_ / name; }

    static std::vector<std::string> Lines(const std::string &path) {
        Logger::FlushAll();
        return testsupport::SplitLines(testsupport::ReadFileText(path));
    }
    // The entry texts of a log: what follows " | " on each line, without the
    // space that stands for empty details.
    static std::vector<std::string> Texts(const std::string &path) {
        std::vector<std::string> texts;
        for (const std::string &line : Lines(path)) {
            const size_t bar = line.find(" | ");
            std::string text = bar == std::string::npos ? std::string() : line.substr(bar + 3);
            if (!text.empty() && text.back() == ' ') text.pop_back();
            texts.push_back(text);
        }
        return texts;
    }

    // Switches `log` to a new, empty file (no banner, no start-up log in it),
    // lets every level through and keeps stamps away for the next second.
    std::string StartCleanLog(Logger &log, const std::string &name) {
        log.setThreshold(LOG_ERROR); // the banner is written at info level
        log.SetLogFile(Path(name + ".startup").c_str());
        log.SetLogFile(Path(name).c_str());
        log.setThreshold(LOG_ALL);
        log.setLastStampTime(platform::nowSeconds());
        return Path(name);
    }

    testsupport::TempFolder folder_{"logger_test"};
    const std::string root_ = folder_.path();
    std::string savedTemp_;
    bool hadTemp_ = false;
};

// Position of `text` in `texts` at or after `from`, or texts.size().
inline size_t FindText(const std::vector<std::string> &texts, const std::string &text,
                       size_t from = 0) {
    for (size_t i = from; i < texts.size(); ++i)
        if (texts[i] == text) return i;
    return texts.size();
}
