// What the driver tells an output writer, database by database, and
// nothing about how it is written.
//
// For each database, in this order: OpenDatabase, before its catalogue is
// read; BeginDatabase; Selection (every table of the selection, whatever
// is written of it); Table for every table (its definition, before any
// row) and ObjectTexts, unless the run writes data only; for each table
// with rows StartRows and BeginRows, then WriteRows and EndBatch per page
// of rows, then EndRows; EndDatabase (keys, indexes, foreign keys, the
// load script). Abandon instead of the rest after a cancel or a failure;
// Close once at the end of the run.
//
// Results: 0; kOutputFailed (-5) when the output cannot go on (the
// recovery stops); kScriptNotCreated when one table's file could not be
// made (that table's texts are lost and counted, the rest goes on).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vrndll/call/RecoveryOptions.h"
#include "vrndll/output/TableSchema.h"
#include "vrndll/rows/RowValues.h"

// A view, procedure, trigger, default or rule, with its whole text in the
// server's own language.
struct ObjectTextEntry {
    std::string name; // as stored (map it with PrintableName before writing it)
    char type = 0;    // the catalogue's object type: 'V', 'P', 'TR', ...
    std::string text;
};

class VRNOutFiles;
class VRNParser;

class OutputWriter {
public:
    virtual ~OutputWriter() = default;

    // Before the catalogue of the database is read, with the name its
    // folder is made for: a writer whose files must exist even when the
    // catalogue cannot be read (so that its load scripts load nothing)
    // makes them here. 0 or a stop code.
    virtual int OpenDatabase(const std::string &name) {
        (void)name;
        return 0;
    }
    // The folder OpenDatabase made, "" when it made none (the driver then
    // makes one for BeginDatabase).
    virtual std::string DatabaseFolder() const { return std::string(); }
    // `name`: the database's own name (control characters mapped);
    // `folder`: the path of the folder made for it.
    virtual int BeginDatabase(const std::string &name, const std::string &folder) = 0;
    // Whether the foreign keys the selection leaves out are told to the
    // host by the driver as the tables are built (true), or by the writer
    // as it writes its keys.
    virtual bool NotesLeftOutKeys() const { return true; }
    virtual void Selection(const std::vector<TableSchema> &tables) { (void)tables; }
    virtual int Table(const TableSchema &table) = 0;
    virtual int ObjectTexts(const std::vector<ObjectTextEntry> &texts) = 0;
    // The name the account of the object texts' file goes under in the
    // run's report when ObjectTexts could not make it.
    virtual std::string ObjectTextsName() const { return "object_texts"; }
    // The rows of `table` are about to be read: a file they need first is
    // made. 0 or a stop code (no row of the table is read).
    virtual int StartRows(const TableSchema &table) {
        (void)table;
        return 0;
    }
    // The sink the rows of `table` are written with, until EndRows. Values
    // a target cannot hold are counted by the sink in the reader's counts.
    virtual RowSink &BeginRows(const TableSchema &table) = 0;
    // After BeginRows: a sink of its own that writes the rows of `table`
    // as BeginRows' does, for a decoder on another thread (it reads only
    // what no call of this writer changes until EndRows). Null: the rows
    // of this writer are decoded on one thread.
    virtual std::unique_ptr<RowSink> NewRowSink(const TableSchema &table) {
        (void)table;
        return nullptr;
    }
    // Text the sink made (a page's rows, or a piece of them when a page's
    // rows grow large): written, and `text` emptied.
    virtual int WriteRows(std::string &text) = 0;
    // The rows of one page are whole.
    virtual int EndBatch(int32_t rows) = 0;
    virtual int EndRows(const TableSchema &table) = 0;
    // Files this writer could not create so far, for a writer that may lose
    // more than one file of a table (one that loses at most one says so by
    // EndRows returning kScriptNotCreated).
    virtual uint64_t FilesNotCreated() const { return 0; }
    virtual int EndDatabase() = 0;
    // After a cancel or a failure: the batch being written is dropped; what
    // is whole stays, and the load script loads only that.
    virtual void Abandon() = 0;
    virtual int Close() = 0;
};

// What a writer of the recovery may use beside the options: the output
// files of the run, the catalogue of the database being written, and the
// host's summary (`note` tells it something; `database` is the name it is
// shown for the current database). All borrowed.
struct WriterContext {
    VRNOutFiles &files;
    const VRNParser &parser;
    std::function<void(const std::string &)> note;
    const std::string &database;
};

// The writer of the run's output format, with the run's options (null when
// the format is not available). In list mode nothing is written, and the
// rows are counted as the T-SQL scripts would hold them.
std::unique_ptr<OutputWriter> MakeOutputWriter(const RecoveryOptions &options, const WriterContext &context);
// The writer of a format that needs nothing but the options (null for the
// T-SQL scripts, which write through the run's output files, and in list
// mode).
std::unique_ptr<OutputWriter> MakeOutputWriter(const RecoveryOptions &options);
