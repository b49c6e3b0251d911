// The T-SQL scripts, the default output: per database a folder holding a
// script per table (its definition, indexes and keys), the table's rows in
// numbered data scripts of INSERT batches closed by "GO", the texts of the
// compiled objects, foreign_keys.sql once every row is in, and commit.bat
// and commit.sh, which load them all in the order they were made
// (VRNOutFiles.h has the files' layout).
//
// A table script opens with the table's definition:
//
//     CREATE TABLE orders(
//     id  int NOT NULL, 
//     note  varchar(20) NULL)
//
//     GO
//
// (each column: its name, a blank, the type text that begins with its own
// blank, the nullability text; columns separated by ", \n"), followed by the
// table's index and key statements (KeyStatements.h). Names that are not
// plain identifiers are bracket-quoted (SqlIdentifier.h).
//
// A data script of a table with a date or time column first sets the month
// first date order for its session, since dates are written month first; a
// table with an identity column has identity_insert switched on and off in
// every data script of its own, each in a batch of its own.
//
// In list mode nothing is written: the rows are cut and counted as the
// scripts would hold them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vrndll/output/OutputWriter.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/sql/KeyStatements.h"

class VRNOutFiles;
class VRNParser;

class TsqlWriter : public OutputWriter {
public:
    // The scripts go through `files`, the definitions come from the
    // catalogue of `parser` (both borrowed; the parser's catalogue is that
    // of the database being written). `note` tells the host something its
    // summary names; `database` is the name the host is shown for the
    // current database (borrowed).
    TsqlWriter(const RecoveryOptions &options, VRNOutFiles &files, const VRNParser &parser,
               std::function<void(const std::string &)> note, const std::string &database);

    int OpenDatabase(const std::string &name) override;
    std::string DatabaseFolder() const override;
    bool NotesLeftOutKeys() const override { return false; }
    int BeginDatabase(const std::string &name, const std::string &folder) override;
    void Selection(const std::vector<TableSchema> &tables) override;
    int Table(const TableSchema &table) override;
    int ObjectTexts(const std::vector<ObjectTextEntry> &texts) override;
    std::string ObjectTextsName() const override;
    int StartRows(const TableSchema &table) override;
    RowSink &BeginRows(const TableSchema &table) override;
    std::unique_ptr<RowSink> NewRowSink(const TableSchema &) override { return std::make_unique<TsqlRows>(); }
    int WriteRows(std::string &text) override;
    int EndBatch(int32_t rows) override;
    int EndRows(const TableSchema &table) override;
    uint64_t FilesNotCreated() const override;
    int EndDatabase() override;
    void Abandon() override;
    int Close() override;

    // The index and key statements of object j of the catalogue, appended
    // to its open table script. PrintIndex: 0, -1000, -5, -2; PrintFkey
    // does not fail on a write: 0, or -2 after a fault.
    int PrintIndex(uint32_t j);
    int PrintFkey(uint32_t j);

private:
    const KeyStatements &Keys();
    // foreign_keys.sql: the keys of the selected tables, each table's after
    // those of the tables it references.
    int WriteForeignKeys();
    std::vector<uint32_t> ForeignKeyOrder();

    const RecoveryOptions &options_;
    VRNOutFiles &files_;
    const VRNParser &parser_;
    std::function<void(const std::string &)> note_;
    const std::string &database_;
    const bool writing_;
    std::unique_ptr<KeyStatements> keys_;
    std::vector<uint32_t> selection_; // objects of the selected tables, in catalogue order
    TsqlRows rows_;
};
