// The postgres output (PostgresWriter.h).
#include "vrndll/output/PostgresWriter.h"

#include "Common/logger/logger.h"
#include "platform/platform.h"
#include "vrndll/call/ResultCode.h"
#include "vrndll/output/PostgresRows.h"
#include "vrndll/output/PostgresSchema.h"
#include "vrndll/output/ScriptFile.h"
#include "vrndll/sql/PostgresValues.h"
#include "vrndll/sql/SqlComment.h"

namespace {

using values::Charset;

class PostgresWriter : public OutputWriter {
public:
    explicit PostgresWriter(const RecoveryOptions &options)
        : cs_(values::CharsetByName(options.charset).value_or(values::kDefaultCharset)), schema_(cs_),
          rows_(cs_, PostgresRowFormat::kCopyText), stream_(options.standard_output) {}

    int BeginDatabase(const std::string &name, const std::string &folder) override {
        folder_ = folder;
        if (stream_) {
            // One stream for every database, each in its own schema.
            if (!load_.is_open() && !load_.OpenStandardOutput("standard output")) return kOutputFailed;
            std::string head = "-- Recovered database ";
            values::AppendUtf8(head, reinterpret_cast<const uint8_t *>(name.data()), name.size(), cs_, nullptr);
            return Put(head + "\n" + schema_.Begin(name));
        }
        load_.Close();
        if (!load_.Create(folder + platform::kPathSeparator + "load.sql")) return kOutputFailed;
        return Put("-- Recovered database, loaded with: psql -X -v ON_ERROR_STOP=1 -d TARGET -f load.sql\n" +
                   schema_.Begin(name));
    }

    int Table(const TableSchema &table) override { return Put(schema_.CreateTable(table)); }

    int ObjectTexts(const std::vector<ObjectTextEntry> &texts) override {
        if (!stream_) return WritePostgresObjectTexts(folder_ + platform::kPathSeparator + "object_texts.sql", texts, cs_);
        // In the stream the texts, not PostgreSQL's language, are comments.
        std::string text;
        for (const ObjectTextEntry &t : texts) {
            std::string utf8 = "Object " + values::PostgresIdentifier(t.name, cs_) + ", in the server's own language:\n";
            values::AppendUtf8(utf8, reinterpret_cast<const uint8_t *>(t.text.data()), t.text.size(), cs_, nullptr);
            values::AppendCommentLines(text, utf8);
        }
        return Put(text);
    }

    RowSink &BeginRows(const TableSchema &table) override {
        rows_.Begin(table, PostgresSchema::RowOrder(table));
        copy_open_ = true;
        Put("COPY " + schema_.Qualified(table.name) + " " + schema_.RowColumns(table) + " FROM stdin;\n");
        return rows_;
    }

    std::unique_ptr<RowSink> NewRowSink(const TableSchema &table) override {
        auto sink = std::make_unique<PostgresRows>(cs_, PostgresRowFormat::kCopyText);
        sink->Begin(table, PostgresSchema::RowOrder(table));
        return sink;
    }

    int WriteRows(std::string &text) override {
        load_.Put(text);
        text.clear();
        return load_.failed() ? kOutputFailed : kOk;
    }

    int EndBatch(int32_t) override {
        load_.MarkWhole();
        return load_.failed() ? kOutputFailed : kOk;
    }

    int EndRows(const TableSchema &) override {
        copy_open_ = false;
        return Put("\\.\n\n");
    }

    int EndDatabase() override {
        const int rc = Put(schema_.Tail());
        if (stream_) return rc;
        return load_.Close() && rc == kOk ? kOk : kOutputFailed;
    }

    void Abandon() override {
        if (!load_.is_open()) return;
        // The batch being written goes; a COPY block left open is closed so
        // that the rows before it still load.
        load_.CutBack();
        if (copy_open_) load_.Put("\\.\n");
        copy_open_ = false;
        load_.Close();
    }

    int Close() override {
        const bool failed = load_.failed();
        load_.Close();
        return failed ? kOutputFailed : kOk;
    }

private:
    // Whole statements: put and marked whole.
    int Put(const std::string &text) {
        load_.Put(text);
        load_.MarkWhole();
        return load_.is_open() && !load_.failed() ? kOk : kOutputFailed;
    }

    Charset cs_;
    PostgresSchema schema_;
    PostgresRows rows_;
    std::string folder_;
    ScriptFile load_;
    bool copy_open_ = false;
    bool stream_ = false;
};

} // namespace

int WritePostgresObjectTexts(const std::string &path, const std::vector<ObjectTextEntry> &texts,
                             values::Charset cs) {
    if (texts.empty()) return kOk;
    platform::File f = platform::File::createAlways(path);
    if (!f.isOpen()) {
        TheLogger().ErrorFormat("Cannot create %s", path.c_str());
        return kScriptNotCreated;
    }
    std::string all = "-- Views, procedures, triggers, defaults and rules in the text the server held: not\n"
                      "-- PostgreSQL's language, so load.sql does not run them.\n";
    for (const ObjectTextEntry &t : texts) {
        all += "\n-- ";
        all += values::PostgresIdentifier(t.name, cs);
        all += "\n";
        values::AppendUtf8(all, reinterpret_cast<const uint8_t *>(t.text.data()), t.text.size(), cs, nullptr);
        all += "\n";
    }
    const bool ok = f.write(all.data(), all.size()) == all.size();
    f.close();
    return ok ? kOk : kScriptNotCreated;
}

std::unique_ptr<OutputWriter> MakePostgresWriter(const RecoveryOptions &options) {
    return std::make_unique<PostgresWriter>(options);
}
