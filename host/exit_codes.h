// Exit statuses of vrnrecover, and how a result of the recovery library
// maps to them.
#pragma once

#include <string>

enum HostExitCode {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitCancelled = 3,
    kExitDumpUnreadable = 4,
    kExitNoCatalogue = 5,
    kExitOutputNotWritable = 6,
    kExitLibraryMissing = 7,
    kExitLosses = 8,
    kExitCompressed = 9,
    kExitBigEndian = 10,
};

struct HostOutcome {
    int exit_code = kExitOk;
    std::string message; // empty on success
};

// result: what FileRecover returned. cancel_requested: the user pressed
// Ctrl-C during the call. dump_readable: the dump could be opened after the
// call (the library reports an unreadable dump and an unwritable output
// alike).
HostOutcome ClassifyResult(int result, bool cancel_requested, bool dump_readable);

// status: what FileRecoverEx returned (VRN_STATUS_*); message: the report's.
HostOutcome ClassifyStatus(int status, const std::string &message, bool cancel_requested);
