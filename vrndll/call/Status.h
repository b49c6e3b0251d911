// The result of a recovery call: its code and, where a failure's cause is
// known, that cause and its reason in words, so that the log, the host's
// report and the exit status all tell one story.
//
// Codes keep their values (ResultCode.h, kCancelledBeforeStart). The cause
// tells apart what one code stands for: -5 is a dump that cannot be opened,
// an output that cannot be written, or an exception in a scan.
#pragma once

#include <string>
#include <utility>

#include "vrndll/call/ResultCode.h"

enum class Failure {
    kNone,
    kSourceUnreadable, // the dump cannot be opened (or is a folder)
    kCompressedDump,   // a gzip or zlib stream
    kBigEndianDump,    // pages written by a big-endian server
    kTemplateRefused,  // the description template cannot serve
    kOutputFolder,     // the output folder cannot be made
};

class Status {
public:
    Status() = default;
    explicit Status(int code, Failure failure = Failure::kNone, std::string reason = std::string())
        : code_(code), failure_(failure), reason_(std::move(reason)) {}

    int code() const { return code_; }
    Failure failure() const { return failure_; }
    // Why, in words a user can act on; empty when only the code is known.
    const std::string &reason() const { return reason_; }
    bool ok() const { return code_ == kOk; }

private:
    int code_ = kOk;
    Failure failure_ = Failure::kNone;
    std::string reason_;
};
