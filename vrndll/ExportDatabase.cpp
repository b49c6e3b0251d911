// ExportDatabase: one database written by an output writer (PostgreSQL,
// SQLite, CSV) instead of the T-SQL scripts. The catalogue is read as for
// the scripts, and the same selection, accounts and progress apply; only
// the writing is the writer's.
#include <cstring>
#include <unordered_set>

#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/VRNRecover.h"

int VRNRecover::ExportTableRows(const TableSchema &table, RowReader &reader) {
    reader.SetSink(&writer_->BeginRows(table));
    reader.batch_piece = [this](std::string &piece) {
        const int written = writer_->WriteRows(piece);
        piece.clear();
        return written == kScriptNotCreated ? kOk : written;
    };
    int32_t block = -1;
    int32_t rows = 0;
    std::string text;
    int rc = kOk;
    const uint32_t columns = static_cast<uint32_t>(table.columns.size());
    do {
        text.clear();
        rc = reader.ReadPage(text, &block, table.object, columns, &rows);
        parser->counts += reader.counts;
        reader.counts = RecoveryCounts();
        if (IsStop(rc)) {
            writer_->Abandon();
            return rc;
        }
        rc = writer_->WriteRows(text);
        if (rc == kOk) rc = writer_->EndBatch(rows);
        if (IsStop(rc)) return rc;
        CountRows(rows, rc);
        ReportProgress(false);
    } while (block != 0);
    rc = writer_->EndRows(table);
    if (rc == kScriptNotCreated) {
        parser->counts.scripts_not_created += 1;
        rc = kOk;
    }
    return rc;
}

int VRNRecover::ExportDatabase(const std::string &database_name, bool from_template) {
    script_losses_.clear();
    stage_ = 1;
    int rc;
    if (!from_template) {
        rc = parser->ReadDetailCatalogues();
        if (IsCancelOrFailure(rc)) return rc;
        if (!fields_scanned) {
            rc = RecoverTableFromField();
            if (rc == kCancelled) return rc;
        }
    }
    SortColumnsByTable(*parser);
    const TableKeys keys(*parser);

    const std::string folder = outfiles.MakeDatabaseFolder(database_name);
    if (folder.empty()) return kOutputFailed;
    rc = writer_->BeginDatabase(PrintableName(database_name), folder);
    if (IsStop(rc)) return rc;

    // The tables of the selection; foreign keys only to tables among them.
    const uint32_t objects = parser->object_count();
    std::vector<uint32_t> chosen;
    std::unordered_set<int32_t> selected;
    for (uint32_t j = 0; j < objects; ++j) {
        const SysobjEntry &t = parser->pSysobj[j];
        if (!Wanted(t) || t.first_field == -1) continue;
        chosen.push_back(j);
        selected.insert(t.id);
    }
    std::function<bool(int32_t)> keep;
    if (!options.table_patterns.empty()) keep = [&selected](int32_t id) { return selected.count(id) != 0; };
    std::vector<TableSchema> schemas;
    for (uint32_t j : chosen) {
        std::vector<std::string> left_out;
        schemas.push_back(BuildTableSchema(*parser, keys, j, keep, &left_out));
        for (const std::string &what : left_out)
            Note(current_database_ + ": foreign key " + what + " left out (the referenced table is not selected)");
    }

    if (!options.data_only) {
        for (const TableSchema &s : schemas) {
            current_table_ = s.name;
            rc = writer_->Table(s);
            if (rc == kScriptNotCreated) {
                script_losses_[s.object].scripts_not_created += 1;
                continue;
            }
            if (IsStop(rc)) return rc;
        }
        current_table_.clear();
        std::vector<ObjectTextEntry> texts;
        rc = SelectObjectTexts(texts);
        if (rc == kCancelled) return rc;
        rc = writer_->ObjectTexts(texts);
        if (IsStop(rc)) return rc;
    }

    stage_ = 2;
    for (const TableSchema &s : schemas) {
        const SysobjEntry &t = parser->pSysobj[s.object];
        current_table_ = s.name;
        stopped_table_ = s.object;
        const RecoveryCounts before = parser->counts;
        if (!options.schema_only && !s.columns.empty() && t.first_block > 0) {
            RowReader reader(*parser, parser->bl, s.object);
            rc = ExportTableRows(s, reader);
            if (IsStop(rc)) return rc;
        }
        RecoveryCounts counts = parser->counts - before;
        const auto lost_script = script_losses_.find(s.object);
        if (lost_script != script_losses_.end()) {
            counts += lost_script->second;
            script_losses_.erase(lost_script);
        }
        const std::string name(t.name, strnlen(t.name, sizeof t.name));
        const ColumnRange range = ColumnsOfTable(*parser, t.id);
        ReportTable(name, range.begin, range.end, counts);
    }
    current_table_.clear();
    stopped_table_ = -1;
    return writer_->EndDatabase();
}
