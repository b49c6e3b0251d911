#include "vrndll/output/PostgresWriter.h"

#include <cstdio>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "Common/logger/logger.h"
#include "platform/platform.h"
#include "vrndll/call/ResultCode.h"
#include "vrndll/output/ScriptFile.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/sql/PlainValue.h"
#include "vrndll/sql/PostgresValues.h"

namespace {

using values::Charset;

// A string literal of SQL (standard_conforming_strings on).
std::string SqlString(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
    }
    out.push_back('\'');
    return out;
}

// Digits before the point of a number's text ("-123.45": 3).
size_t IntegerDigits(const std::string &text, size_t from) {
    size_t i = from;
    if (i < text.size() && text[i] == '-') ++i;
    while (i < text.size() && text[i] == '0') ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    return digits;
}

// The rows of one table as the lines of a COPY block in text format.
class PostgresRows : public RowSink {
public:
    explicit PostgresRows(Charset cs) : cs_(cs) {}

    // The COPY list: the table's columns in the order rows deliver them.
    void Begin(const TableSchema &table, std::vector<size_t> order) {
        table_ = &table;
        order_ = std::move(order);
        slot_of_field_.clear();
        for (size_t i = 0; i < order_.size(); ++i) slot_of_field_[table.columns[order_[i]].field] = i;
        slots_.assign(order_.size(), nullptr);
    }

    int WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) override {
        const size_t row_start = out.size();
        std::fill(slots_.begin(), slots_.end(), nullptr);
        for (size_t i = 0; i < row.count; ++i) {
            const RowValue &v = row.values[i];
            if (v.column == nullptr) continue;
            const auto it = slot_of_field_.find(v.column->field);
            if (it != slot_of_field_.end()) slots_[it->second] = &v;
        }
        for (size_t i = 0; i < slots_.size(); ++i) {
            if (i) out.push_back('\t');
            const RowValue *v = slots_[i];
            if (v == nullptr || v->state != RowValue::State::kStored) {
                out += values::kCopyNull;
                continue;
            }
            const int rc = AppendField(out, *v, table_->columns[order_[i]], row, reader);
            if (rc == kCancelled) {
                out.resize(row_start);
                return kCancelled;
            }
        }
        out.push_back('\n');
        return kOk;
    }
    void EndPage(std::string &) override {}

