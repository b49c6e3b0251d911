#include "host/exit_codes.h"

#include "vrndll.h"

HostOutcome ClassifyResult(int result, bool cancel_requested, bool dump_readable) {
    HostOutcome outcome;
    if (result == VRN_RESULT_OK) return outcome;
    // A stop during the run comes back as a plain failure; the user's
    // Ctrl-C tells it apart.
    if (result == VRN_RESULT_CANCELLED || cancel_requested) {
        outcome.exit_code = kExitCancelled;
        outcome.message = "recovery cancelled";
        return outcome;
    }
    switch (result) {
    case VRN_RESULT_NO_SOURCE:
        if (!dump_readable) {
            outcome.exit_code = kExitDumpUnreadable;
            outcome.message = "cannot read the dump file";
        } else {
            outcome.exit_code = kExitOutputNotWritable;
            outcome.message = "could not write the output below the target folder (see the log)";
        }
        break;
    case VRN_RESULT_NO_CATALOGUE:
        outcome.exit_code = kExitNoCatalogue;
        outcome.message =
            "no database catalogue found: not a dump file, or damaged beyond recovery";
        break;
    case VRN_RESULT_DRIVER_FAILED:
        outcome.exit_code = kExitFailed;
        outcome.message = "the recovery failed while reading the dump (see the log)";
        break;
    case VRN_RESULT_FAILED:
        outcome.exit_code = kExitFailed;
        outcome.message = "the recovery failed (see the log)";
        break;
    default:
        outcome.exit_code = kExitFailed;
        outcome.message = "the recovery failed with result " + std::to_string(result);
        break;
    }
    return outcome;
}

HostOutcome ClassifyStatus(int status, const std::string &message, bool cancel_requested) {
    HostOutcome outcome;
    outcome.message = message;
    switch (status) {
    case VRN_STATUS_OK:
        outcome.message.clear();
        return outcome;
    case VRN_STATUS_LOSSES:
        outcome.exit_code = kExitLosses;
        outcome.message = "recovered with losses";
        return outcome;
    case VRN_STATUS_CANCELLED:
        outcome.exit_code = kExitCancelled;
        outcome.message = "recovery cancelled";
        return outcome;
    case VRN_STATUS_NO_SOURCE:
        outcome.exit_code = kExitDumpUnreadable;
        break;
    case VRN_STATUS_OUTPUT_FAILED:
        outcome.exit_code = kExitOutputNotWritable;
        break;
    case VRN_STATUS_NO_CATALOGUE:
        outcome.exit_code = kExitNoCatalogue;
        if (outcome.message.empty() || outcome.message.find("no database catalogue") == 0)
            outcome.message = "no database catalogue found: not a dump file, or damaged beyond recovery";
        break;
    case VRN_STATUS_COMPANION_MISSING:
        outcome.exit_code = kExitLibraryMissing;
        break;
    case VRN_STATUS_COMPRESSED:
        outcome.exit_code = kExitCompressed;
        break;
    case VRN_STATUS_BIG_ENDIAN:
        outcome.exit_code = kExitBigEndian;
        break;
    case VRN_STATUS_BAD_OPTIONS:
    case VRN_STATUS_NOTHING_MATCHED:
        outcome.exit_code = kExitUsage;
        break;
    default:
        outcome.exit_code = kExitFailed;
        break;
    }
    if (cancel_requested && status != VRN_STATUS_NO_SOURCE) {
        outcome.exit_code = kExitCancelled;
        outcome.message = "recovery cancelled";
    }
    if (outcome.message.empty()) outcome.message = "the recovery failed (see the log)";
    return outcome;
}
