// The recovery driver: one recovery of one dump file, database by database.
//
// Recover chooses nothing itself: the parser detects the block size and
// lists the databases, then every usable database gets its catalogue read,
// its tables, rows and keys handed to the run's output writer
// (ExportDatabase.cpp) and its table description file written or, in
// template mode, loaded. Progress goes to
// the host in three passes; every abort is a result code passed up from a
// step.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vrndll/call/RecoveryOptions.h"
#include "vrndll/output/Manifest.h"
#include "vrndll/output/OutputWriter.h"
#include "vrndll/output/TsqlWriter.h"
#include "vrndll/VRNOutFiles.h"
#include "vrndll/VRNParser.h"
#include "vrndll/threads/WorkerPool.h"

class DescriptionTemplate;
class TableDescriptionFile;

class VRNRecover {
public:
    // hFile: the open dump (borrowed); kb: block size in KiB (re-detected);
    // size_low/size_high: the dump's size; base_mb: start of the first
    // database; target_folder: the dated output folder; source_folder: the
    // dump's folder, ending with a separator. The parser comes from
    // OpenParser, which detects the generation.
    VRNRecover(platform::RandomAccessFile *hFile, int kb, uint32_t size_low, int base_mb,
               const char *target_folder, uint32_t size_low_again, uint32_t size_high,
               const char *source_folder);
    // A driver over a parser made by the caller (its generation is the
    // parser's). Lets tests drive the recovery with a parser of their own.
    VRNRecover(std::unique_ptr<VRNParser> parser, int64_t dump_size, const char *target_folder,
               const char *source_folder);
    virtual ~VRNRecover();
    VRNRecover(const VRNRecover &) = delete;
    VRNRecover &operator=(const VRNRecover &) = delete;

    // The whole recovery: 0, -1000, -5, -3 or -2 (-3 also when the template
    // the options ask for cannot serve).
    int Recover();
    // The template to decode with (null: none), chosen by the caller before
    // anything was written. Without this call Recover chooses it from the
    // options before it writes anything.
    void UseTemplate(std::shared_ptr<const DescriptionTemplate> described);

    // The T-SQL scripts' first half of one database: its folder and
    // commit.bat, and one script per user table. template_flag 1: tables
    // and fields came from a description file, so the dump's detail
    // catalogues are not read. 0, -1000, -5 or -2.
    int GenerateDll(const char *database_name, int template_flag);
    // Adds a user table "Table<n>" for every table id that only the column
    // catalogue knows (not a procedure's parameters, not a system table)
    // and finds its first data page. 1; -1000 cancelled; -2.
    int RecoverTableFromField();
    // The index and key statements of table j of pSysobj, appended to its
    // open T-SQL script (KeyStatements.h). PrintIndex: 0, -1000, -5, -2; PrintFkey
    // does not fail on a write: 0, or -2 after a fault.
    int PrintIndex(uint32_t j);
    int PrintFkey(uint32_t j);
    // The T-SQL scripts' second half: the rows of every user table in its
    // numbered scripts, the foreign keys, and commit.bat closed with its
    // trailer. 0, -1000, -5 or -2.
    int GenerateData();

    std::unique_ptr<VRNParser> parser;
    VRNOutFiles outfiles;
    std::vector<DatabaseEntry> databases;
    uint32_t database_count = 0;
    // The databases listed: database_count, never beyond the list.
    size_t listed_databases() const { return std::min<size_t>(database_count, databases.size()); }
    int32_t block_count = 0;
    int64_t dump_size = 0;
    bool fields_scanned = false;
    std::string target_folder;
    std::string source_folder; // ends with a separator

    // What the host steers; the defaults are FileRecover's behaviour.
    // Set before Recover.
    RecoveryOptions options;
    // Filled by Recover: the rows written and what was lost.
    RecoveryReport report;

private:
    void Init(const char *target, const char *source);
    int RecoverDatabases();
    // One usable database: catalogue, scripts, description file.
    int RecoverDatabase(uint32_t index);
    void AdvanceProgress();
    int PrepareCatalogue(std::vector<DatabaseEntry> *list, uint32_t *count);
    // Catalogue freed, files closed, database list dropped.
    void Release();
    // The texts of the compiled objects, in object id order, without those
    // that name a table left out of the selection. 0 or -1000.
    int SelectObjectTexts(std::vector<ObjectTextEntry> &selected);

