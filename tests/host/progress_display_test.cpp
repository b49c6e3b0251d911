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
    // No bar before a percentage came: a bar at 0 % would flash and go.
    const std::string bar = "Pass 2: schema... [############------------]  50%  00:12";
    EXPECT_EQ(out.str(), "Pass 2: schema...\n\r" + bar);

    // A text clears the bar line, takes a line of its own, and the bar
    // comes back under it.
    out.str("");
    display.Diag("done");
    EXPECT_EQ(out.str(), "\r" + std::string(bar.size(), ' ') + "\rdone\n\r" + bar);

    // The end takes the line away: what follows stands under the texts.
    out.str("");
    display.Finish();
    EXPECT_EQ(out.str(), "\r" + std::string(bar.size(), ' ') + "\r");
}

TEST(ProgressDisplay, ElapsedTimeAndBar) {
    EXPECT_EQ(ProgressDisplay::FormatElapsed(-3), "00:00");
    EXPECT_EQ(ProgressDisplay::FormatElapsed(59.9), "00:59");
    EXPECT_EQ(ProgressDisplay::FormatElapsed(3600 * 2 + 61), "2:01:01");
    EXPECT_EQ(ProgressDisplay::Bar(50, 4), "[##--]");
    EXPECT_EQ(ProgressDisplay::Bar(150, 4), "[####]");
    EXPECT_EQ(ProgressDisplay::Bar(-1, 4), "[----]");
}

// On a narrow terminal the moving line is cut short of the last column, so
// it never wraps, whatever the table's name.
TEST(ProgressDisplay, TheMovingLineNeverWrapsOnANarrowTerminal) {
    for (int columns : {20, 40, 80}) {
        std::ostringstream out;
        ProgressDisplay display(out, ProgressDisplay::Mode::Terminal, [] { return 3.0; });
        display.SetWidth(columns);
        display.Diag("Pass 1: x..."); // draws the pass and its bar first
        ProgressFigures f;
        f.pass = 3;
        f.bytes_total = 2000000000;
        for (int step = 1; step <= 5; ++step) {
            f.bytes_scanned = 400000000ull * step;
            f.rows = 1000000ull * step;
            f.table = "sales." + std::string(static_cast<size_t>(step * 20), 't');
            display.Moving(f);
            if (step == 3) display.Diag("1 row lost");
        }
        display.Finish();
        std::string segment;
        for (char c : out.str()) {
            if (c == '\r' || c == '\n') {
                EXPECT_LT(segment.size(), static_cast<size_t>(columns)) << segment;
                segment.clear();
            } else {
                segment += c;
            }
        }
    }
    ProgressFigures f;
    f.bytes_scanned = 50000000;
    f.bytes_total = 100000000;
    f.rows = 1000;
    f.table = "db.t";
    EXPECT_EQ(ProgressLine(f, 10.0, 0), "Pass 1 | 50.0/100.0 MB 50% | 1000 rows 100 rows/s 5.0 MB/s | ETA 00:10 | db.t");
}
