// What vrnrecover shows while a recovery runs.
//
// On a terminal: every diagnostic text as a line, and below them one line,
// redrawn in place, with the current pass, a bar, the percentage and the
// elapsed time. Elsewhere (a file, a pipe): diagnostic texts and percentage
// changes as plain lines. Quiet: nothing.
#pragma once

#include <functional>
#include <ostream>
#include <string>

class ProgressDisplay {
public:
    enum class Mode { Quiet, Lines, Terminal };

    // elapsed_seconds: time since the recovery started.
    ProgressDisplay(std::ostream &out, Mode mode, std::function<double()> elapsed_seconds);

    // A text from the library: a diagnostic, or a pass announcement
    // ("Pass 2: recovering database schema...").
    void Diag(const std::string &text);
    // Progress 0..100.
    void Percent(int percent);
    // Ends the line drawn in place, if any.
    void Finish();

    // "mm:ss", or "h:mm:ss" from one hour on.
    static std::string FormatElapsed(double seconds);
    // "[#####-----]" of `width` cells for 0..100 percent.
    static std::string Bar(int percent, int width);

private:
    void Draw();
    void Clear();

    std::ostream &out_;
    Mode mode_;
    std::function<double()> elapsed_;
    std::string pass_;
    int percent_ = -1;
    size_t drawn_ = 0; // width of the line drawn in place; 0 when none
};
