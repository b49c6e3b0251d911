#include "vrndll/output/TsqlWriter.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "Common/logger/logger.h"
#include "vrndll/call/AssertionSites.h"
#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/output/LoadScriptDatabase.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/sql/ClientSafeText.h"
#include "vrndll/sql/SqlIdentifier.h"
#include "vrndll/sql/SqlTypeText.h"
#include "vrndll/sql/ValueFormat.h"
#include "vrndll/VRNOutFiles.h"
#include "vrndll/VRNParser.h"

namespace {

// Script names (file stems, mapped like every other name).
const char kObjectTextsScript[] = "compiled_objects";
const char kForeignKeysScript[] = "foreign_keys";

const char kMonthFirstBatch[] = "set dateformat mdy\nGO\n";

std::string StoredName(const SysobjEntry &t) { return std::string(t.name, strnlen(t.name, sizeof t.name)); }

bool HasIdentity(const TableSchema &table) {
    return std::any_of(table.columns.begin(), table.columns.end(), [](const SchemaColumn &c) { return c.identity; });
}

bool HasDateOrTime(const TableSchema &table) {
    return std::any_of(table.columns.begin(), table.columns.end(), [](const SchemaColumn &c) {
        switch (c.user_type) {
        case values::kDateTime:
        case values::kSmallDateTime:
        case values::kDate:
        case values::kTime:
            return true;
        default:
            return false;
        }
    });
}

} // namespace

TsqlWriter::TsqlWriter(const RecoveryOptions &options, VRNOutFiles &files, const VRNParser &parser,
                       std::function<void(const std::string &)> note, const std::string &database)
    : options_(options), files_(files), parser_(parser), note_(std::move(note)), database_(database),
      writing_(!options.list_only) {}

int TsqlWriter::OpenDatabase(const std::string &name) {
    keys_.reset();
    selection_.clear();
    if (!writing_) return kOk;
    // A failure shows up when the header is written.
    files_.CreateBatFile(name.c_str());
    if (!DatabaseNamePassable(files_.database_name)) {
        TheLogger().ErrorText("Database name cannot be passed to isql; the load scripts stop before loading",
                              PrintableName(files_.database_name).c_str());
        if (note_)
            note_("database " + PrintableName(files_.database_name) +
                  ": its name cannot be passed to isql safely; commit.bat and commit.sh stop before loading "
                  "(load its scripts by hand, folder " + files_.database_folder + ")");
    }
    return kOk;
}

std::string TsqlWriter::DatabaseFolder() const { return files_.PathInTarget(files_.database_folder); }

int TsqlWriter::BeginDatabase(const std::string &, const std::string &) {
    // The key lookups of the catalogue as it now stands: every table added,
    // the columns in table order.
    keys_.reset(new KeyStatements(parser_));
    if (!writing_) return kOk;
    const int rc = files_.WriteBatText(BatHeader);
    return IsStop(rc) ? rc : kOk;
}

void TsqlWriter::Selection(const std::vector<TableSchema> &tables) {
    selection_.clear();
    for (const TableSchema &t : tables) selection_.push_back(t.object);
}

const KeyStatements &TsqlWriter::Keys() {
    if (!keys_) keys_.reset(new KeyStatements(parser_));
    return *keys_;
}

int TsqlWriter::Table(const TableSchema &schema) {
    if (!writing_ || schema.object >= parser_.object_count()) return kOk;
    const uint32_t j = schema.object;
    const SysobjEntry &table = parser_.pSysobj[j];
    const std::string name = StoredName(table);
    // The table's definition is lost when its script cannot be made; its
    // rows may still be written.
    int rc = files_.OpenScript(name.c_str(), 0);
    if (rc == kScriptNotCreated || IsStop(rc)) return rc;

    std::string text = "CREATE TABLE ";
    text += SqlIdentifier(name);
    text += "(\n";
    const ColumnRange columns = ColumnsOfTable(parser_, table.id);
    for (uint32_t k = columns.begin; k < columns.end; ++k) {
        const ColumnEntry &c = parser_.fields[k];
        if (k != columns.begin) text += ", \n";
        text += SqlIdentifier(ColumnName(c, parser_.format()));
        text += " ";
        text += SqlTypeText(c, parser_.format());
        text += NullabilityText(c.null_flag);
    }
    text += ")";
    text += "\n";
    text += "\nGO";

    rc = files_.write_file(text.c_str(), 0);
    if (IsStop(rc)) return rc;
    rc = PrintIndex(j);
    if (IsStop(rc)) return rc;
    // Every script ends with a line break.
    if (files_.LastScriptByte() != '\n') {
        rc = files_.write_file("\n", 0);
        if (IsStop(rc)) return rc;
    }
    // The foreign keys wait for every row: foreign_keys.sql.
    return kOk;
}