private:
    void Changed(RowReader &reader, const DecodedRow &row, const RowColumn &column, bool as_null,
                 const std::string &why) {
        if (as_null)
            reader.counts.values_null += 1;
        else
            reader.counts.values_changed += 1;
        (void)row;
        TheLogger().ErrorFormat("Row %i of page %ld of table %s: column %s written as %s: %s", reader.row_number,
                                static_cast<long>(reader.data_page()), table_->name.c_str(), column.name.c_str(),
                                as_null ? "NULL" : "changed", why.c_str());
        reader.NoteLostValue(column, as_null, why.c_str());
    }

    // The text of one character value in the COPY field, its changes counted.
    void Characters(std::string &out, const uint8_t *p, size_t n, bool utf16, RowReader &reader,
                    const DecodedRow &row, const RowColumn &column) {
        scratch_.clear();
        size_t invalid = 0;
        if (utf16)
            values::AppendUtf8FromUtf16Le(scratch_, p, n, &invalid);
        else
            values::AppendUtf8(scratch_, p, n, cs_, &invalid);
        size_t nuls = 0;
        values::AppendCopyText(out, scratch_.data(), scratch_.size(), &nuls);
        NoteText(reader, row, column, invalid, nuls);
    }

    void NoteText(RowReader &reader, const DecodedRow &row, const RowColumn &column, size_t invalid, size_t nuls) {
        if (nuls != 0)
            Changed(reader, row, column, false,
                    std::to_string(nuls) + " NUL character(s) dropped (PostgreSQL text cannot hold them)");
        else if (invalid != 0)
            Changed(reader, row, column, false,
                    std::to_string(invalid) + " byte(s) invalid in the character set, kept as the code point of their number");
    }

    int AppendField(std::string &out, const RowValue &v, const SchemaColumn &schema, const DecodedRow &row,
                    RowReader &reader) {
        const RowColumn &column = *v.column;
        if (values::IsChainType(column.user_type)) return AppendChain(out, v, column, row, reader);
        const size_t start = out.size();
        const values::PlainKind kind = values::PlainKindOf(column.user_type);
        size_t len = static_cast<size_t>(std::max<int32_t>(v.length, 0));
        if (kind == values::PlainKind::kText || kind == values::PlainKind::kUniText) {
            bool cut = false;
            if (schema.length > 0 && len > static_cast<size_t>(schema.length)) {
                len = static_cast<size_t>(schema.length);
                cut = true;
            }
            Characters(out, v.bytes, len, kind == values::PlainKind::kUniText, reader, row, column);
            if (cut) Changed(reader, row, column, false, "longer than its column, cut to the column's length");
            return kOk;
        }
        values::PlainChange change = values::PlainChange::kNone;
        plain_.clear();
        const values::PlainKind got =
            values::AppendPlainValue(plain_, column.user_type, v.bytes, len, column.scale, &change);
        if (got == values::PlainKind::kNull) {
            out += values::kCopyNull;
            Changed(reader, row, column, true, values::ValueChangeText(change));
            return kOk;
        }
        // PostgreSQL's float types hold NaN and the infinities.
        if (change == values::PlainChange::kNotANumber || change == values::PlainChange::kInfinity)
            change = values::PlainChange::kNone;
        if (change == values::PlainChange::kNone && (column.user_type == values::kNumeric ||
                                                     column.user_type == values::kDecimal)) {
            if (schema.precision >= 1 && schema.scale >= 0 && schema.scale <= schema.precision &&
                IntegerDigits(plain_, 0) > static_cast<size_t>(schema.precision - schema.scale)) {
                out += schema.nullable ? values::kCopyNull : "0";
                Changed(reader, row, column, false, "more digits than its precision (" + plain_ + ")");
                return kOk;
            }
        }
        if (change != values::PlainChange::kNone) {
            if (schema.nullable) {
                out += values::kCopyNull;
            } else {
                out += plain_;
            }
            Changed(reader, row, column, false, values::ValueChangeText(change));
            return kOk;
        }
        switch (got) {
        case values::PlainKind::kBoolean: out += plain_ == "0" ? "f" : "t"; break;
        case values::PlainKind::kBytes: out += "\\\\x"; out += plain_; break;
        default: out += plain_; break;
        }
        (void)start;
        return kOk;
    }

    int AppendChain(std::string &out, const RowValue &v, const RowColumn &column, const DecodedRow &row,
                    RowReader &reader) {
        const int32_t page = RowReader::ChainPage(v);
        if (page <= 0) {
            out += values::kCopyNull;
            return kOk;
        }
        const size_t start = out.size();
        size_t nuls = 0;
        size_t invalid = 0;
        RowReader::ChainRead got;
        if (column.user_type == values::kImage) {
            out += "\\\\x";
            got = reader.ReadChain(column, page, [&](const uint8_t *p, size_t n) { values::AppendHexDigits(out, p, n); });
        } else {
            values::Utf8Converter converter = column.user_type == values::kUniText
                                                  ? values::Utf8Converter::ForUtf16Le()
                                                  : values::Utf8Converter(cs_);
            got = reader.ReadChain(column, page, [&](const uint8_t *p, size_t n) {
                scratch_.clear();
                converter.Append(scratch_, p, n);
                values::AppendCopyText(out, scratch_.data(), scratch_.size(), &nuls);
            });
            scratch_.clear();
            converter.End(scratch_);
            values::AppendCopyText(out, scratch_.data(), scratch_.size(), &nuls);
            invalid = converter.Invalid();
        }
        if (got == RowReader::ChainRead::kCancelled) return kCancelled;
        if (got == RowReader::ChainRead::kNull) {
            out.resize(start);
            out += values::kCopyNull;
        } else if (got == RowReader::ChainRead::kWhole) {
            NoteText(reader, row, column, invalid, nuls);
        }
        return kOk;
    }


    Charset cs_;
    const TableSchema *table_ = nullptr;
    std::vector<size_t> order_;
    std::unordered_map<uint32_t, size_t> slot_of_field_;
    std::vector<const RowValue *> slots_;
    std::string scratch_;
    std::string plain_;
};

