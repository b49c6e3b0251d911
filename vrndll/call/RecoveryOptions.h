// What a host may steer in one recovery, and the account it gets back.
//
// The defaults are the behaviour of FileRecover: a dated output folder,
// every database and table, table and data scripts, 100 rows per numbered
// script, template mode when an int0.ini lies beside the dump.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vrndll/call/RecoveryCounts.h"

// Level of a diagnostic the host keeps for its summary.
constexpr int kNoteLevel = 4;

enum class TemplateMode { kAuto, kOff, kFile };

// What the databases are written as: the T-SQL scripts with commit.bat and
// commit.sh, or a load script for PostgreSQL or SQLite, or CSV files.
enum class OutputFormat { kTsql, kPostgres, kSqlite, kCsv };

// Where a recovery stands, for a progress callback.
struct RecoveryProgress {
    int pass = 1;
    uint64_t pages_read = 0;
    uint64_t pages_total = 0;
    uint64_t page_bytes = 0; // bytes of one page
    uint64_t bytes_total = 0;
    uint64_t rows_written = 0;
    std::string database;
    std::string table;
};

// One table's account, or (database_total) one database's sums.
struct TableAccount {
    bool database_total = false;
    bool database_lost = false; // a database lost whole (with database_total)
    std::string reason;         // why it was lost (with database_lost)
    std::string database;
    std::string table;
    std::string columns; // "name type, ..."; filled in list mode
    RecoveryCounts counts;
};

// The most threads a recovery takes.
constexpr int kMaxThreads = 64;

struct RecoveryOptions {
    std::vector<std::string> database_patterns; // empty: every database
    std::vector<std::string> table_patterns;    // empty: every table
    bool schema_only = false;
    bool data_only = false;
    bool list_only = false; // nothing written; tables and their rows reported
    // The host named the output folder, which stands before the run: a run
    // that stops once the recovery began marks it even before the first
    // database folder (a dated folder with nothing in it is removed instead).
    bool output_folder_given = false;
    // postgres and sqlite: one stream on standard output, no folder made.
    bool standard_output = false;
    int rows_per_file = 100;
    TemplateMode template_mode = TemplateMode::kAuto;
    std::string template_file; // for TemplateMode::kFile
    OutputFormat output_format = OutputFormat::kTsql;
    // The server's character set, for the formats that write UTF-8 (empty:
    // the default).
    std::string charset;
    // Threads that decode rows (0 or 1: the caller's thread alone); the
    // output is the same for every count.
    int threads = 0;

    // Called at most every progress_interval_ms, and at the end.
    std::function<void(const RecoveryProgress &)> progress;
    int progress_interval_ms = 200;
    // Losses worth telling the host as they happen; at kNoteLevel, what the
    // host's summary names (keys left out, names that cannot be passed on).
    std::function<void(int level, const std::string &text)> diagnostic;
    // After each table and after each database.
    std::function<void(const TableAccount &)> table_done;
};

struct RecoveryReport {
    uint32_t databases = 0;
    uint32_t tables = 0;
    // Databases the dump lists whose own catalogue could not be read (the
    // dump ends before them, or their catalogue pages are gone): lost whole.
    uint32_t databases_lost = 0;
    RecoveryCounts totals;
    std::string template_used; // the description file a template recovery read
    uint32_t notes = 0;        // texts sent at kNoteLevel
    // Patterns of a finished recovery that matched no database or table:
    // "database 'x'", "table 'y'".
    std::vector<std::string> unmatched_patterns;
    bool Lost() const { return databases_lost != 0 || totals.AnyLoss(); }
};

// True when `name` matches one of `patterns` ('*' any run, '?' one
// character, letter case ignored), or `patterns` is empty.
bool MatchesAnyPattern(const std::vector<std::string> &patterns, const std::string &name);
// The same, and every pattern that matches `name` is marked in `hit` (one
// flag per pattern).
bool MatchesAnyPattern(const std::vector<std::string> &patterns, const std::string &name, std::vector<bool> &hit);

// Splits a list of patterns given one per line; empty lines are dropped.
std::vector<std::string> SplitPatternLines(const char *text);
