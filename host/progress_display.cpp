#include "host/progress_display.h"

#include <cstdio>
#include <utility>

namespace {

const int kBarWidth = 24;
// The recovery's passes: analysing, schema, rows.
const int kLastPass = 3;

bool IsPassAnnouncement(const std::string &text) {
    return text.size() > 3 && text.compare(text.size() - 3, 3, "...") == 0;
}

// The number of a pass announcement "<label> <n>: <what>...", or 0.
int PassNumberOf(const std::string &text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return 0;
    size_t begin = colon;
    while (begin > 0 && text[begin - 1] >= '0' && text[begin - 1] <= '9') --begin;
    if (begin == colon || colon - begin > 3) return 0;
    return std::stoi(text.substr(begin, colon - begin));
}

} // namespace

ProgressDisplay::ProgressDisplay(std::ostream &out, Mode mode,
                                 std::function<double()> elapsed_seconds)
    : out_(out), mode_(mode), elapsed_(std::move(elapsed_seconds)) {}

std::string ProgressDisplay::FormatElapsed(double seconds) {
    long long whole = seconds > 0 ? static_cast<long long>(seconds) : 0;
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string ProgressDisplay::Bar(int percent, int width) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    const int filled = percent * width / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(width - filled), '-') + "]";
}

void ProgressDisplay::Diag(const std::string &text) {
    if (mode_ == Mode::Quiet) return;
    if (IsPassAnnouncement(text)) {
        pass_ = text;
        pass_number_ = PassNumberOf(text);
        // Each pass after the first follows the text that closed the one before.
        if (pass_number_ > 1 && shown_any_) {
            done_text_ = previous_;
            done_known_ = true;
        }
    } else if (done_known_ && pass_number_ == kLastPass && text == done_text_) {
        // The last pass is done: a moving line drawn after this would show
        // figures of a run that has ended.
        ended_ = true;
    }
    previous_ = text;
    shown_any_ = true;
    Clear();
    out_ << text << '\n';
    if (mode_ == Mode::Terminal) Draw();
    out_.flush();
}

void ProgressDisplay::Percent(int percent) {
    if (mode_ == Mode::Quiet) return;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (mode_ == Mode::Lines) {
        if (percent != percent_) out_ << "progress: " << percent << "%\n";
        percent_ = percent;
    } else {
        percent_ = percent;
        Draw();
    }
    out_.flush();
}

void ProgressDisplay::Finish() {
    ended_ = true;
    if (mode_ != Mode::Terminal || drawn_ == 0) return;
    Clear();
    out_.flush();
}

namespace {

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

std::string ProgressLine(const ProgressFigures &f, double elapsed, size_t width) {
    const bool measured = elapsed >= ProgressDisplay::kShortestMeasuredRun;
    const double seconds = measured ? elapsed : ProgressDisplay::kShortestMeasuredRun;
    char head[160];
    const int share = f.bytes_total ? static_cast<int>(f.bytes_scanned * 100 / f.bytes_total) : 0;
    std::snprintf(head, sizeof head, "Pass %d | %s/%s MB %d%% | %s rows", f.pass, Megabytes(f.bytes_scanned).c_str(),
                  Megabytes(f.bytes_total).c_str(), share, std::to_string(f.rows).c_str());
    std::string line = head;
    if (measured) {
        char rates[64];
        std::snprintf(rates, sizeof rates, " %.0f rows/s %.1f MB/s", static_cast<double>(f.rows) / seconds,
                      static_cast<double>(f.bytes_scanned) / 1e6 / seconds);
        line += rates;
    }
    if (measured && f.bytes_scanned > 0 && f.bytes_total > f.bytes_scanned) {
        const double rate = static_cast<double>(f.bytes_scanned) / seconds;
        line += " | ETA " + ProgressDisplay::FormatElapsed(static_cast<double>(f.bytes_total - f.bytes_scanned) / rate);
    }
    if (!f.table.empty()) line += " | " + f.table;
    if (width > 0 && line.size() > width) line.resize(width);
    return line;
}

void ProgressDisplay::Moving(const ProgressFigures &figures) {
    if (mode_ != Mode::Terminal || ended_) return;
    moving_ = true;
    figures_ = figures;
    Draw();
    out_.flush();
}

void ProgressDisplay::Draw() {
    // Nothing after the end, and no bar of a percentage that never came:
    // a bar at 0 % beside the pass text would flash before the moving line.
    if (ended_ || (!moving_ && percent_ < 0)) return;
    // One column short of the width: a line that fills the last column
    // wraps on some terminals.
    const size_t columns = width_ > 1 ? static_cast<size_t>(width_ - 1) : 79;
    std::string line;
    if (moving_) {
        // Figures sent before a pass was announced show that pass already.
        ProgressFigures shown = figures_;
        if (pass_number_ > shown.pass && pass_number_ <= kLastPass) shown.pass = pass_number_;
        line = ProgressLine(shown, elapsed_ ? elapsed_() : 0.0, columns);
    } else {
        char percent[16];
        std::snprintf(percent, sizeof percent, "%3d%%", percent_ < 0 ? 0 : percent_);
        line = (pass_.empty() ? std::string() : pass_ + " ") + Bar(percent_, kBarWidth) + " " + percent + "  " +
               FormatElapsed(elapsed_ ? elapsed_() : 0.0);
        if (width_ > 1 && line.size() > columns) line.resize(columns);
    }
    // Blank out what is left of a longer line drawn before.
    const size_t width = line.size();
    if (width < drawn_) line += std::string(drawn_ - width, ' ');
    out_ << '\r' << line;
    drawn_ = width;
}

void ProgressDisplay::Clear() {
    if (mode_ != Mode::Terminal || drawn_ == 0) return;
    out_ << '\r' << std::string(drawn_, ' ') << '\r';
    drawn_ = 0;
}
