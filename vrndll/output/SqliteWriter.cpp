// The SQLite output (SqliteWriter.h).
#include "vrndll/output/SqliteWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "Common/logger/logger.h"
#include "vrndll/call/ResultCode.h"
#include "vrndll/rows/RowReader.h"
#include "vrndll/sql/PlainRun.h"
#include "vrndll/sql/PlainValue.h"
#include "vrndll/sql/SqlComment.h"

using values::PlainKind;

// ================================================================== values

SqliteColumnKind SqliteKindOf(const SchemaColumn &column) {
    switch (column.user_type) {
    case values::kTinyInt: case values::kSmallInt: case values::kInt: case values::kBigInt:
    case values::kUnsignedSmallInt: case values::kUnsignedInt: case values::kBit:
        return SqliteColumnKind::kInteger;
    case values::kNumeric: case values::kDecimal:
        // Up to 18 digits an int64 holds every value of scale 0.
        return column.scale == 0 && column.precision > 0 && column.precision <= 18 ? SqliteColumnKind::kInteger
                                                                                 : SqliteColumnKind::kText;
    case values::kFloat: case values::kReal:
        return SqliteColumnKind::kFloat;
    case values::kBinary: case values::kVarBinary: case values::kImage: case values::kTimestamp:
        return SqliteColumnKind::kBlob;
    default:
        break;
    }
    const PlainKind kind = values::PlainKindOf(column.user_type);
    return kind == PlainKind::kBytes ? SqliteColumnKind::kBlob : SqliteColumnKind::kText;
}

const char *SqliteTypeName(SqliteColumnKind kind) {
    switch (kind) {
    case SqliteColumnKind::kInteger: return "INTEGER";
    case SqliteColumnKind::kFloat: return "";
    case SqliteColumnKind::kText: return "TEXT";
    case SqliteColumnKind::kBlob: return "BLOB";
    }
    return "BLOB";
}

