// GenerateDll, the first half of the T-SQL scripts of one database (the
// writer is TsqlWriter.h), and RecoverTableFromField, which adds the tables
// only the column catalogue knows.
#include <unordered_set>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/VRNRecover.h"

namespace {


// Column names that mark a system table of the catalogue itself.
bool IsSystemTableColumn(const std::string &name) {
    return name == "TABLE_TYPE" || name == "mdinfo" || name == "querytype" || name == "query" ||
           name == "datatype";
}

} // namespace

TsqlWriter &VRNRecover::Scripts() {
    auto *scripts = dynamic_cast<TsqlWriter *>(writer_.get());
    if (scripts) return *scripts;
    auto made = std::make_unique<TsqlWriter>(options, outfiles, *parser, [this](const std::string &text) { Note(text); },
                                             current_database_);
    scripts = made.get();
    writer_ = std::move(made);
    return *scripts;
}

int VRNRecover::PrintIndex(uint32_t j) { return Scripts().PrintIndex(j); }

int VRNRecover::PrintFkey(uint32_t j) { return Scripts().PrintFkey(j); }

int VRNRecover::GenerateDll(const char *database_name, int template_flag) {
    Scripts();
    return WriteSchema(database_name ? database_name : "", template_flag != 0);
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
