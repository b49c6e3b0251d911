// manifest.json: what a recovery wrote and lost, per database and table,
// for checking a load against. Rows written, the files made, every count
// of loss, and the values written as NULL or changed with their data page
// and row (at most ValueLosses::kListed a table, and how many more).
//
// Names come from the dump and may hold any byte: every string is written
// as valid JSON (quotes, backslashes and control characters escaped; a byte
// that is not part of valid UTF-8 is written as the code point of the same
// number, U+0080 to U+00FF), so the file always parses.
#pragma once

#include <string>
#include <vector>

#include "vrndll/call/RecoveryCounts.h"
#include "vrndll/call/ValueLosses.h"

struct ManifestTable {
    std::string name;
    RecoveryCounts counts;
    std::vector<std::string> files; // below the output folder
    ValueLosses lost_values;
};

struct ManifestDatabase {
    std::string name;
    std::string folder; // below the output folder; empty for none
    bool lost = false;  // lost whole
    std::string reason;
    std::vector<std::string> files;
    std::vector<ManifestTable> tables;
};

struct Manifest {
    std::vector<ManifestDatabase> databases;
    // The whole document; `stop` is empty for a run that ended, else why
    // it stopped.
    std::string Json(const std::string &stop) const;
};

// `bytes` as a JSON string, quotes included.
std::string JsonString(const std::string &bytes);
