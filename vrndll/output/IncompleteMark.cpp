// The file INCOMPLETE: what a recovery that stopped (a cancel, a failure)
// did not write.
//
// Left in the output folder beside the database folders, it names why the
// run stopped, where (the database and table being written), and what was
// never reached (the rest of that database, the databases after it). The
// load scripts of the database that was being written are closed with
// their trailer, so they load every script that is whole; a batch cut
// short was taken back out of its script. A later run into the same folder
// that ends removes the file.
#include <algorithm>
#include <cstring>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/VRNRecover.h"

namespace {

const char kIncompleteName[] = "INCOMPLETE";

const char *StopReason(int rc) {
    switch (rc) {
    case kCancelled: return "the recovery was cancelled";
    case kOutputFailed: return "an output file could not be written (see recovery.log)";
    case kNoCatalogue: return "the dump's catalogue was not found";
    default: return "the recovery failed (see recovery.log)";
    }
}

// What the load scripts of the database being written load after a stop.
const char *LoadScriptsAfterStop(OutputFormat format) {
    switch (format) {
    case OutputFormat::kTsql:
        return "Its commit.bat and commit.sh load the scripts written whole; foreign keys were not written.\n";
    case OutputFormat::kSqlite:
        return "Its load.sql loads the rows written whole; indexes were not written.\n";
    case OutputFormat::kPostgres:
    case OutputFormat::kCsv:
        break;
    }
    return "Its load.sql loads the rows written whole; keys, indexes and foreign keys were not written.\n";
}

} // namespace

std::string VRNRecover::IncompleteText(int rc) const {
    std::string text = "This output is incomplete: " + std::string(StopReason(rc)) + " before its end.\n";
    if (current_database_.empty()) {
        text += "No database was written.\n";
    } else {
        static const char *const kStages[] = {", while reading its catalogue", ", while writing the table scripts",
                                              ", while writing the rows"};
        text += "Stopped in database " + current_database_ + kStages[stage_ < 0 || stage_ > 2 ? 0 : stage_];
        if (!current_table_.empty()) text += " of table " + current_table_;
        text += ".\n";
        const bool tsql = options.output_format == OutputFormat::kTsql;
        if (stage_ == 2 && !current_table_.empty())
            text += (tsql ? "The data scripts of " : "The output of ") + current_table_ +
                    (tsql ? " hold" : " holds") + " the rows written before the stop.\n";
        // Before its table scripts nothing of the database is written: it
        // has no folder and no load scripts.
        if (stage_ == 0) text += "Nothing of " + current_database_ + " was written.\n";
        if (stage_ == 1) text += "No rows of " + current_database_ + " were written.\n";
        // The tables of the current database not reached.
        std::string missing;
        size_t count = 0;
        const uint32_t objects =
            parser ? parser->object_count() : 0;
        for (uint32_t j = stopped_table_ + 1; stopped_table_ >= 0 && j < objects; ++j) {
            const SysobjEntry &t = parser->pSysobj[j];
            if (!Wanted(t)) continue;
            missing += "  " + PrintableName(std::string(t.name, strnlen(t.name, sizeof t.name))) + "\n";
            count += 1;
        }
        if (count != 0)
            text += "Tables of " + current_database_ + " not reached (" + std::to_string(count) + "):\n" + missing;
        if (stage_ != 0) text += LoadScriptsAfterStop(options.output_format);
    }
    std::string names;
    size_t count = 0;
    const size_t listed = listed_databases();
    for (size_t i = stopped_database_ < 0 ? 0 : static_cast<size_t>(stopped_database_) + 1; i < listed; ++i) {
        const DatabaseEntry &db = databases[i];
        const std::string name(db.name, strnlen(db.name, sizeof db.name));
        if (!parser->IsUsable(db) || !MatchesAnyPattern(options.database_patterns, name)) continue;
        names += "  " + PrintableName(name) + "\n";
        count += 1;
    }
    if (count != 0) text += "Databases not reached (" + std::to_string(count) + "):\n" + names;
    return text;
}

bool VRNRecover::StopIsMarked() const {
    if (!writing_ || target_folder.empty()) return false;
    return outfiles.AnyFolderMade() || (options.output_folder_given && pass_state_ >= 1);
}

void VRNRecover::MarkIncomplete(int rc) {
    try {
        // A run that wrote nothing into a folder of its own leaves nothing
        // (its empty folder goes).
        if (!StopIsMarked()) return;
        // The database being written: its load scripts closed whole.
        outfiles.FinishLoadScripts();
        outfiles.CloseAll();
        const std::string text = IncompleteText(rc);
        platform::File file = platform::File::createAlways(outfiles.PathInTarget(kIncompleteName));
        if (!file.isOpen() || file.write(text.data(), text.size()) != text.size())
            TheLogger().ErrorText("Cannot write", outfiles.PathInTarget(kIncompleteName).c_str());
        TheLogger().Info("Output marked INCOMPLETE");
    } catch (...) {
        LogAssertion(sites::kMarkIncomplete);
    }
}

void VRNRecover::ClearIncomplete() {
    if (!writing_ || target_folder.empty()) return;
    const std::string path = outfiles.PathInTarget(kIncompleteName);
    if (platform::pathKind(path) == platform::PathKind::File) platform::deleteFile(path);
}
