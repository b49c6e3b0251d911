// GenerateDll: the folder, commit.bat and table scripts of one database, and
// RecoverTableFromField, which adds the tables only the column catalogue
// knows.
//
// A table script opens with the table's definition:
//
//     CREATE TABLE orders(
//     id  int NOT NULL, 
//     note  varchar(20) NULL)
//
//     GO
//
// (each column: its name, a blank, the type text that begins with its own
// blank, the nullability text; columns separated by ", \n"), followed by the
// table's index and key statements (KeyStatements.h; its foreign keys go
// to foreign_keys.sql, loaded after the rows). Names that are not plain identifiers are
// bracket-quoted (SqlIdentifier.h).
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/output/LoadScriptDatabase.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/sql/SqlIdentifier.h"
#include "vrndll/sql/SqlTypeText.h"
#include "vrndll/VRNRecover.h"

namespace {


// Column names that mark a system table of the catalogue itself.
bool IsSystemTableColumn(const std::string &name) {
    return name == "TABLE_TYPE" || name == "mdinfo" || name == "querytype" || name == "query" ||
           name == "datatype";
}

} // namespace

int VRNRecover::WriteTableScript(uint32_t j) {
    const SysobjEntry &table = parser->pSysobj[j];
    const std::string name(table.name, strnlen(table.name, sizeof table.name));
    int rc = outfiles.OpenScript(name.c_str(), 0);
    if (rc == kScriptNotCreated) {
        // The table's definition is lost; its rows may still be written.
        // Counted with the table's account when its rows are.
        script_losses_[j].scripts_not_created += 1;
        return kOk;
    }
    if (IsStop(rc)) return rc;

    std::string text = "CREATE TABLE ";
    text += SqlIdentifier(name);
    text += "(\n";
    const ColumnRange columns = ColumnsOfTable(*parser, table.id);
    for (uint32_t k = columns.begin; k < columns.end; ++k) {
        const ColumnEntry &c = parser->fields[k];
        if (k != columns.begin) text += ", \n";
        text += SqlIdentifier(ColumnName(c, parser->format()));
        text += " ";
        text += SqlTypeText(c, parser->format());
        text += NullabilityText(c.null_flag);
    }
    text += ")";
    text += "\n";
    text += "\nGO";

    rc = outfiles.write_file(text.c_str(), 0);
    if (IsStop(rc)) return rc;
    rc = PrintIndex(j);
    if (IsStop(rc)) return rc;
    // Every script ends with a line break.
    if (outfiles.LastScriptByte() != '\n') {
        rc = outfiles.write_file("\n", 0);
        if (IsStop(rc)) return rc;
    }
    // The foreign keys wait for every row: foreign_keys.sql (ForeignKeyScript.cpp).
    return kOk;
}

const KeyStatements &VRNRecover::Keys() {
    if (!keys_) keys_.reset(new KeyStatements(*parser));
    return *keys_;
}

int VRNRecover::PrintIndex(uint32_t j) {
    try {
        TheLogger().Info("Running print_index");
        const std::string text = Keys().IndexText(parser->pSysobj.at(j));
        if (text.empty()) return kOk;
        const int rc = outfiles.write_file(text.c_str(), 0);
        return IsStop(rc) ? rc : kOk;
    } catch (...) {
        LogAssertion(sites::kPrintIndex);
        return kFailed;
    }
}

int VRNRecover::PrintFkey(uint32_t j) {
    try {
        TheLogger().Info("Running print_fkey");
        const std::string text = Keys().ForeignKeyText(parser->pSysobj.at(j));
        // A failed write of the foreign keys does not stop the recovery.
        if (!text.empty()) outfiles.write_file(text.c_str(), 0);
        return kOk;
    } catch (...) {
        LogAssertion(sites::kPrintFkey);
        return kFailed;
    }
}

