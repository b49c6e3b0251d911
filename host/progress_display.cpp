#include "host/progress_display.h"

#include <cstdio>
#include <utility>

namespace {

const int kBarWidth = 24;

bool IsPassAnnouncement(const std::string &text) {
    return text.size() > 3 && text.compare(text.size() - 3, 3, "...") == 0;
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
    if (IsPassAnnouncement(text)) pass_ = text;
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
    if (mode_ != Mode::Terminal || drawn_ == 0) return;
    out_ << '\n';
    drawn_ = 0;
    out_.flush();
}

void ProgressDisplay::Draw() {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", percent_ < 0 ? 0 : percent_);
    std::string line = (pass_.empty() ? std::string() : pass_ + " ") + Bar(percent_, kBarWidth) +
                       " " + percent + "  " + FormatElapsed(elapsed_ ? elapsed_() : 0.0);
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
