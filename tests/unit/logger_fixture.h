// A scratch folder for logger tests: TALVANETMP points at it while a test
// runs, so every Logger the test builds keeps its temporary space there.
#pragma once

#include "Common/logger/logger.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class LoggerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        root_ = platform::tempPath() + "vrn_logger_test_" + std::to_string(platform::processId()) +
                "_" + std::to_string(++counter);
        RemoveTree(root_);
        ASSERT_TRUE(platform::createDirectory(root_)) << root_;
        hadTemp_ = platform::getEnvironment("TALVANETMP", savedTemp_);
        platform::setEnvironment("TALVANETMP", root_);
    }

    void TearDown() override {
        if (hadTemp_)
            platform::setEnvironment("TALVANETMP", savedTemp_);
        else
            platform::unsetEnvironment("TALVANETMP");
        RemoveTree(root_);
    }

    std::string Path(const std::string &name) const {
        return root_ + platform::kPathSeparator + name;
    }

    // Removes `path` and everything below it; links are removed, not followed.
    static void RemoveTree(const std::string &path) {
        if (platform::removeDirectory(path) || platform::deleteFile(path)) return;
        std::vector<platform::DirectoryEntry> entries;
        if (platform::listDirectory(path, "*", entries)) {
            for (const platform::DirectoryEntry &entry : entries)
                RemoveTree(path + platform::kPathSeparator + entry.name);
        }
        platform::removeDirectory(path);
    }

    static void WriteFile(const std::string &path, const std::string &content) {
        platform::File file = platform::File::createAlways(path);
        ASSERT_TRUE(file.isOpen()) << path;
        file.write(content.data(), content.size());
    }

    static std::string ReadFile(const std::string &path) {
        platform::File file = platform::File::openForReading(path);
        if (!file.isOpen()) return std::string();
        std::string content(static_cast<size_t>(file.size()), '\0');
        content.resize(file.readAt(0, &content[0], content.size()));
        return content;
    }

    // The lines of a file, split at "\n" (a final empty piece is dropped).
    static std::vector<std::string> ReadLines(const std::string &path) {
        std::vector<std::string> lines;
        const std::string content = ReadFile(path);
        size_t start = 0;
        while (start < content.size()) {
            size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            lines.push_back(content.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    // The entry text of a line "%6s %s | %s %s": what follows " | ", without
    // the single space that separates it from empty details.
    static std::string EntryText(const std::string &line) {
        const size_t bar = line.find(" | ");
        if (bar == std::string::npos) return std::string();
        std::string text = line.substr(bar + 3);
        if (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }

    static std::vector<std::string> EntryTexts(const std::string &path) {
        std::vector<std::string> texts;
        for (const std::string &line : ReadLines(path)) texts.push_back(EntryText(line));
        return texts;
    }

    // Switches `log` to a new, empty file (neither banner nor carried-over
    // start-up log in it), lets every level through and keeps stamps away
    // for the next second.
    std::string StartCleanLog(Logger &log, const std::string &name) {
        log.setThreshold(LOG_ERROR); // the banner is written at info level
        log.SetLogFile(Path(name + ".startup").c_str());
        log.SetLogFile(Path(name).c_str());
        log.setThreshold(LOG_ALL);
        log.setLastStampTime(platform::nowSeconds());
        return Path(name);
    }

    std::string root_;
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