int TsqlWriter::PrintIndex(uint32_t j) {
    try {
        TheLogger().Info("Running print_index");
        const std::string text = Keys().IndexText(parser_.pSysobj.at(j));
        if (text.empty()) return kOk;
        const int rc = files_.write_file(text.c_str(), 0);
        return IsStop(rc) ? rc : kOk;
    } catch (...) {
        LogAssertion(sites::kPrintIndex);
        return kFailed;
    }
}

int TsqlWriter::PrintFkey(uint32_t j) {
    try {
        TheLogger().Info("Running print_fkey");
        const std::string text = Keys().ForeignKeyText(parser_.pSysobj.at(j));
        // A failed write of the foreign keys does not stop the recovery.
        if (!text.empty()) files_.write_file(text.c_str(), 0);
        return kOk;
    } catch (...) {
        LogAssertion(sites::kPrintFkey);
        return kFailed;
    }
}

// The script of the compiled objects: each text closed by one "GO", opened
// after the table scripts and before the data scripts, so the objects are
// made once the tables they name exist and before the rows come in (a
// trigger does not fire on the load). No script without texts.
int TsqlWriter::ObjectTexts(const std::vector<ObjectTextEntry> &texts) {
    try {
        if (!writing_ || texts.empty()) return kOk;
        int rc = files_.OpenScript(kObjectTextsScript, 0);
        if (rc == kScriptNotCreated || IsStop(rc)) return rc;
        for (const ObjectTextEntry &w : texts) {
            int changed = 0;
            std::string text = ClientSafeText(w.text, &changed);
            if (changed > 0)
                TheLogger().ErrorFormat("Text of %s: %i lines began with a client command and were written after an empty comment",
                                        w.name.c_str(), changed);
            if (!text.empty() && text.back() != '\n') text += '\n';
            text += "GO\n";
            rc = files_.write_file(text.c_str(), 0);
            if (IsStop(rc)) return rc;
        }
        TheLogger().InfoFormat("Texts of %lu compiled objects written", static_cast<unsigned long>(texts.size()));
        return kOk;
    } catch (...) {
        LogAssertion(sites::kWriteObjectTexts);
        return kFailed;
    }
}

int TsqlWriter::StartRows(const TableSchema &table) {
    if (!writing_ || table.object >= parser_.object_count()) return kOk;
    const std::string name = StoredName(parser_.pSysobj[table.object]);
    files_.part_preamble = HasDateOrTime(table) ? kMonthFirstBatch : "";
    // A session holds identity_insert for one table at a time.
    files_.part_postamble.clear();
    if (HasIdentity(table)) {
        const std::string table_sql = SqlIdentifier(name);
        files_.part_preamble += "set identity_insert " + table_sql + " on\nGO\n";
        files_.part_postamble = "set identity_insert " + table_sql + " off\nGO\n";
    }
    const int rc = files_.OpenScript(name.c_str(), 1);
    return IsStop(rc) ? rc : kOk;
}

std::string TsqlWriter::ObjectTextsName() const { return kObjectTextsScript; }

RowSink &TsqlWriter::BeginRows(const TableSchema &) { return rows_; }

int TsqlWriter::WriteRows(std::string &text) {
    // A page's text goes to its script as a piece of the open batch (taken
    // over when it is long); EndBatch ends the batch.
    const int rc = writing_ ? files_.WriteBatchPiece(text) : kOk;
    text.clear();
    // A piece for a script that could not be created is lost with it; the
    // rows go on (a later part may be created).
    return rc == kScriptNotCreated ? kOk : rc;
}

int TsqlWriter::EndBatch(int32_t rows) { return writing_ ? files_.write_file("", rows) : kOk; }

