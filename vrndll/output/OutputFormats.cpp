// The writers of the output formats, by name.
#include "vrndll/output/CsvWriter.h"
#include "vrndll/output/OutputWriter.h"
#include "vrndll/output/PostgresWriter.h"
#include "vrndll/output/SqliteWriter.h"
#include "vrndll/output/TsqlWriter.h"

std::unique_ptr<OutputWriter> MakeOutputWriter(const RecoveryOptions &options, const WriterContext &context) {
    if (options.list_only || options.output_format == OutputFormat::kTsql)
        return std::make_unique<TsqlWriter>(options, context.files, context.parser, context.note, context.database);
    return MakeOutputWriter(options);
}

std::unique_ptr<OutputWriter> MakeOutputWriter(const RecoveryOptions &options) {
    if (options.list_only) return nullptr;
    switch (options.output_format) {
    case OutputFormat::kTsql:
        break;
    case OutputFormat::kSqlite:
        return std::make_unique<SqliteWriter>(options);
    case OutputFormat::kPostgres:
        return MakePostgresWriter(options);
    case OutputFormat::kCsv:
        return MakeCsvWriter(options);
    }
    return nullptr;
}
