// The csv output (CsvWriter.h).
#include "vrndll/output/CsvWriter.h"

#include "Common/logger/logger.h"
#include "platform/platform.h"
#include "vrndll/call/ResultCode.h"
#include "vrndll/output/FileNameClaims.h"
#include "vrndll/output/PostgresRows.h"
#include "vrndll/output/PostgresSchema.h"
#include "vrndll/output/PostgresWriter.h"
#include "vrndll/output/SafeName.h"
#include "vrndll/output/ScriptFile.h"
#include "vrndll/sql/PostgresValues.h"

namespace {

using values::Charset;

class CsvWriter : public OutputWriter {
public:
    explicit CsvWriter(const RecoveryOptions &options)
        : cs_(values::CharsetByName(options.charset).value_or(values::kDefaultCharset)), schema_(cs_),
          rows_(cs_, PostgresRowFormat::kCsv) {}

    int BeginDatabase(const std::string &name, const std::string &folder) override {
        schema_file_.Close();
        load_.Close();
        folder_ = folder;
        names_.Clear();
        // The names of our own files are never a table's.
        for (const char *own : {"schema", "load", "object_texts"}) names_.ClaimPlain(own);
        if (!schema_file_.Create(Path("schema.sql")) || !load_.Create(Path("load.sql"))) return kOutputFailed;
        schema_file_.Put("-- The tables of the recovered database, in PostgreSQL; load.sql runs this file.\n" +
                         schema_.Begin(name));
        schema_file_.MarkWhole();
        Put(load_, "-- Recovered database as CSV files, loaded in this folder with:\n"
                   "--   psql -X -v ON_ERROR_STOP=1 -d TARGET -f load.sql\n"
                   "\\ir schema.sql\n");
        return Failed() ? kOutputFailed : kOk;
    }

    int Table(const TableSchema &table) override {
        Put(schema_file_, schema_.CreateTable(table));
        return Failed() ? kOutputFailed : kOk;
    }

    int ObjectTexts(const std::vector<ObjectTextEntry> &texts) override {
        return WritePostgresObjectTexts(Path("object_texts.sql"), texts, cs_);
    }

    int StartRows(const TableSchema &table) override {
        // No quote in the name: psql reads it inside a quoted string.
        std::string stem = SafeFileName(table.name);
        for (char &c : stem)
            if (c == '\'') c = '_';
        csv_name_ = names_.ClaimPlain(stem) + ".csv";
        if (!csv_.Create(Path(csv_name_))) return kOk; // the table's rows are lost with it (EndRows)
        std::string header;
        const std::vector<size_t> order = PostgresSchema::RowOrder(table);
        for (size_t i = 0; i < order.size(); ++i) {
            if (i) header += ',';
            std::string utf8;
            const std::string &n = table.columns[order[i]].name;
            values::AppendUtf8(utf8, reinterpret_cast<const uint8_t *>(n.data()), n.size(), cs_, nullptr);
            header += '"';
            values::AppendCsvText(header, utf8.data(), utf8.size(), nullptr);
            header += '"';
        }
        Put(csv_, header + "\r\n");
        return kOk;
    }

    RowSink &BeginRows(const TableSchema &table) override {
        rows_.Begin(table, PostgresSchema::RowOrder(table));
        table_ = &table;
        return rows_;
    }

    std::unique_ptr<RowSink> NewRowSink(const TableSchema &table) override {
        auto sink = std::make_unique<PostgresRows>(cs_, PostgresRowFormat::kCsv);
        sink->Begin(table, PostgresSchema::RowOrder(table));
        return sink;
    }

    int WriteRows(std::string &text) override {
        csv_.Put(text);
        text.clear();
        return csv_.failed() && csv_.is_open() ? kOutputFailed : kOk;
    }

    int EndBatch(int32_t) override {
        csv_.MarkWhole();
        return csv_.failed() && csv_.is_open() ? kOutputFailed : kOk;
    }

    int EndRows(const TableSchema &table) override {
        if (!csv_.is_open()) return kScriptNotCreated;
        const bool ok = csv_.Close();
        LoadLine(table);
        return ok && !Failed() ? kOk : kOutputFailed;
    }

    int EndDatabase() override {
        Put(load_, "\n" + schema_.Tail());
        const bool ok = !Failed();
        // Both files are closed, whichever fails.
        const bool schema_closed = schema_file_.Close();
        const bool load_closed = load_.Close();
        return ok && schema_closed && load_closed ? kOk : kOutputFailed;
    }

    void Abandon() override {
        // The rows of the open file that are whole stay, and are loaded.
        if (csv_.is_open()) {
            csv_.CutBack();
            csv_.Close();
            if (table_ != nullptr) LoadLine(*table_);
        }
        schema_file_.Close();
        load_.Close();
    }

    int Close() override {
        const bool failed = Failed();
        csv_.Close();
        schema_file_.Close();
        load_.Close();
        return failed ? kOutputFailed : kOk;
    }

private:
    std::string Path(const std::string &name) const { return folder_ + platform::kPathSeparator + name; }

    static void Put(ScriptFile &file, const std::string &text) {
        file.Put(text);
        file.MarkWhole();
    }

    bool Failed() const { return schema_file_.failed() || load_.failed(); }

    // The \copy line of the table's file: psql reads the file (relative to
    // the folder psql runs in) on the client's side.
    void LoadLine(const TableSchema &table) {
        Put(load_, "\\copy " + schema_.Qualified(table.name) + " " + schema_.RowColumns(table) + " FROM " +
                       PostgresString(csv_name_) + " WITH (FORMAT csv, HEADER, ENCODING 'UTF8')\n");
    }

    Charset cs_;
    PostgresSchema schema_;
    PostgresRows rows_;
    std::string folder_;
    FileNameClaims names_;
    ScriptFile schema_file_, load_, csv_;
    std::string csv_name_;
    const TableSchema *table_ = nullptr;
};

} // namespace

std::unique_ptr<OutputWriter> MakeCsvWriter(const RecoveryOptions &options) {
    return std::make_unique<CsvWriter>(options);
}
