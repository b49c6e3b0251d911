// One file of a load script (or the stream on standard output), written in
// order, of which only whole statements stay after a stop.
//
// Text is held and written out in pieces. MarkWhole notes that what was put
// so far ends whole (a statement, a page's rows); CutBack, after a cancel or
// a failure, drops what came after, whether it is still held or already in
// the file. Standard output cannot be taken back, so there the text is held
// until it is whole (up to kStreamHold bytes, past which it is written and
// a later cut can no longer reach it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

class ScriptFile {
public:
    ScriptFile() = default;
    ~ScriptFile() { Close(); }
    ScriptFile(const ScriptFile &) = delete;
    ScriptFile &operator=(const ScriptFile &) = delete;

    // Creates the file at `path`, never through a link planted at its name.
    // False (logged) when it cannot be made.
    bool Create(const std::string &path);
    // Writes to standard output instead; `name` names it in the log.
    bool OpenStandardOutput(const std::string &name);
    bool is_open() const { return file_.isOpen(); }
    bool failed() const { return failed_; }
    const std::string &path() const { return path_; }

    void Put(const std::string &text) { Put(text.data(), text.size()); }
    void Put(const char *text, size_t n);
    // What was put so far ends whole.
    void MarkWhole() { whole_ = written_ + held_.size(); }
    // Drops what was put after the last MarkWhole.
    void CutBack();
    // Writes out what is held and closes the file. False when a write failed
    // since it was opened.
    bool Close();

    static constexpr size_t kFlushSize = 1u << 20;
    static constexpr size_t kStreamHold = 64u << 20;

private:
    // Takes `file` (opened for `path`; closed when it could not be opened,
    // which is logged as "Cannot <verb> <path>").
    bool Open(platform::File file, const std::string &path, bool stream, const char *verb);
    // Writes out what is held (on a stream only what is whole, unless more
    // than kStreamHold is held).
    void Flush(bool all);

    platform::File file_;
    std::string path_;
    std::string held_;     // text not yet written
    uint64_t written_ = 0; // bytes written
    uint64_t whole_ = 0;   // bytes of whole text, written and held
    bool stream_ = false;
    bool failed_ = false;
};
