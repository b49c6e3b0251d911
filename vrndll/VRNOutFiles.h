// The output files of one database: its folder, the .sql scripts and the
// load script commit.bat that feeds them to isql.exe.
//
// Layout below the target folder:
//   <database>/commit.bat
//   <database>/<table>.sql        definition, indexes and keys
//   <database>/<table>_<n>.sql    rows, a new number once a file holds
//                                 more than 100 rows
// Every script adds its line to commit.bat when it is opened, so the batch
// file loads the scripts in the order they were made. Files are written
// byte for byte as given: "\n" line ends, no byte-order mark.
//
// Texts are collected and written a buffer at a time: a script when the
// next one opens, when its buffer is full and when the database ends (the
// commit.bat trailer) or the files close. A write that fails part-way cuts
// the file back to the end of the last whole text (a whole batch) and
// gives -5.
//
// A page's batch of rows may come in pieces (WriteBatchPiece) before its
// end (write_file): a batch that never gets its end is taken back out of
// the script when the files close (a cancel or a failure mid-page), so a
// script only ever ends with a whole batch.
//
// Database and table names become file names only through SafeFileName, and
// two names that would land on the same file on Windows (letter case aside)
// are kept apart with a "-2", "-3" ... suffix (FileNameClaims), so no script
// overwrites another. A database folder never takes the name of a file the
// output folder holds itself (int0.ini, recovery.log). Names are shortened
// where the whole path would pass kMaxOutputPathLength.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vrndll/call/AssertionSites.h"
#include "vrndll/output/FileNameClaims.h"

// The texts WriteBatText appends to commit.bat.
enum BatTextKind { BatHeader = 0, BatTrailer = 1, BatPlainLine = 2, BatPartLine = 3 };

// Rows a numbered script may exceed before the next text opens the next one.
constexpr int kRowsPerPart = 100;
// Longest path the output files get (the Windows limit without its
// terminator). Names are shortened to fit; the target folder itself is
// checked by the recovery call.
constexpr size_t kMaxOutputPathLength = 259;

class VRNOutFiles {
public:
    VRNOutFiles() = default;
    VRNOutFiles(const VRNOutFiles &) = delete;
    VRNOutFiles &operator=(const VRNOutFiles &) = delete;

    platform::File script_handle;
    platform::File bat_handle;
    int32_t part = 0;
    // Rows in the current numbered script; -1: the next write_file opens the
    // next number.
    int32_t rows_in_part = 0;
    std::string folder;
    // Nonzero while script_handle must be closed before it is replaced.
    int32_t script_open = 0;
    std::string script_name;     // stem of the current script (the table's file name)
    std::string database_folder; // folder of the current database (a safe mapping of its name)
    std::string database_name;   // the database's own name: isql's -D (LoadScriptDatabase.h)
    // The scripts created, by the name they were opened for (a table's own
    // name), with their path below the output folder; the driver empties it
    // at each database.
    struct MadeScript {
        std::string name;
        std::string path;
    };
    std::vector<MadeScript> made_scripts;
    int32_t bat_open = 0;
    // Rows a numbered script may exceed before the next text opens the next one.
    int32_t rows_per_part = kRowsPerPart;
    // Written at the start of every numbered script (empty: nothing).
    std::string part_preamble;
    // The recovery stopped before its end: commit.sh's trailer says so.
    bool incomplete = false;
    // Written at the end of every numbered script, also of one a cancel or a
    // failure closes (empty: nothing).
    std::string part_postamble;