void AppendSqliteIdentifier(std::string &out, const std::string &name) {
    out += '"';
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

namespace {

// Characters a literal cannot hold as they are.
bool SpelledOut(char c) { return c == '\'' || c == '\n' || c == '\r' || c == '\0'; }

} // namespace

void AppendSqliteText(std::string &out, const char *utf8, size_t n) {
    out += '\'';
    size_t i = 0;
    for (;;) {
        const size_t run = values::PlainRun<'\'', '\n', '\r', '\0'>(utf8 + i, n - i);
        out.append(utf8 + i, run);
        i += run;
        if (i == n) break;
        const char c = utf8[i++];
        if (c == '\'') {
            out += "''";
        } else {
            out += "'||char(";
            out += c == '\n' ? "10" : c == '\r' ? "13" : "0";
            out += ")||'";
        }
    }
    out += '\'';
}

bool AppendSqliteDouble(std::string &out, double value) {
    if (!std::isfinite(value)) return false;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    if (value != 0 && biased < 1023 - 900) {
        // m * 2^e with m odd: every partial product is a double, so each
        // multiplication is exact.
        uint64_t m = bits & ((uint64_t(1) << 52) - 1);
        int e = -1074;
        if (biased != 0) {
            m |= uint64_t(1) << 52;
            e = biased - 1075;
        }
        while ((m & 1) == 0) {
            m >>= 1;
            ++e;
        }
        out += '(';
        if (bits >> 63) out += '-';
        out += std::to_string(m);
        for (; e <= -62; e += 62) out += "*(1.0/4611686018427387904)";
        if (e < 0) {
            out += "*(1.0/";
            out += std::to_string(uint64_t(1) << -e);
            out += ')';
        }
        out += ')';
        return true;
    }
    char text[40];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    const std::string_view written(text, static_cast<size_t>(r.ptr - text));
    out += written;
    // Without a point or an exponent SQLite reads an integer.
    if (written.find_first_of(".e") == std::string_view::npos) out += ".0";
    return true;
}

namespace {

// One stored float or real as a double (a real widened exactly).
double StoredDouble(uint8_t user_type, const uint8_t *p) {
    if (user_type == values::kReal) {
        float f;
        std::memcpy(&f, p, sizeof f);
        return f;
    }
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

void AppendHex(std::string &out, const uint8_t *p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
}

} // namespace

// ================================================================== rows

void SqliteRows::Start(const TableSchema &table, const std::string &quoted_name) {
    table_ = &table;
    quoted_table_ = quoted_name;
    column_of_field_.clear();
    kinds_.clear();
    for (size_t i = 0; i < table.columns.size(); ++i) {
        column_of_field_[table.columns[i].field] = i;
        kinds_.push_back(SqliteKindOf(table.columns[i]));
    }
    prefix_fields_.clear();
    prefix_columns_.clear();
    prefix_.clear();
}

void SqliteRows::Changed(RowReader &reader, const DecodedRow &row, size_t column, bool as_null, const char *why) {
    if (as_null)
        reader.counts.values_null += 1;
    else
        reader.counts.values_changed += 1;
    TheLogger().ErrorFormat("Row %i of page %ld of table %s: column %s written as %s: %s", row.row_number,
                            static_cast<long>(row.page), table_->name.c_str(),
                            table_->columns[column].name.c_str(), as_null ? "NULL" : "changed", why);
}

int SqliteRows::WriteRow(std::string &out, const DecodedRow &row, RowReader &reader) {
    // The column list, built again only when the row's columns differ from
    // the last row's.
    bool same = prefix_fields_.size() == row.count && !prefix_.empty();
    for (size_t i = 0; same && i < row.count; ++i)
        same = row.values[i].column && row.values[i].column->field == prefix_fields_[i];
    if (!same) {
        prefix_fields_.clear();
        prefix_columns_.clear();
        prefix_ = "INSERT INTO " + quoted_table_ + "(";
        for (size_t i = 0; i < row.count; ++i) {
            const RowColumn *c = row.values[i].column;
            const auto found = c ? column_of_field_.find(c->field) : column_of_field_.end();
            if (found == column_of_field_.end()) {
                // A column the schema does not know (a guessed layout):
                // left out of the statement.
                prefix_fields_.push_back(c ? c->field : UINT32_MAX);
                prefix_columns_.push_back(SIZE_MAX);
                continue;
            }
            if (prefix_.back() != '(') prefix_ += ',';
            AppendSqliteIdentifier(prefix_, writer_.Utf8Name(table_->columns[found->second].name));
            prefix_fields_.push_back(c->field);
            prefix_columns_.push_back(found->second);
        }
        prefix_ += ") VALUES(";
    }
    const size_t start = out.size();
    out += prefix_;
    bool first = true;
    for (size_t i = 0; i < row.count; ++i) {
        if (prefix_columns_[i] == SIZE_MAX) continue;
        if (!first) out += ',';
        first = false;
        const int rc = AppendValue(out, row.values[i], prefix_columns_[i], row, reader);
        if (rc == kCancelled) {
            out.resize(start);
            return rc;
        }
    }
    out += ");\n";
    return kOk;
}

void SqliteRows::EndPage(std::string &) {}

int SqliteRows::AppendValue(std::string &out, const RowValue &value, size_t column, const DecodedRow &row,
                            RowReader &reader) {
    const SchemaColumn &c = table_->columns[column];
    if (value.state != RowValue::State::kStored) {
        out += "NULL";
        return kOk;
    }
    if (values::IsChainType(c.user_type)) return AppendChain(out, value, column, row, reader);
    const SqliteColumnKind kind = kinds_[column];
    const size_t len = static_cast<size_t>(value.length > 0 ? value.length : 0);
    if (kind == SqliteColumnKind::kFloat) {
        if (len < static_cast<size_t>(values::StoredWidth(c.user_type))) {
            out += "NULL";
            Changed(reader, row, column, true, "fewer bytes than its type takes");
            return kOk;
        }
        if (!AppendSqliteDouble(out, StoredDouble(c.user_type, value.bytes))) {
            out += c.nullable ? "NULL" : "0.0";
            Changed(reader, row, column, false, "a NaN or an infinity, which SQLite does not keep");
        }
        return kOk;
    }
    const PlainKind plain = values::PlainKindOf(c.user_type);
    if (plain == PlainKind::kText || plain == PlainKind::kUniText) {
        size_t invalid = 0;
        if (plain == PlainKind::kText && values::AsciiRun(value.bytes, len) == len) {
            // Already UTF-8: quoted straight from the row.
            AppendSqliteText(out, reinterpret_cast<const char *>(value.bytes), len);
        } else {
            utf8_.clear();
            if (plain == PlainKind::kText)
                values::AppendUtf8(utf8_, value.bytes, len, writer_.charset(), &invalid);
            else
                values::AppendUtf8FromUtf16Le(utf8_, value.bytes, len, &invalid);
            AppendSqliteText(out, utf8_);
        }
        if (invalid != 0) Changed(reader, row, column, false, "bytes invalid in the character set, kept as code points");
        return kOk;
    }
    // Numbers, dates and hex digits go straight into the row: bare in an
    // integer column, as a blob's hex, else between quotes. A value that
    // turns out NULL or changed takes its text back out.
    const size_t start = out.size();
    const bool bare = (plain == PlainKind::kNumber || plain == PlainKind::kBoolean) && kind == SqliteColumnKind::kInteger;
    if (plain == PlainKind::kBytes)
        out += "X'";
    else if (!bare)
        out += '\'';
    const size_t text_at = out.size();
    values::PlainChange change = values::PlainChange::kNone;
    const PlainKind got = values::AppendPlainValue(out, c.user_type, value.bytes, len, c.scale, &change);
    if (change == values::PlainChange::kTooShort || got == PlainKind::kNull) {
        out.resize(start);
        out += "NULL";
        if (change != values::PlainChange::kNone) Changed(reader, row, column, true, values::ValueChangeText(change));
        return kOk;
    }
    const bool spelled = plain != PlainKind::kBytes &&
                         std::any_of(out.begin() + static_cast<std::ptrdiff_t>(text_at), out.end(), SpelledOut);
    if (change != values::PlainChange::kNone || spelled) {
        // A date or time out of its type's range: damage, not a time.
        scratch_.assign(out, text_at, std::string::npos);
        out.resize(start);
        if (change != values::PlainChange::kNone && c.nullable)
            out += "NULL";
        else if (bare && change == values::PlainChange::kNone)
            out += scratch_;
        else
            AppendSqliteText(out, scratch_);
        if (change != values::PlainChange::kNone) Changed(reader, row, column, false, values::ValueChangeText(change));
        return kOk;
    }
    if (!bare) out += '\'';
    return kOk;
}

int SqliteRows::AppendChain(std::string &out, const RowValue &value, size_t column, const DecodedRow &row,
                            RowReader &reader) {
    const SchemaColumn &c = table_->columns[column];
    const int32_t page = RowReader::ChainPage(value);
    if (page <= 0) {
        out += "NULL";
        return kOk;
    }
    RowReader::ChainRead got;
    if (c.user_type == values::kImage) {
        scratch_.clear();
        got = reader.ReadChain(*value.column, page, [this](const uint8_t *p, size_t n) { AppendHex(scratch_, p, n); });
        if (got == RowReader::ChainRead::kCancelled) return kCancelled;
        if (got == RowReader::ChainRead::kNull) {
            out += "NULL";
            return kOk;
        }
        out += "X'";
        out += scratch_;
        out += '\'';
        return kOk;
    }
    values::Utf8Converter convert = c.user_type == values::kUniText ? values::Utf8Converter::ForUtf16Le()
                                                                    : values::Utf8Converter(writer_.charset());
    utf8_.clear();
    got = reader.ReadChain(*value.column, page, [&](const uint8_t *p, size_t n) { convert.Append(utf8_, p, n); });
    if (got == RowReader::ChainRead::kCancelled) return kCancelled;
    if (got == RowReader::ChainRead::kNull) {
        out += "NULL";
        return kOk;
    }
    convert.End(utf8_);
    AppendSqliteText(out, utf8_);
    if (convert.Invalid() != 0 && got == RowReader::ChainRead::kWhole)
        Changed(reader, row, column, false, "bytes invalid in the character set, kept as code points");
    return kOk;
}

// ================================================================== writer

SqliteWriter::SqliteWriter(const RecoveryOptions &options)
    : charset_(values::CharsetByName(options.charset).value_or(values::kDefaultCharset)),
      stream_(options.standard_output), rows_(*this) {}

SqliteWriter::~SqliteWriter() = default;

std::string SqliteWriter::Utf8Name(const std::string &name) const {
    std::string out;
    values::AppendUtf8(out, reinterpret_cast<const uint8_t *>(name.data()), name.size(), charset_, nullptr);
    return out;
}

std::string SqliteWriter::ClaimName(const std::string &wanted) {
    // SQLite compares names without regard to ASCII letter case, and keeps
    // names starting with "sqlite_" for itself.
    auto fold = [](std::string s) {
        for (char &c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    std::string base = wanted;
    if (fold(base).compare(0, 7, "sqlite_") == 0) base = "_" + base;
    std::string name = base;
    for (int n = 2; !claimed_.insert(fold(name)).second; ++n) name = base + "-" + std::to_string(n);
    if (name != wanted)
        TheLogger().ErrorFormat("SQLite name %s given to %s, whose own name is taken or reserved", name.c_str(),
                                wanted.c_str());
    return name;
}

const std::string &SqliteWriter::TableName(const std::string &name) {
    const auto found = table_names_.find(name);
    if (found != table_names_.end()) return found->second;
    std::string quoted;
    AppendSqliteIdentifier(quoted, ClaimName(Utf8Name(name)));
    return table_names_.emplace(name, quoted).first->second;
}

int SqliteWriter::BeginDatabase(const std::string &name, const std::string &folder) {
    if (stream_) {
        // A SQLite database holds the tables of one: a second one would
        // meet the first one's names.
        if (streamed_) {
            TheLogger().ErrorFormat("Database %s is not written: the sqlite stream holds one database, and the "
                                    "database pattern chose more",
                                    name.c_str());
            return kOutputFailed;
        }
        streamed_ = true;
        if (!load_.OpenStandardOutput("standard output")) return kOutputFailed;
    } else {
        load_.Close();
        folder_ = folder;
        if (!folder_.empty() && !platform::isPathSeparator(folder_.back())) folder_ += platform::kPathSeparator;
        if (!load_.Create(folder_ + "load.sql")) return kOutputFailed;
    }
    in_transaction_ = whole_in_transaction_ = false;
    rows_in_transaction_ = 0;
    indexes_.clear();
    claimed_.clear();
    table_names_.clear();
    load_.Put(stream_ ? "-- Recovered database " + Utf8Name(name) + "\n"
                      : std::string("-- Run in this folder: sqlite3 NEW.db < load.sql\n"));
    load_.MarkWhole();
    return kOk;
}

int SqliteWriter::Table(const TableSchema &table) {
    const std::string &quoted = TableName(table.name);
    // The identity column that is the whole primary key becomes the row id.
    const TableKey *primary = nullptr;
    for (const TableKey &k : table.keys)
        if (k.kind == TableKey::Kind::kPrimary) primary = &k;
    size_t rowid = SIZE_MAX;
    if (primary && primary->columns.size() == 1) {
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const SchemaColumn &c = table.columns[i];
            if (c.identity && c.name == primary->columns[0] && SqliteKindOf(c) == SqliteColumnKind::kInteger)
                rowid = i;
        }
    }
    std::string out = "CREATE TABLE " + quoted + " (";
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const SchemaColumn &c = table.columns[i];
        out += i ? ",\n  " : "\n  ";
        AppendSqliteIdentifier(out, Utf8Name(c.name));
        const char *type = SqliteTypeName(SqliteKindOf(c));
        if (*type) {
            out += ' ';
            out += type;
        }
        if (i == rowid) out += " PRIMARY KEY";
        if (!c.nullable) out += " NOT NULL";
    }
    auto column_list = [this](std::string &o, const std::vector<std::string> &columns) {
        o += '(';
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) o += ',';
            AppendSqliteIdentifier(o, Utf8Name(columns[i]));
        }
        o += ')';
    };
    for (const TableKey &k : table.keys) {
        if (k.kind == TableKey::Kind::kIndex) {
            indexes_ += "CREATE INDEX ";
            AppendSqliteIdentifier(indexes_, ClaimName(Utf8Name(k.name)));
            indexes_ += " ON " + quoted;
            column_list(indexes_, k.columns);
            indexes_ += ";\n";
            continue;
        }
        if (&k == primary && rowid != SIZE_MAX) continue;
        out += ",\n  CONSTRAINT ";
        AppendSqliteIdentifier(out, Utf8Name(k.name));
        out += k.kind == TableKey::Kind::kPrimary ? " PRIMARY KEY" : " UNIQUE";
        column_list(out, k.columns);
    }
    for (const TableForeignKey &f : table.foreign_keys) {
        out += ",\n  CONSTRAINT ";
        AppendSqliteIdentifier(out, Utf8Name(f.name));
        out += " FOREIGN KEY";
        column_list(out, f.columns);
        out += " REFERENCES " + TableName(f.referenced_table);
        column_list(out, f.referenced_columns);
    }
    out += "\n);\n";
    load_.Put(out);
    load_.MarkWhole();
    return load_.failed() ? kOutputFailed : kOk;
}

