// The writers of the output formats, by name.
#include "vrndll/output/OutputWriter.h"

std::unique_ptr<OutputWriter> MakeOutputWriter(const RecoveryOptions &options) {
    switch (options.output_format) {
    case OutputFormat::kTsql:
        return nullptr;
    case OutputFormat::kPostgres:
    case OutputFormat::kSqlite:
    case OutputFormat::kCsv:
        break;
    }
    return nullptr;
}