    // Remembers the target folder; once per recovery.
    void init(const char *target_folder);
    // Starts a database: its folder and a new, empty commit.bat. 0 or -5.
    int CreateBatFile(const char *database_name);
    // mode 0: <name>.sql; 1: first numbered script <name>_1.sql of a new
    // series; 2 or more: the next number of the current series. A negative
    // mode does nothing. The commit.bat line is written once the file is
    // created. 0, -5 or -2 (or what WriteBatText returned), or
    // kScriptNotCreated: this file could not be created (something in the
    // way, no right to it); the texts written to it are lost, the rest of
    // the output goes on.
    int OpenScript(const char *name, int mode);
    // Appends `text` to the current script. `rows` counts the data rows the
    // text holds (0 for schema text) and drives the numbering. 0, -5 or -2;
    // kScriptNotCreated when the text is lost with a script that could not
    // be created (its rows still count for the numbering).
    int write_file(const char *text, int rows);
    // Appends the next piece of a batch whose end write_file brings; the
    // piece may be taken over (`text` is left empty). 0, -5, -2 or
    // kScriptNotCreated.
    int WriteBatchPiece(std::string &text);
    // Takes back the pieces of a batch that has not ended.
    void DropOpenBatch();
    // Appends one of the BatTextKind texts to commit.bat. 0 or -5. The
    // trailer writes out everything still waiting, scripts included.
    int WriteBatText(int kind);
    // After a stop: commit.bat and commit.sh ended with their trailer (and
    // their header first, when the stop came before it), so that they load
    // the scripts written whole. 0 or -5.
    int FinishLoadScripts();
    // Writes what waits and closes commit.bat and the current script;
    // harmless when repeated.
    int CloseAll();

    // Script files that could not be created since init.
    uint64_t ScriptsNotCreated() const { return scripts_not_created_; }
    // The last byte appended to the current script, 0 when none.
    char LastScriptByte() const { return last_script_byte_; }
    // Scripts commit.bat loads in the current database.
    uint32_t ScriptLines() const { return script_lines_; }

    // True once a database folder was started in this recovery.
    bool AnyFolderMade() const { return any_folder_; }

    // True while any output file is open.
    bool AnyOpen() const { return script_handle.isOpen() || bat_handle.isOpen() || sh_handle_.isOpen(); }

    // Path of a file or folder inside the target folder.
    std::string PathInTarget(const std::string &name) const;
    // For the output writers: claims the folder of database `name` as
    // CreateBatFile does and makes it. Its path, or "" when it cannot be made.
    std::string MakeDatabaseFolder(const std::string &name);

private:
    int CreateScriptFile(const std::string &stem, const AssertionSite &site);
    // Writes `pending` after the `kept` bytes of `file`. On a short write
    // the file is cut back to the end of its last whole text: the last of
    // `ends` (where whole texts of `pending` end, counted from the file's
    // start) that the write got past, else `safe` (on disk already). Once
    // written, `safe` is the last of `ends`, and `ends` is emptied. 0 or -5.
    static int WritePending(platform::File &file, std::string &pending, uint64_t &kept,
                            std::vector<uint64_t> &ends, uint64_t &safe, const std::string &path);
    // Appends `text` to the script; `whole`: it ends a batch (or is a whole
    // text of its own).
    int AppendToScript(const char *text, bool whole);
    // Ends the current numbered script with its postamble (a batch still
    // open is taken back first).
    void EndNumberedScript();
    int FlushScript();
    int FlushBat(); // commit.bat and commit.sh
    // `name` cut so that `used` bytes of path before it, the name and
    // `reserve` bytes after it stay within kMaxOutputPathLength.
    static std::string FitName(const std::string &name, size_t used, size_t reserve);

    std::string file_stem_;   // stem of the file actually opened
    FileNameClaims files_;    // the scripts of this database
    std::string series_name_; // the name the current numbered series was opened for (its safe form)
    std::string series_stem_; // the stem its parts are named after
    std::string script_pending_; // text not yet written to script_handle
    uint64_t script_kept_ = 0;   // bytes of the script on disk
    uint64_t script_whole_ = 0;  // where the last whole text of the script ends (pending counted)
    uint64_t script_safe_ = 0;   // where the last whole text on disk ends
    std::vector<uint64_t> script_ends_; // where the whole texts still pending end
    bool batch_open_ = false;    // pieces of a batch were appended, its end was not
    bool script_refused_ = false; // the current script could not be created
    uint64_t scripts_not_created_ = 0;
    std::string script_postamble_; // what the current numbered script ends with
    char last_script_byte_ = 0;
    bool header_written_ = false;
    uint32_t script_lines_ = 0;
    bool any_folder_ = false;
    std::string script_path_;
    std::string bat_pending_;
    uint64_t bat_kept_ = 0;
    std::string bat_path_;
    // commit.sh, written alongside commit.bat.
    platform::File sh_handle_;
    std::string sh_pending_;
    uint64_t sh_kept_ = 0;
    std::string sh_path_;
    FileNameClaims folders_; // the database folders of this recovery, and the root's own files
};
