// GenerateData: the rows of every user table of one database, and the end
// of its commit.bat.
//
// Each table with a data page gets a numbered series of scripts
// (<table>_1.sql, _2, ...); the parser hands back one batch of INSERT
// statements per page, and the output files start the next number once a
// script holds more than 100 rows (a batch is never split). A batch goes
// to the output files in pieces as it grows, so memory stays the same
// whatever the rows of a page hold; a batch cut short by a cancel or a
// failure is taken back out of its script.
#include <algorithm>
#include <cstring>
#include <string>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/sql/SqlIdentifier.h"
#include "vrndll/sql/SqlTypeText.h"
#include "vrndll/VRNRecover.h"
#include "vrndll/sql/ValueFormat.h"

namespace {


const char kMonthFirstBatch[] = "set dateformat mdy\nGO\n";

// The table's columns are the `columns` entries from `first` (GenerateData
// found them), so asking costs the table's width, not the catalogue's.
bool HasIdentity(const VRNParser &p, uint32_t first, uint32_t columns) {
    const size_t end = std::min<size_t>(static_cast<size_t>(first) + columns, p.fields.size());
    for (size_t k = first; k < end; ++k)
        if (IsIdentityColumn(p.fields[k].null_flag)) return true;
    return false;
}

bool HasDateOrTime(const VRNParser &p, uint32_t first, uint32_t columns) {
    const size_t end = std::min<size_t>(static_cast<size_t>(first) + columns, p.fields.size());
    for (size_t k = first; k < end; ++k) {
        switch (p.fields[k].user_type) {
        case values::kDateTime:
        case values::kSmallDateTime:
        case values::kDate:
        case values::kTime:
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace

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

int VRNRecover::WriteTableRows(uint32_t j, uint32_t first_column, uint32_t columns) {
    // The parser finds the table's columns itself; here they only decide the
    // scripts' preamble.
    const SysobjEntry &table = parser->pSysobj[j];
    const std::string name(table.name, strnlen(table.name, sizeof table.name));
    // Dates are written month first: every data script of a table with a
    // date or time column first sets that order for its session, so that a
    // server whose date format is day first loads the same dates.
    outfiles.part_preamble = HasDateOrTime(*parser, first_column, columns) ? kMonthFirstBatch : "";
    // The stored values of an identity column load as they were only while
    // the table takes explicit values: switched on and off in every script
    // of the table, each in a batch of its own (a session holds it for one
    // table at a time).
    outfiles.part_postamble.clear();
    if (HasIdentity(*parser, first_column, columns)) {
        const std::string table_sql = SqlIdentifier(name);
        outfiles.part_preamble += "set identity_insert " + table_sql + " on\nGO\n";
        outfiles.part_postamble = "set identity_insert " + table_sql + " off\nGO\n";
    }
    const uint64_t refused_before = outfiles.ScriptsNotCreated();
    int rc = writing_ ? outfiles.OpenScript(name.c_str(), 1) : kOk;
    if (IsStop(rc)) return rc;

    // One batch per page, until the chain ends (the parser bounds it).
    int32_t block = -1;
    int32_t rows = 0;
    std::string text;
    parser->batch_piece = [this](std::string &piece) {
        const int written = writing_ ? outfiles.WriteBatchPiece(piece) : kOk;
        piece.clear();
        // A piece for a script that could not be created is lost with it;
        // the rows go on (a later part may be created).
        return written == kScriptNotCreated ? kOk : written;
    };
    do {
        text.clear();
        rc = parser->GetOneString(text, &block, j, columns, &rows);
        if (IsStop(rc)) {
            outfiles.DropOpenBatch();
            break;
        }
        rc = writing_ ? outfiles.write_file(text.c_str(), rows) : kOk;
        if (IsStop(rc)) break;
        CountRows(rows, rc);
        ReportProgress(false);
    } while (block != 0);
    parser->batch_piece = nullptr;
    parser->counts.scripts_not_created += outfiles.ScriptsNotCreated() - refused_before;
    return IsStop(rc) ? rc : kOk;
}

int VRNRecover::GenerateData() {
    try {
        TheLogger().Info("Starting GerenateData");
        VRNParser &p = *parser;
        const uint32_t objects =
            p.object_count();
        const uint32_t field_total = p.field_count();

        const bool sorted = std::is_sorted(
            p.fields.begin(), p.fields.begin() + field_total,
            [](const ColumnEntry &a, const ColumnEntry &b) { return a.tab_id < b.tab_id; });

        for (uint32_t i = 0; i < objects; ++i) {
            const SysobjEntry &table = p.pSysobj[i];
            if (!Wanted(table)) continue;
            const std::string name(table.name, strnlen(table.name, sizeof table.name));
            TheLogger().InfoFormat("TableName:%s TabId:%i TabType:%c RecLen:%i", name.c_str(),
                                   table.id, table.type, table.rec_len);

            // The table's first column: found by halving when the columns
            // are in table order (as GenerateDll leaves them), else by a scan.
            uint32_t first = 0;
            if (sorted) {
                first = static_cast<uint32_t>(
                    std::lower_bound(p.fields.begin(), p.fields.begin() + field_total, table.id,
                                     [](const ColumnEntry &c, int32_t id) { return c.tab_id < id; }) -
                    p.fields.begin());
                if (first < field_total && p.fields[first].tab_id != table.id) first = field_total;
            } else {
                while (first < field_total && p.fields[first].tab_id != table.id) ++first;
            }
            if (first == field_total) continue; // no columns, nothing to decode

            uint32_t end = first;
            for (; end < field_total && p.fields[end].tab_id == table.id; ++end) {
                const ColumnEntry &c = p.fields[end];
                const std::string column(c.name, strnlen(c.name, sizeof c.name));
                TheLogger().InfoFormat(
                    "RowName:%s RowId:%i RowLen:%i RowType:%i RowNull,%i RowTabId:%i",
                    column.c_str(), c.col_id, c.length, c.user_type, c.null_flag, c.tab_id);
                if (!TheHost().MayContinue()) return kCancelled;
            }
            TheLogger().ErrorNumber("ColNum=", static_cast<long>(end));

            current_table_ = PrintableName(name);
            stopped_table_ = i;
            stage_ = 2;
            const RecoveryCounts before = p.counts;
            // A negative first page is no page either: nothing is read for it.
            if (table.first_block <= 0) {
                TheLogger().Info("This table have not data");
            } else if (!options.schema_only) {
                const int rc = WriteTableRows(i, first, end - first);
                if (IsStop(rc)) {
                    // The manifest accounts for the rows written before the stop.
                    AddManifestTable(name, p.counts - before);
                    return rc;
                }
            }
            RecoveryCounts counts = p.counts - before;
            // A table script that could not be created is this table's loss.
            const auto lost_script = script_losses_.find(i);
            if (lost_script != script_losses_.end()) {
                counts += lost_script->second;
                script_losses_.erase(lost_script);
            }
            ReportTable(name, first, end, counts);
        }
        current_table_.clear();
        // Scripts lost of objects whose rows were not looked at (the
        // compiled objects' script, a table without columns).
        for (const auto &lost : script_losses_) {
            const std::string name =
                lost.first < objects ? std::string(p.pSysobj[lost.first].name,
                                                   strnlen(p.pSysobj[lost.first].name, sizeof p.pSysobj[lost.first].name))
                                     : std::string("compiled_objects");
            ReportTable(name, 0, 0, lost.second, false);
        }
        script_losses_.clear();
        stopped_table_ = -1;

        if (!writing_) return kOk;
        // Every row is in: now the foreign keys.
        if (!options.data_only) {
            const int keys = WriteForeignKeys();
            if (IsStop(keys)) return keys;
        }
        const int rc = outfiles.WriteBatText(BatTrailer);
        if (IsStop(rc)) return rc;
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGenerateData);
        return kFailed;
    }
}
