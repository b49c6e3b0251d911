// The statements that make a recovered database in PostgreSQL, beside its
// rows: the schema named after the database, each table, and after the rows
// the identity sequences set past the largest value loaded, the primary and
// unique keys, the indexes and the foreign keys last (pg_dump's order).
// Names keep the dump's spelling, always quoted; a key or index whose name
// another relation of the schema holds gets "_2", "_3", ...
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "vrndll/output/TableSchema.h"
#include "vrndll/sql/Charset.h"

class PostgresSchema {
public:
    explicit PostgresSchema(values::Charset cs) : cs_(cs) {}

    // A new database (its name as stored): what was made for the one before
    // is forgotten. Returns the settings and CREATE SCHEMA that start its
    // load script.
    std::string Begin(const std::string &database);
    // The CREATE TABLE statement of `table` (kept, by address, until Tail).
    std::string CreateTable(const TableSchema &table);
    // The table's name qualified by the schema.
    std::string Qualified(const std::string &table) const;
    // "(a, b, ...)": the table's columns in the order its rows deliver them.
    std::string RowColumns(const TableSchema &table) const;
    // The order rows deliver a table's columns in, as indexes of its columns.
    static std::vector<size_t> RowOrder(const TableSchema &table);
    // Sequences, keys, indexes and foreign keys of every table made.
    std::string Tail();

private:
    std::string Columns(const std::vector<std::string> &columns) const;
    std::string Claim(const std::string &name);

    values::Charset cs_;
    std::string schema_;
    std::vector<const TableSchema *> tables_;
    std::vector<std::pair<const TableSchema *, const SchemaColumn *>> identities_;
    std::unordered_set<std::string> relations_;
};

// A string literal of SQL (standard_conforming_strings on).
std::string PostgresString(const std::string &text);
