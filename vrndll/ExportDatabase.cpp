// One database handed to the run's output writer: the catalogue read, the
// tables of the selection built once, their definitions and the object
// texts, then the rows table by table, page by page, then the keys. The
// same selection, accounts, progress and stops apply whatever the format;
// only the writing is the writer's.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "Common/logger/logger.h"
#include "vrndll/call/AssertionSites.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/rows/ParallelRows.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/VRNRecover.h"

std::unique_ptr<OutputWriter> VRNRecover::MakeWriter() {
    const WriterContext context{outfiles, *parser, [this](const std::string &text) { Note(text); },
                                current_database_};
    return MakeOutputWriter(options, context);
}

void VRNRecover::SelectTables() {
    schemas_.clear();
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
    const TableKeys keys(*parser);
    const bool note = writer_->NotesLeftOutKeys();
    for (uint32_t j : chosen) {
        std::vector<std::string> left_out;
        schemas_.push_back(BuildTableSchema(*parser, keys, j, keep, &left_out));
        if (!note) continue;
        for (const std::string &what : left_out)
            Note(current_database_ + ": foreign key " + what + " left out (the referenced table is not selected)");
    }
    writer_->Selection(schemas_);
    tables_selected_ = true;
}

int VRNRecover::WriteSchema(const std::string &database_name, bool from_template) {
    try {
        TheLogger().Info("Starting Generete Dll");
        script_losses_.clear();
        schemas_.clear();
        tables_selected_ = false;
        stage_ = 1;
        int rc = writer_->OpenDatabase(database_name);
        if (IsStop(rc)) return rc;
        if (!from_template) {
            rc = parser->ReadDetailCatalogues();
            if (IsCancelOrFailure(rc)) return rc;
            if (!fields_scanned) {
                rc = RecoverTableFromField();
                if (rc == kCancelled) return rc;
            }
        }
        // Once per database: the columns in table order, first_field of
        // every table pointing at its first column.
        SortColumnsByTable(*parser);

        std::string folder = writer_->DatabaseFolder();
        if (folder.empty() && !options.standard_output) {
            folder = outfiles.MakeDatabaseFolder(database_name);
            if (folder.empty()) return kOutputFailed;
        }
        rc = writer_->BeginDatabase(PrintableName(database_name), folder);
        if (IsStop(rc)) return rc;
        SelectTables();
        if (options.data_only) return kOk;

        for (const TableSchema &s : schemas_) {
            current_table_ = s.name;
            stopped_table_ = s.object;
            rc = writer_->Table(s);
            if (rc == kScriptNotCreated) {
                // The table's definition is lost; its rows may still be
                // written. Counted with the table's account when its rows are.
                script_losses_[s.object].scripts_not_created += 1;
                continue;
            }
            if (IsStop(rc)) return rc;
        }
        current_table_.clear();
        // The views, procedures and triggers come after the tables they
        // name and before the rows.
        std::vector<ObjectTextEntry> texts;
        rc = SelectObjectTexts(texts);
        if (rc == kCancelled) return rc;
        rc = writer_->ObjectTexts(texts);
        if (rc == kScriptNotCreated) {
            script_losses_[kObjectTextsEntry].scripts_not_created += 1;
            rc = kOk;
        }
        return IsStop(rc) ? rc : kOk;
    } catch (...) {
        LogAssertion(sites::kGenerateDll);
        return kFailed;
    }
}

int VRNRecover::WriteTableRows(const TableSchema &table, uint32_t columns) {
    const uint64_t refused_before = writer_->FilesNotCreated();
    const auto count_refused = [&] {
        parser->counts.scripts_not_created += writer_->FilesNotCreated() - refused_before;
    };
    int rc = writer_->StartRows(table);
    if (IsStop(rc)) {
        count_refused();
        return rc;
    }
    RowReader reader(*parser, parser->bl, table.object);
    reader.SetSink(&writer_->BeginRows(table));
    if (options.threads > 1) {
        rc = WriteTableRowsApart(table, columns, reader);
        if (rc != kNotApart) {
            count_refused();
            return IsStop(rc) ? rc : kOk;
        }
    }
    reader.batch_piece = [this](std::string &piece) {
        const int written = writer_->WriteRows(piece);
        piece.clear();
        // A piece of a file that could not be made is lost with it; the
        // rows go on.
        return written == kScriptNotCreated ? kOk : written;
    };
    // One batch per page, until the chain ends (the reader bounds it).
    int32_t block = -1;
    int32_t rows = 0;
    std::string text;
    do {
        text.clear();
        rc = reader.ReadPage(text, &block, table.object, columns, &rows);
        parser->TakeCounts(reader);
        rc = WritePageBatch(rc, text, rows);
        if (IsStop(rc)) break;
    } while (block != 0);
    if (!IsStop(rc)) rc = EndTableRows(table);
    count_refused();
    return IsStop(rc) ? rc : kOk;
}