int SqliteWriter::ObjectTexts(const std::vector<ObjectTextEntry> &texts) {
    if (texts.empty()) return kOk;
    if (stream_) {
        // In the stream the texts, not SQLite's language, are comments.
        std::string text;
        for (const ObjectTextEntry &t : texts) {
            std::string utf8 = "Object " + Utf8Name(t.name) + ", in the server's own language:\n";
            values::AppendUtf8(utf8, reinterpret_cast<const uint8_t *>(t.text.data()), t.text.size(), charset_, nullptr);
            values::AppendCommentLines(text, utf8);
        }
        load_.Put(text);
        load_.MarkWhole();
        return load_.failed() ? kOutputFailed : kOk;
    }
    const std::string path = folder_ + "objects.sql";
    platform::File file = platform::File::createAlways(path);
    std::string text = "-- Views, procedures, triggers, defaults and rules in the server's own language;\n"
                       "-- load.sql does not run this file.\n";
    for (const ObjectTextEntry &t : texts) {
        text += "\n-- " + Utf8Name(t.name) + "\n";
        values::AppendUtf8(text, reinterpret_cast<const uint8_t *>(t.text.data()), t.text.size(), charset_, nullptr);
        if (!t.text.empty() && t.text.back() != '\n') text += '\n';
        text += "go\n";
    }
    if (!file.isOpen() || file.write(text.data(), text.size()) != text.size()) {
        TheLogger().ErrorFormat("Could not write %s", path.c_str());
        return kScriptNotCreated;
    }
    return kOk;
}