int VRNRecover::GenerateDll(const char *database_name, int template_flag) {
    try {
        TheLogger().Info("Starting Generete Dll");
        script_losses_.clear();
        stage_ = 1;
        // A failure shows up when the header is written.
        outfiles.CreateBatFile(database_name);
        if (!DatabaseNamePassable(outfiles.database_name)) {
            TheLogger().ErrorText("Database name cannot be passed to isql; the load scripts stop before loading",
                                  PrintableName(outfiles.database_name).c_str());
            Note("database " + PrintableName(outfiles.database_name) +
                 ": its name cannot be passed to isql safely; commit.bat and commit.sh stop before loading "
                 "(load its scripts by hand, folder " + outfiles.database_folder + ")");
        }

        int rc;
        if (template_flag == 0) {
            rc = parser->ReadDetailCatalogues();
            if (IsCancelOrFailure(rc)) return rc;
        }
        rc = outfiles.WriteBatText(BatHeader);
        if (IsStop(rc)) return rc;

        if (template_flag == 0 && !fields_scanned) {
            rc = RecoverTableFromField();
            if (rc == kCancelled) return rc;
        }

        // Once per database: the columns in table order, first_field of
        // every table pointing at its first column.
        SortColumnsByTable(*parser);
        keys_.reset(new KeyStatements(*parser));

        const uint32_t objects =
            parser->object_count();
        for (uint32_t j = 0; j < objects; ++j) {
            const SysobjEntry &table = parser->pSysobj[j];
            if (!Wanted(table) || table.first_field == -1 || options.data_only) continue;
            current_table_ = PrintableName(std::string(table.name, strnlen(table.name, sizeof table.name)));
            stopped_table_ = j;
            rc = WriteTableScript(j);
            if (IsStop(rc)) return rc;
        }
        current_table_.clear();
        // The views, procedures and triggers come after the tables they
        // name and before the rows.
        if (!options.data_only) {
            rc = WriteObjectTexts();
            if (IsStop(rc)) return rc;
        }
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGenerateDll);
        return kFailed;
    }
}

int VRNRecover::RecoverTableFromField() {
    try {
        fields_scanned = true;
        Logger &log = TheLogger();
        log.Info("RecoverTableFromField()");
        VRNParser &p = *parser;

        uint32_t objects = p.object_count();
        std::unordered_set<int32_t> known;
        for (uint32_t k = 0; k < objects; ++k) known.insert(p.pSysobj[k].id);
        // Every table id recognised as a system table, however many.
        std::unordered_set<int32_t> system_tables;
        int added = 0;

        const uint32_t columns = p.field_count();
        for (uint32_t k = 0; k < columns; ++k) {
            const ColumnEntry &c = p.fields[k];
            if (known.count(c.tab_id) != 0) continue;
            if (c.name[0] == '@') continue; // a procedure's parameter
            if (system_tables.count(c.tab_id) != 0) continue;
            if (IsSystemTableColumn(ColumnName(c, parser->format()))) {
                system_tables.insert(c.tab_id);
                continue;
            }

            // The catalogue grows as far as it must, in steps of 100.
            added += 1;
            SysobjEntry &e = p.AddObject(100);
            e.id = c.tab_id;
            e.type = 'U';
            e.name_len = p.MakeTableName(added, e.name);
            e.rec_len = static_cast<int16_t>(e.name_len + 92);
            e.first_field = c.col_id;
            // No data until its first page is found below.
            e.first_block = 0;
            known.insert(c.tab_id);
        }

        if (added != 0) {
            log.InfoNumber("Cound of find tables = ", added);
            // The first data page of every table, the new ones included.
            const int rc = p.data_blockread();
            if (rc == kCancelled) return kCancelled;
            if (rc != 0)
                log.ErrorNumber("First pages of the added tables not all found; data_blockread returned", rc);
            objects = p.object_count();
            for (uint32_t k = objects - static_cast<uint32_t>(added); k < objects; ++k) {
                SysobjEntry &e = p.pSysobj[k];
                if (e.first_block > 0) continue;
                // A page id below 1 is never read: the table gets no data.
                e.first_block = 0;
                log.InfoText("No data page found for the added table", e.name);
            }
        }
        return 1;
    } catch (...) {
        LogAssertion(sites::kRecoverTableFromField);
        return kFailed;
    }
}
