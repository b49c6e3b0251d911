// What vrnrecover shows while a recovery runs.
//
// On a terminal: every diagnostic text as a line, and below them one line,
// redrawn in place: the moving figures of the recovery once they come (else
// the pass, a bar, the percentage and the elapsed time, once a percentage
// came). The line ends with the run: it is taken away when the last pass
// says it is done, and never drawn again after that, so the summary that
// follows stands under the texts alone. Elsewhere (a file, a pipe):
// diagnostic texts and percentage changes as plain lines. Quiet: nothing.
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
// current table, cut to at most `width` characters (0: not cut). Rates and
// ETA only once the run has lasted long enough to measure them.
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
    // Ends the display: the line drawn in place, if any, is taken away and
    // nothing is drawn in place after it.
    void Finish();
    // Seconds a run must last before a rate measured over it means anything.
    static constexpr double kShortestMeasuredRun = 0.5;

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
    int pass_number_ = 0;    // of the last pass announced
    std::string previous_;   // the text before the last one
    std::string done_text_;  // the text that closes a pass: the one shown just before a new pass
    bool done_known_ = false;
    bool shown_any_ = false; // a text was shown: previous_ holds it
    bool ended_ = false;     // the last pass is done: nothing more is drawn in place
};
