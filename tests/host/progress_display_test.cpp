// What vrnrecover shows during a recovery, on a terminal and elsewhere.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "host/progress_display.h"

namespace {

double TwelveSeconds() { return 12.4; }

} // namespace

TEST(ProgressDisplay, ElsewhereTextsAndPercentChangesAreLines) {
    std::ostringstream out;
    ProgressDisplay display(out, ProgressDisplay::Mode::Lines, TwelveSeconds);
    display.Diag("Pass 1: analyzing database...");
    display.Percent(50);
    display.Percent(50);
    display.Diag("done");
    display.Percent(100);
    display.Finish();
    EXPECT_EQ(out.str(), "Pass 1: analyzing database...\nprogress: 50%\ndone\nprogress: 100%\n");
}

TEST(ProgressDisplay, OnATerminalTheBarIsRedrawnInPlaceBelowTheTexts) {
    std::ostringstream out;
    ProgressDisplay display(out, ProgressDisplay::Mode::Terminal, TwelveSeconds);
    display.Diag("Pass 2: schema...");
    display.Percent(50);
    const std::string bar = "Pass 2: schema... [############------------]  50%  00:12";
    EXPECT_EQ(out.str(), "Pass 2: schema...\n\r" + std::string("Pass 2: schema... ") +
                             "[------------------------]   0%  00:12" + "\r" + bar);

    // A text clears the bar line, takes a line of its own, and the bar
    // comes back under it.
    out.str("");
    display.Diag("done");
    EXPECT_EQ(out.str(), "\r" + std::string(bar.size(), ' ') + "\rdone\n\r" + bar);

    out.str("");
    display.Finish();
    EXPECT_EQ(out.str(), "\n");
}

TEST(ProgressDisplay, ElapsedTimeAndBar) {
    EXPECT_EQ(ProgressDisplay::FormatElapsed(-3), "00:00");
    EXPECT_EQ(ProgressDisplay::FormatElapsed(59.9), "00:59");
    EXPECT_EQ(ProgressDisplay::FormatElapsed(3600 * 2 + 61), "2:01:01");
    EXPECT_EQ(ProgressDisplay::Bar(50, 4), "[##--]");
    EXPECT_EQ(ProgressDisplay::Bar(150, 4), "[####]");
    EXPECT_EQ(ProgressDisplay::Bar(-1, 4), "[----]");
}