int VRNRecover::WritePageBatch(int read, std::string &text, int32_t rows) {
    if (IsStop(read)) {
        writer_->Abandon();
        return read;
    }
    int rc = writer_->WriteRows(text);
    if (rc == kOk) rc = writer_->EndBatch(rows);
    if (IsStop(rc)) return rc;
    CountRows(rows, rc);
    ReportProgress(false);
    return rc;
}

int VRNRecover::EndTableRows(const TableSchema &table) {
    const int rc = writer_->EndRows(table);
    if (rc != kScriptNotCreated) return rc;
    parser->counts.scripts_not_created += 1;
    return kOk;
}

int VRNRecover::WriteTableRowsApart(const TableSchema &table, uint32_t columns, RowReader &reader) {
    // A writer without sinks for other threads has its rows decoded by the
    // reader alone.
    RowLayout layout;
    if (!BuildRowLayout(*parser, table.object, columns, layout) || !writer_->NewRowSink(table)) return kNotApart;
    if (!pool_) pool_ = std::make_unique<WorkerPool>(options.threads - 1);

    ParallelRows rows(*pool_, *parser, reader, table.object, columns, HasValueChains(layout),
                      [this, &table] { return writer_->NewRowSink(table); });
    int rc = rows.Run([this](PageBatch &batch) {
        parser->counts += batch.counts;
        parser->lost_values.Take(batch.lost);
        parser->rows_read += batch.rows_read;
        return WritePageBatch(batch.rc, batch.text, batch.rows);
    });
    if (!IsStop(rc)) rc = EndTableRows(table);
    return rc;
}

int VRNRecover::WriteData() {
    try {
        TheLogger().Info("Starting GerenateData");
        VRNParser &p = *parser;
        if (!tables_selected_) SelectTables();
        const uint32_t objects = p.object_count();
        const uint32_t field_total = p.field_count();

        const bool sorted = std::is_sorted(
            p.fields.begin(), p.fields.begin() + field_total,
            [](const ColumnEntry &a, const ColumnEntry &b) { return a.tab_id < b.tab_id; });

        size_t next_schema = 0;
        for (uint32_t i = 0; i < objects; ++i) {
            const SysobjEntry &table = p.pSysobj[i];
            if (!Wanted(table)) continue;
            const std::string name(table.name, strnlen(table.name, sizeof table.name));
            TheLogger().InfoFormat("TableName:%s TabId:%i TabType:%c RecLen:%i", name.c_str(),
                                   table.id, table.type, table.rec_len);

            // The table's first column: found by halving when the columns
            // are in table order (as the schema leaves them), else by a scan.
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
                // The selection is in catalogue order, as this walk is.
                while (next_schema < schemas_.size() && schemas_[next_schema].object < i) ++next_schema;
                TableSchema built;
                const TableSchema *schema = nullptr;
                if (next_schema < schemas_.size() && schemas_[next_schema].object == i) {
                    schema = &schemas_[next_schema];
                } else {
                    built = BuildTableSchema(p, TableKeys(p), i, nullptr, nullptr);
                    schema = &built;
                }
                const int rc = WriteTableRows(*schema, end - first);
                if (IsStop(rc)) {
                    // The report and the manifest account for the rows
                    // written before the stop.
                    ReportTable(name, first, end, p.counts - before);
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
        // Files lost of objects whose rows were not looked at (the object
        // texts' file, a table without columns).
        for (const auto &lost : script_losses_) {
            const std::string name =
                lost.first < objects ? std::string(p.pSysobj[lost.first].name,
                                                   strnlen(p.pSysobj[lost.first].name, sizeof p.pSysobj[lost.first].name))
                                     : writer_->ObjectTextsName();
            ReportTable(name, 0, 0, lost.second, false);
        }
        script_losses_.clear();
        stopped_table_ = -1;

        // A writer may hold on to the tables until the database ends.
        const int rc = writing_ ? writer_->EndDatabase() : kOk;
        schemas_.clear();
        tables_selected_ = false;
        return IsStop(rc) ? rc : kOk;
    } catch (...) {
        LogAssertion(sites::kGenerateData);
        return kFailed;
    }
}
