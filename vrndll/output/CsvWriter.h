// The csv output format: per database a folder holding one <table>.csv per
// table (named as the table scripts are: SafeFileName, "-2", "-3", ... for
// names that meet), UTF-8 and RFC 4180: a header line of the column names,
// lines ended by CR LF, NULL as an empty unquoted field, character values
// always quoted (so an empty string is "" and stays apart from NULL), bytes
// as \x and hexadecimal digits, bit as 0 or 1, numbers with every digit,
// dates and times in ISO 8601.
//
// Beside them schema.sql makes the schema and the tables in PostgreSQL, and
// load.sql, run by psql in that folder,
//   psql -X -v ON_ERROR_STOP=1 -d TARGET -f load.sql
// includes schema.sql, loads every file with \copy ... (FORMAT csv, HEADER),
// and then makes the keys, indexes and foreign keys. Object texts go to
// object_texts.sql, which load.sql does not run.
#pragma once

#include <memory>

#include "vrndll/output/OutputWriter.h"

std::unique_ptr<OutputWriter> MakeCsvWriter(const RecoveryOptions &options);
