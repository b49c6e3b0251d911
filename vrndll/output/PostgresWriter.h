// The postgres output format: per database a folder holding load.sql, which
// psql runs to load the database into a schema of the database's name:
//   psql -X -v ON_ERROR_STOP=1 -d TARGET -f load.sql
// In pg_dump's order: the schema and every table, then each table's rows as
// one COPY block in text format inline, then the identity sequences set past
// the largest value loaded, the primary and unique keys, the indexes and the
// foreign keys last. The texts of views, procedures and triggers, in the
// server's own language, go to object_texts.sql, which load.sql does not
// run. Character data is converted to UTF-8 from the run's character set.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vrndll/output/OutputWriter.h"
#include "vrndll/sql/Charset.h"

std::unique_ptr<OutputWriter> MakePostgresWriter(const RecoveryOptions &options);

// The object texts as a file of comments and texts that psql would not run
// as a whole: 0, kScriptNotCreated when the file cannot be written (none
// is made when there is no text).
int WritePostgresObjectTexts(const std::string &path, const std::vector<ObjectTextEntry> &texts,
                             values::Charset cs);
