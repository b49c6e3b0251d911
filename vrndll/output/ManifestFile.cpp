// The driver's side of manifest.json: a database entry opened as each
// database begins, a table entry as each table's rows are counted (with the
// scripts made for it and the values it lost), the database's files when it
// ends, and the file itself when the run ends, however it ends.
#include "Common/logger/logger.h"
#include "vrndll/call/AssertionSites.h"
#include "vrndll/VRNRecover.h"

namespace {

const char kManifestName[] = "manifest.json";

} // namespace

void VRNRecover::BeginManifestDatabase(const std::string &name) {
    EndManifestDatabase();
    outfiles.made_scripts.clear();
    manifest_folder_before_ = outfiles.database_folder;
    ManifestDatabase d;
    d.name = name;
    manifest_.databases.push_back(std::move(d));
}

void VRNRecover::AddManifestTable(const std::string &name, const RecoveryCounts &counts) {
    if (manifest_.databases.empty()) return;
    ManifestTable t;
    t.name = name;
    t.counts = counts;
    for (const VRNOutFiles::MadeScript &s : outfiles.made_scripts)
        if (s.name == name) t.files.push_back(s.path);
    if (parser) t.lost_values.Take(parser->lost_values);
    manifest_.databases.back().tables.push_back(std::move(t));
}

// The database's folder and every file made in it, load scripts included.
void VRNRecover::EndManifestDatabase() {
    if (manifest_.databases.empty()) return;
    ManifestDatabase &d = manifest_.databases.back();
    if (!d.files.empty() || !d.folder.empty() || outfiles.database_folder == manifest_folder_before_) return;
    d.folder = outfiles.database_folder;
    for (const char *load : {"commit.bat", "commit.sh"}) {
        const std::string path = outfiles.PathInTarget(d.folder) + platform::kPathSeparator + load;
        if (platform::pathKind(path) == platform::PathKind::File) d.files.push_back(d.folder + "/" + load);
    }
    for (const VRNOutFiles::MadeScript &s : outfiles.made_scripts) d.files.push_back(s.path);
}

void VRNRecover::WriteManifest(int rc) {
    try {
        // A run that made no folder leaves nothing (its empty output folder
        // goes), unless it stopped in the host's own folder.
        if (!StopIsMarked() || (rc == kOk && !outfiles.AnyFolderMade())) return;
        if (!manifest_.databases.empty() && manifest_.databases.back().folder.empty()) EndManifestDatabase();
        std::string stop;
        if (rc != kOk) {
            stop = IncompleteText(rc);
            stop = stop.substr(0, stop.find('\n'));
        }
        const std::string text = manifest_.Json(stop);
        const std::string path = outfiles.PathInTarget(kManifestName);
        platform::File file = platform::File::createAlways(path);
        if (!file.isOpen() || file.write(text.data(), text.size()) != text.size())
            TheLogger().ErrorText("Cannot write", path.c_str());
    } catch (...) {
        LogAssertion(sites::kWriteManifest);
    }
}