int TsqlWriter::EndRows(const TableSchema &) { return kOk; }

uint64_t TsqlWriter::FilesNotCreated() const { return files_.ScriptsNotCreated(); }

std::vector<uint32_t> TsqlWriter::ForeignKeyOrder() {
    const KeyStatements &keys = Keys();
    // The selected tables, by id (the first entry of an id).
    std::unordered_map<int32_t, uint32_t> tables;
    std::vector<uint32_t> in_order;
    for (uint32_t j : selection_)
        if (j < parser_.object_count() && tables.emplace(parser_.pSysobj[j].id, j).second) in_order.push_back(j);
    std::sort(in_order.begin(), in_order.end(),
              [this](uint32_t a, uint32_t b) { return parser_.pSysobj[a].id < parser_.pSysobj[b].id; });

    // Depth first over the references, without recursion: a table is put
    // out once every table it references has been.
    std::vector<uint32_t> order;
    std::unordered_set<int32_t> seen;
    struct Step {
        int32_t id;
        std::vector<int32_t> refs;
        size_t next;
    };
    std::vector<Step> stack;
    for (uint32_t root : in_order) {
        const int32_t root_id = parser_.pSysobj[root].id;
        if (!seen.insert(root_id).second) continue;
        stack.push_back({root_id, keys.ReferencedTables(root_id), 0});
        while (!stack.empty()) {
            Step &top = stack.back();
            if (top.next < top.refs.size()) {
                const int32_t ref = top.refs[top.next++];
                if (tables.count(ref) != 0 && seen.insert(ref).second)
                    stack.push_back({ref, keys.ReferencedTables(ref), 0});
                continue;
            }
            order.push_back(tables[top.id]);
            stack.pop_back();
        }
    }
    return order;
}

// A foreign key in its table's script would be made before the table it
// references exists whenever the referencing table comes first, and once
// made the server checks every row loaded after it. So the keys wait until
// every table exists and every row is in; a cycle is broken where it
// closes, in object order. A key to a table outside the selection is left
// out and named to the host.
int TsqlWriter::WriteForeignKeys() {
    try {
        const KeyStatements &keys = Keys();
        const std::vector<uint32_t> order = ForeignKeyOrder();
        std::unordered_set<int32_t> selected;
        for (uint32_t j : order) selected.insert(parser_.pSysobj[j].id);
        // Without patterns a key to a table the catalogue lacks is kept (its
        // statement names the stand-in); with them only selected tables are
        // referenced.
        std::function<bool(int32_t)> keep;
        if (!options_.table_patterns.empty())
            keep = [&selected](int32_t id) { return selected.count(id) != 0; };

        std::string text;
        std::vector<std::string> left_out;
        for (uint32_t j : order) text += keys.ForeignKeyText(parser_.pSysobj[j], keep, &left_out);
        for (const std::string &l : left_out) {
            const std::string what = PrintableName(l);
            TheLogger().InfoText("Foreign key left out: it references a table outside the selection", what.c_str());
            if (note_) note_(database_ + ": foreign key " + what + " left out (the referenced table is not selected)");
        }
        if (text.empty()) return kOk;
        text += "\n";
        int rc = files_.OpenScript(kForeignKeysScript, 0);
        if (IsStop(rc)) return rc;
        // A numbered series that ended on a full script has its next number
        // pending: it belongs to the rows, not to this script.
        files_.rows_in_part = 0;
        rc = files_.write_file(text.c_str(), 0);
        return IsStop(rc) ? rc : kOk;
    } catch (...) {
        LogAssertion(sites::kWriteForeignKeys);
        return kFailed;
    }
}

int TsqlWriter::EndDatabase() {
    int rc = kOk;
    if (writing_) {
        // Every row is in: now the foreign keys.
        if (!options_.data_only) rc = WriteForeignKeys();
        if (!IsStop(rc)) rc = files_.WriteBatText(BatTrailer);
        if (!IsStop(rc)) rc = kOk;
    }
    keys_.reset();
    selection_.clear();
    return rc;
}

void TsqlWriter::Abandon() {
    files_.DropOpenBatch();
}

int TsqlWriter::Close() { return kOk; }
