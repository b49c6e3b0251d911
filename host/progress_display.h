// What vrnrecover shows while a recovery runs.
//
// On a terminal: every diagnostic text as a line, and below them one line,
// redrawn in place, with the current pass, a bar, the percentage and the
// elapsed time. Elsewhere (a file, a pipe): diagnostic texts and percentage
// changes as plain lines. Quiet: nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

// Where a recovery stands, as the library reports it.
struct ProgressFigures {
    int pass = 1;
    uint64_t bytes_scanned = 0;
    uint64_t bytes_total = 0;
    uint64_t rows = 0;
    std::string table; // "database.table", or "" between tables
};

// One progress line: pass, bytes and share, rows, rows/s, MB/s, ETA and the
// current table, cut to at most `width` characters (0: not cut).
std::string ProgressLine(const ProgressFigures &figures, double elapsed_seconds, size_t width);

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
    // Moving progress from the extended entry point: replaces the bar.
    void Moving(const ProgressFigures &figures);
    // Columns of the terminal: the line drawn in place stays shorter, so it
    // never wraps. 0: unknown (80 is assumed).
    void SetWidth(int columns) { width_ = columns; }
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
    int width_ = 0;
    bool moving_ = false; // Moving() figures replace the pass and bar
    ProgressFigures figures_;
};