class PostgresWriter : public OutputWriter {
public:
    explicit PostgresWriter(const RecoveryOptions &options)
        : cs_(values::CharsetByName(options.charset).value_or(values::kDefaultCharset)),
          rows_(cs_) {}
    ~PostgresWriter() override = default;

    int BeginDatabase(const std::string &name, const std::string &folder) override {
        load_.Close();
        folder_ = folder;
        schema_ = values::PostgresIdentifier(name, cs_);
        tables_.clear();
        relations_.clear();
        if (!load_.Create(folder + platform::kPathSeparator + "load.sql")) return kOutputFailed;
        std::string head = "-- Recovered database, loaded with: psql -X -v ON_ERROR_STOP=1 -d TARGET -f load.sql\n"
                           "SET client_encoding = 'UTF8';\n"
                           "SET standard_conforming_strings = on;\n"
                           "SET client_min_messages = warning;\n"
                           "CREATE SCHEMA IF NOT EXISTS " + schema_ + ";\n\n";
        return Put(head) ? MarkWhole() : kOutputFailed;
    }

    int Table(const TableSchema &table) override {
        tables_.push_back(&table);
        const std::string name = Qualified(table.name);
        Claim(table.name);
        std::string text = "CREATE TABLE " + name + " (\n";
        const std::vector<size_t> order = Order(table);
        for (size_t i = 0; i < order.size(); ++i) {
            const SchemaColumn &c = table.columns[order[i]];
            bool identity = false;
            text += "    " + values::PostgresIdentifier(c.name, cs_) + " " + values::PostgresType(c, &identity);
            if (identity) {
                text += " GENERATED BY DEFAULT AS IDENTITY";
                identities_.push_back({&table, &c});
            } else if (c.identity) {
                TheLogger().ErrorFormat("Identity column %s of table %s is written without identity: its type cannot be numbered",
                                        c.name.c_str(), table.name.c_str());
            }
            if (!c.nullable) text += " NOT NULL";
            text += i + 1 < order.size() ? ",\n" : "\n";
        }
        text += ");\n\n";
        return Put(text) ? MarkWhole() : kOutputFailed;
    }

    int ObjectTexts(const std::vector<ObjectTextEntry> &texts) override {
        if (texts.empty()) return kOk;
        const std::string path = folder_ + platform::kPathSeparator + "object_texts.sql";
        platform::File f = platform::File::createAlways(path);
        if (!f.isOpen()) {
            TheLogger().ErrorFormat("Cannot create %s", path.c_str());
            return kScriptNotCreated;
        }
        std::string all = "-- Views, procedures, triggers, defaults and rules in the text the server held: not\n"
                          "-- PostgreSQL's language, so load.sql does not run them.\n";
        for (const ObjectTextEntry &t : texts) {
            all += "\n-- ";
            all += values::PostgresIdentifier(t.name, cs_);
            all += "\n";
            values::AppendUtf8(all, reinterpret_cast<const uint8_t *>(t.text.data()), t.text.size(), cs_, nullptr);
            all += "\n";
        }
        const bool ok = f.write(all.data(), all.size()) == all.size();
        f.close();
        return ok ? kOk : kScriptNotCreated;
    }

    RowSink &BeginRows(const TableSchema &table) override {
        const std::vector<size_t> order = Order(table);
        rows_.Begin(table, order);
        std::string text = "COPY " + Qualified(table.name) + " (";
        for (size_t i = 0; i < order.size(); ++i) {
            if (i) text += ", ";
            text += values::PostgresIdentifier(table.columns[order[i]].name, cs_);
        }
        text += ") FROM stdin;\n";
        copy_open_ = true;
        if (Put(text)) MarkWhole();
        return rows_;
    }

    int WriteRows(std::string &text) override {
        const bool ok = Put(text);
        text.clear();
        return ok ? kOk : kOutputFailed;
    }

    int EndBatch(int32_t) override { return MarkWhole(); }

    int EndRows(const TableSchema &) override {
        copy_open_ = false;
        return Put("\\.\n\n") ? MarkWhole() : kOutputFailed;
    }

