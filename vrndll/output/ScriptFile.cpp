// A load script's file (ScriptFile.h).
#include "vrndll/output/ScriptFile.h"

#include <utility>

#include "Common/logger/logger.h"

bool ScriptFile::Create(const std::string &path) {
    Close();
    return Open(platform::File::createAlways(path), path, false, "create");
}

bool ScriptFile::OpenStandardOutput(const std::string &name) {
    Close();
    return Open(platform::File::standardOutput(), name, true, "write");
}

bool ScriptFile::Open(platform::File file, const std::string &path, bool stream, const char *verb) {
    file_ = std::move(file);
    path_ = path;
    stream_ = stream;
    written_ = whole_ = 0;
    failed_ = !file_.isOpen();
    if (failed_) TheLogger().ErrorFormat("Cannot %s %s", verb, path.c_str());
    return !failed_;
}

void ScriptFile::Put(const char *text, size_t n) {
    if (!file_.isOpen() || failed_) return;
    held_.append(text, n);
    if (held_.size() >= kFlushSize) Flush(false);
}

void ScriptFile::Flush(bool all) {
    if (held_.empty() || !file_.isOpen() || failed_) return;
    size_t n = held_.size();
    if (stream_ && !all && n < kStreamHold) {
        // Only whole text leaves: what follows may still be cut back.
        n = whole_ > written_ ? static_cast<size_t>(whole_ - written_) : 0;
        if (n > held_.size()) n = held_.size();
        if (n == 0) return;
    }
    if (file_.write(held_.data(), n) != n) {
        TheLogger().ErrorFormat("Cannot write %s", path_.c_str());
        failed_ = true;
        return;
    }
    written_ += n;
    held_.erase(0, n);
}

void ScriptFile::CutBack() {
    if (!file_.isOpen()) return;
    if (whole_ >= written_) {
        held_.resize(static_cast<size_t>(whole_ - written_));
        return;
    }
    held_.clear();
    if (stream_) {
        TheLogger().ErrorFormat("%s ends inside a statement: the text after its last whole one was already written",
                                path_.c_str());
        return;
    }
    if (file_.seek(whole_) && file_.truncateHere()) {
        written_ = whole_;
    } else {
        TheLogger().ErrorFormat("Cannot cut %s back to its last whole statement", path_.c_str());
        failed_ = true;
    }
}

bool ScriptFile::Close() {
    if (!file_.isOpen()) return !failed_;
    Flush(true);
    file_.close();
    held_.clear();
    return !failed_;
}
