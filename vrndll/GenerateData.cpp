// GenerateData, the second half of the T-SQL scripts of one database (the
// writer is TsqlWriter.h), and the accounts of the rows and tables written,
// whatever the format.
#include <string>

#include "vrndll/output/PrintableName.h"
#include "vrndll/VRNRecover.h"

void VRNRecover::CountRows(int32_t rows, int written) {
    if (rows <= 0) return;
    if (written == kScriptNotCreated)
        parser->counts.rows_not_written += static_cast<uint64_t>(rows);
    else
        parser->counts.rows_written += static_cast<uint64_t>(rows);
}

void VRNRecover::ReportTable(const std::string &name, uint32_t first, uint32_t end,
                             const RecoveryCounts &counts, bool is_table) {
    if (is_table) report.tables += 1;
    report.totals += counts;
    AddManifestTable(name, counts);
    if (counts.AnyLoss() && options.diagnostic) {
        options.diagnostic(3, current_database_ + "." + PrintableName(name) + ": " +
                                  std::to_string(counts.rows_skipped) + " rows skipped, " +
                                  std::to_string(counts.pages_unreadable) + " pages unreadable, " +
                                  std::to_string(counts.chains_broken) + " chains broken, " +
                                  std::to_string(counts.values_null) + " values written as NULL" +
                                  (counts.values_changed ? ", " + std::to_string(counts.values_changed) +
                                                               " values changed (see the log)"
                                                         : std::string()) +
                                  (counts.scripts_not_created != 0
                                       ? ", " + std::to_string(counts.scripts_not_created) + " scripts not created"
                                       : std::string()));
    }
    if (!options.table_done) return;
    TableAccount account;
    account.database = current_database_;
    account.table = PrintableName(name);
    if (options.list_only) account.columns = ColumnList(first, end);
    account.counts = counts;
    options.table_done(account);
}

int VRNRecover::GenerateData() {
    Scripts();
    return WriteData();
}