    // One database through the output writer (ExportDatabase.cpp). First
    // its schema: the catalogue read (not from a template), the selection
    // built, the table definitions and object texts written. 0, -1000, -5
    // or -2.
    int WriteSchema(const std::string &database_name, bool from_template);
    // Then the rows of every selected table, and the database ended (keys,
    // load scripts). 0, -1000, -5 or -2.
    int WriteData();
    // The tables of the selection (those the patterns select, with
    // columns), built into schemas_ and told to the writer.
    void SelectTables();
    // The writer of the run's options.
    std::unique_ptr<OutputWriter> MakeWriter();
    // writer_ as the T-SQL writer, made when it is not (GenerateDll and
    // GenerateData called on their own).
    TsqlWriter &Scripts();
    std::unique_ptr<OutputWriter> writer_;
    // The decoders' threads, when the options ask for more than one thread
    // (made for the first table whose rows they may decode).
    std::unique_ptr<WorkerPool> pool_;
    std::vector<TableSchema> schemas_; // the selection, in catalogue order
    bool tables_selected_ = false;
    // Tells the host something its summary names (a key left out, a name
    // that cannot be passed on).
    void Note(const std::string &text);
    // The rows of `table`, which has `columns` column entries, page by
    // page to the writer.
    int WriteTableRows(const TableSchema &table, uint32_t columns);
    // The same, the pages decoded on the pool's threads (ParallelRows).
    int WriteTableRowsApart(const TableSchema &table, uint32_t columns, RowReader &reader);
    // What WriteTableRowsApart returns for a table it leaves to the reader
    // alone (nothing read yet).
    static constexpr int kNotApart = 1;
    // One page's batch, read with result `read`, handed to the writer (a
    // stop abandons the batch instead) and counted: the writer's result.
    int WritePageBatch(int read, std::string &text, int32_t rows);
    // EndRows of the writer, a file it could not make counted. 0 or a stop.
    int EndTableRows(const TableSchema &table);

    // Rows of a page written (or, when their script could not be made,
    // read and not written), by what writing them returned.
    void CountRows(int32_t rows, int written);
    // True for a user table the table patterns select.
    bool Wanted(const SysobjEntry &table) const;
    // List mode: the catalogue read, tables reported with their rows,
    // nothing written.
    int ListDatabase(bool use_template);
    // Sends progress when the last was sent progress_interval_ms ago (or
    // `now` is true).
    void ReportProgress(bool now);
    // Counts one table (`is_table`; else another script's losses) into the
    // report and tells the host.
    void ReportTable(const std::string &name, uint32_t first, uint32_t end, const RecoveryCounts &counts,
                     bool is_table = true);
    // "name type, ..." of the columns [begin, end) of `fields`.
    std::string ColumnList(uint32_t begin, uint32_t end) const;

    // Scripts of this database that could not be created before its rows
    // were written, by table (index into pSysobj; kObjectTextsEntry for
    // the compiled objects' script): counted into the table's account by
    // GenerateData.
    std::map<uint32_t, RecoveryCounts> script_losses_;
    static constexpr uint32_t kObjectTextsEntry = UINT32_MAX;

    // Byte offset of the database in the dump, as its usage records place
    // it: 64-bit, so that a database beyond 4 GiB is found where it lies.
    int64_t StartOffset(const DatabaseEntry &db) const;
    // Counts a database lost whole and tells the host why.
    void ReportLostDatabase(const std::string &name, const std::string &reason);


    // The template of the whole recovery, null for none; decided once.
    std::shared_ptr<const DescriptionTemplate> template_;
    bool template_chosen_ = false;
    // Bases (MiB) of the databases whose catalogue was read, with their names.
    std::map<int, std::string> recovered_bases_;
    // Bases (MiB) the usage records name, with the first database naming
    // each (its index in the list).
    std::map<int, uint32_t> requested_bases_;
    int counted_ = 0;    // usable databases met so far
    int pass_state_ = 0; // 1, 2, 3 as the passes are announced
    bool writing_ = true; // false in list mode: rows are counted, not written
    std::string current_database_;
    std::string current_table_;
    int64_t last_progress_ms_ = -1;
    // After a stop: the load scripts of the database being written closed
    // whole and the file INCOMPLETE written (IncompleteMark.cpp); after a
    // whole run, an INCOMPLETE of an earlier run removed.
    void MarkIncomplete(int rc);
    void ClearIncomplete();
    // Whether a stop leaves INCOMPLETE and manifest.json: the run writes,
    // and a database folder was made, or the host's own output folder
    // stands and the recovery began (its first pass was announced).
    bool StopIsMarked() const;
    std::string IncompleteText(int rc) const;
    // manifest.json, written at the end of every run that writes (after a
    // stop too), from the account kept database by database (ManifestFile.cpp).
    Manifest manifest_;
    void BeginManifestDatabase(const std::string &name);
    void AddManifestTable(const std::string &name, const RecoveryCounts &counts);
    void EndManifestDatabase();
    void WriteManifest(int rc);
    std::string manifest_folder_before_; // the database folder before the current database began
    int stage_ = 0; // of the current database: 0 its catalogue read, 1 its table scripts, 2 its rows
    int64_t stopped_table_ = -1;   // pSysobj index of the table being written
    int64_t stopped_database_ = -1; // index of the database being written

    // Which database and table patterns matched a name.
    std::vector<bool> database_hits_;
    mutable std::vector<bool> table_hits_;
};
