// The output formats other than the T-SQL scripts: what the driver tells a
// writer, database by database, and nothing about how it is written.
//
// For each database, in this order: BeginDatabase; Table for every table
// of the selection (its definition, before any row); ObjectTexts; for each
// table with rows BeginRows, then WriteRows and EndBatch per page of rows,
// then EndRows; EndDatabase (keys, indexes, foreign keys, the load script).
// Abandon instead of the rest after a cancel or a failure; Close once at
// the end of the run.
//
// Results: 0; kOutputFailed (-5) when the output cannot go on (the
// recovery stops); kScriptNotCreated when one table's file could not be
// made (that table's texts are lost and counted, the rest goes on).
#pragma once

#include <cstdint>
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

class OutputWriter {
public:
    virtual ~OutputWriter() = default;

    // `name`: the database's own name (control characters mapped);
    // `folder`: the path of the folder made for it.
    virtual int BeginDatabase(const std::string &name, const std::string &folder) = 0;
    virtual int Table(const TableSchema &table) = 0;
    virtual int ObjectTexts(const std::vector<ObjectTextEntry> &texts) = 0;
    // The sink the rows of `table` are written with, until EndRows. Values
    // a target cannot hold are counted by the sink in the reader's counts.
    virtual RowSink &BeginRows(const TableSchema &table) = 0;
    // Text the sink made (a page's rows, or a piece of them when a page's
    // rows grow large): written, and `text` emptied.
    virtual int WriteRows(std::string &text) = 0;
    // The rows of one page are whole.
    virtual int EndBatch(int32_t rows) = 0;
    virtual int EndRows(const TableSchema &table) = 0;
    virtual int EndDatabase() = 0;
    // After a cancel or a failure: the batch being written is dropped; what
    // is whole stays, and the load script loads only that.
    virtual void Abandon() = 0;
    virtual int Close() = 0;
};

// The writer of `format` (null for the T-SQL scripts, which the driver
// writes itself), with the run's options.
std::unique_ptr<OutputWriter> MakeOutputWriter(const RecoveryOptions &options);