    int EndDatabase() override {
        std::string text;
        for (const auto &id : identities_) {
            const std::string column = values::PostgresIdentifier(id.second->name, cs_);
            // The column's name as pg_get_serial_sequence reads it: literally.
            std::string bare = column.substr(1, column.size() - 2);
            std::string unquoted;
            for (size_t i = 0; i < bare.size(); ++i) {
                unquoted.push_back(bare[i]);
                if (bare[i] == '"') ++i;
            }
            text += "SELECT setval(pg_get_serial_sequence(" + SqlString(Qualified(id.first->name)) + ", " +
                    SqlString(unquoted) + "), GREATEST(COALESCE(MAX(" + column + "), 1), 1), COALESCE(MAX(" +
                    column + "), 0) >= 1) FROM " + Qualified(id.first->name) + ";\n";
        }
        if (!text.empty()) text += "\n";
        for (const TableSchema *t : tables_)
            for (const TableKey &k : t->keys) {
                if (k.kind == TableKey::Kind::kIndex) continue;
                text += "ALTER TABLE ONLY " + Qualified(t->name) + " ADD CONSTRAINT " + Claim(k.name) +
                        (k.kind == TableKey::Kind::kPrimary ? " PRIMARY KEY " : " UNIQUE ") + Columns(k.columns) +
                        ";\n";
            }
        for (const TableSchema *t : tables_)
            for (const TableKey &k : t->keys) {
                if (k.kind != TableKey::Kind::kIndex) continue;
                text += "CREATE INDEX " + Claim(k.name) + " ON " + Qualified(t->name) + " " + Columns(k.columns) +
                        ";\n";
            }
        for (const TableSchema *t : tables_)
            for (const TableForeignKey &k : t->foreign_keys)
                text += "ALTER TABLE ONLY " + Qualified(t->name) + " ADD CONSTRAINT " + Claim(k.name) +
                        " FOREIGN KEY " + Columns(k.columns) + " REFERENCES " + Qualified(k.referenced_table) + " " +
                        Columns(k.referenced_columns) + ";\n";
        identities_.clear();
        tables_.clear();
        const bool ok = Put(text);
        return load_.Close() && ok ? kOk : kOutputFailed;
    }

    void Abandon() override {
        if (!load_.is_open()) return;
        // The batch being written goes; a COPY block left open is closed so
        // that the rows before it still load.
        load_.CutBack();
        if (copy_open_) Put("\\.\n");
        copy_open_ = false;
        load_.Close();
    }

    int Close() override {
        const bool failed = load_.failed();
        load_.Close();
        return failed ? kOutputFailed : kOk;
    }

private:
    std::vector<size_t> Order(const TableSchema &table) const {
        std::vector<size_t> order = table.row_order;
        if (order.size() != table.columns.size()) {
            order.clear();
            for (size_t i = 0; i < table.columns.size(); ++i) order.push_back(i);
        }
        return order;
    }

    std::string Qualified(const std::string &table) const {
        return schema_ + "." + values::PostgresIdentifier(table, cs_);
    }

    std::string Columns(const std::vector<std::string> &columns) const {
        std::string text = "(";
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) text += ", ";
            text += values::PostgresIdentifier(columns[i], cs_);
        }
        return text + ")";
    }

    // A table, key or index name, unique among the schema's relations and
    // constraints: a name already taken gets "_2", "_3", ...
    std::string Claim(const std::string &name) {
        std::string quoted = values::PostgresIdentifier(name, cs_);
        if (relations_.insert(quoted).second) return quoted;
        for (int n = 2;; ++n) {
            std::string other = values::PostgresIdentifier(name + "_" + std::to_string(n), cs_);
            if (relations_.insert(other).second) {
                TheLogger().ErrorFormat("Name %s is taken in the schema; written as %s", quoted.c_str(), other.c_str());
                return other;
            }
        }
    }

    bool Put(const std::string &text) {
        load_.Put(text);
        return load_.is_open() && !load_.failed();
    }

    int MarkWhole() {
        load_.MarkWhole();
        return load_.failed() ? kOutputFailed : kOk;
    }

    Charset cs_;
    PostgresRows rows_;
    std::string folder_;
    std::string schema_;
    ScriptFile load_;
    bool copy_open_ = false;
    std::vector<const TableSchema *> tables_;
    std::vector<std::pair<const TableSchema *, const SchemaColumn *>> identities_;
    std::unordered_set<std::string> relations_;
};

} // namespace

std::unique_ptr<OutputWriter> MakePostgresWriter(const RecoveryOptions &options) {
    return std::make_unique<PostgresWriter>(options);
}