RowSink &SqliteWriter::BeginRows(const TableSchema &table) {
    rows_.Start(table, TableName(table.name));
    return rows_;
}

std::unique_ptr<RowSink> SqliteWriter::NewRowSink(const TableSchema &table) {
    auto sink = std::make_unique<SqliteRows>(*this);
    sink->Start(table, TableName(table.name));
    return sink;
}

int SqliteWriter::WriteRows(std::string &text) {
    if (!text.empty()) {
        if (!in_transaction_) {
            load_.Put("BEGIN;\n");
            in_transaction_ = true;
        }
        load_.Put(text);
    }
    text.clear();
    return load_.failed() ? kOutputFailed : kOk;
}

int SqliteWriter::EndBatch(int32_t rows) {
    rows_in_transaction_ += rows;
    if (in_transaction_ && rows_in_transaction_ >= kRowsPerTransaction) {
        load_.Put("COMMIT;\n");
        in_transaction_ = false;
        rows_in_transaction_ = 0;
    }
    load_.MarkWhole();
    whole_in_transaction_ = in_transaction_;
    return load_.failed() ? kOutputFailed : kOk;
}

int SqliteWriter::EndRows(const TableSchema &) {
    if (in_transaction_) load_.Put("COMMIT;\n");
    in_transaction_ = whole_in_transaction_ = false;
    rows_in_transaction_ = 0;
    load_.MarkWhole();
    return load_.failed() ? kOutputFailed : kOk;
}

int SqliteWriter::EndDatabase() {
    load_.Put(indexes_);
    indexes_.clear();
    load_.MarkWhole();
    if (stream_) return load_.failed() ? kOutputFailed : kOk;
    return load_.Close() ? kOk : kOutputFailed;
}

void SqliteWriter::Abandon() {
    if (!load_.is_open()) return;
    // Only whole statements stay: the open batch is cut off, and the
    // transaction it was in is closed.
    load_.CutBack();
    in_transaction_ = whole_in_transaction_;
    if (in_transaction_) load_.Put("COMMIT;\n");
    in_transaction_ = false;
    load_.Close();
}

int SqliteWriter::Close() {
    const bool failed = load_.failed();
    load_.Close();
    return failed ? kOutputFailed : kOk;
}
