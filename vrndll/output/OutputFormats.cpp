// The writers of the output formats, by name.
#include "vrndll/output/OutputWriter.h"
#include "vrndll/output/PostgresWriter.h"
#include "vrndll/output/SqliteWriter.h"

std::unique_ptr<OutputWriter> MakeOutputWriter(const RecoveryOptions &options) {
    switch (options.output_format) {
    case OutputFormat::kTsql:
        return nullptr;
    case OutputFormat::kSqlite:
        return std::make_unique<SqliteWriter>(options);
    case OutputFormat::kPostgres:
        return MakePostgresWriter(options);
    case OutputFormat::kCsv:
        break;
    }
    return nullptr;
}
