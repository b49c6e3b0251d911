// Result codes: signed integers passed upward unchanged through every
// layer, from the block reader to the exported call.
#pragma once

enum ResultCode : int {
    kOk = 0,
    // A read failed, a step failed, or an exception was caught.
    kFailed = -2,
    // A catalogue page the recovery needs is missing, or detection gave up.
    kNoCatalogue = -3,
    // An exception inside a scan; the same code as kOutputFailed.
    kScanException = -5,
    // An output file could not be created or written.
    kOutputFailed = -5,
    // One script file could not be created: its texts are lost, the
    // recovery goes on (not a stop). Never leaves the driver.
    kScriptNotCreated = -6,
    // A catalogue scan ran to the end of the dump (a success).
    kEndOfDump = -200,
    // Block-size detection gave up (reported as kNoCatalogue).
    kDetectGaveUp = -300,
    // The host's cancel flag said stop.
    kCancelled = -1000,
};

// True for the codes that end a recovery at once: cancelled, a failed
// output file or scan, a failed step.
inline bool IsStop(int rc) { return rc == kCancelled || rc == kScanException || rc == kFailed; }

// True for a cancel or a failed step: the codes a reading step passes up
// (a failed output file is not among them).
inline bool IsCancelOrFailure(int rc) { return rc == kCancelled || rc == kFailed; }
