#include "tests/support/dump_description.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <vector>

#include "tests/support/table_builder.h"
#include "tests/support/text_chain.h"
#include "tests/support/value_words.h"

namespace dumpwriter {

namespace {

bool ToInt(const std::string &word, long long low, long long high, long long &value) {
    if (word.empty()) return false;
    char *end = nullptr;
    value = std::strtoll(word.c_str(), &end, 10);
    return *end == '\0' && value >= low && value <= high;
}

// The schema of one database and where its text and image pages go.
struct DatabaseSchema {
    Schema schema;
    Table *last = nullptr; // the table that column, row and rows_per_page lines extend
    int32_t next_text_page = 0;
    // Values of text and image columns, laid out once the whole description is read.
    struct PendingChain {
        int32_t owner;
        int32_t first_page;
        Bytes value;
    };
    std::vector<PendingChain> chains;
    // Stored texts of objects, in order of their first line, and the bytes
    // a text row holds.
    std::vector<std::pair<int32_t, std::string>> texts;
    size_t text_piece = records::kTextPieceSize;
    // Table ids by name, for the tables foreign keys reference.
    std::map<std::string, int32_t> table_ids;
    struct PendingForeignKey {
        Table *table;
        int32_t constraint_id;
        std::string name;
        std::vector<std::string> columns;
        std::string referenced;
        std::vector<std::string> ref_columns;
        int line;
    };
    std::vector<PendingForeignKey> foreign_keys;
};

// "a,b,c" as its words.
std::vector<std::string> ColumnWords(const std::string &list) {
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        const size_t comma = list.find(',', from);
        out.push_back(NameWord(list.substr(from, comma == std::string::npos ? std::string::npos : comma - from)));
        if (comma == std::string::npos) return out;
        from = comma + 1;
    }
}

} // namespace

std::unique_ptr<Dump> ReadDescription(std::istream &in, std::string &error) {
    struct Pending {
        std::string keyword;
        std::vector<std::string> args;
        int line;
    };
    // The block size may come after other lines, so the statements are
    // collected first and applied once it is known.
    std::vector<Pending> statements;
    int kb = 2;
    Format format = Format::k12;
    std::string text;
    int line_no = 0;
    while (std::getline(in, text)) {
        ++line_no;
        std::vector<std::string> words;
        std::string split_error;
        if (!SplitWords(text, words, split_error)) {
            error = "line " + std::to_string(line_no) + ": " + split_error;
            return nullptr;
        }
        if (words.empty()) continue;
        Pending p{words[0], std::vector<std::string>(words.begin() + 1, words.end()), line_no};
        if (p.keyword == "block_size") {
            long long v = 0;
            if (p.args.size() != 1 || !ToInt(p.args[0], 2, 32, v) || (v != 2 && v != 4 && v != 8 && v != 16 && v != 32)) {
                error = "line " + std::to_string(line_no) + ": block_size takes 2, 4, 8, 16 or 32";
                return nullptr;
            }
            kb = static_cast<int>(v);
            continue;
        }
        if (p.keyword == "format") {
            if (p.args.size() != 1 || (p.args[0] != "12" && p.args[0] != "15")) {
                error = "line " + std::to_string(line_no) + ": format takes 12 or 15";
                return nullptr;
            }
            format = p.args[0] == "15" ? Format::k15 : Format::k12;
            continue;
        }
        statements.push_back(p);
    }

    std::unique_ptr<Dump> dump(new Dump(kb, format));
    Database *current = nullptr;
    std::map<Database *, DatabaseSchema> schemas;
    // Text pages start half a MiB into a database, clear of its catalogue
    // (in format 15 also clear of the map pages up to page 161).
    const int32_t first_text_page = std::max(format == Format::k15 ? 176 : 16, 512 / kb);

    for (const Pending &p : statements) {
        auto fail = [&](const std::string &message) {
            error = "line " + std::to_string(p.line) + ": " + message;
            return nullptr;
        };
        auto needs = [&](size_t n) { return p.args.size() == n; };
        long long a = 0, b = 0;
        if (p.keyword == "device") {
            if (!needs(1)) return fail("device takes a name");
            dump->master_device(p.args[0]);
            continue;
        }
        if (p.keyword == "database") {
            if (!needs(3) || !ToInt(p.args[1], -32768, 32767, a) || !ToInt(p.args[2], 0, 2000000, b))
                return fail("database takes a name, a dbid and a base in MiB");
            current = &dump->database(p.args[0], static_cast<int16_t>(a), static_cast<int32_t>(b));
            schemas[current].next_text_page = first_text_page;
            continue;
        }
        if (current == nullptr) return fail("'" + p.keyword + "' before the first database line");
        DatabaseSchema &ds = schemas[current];

        if (p.keyword == "table" || p.keyword == "columns_only_table") {
            const bool object = p.keyword == "table";
            if (object ? !needs(2) : !needs(1)) return fail(p.keyword + (object ? " takes an id and a name" : " takes an id"));
            if (!ToInt(p.args[0], INT32_MIN, INT32_MAX, a)) return fail(p.keyword + " takes an id");
            // The object entry goes in now, in line order; the schema adds
            // the columns and rows.
            const std::string name = object ? NameWord(p.args[1]) : "-";
            if (object) current->table(static_cast<int32_t>(a), name);
            ds.table_ids.emplace(name, static_cast<int32_t>(a));
            ds.last = &ds.schema.table(static_cast<int32_t>(a), name).without_object();
        } else if (p.keyword == "column") {
            if (ds.last == nullptr) return fail("column before the first table line");
            if (p.args.size() < 2) return fail("column takes a name, a type and options null, notnull, status=N, id=N");
            Column c;
            c.name = NameWord(p.args[0]);
            std::string type_error;
            if (!ParseColumnType(p.args[1], c, type_error)) return fail(type_error);
            for (size_t k = 2; k < p.args.size(); ++k) {
                const std::string &o = p.args[k];
                if (o == "null") {
                    c.status = kNull;
                } else if (o == "notnull") {
                    c.status = kNotNull;
                } else if (o.compare(0, 7, "status=") == 0 && ToInt(o.substr(7), 0, 255, a)) {
                    c.status = static_cast<uint8_t>(a);
                } else if (o.compare(0, 3, "id=") == 0 && ToInt(o.substr(3), 1, 32767, a)) {
                    c.col_id = static_cast<int16_t>(a);
                } else {
                    return fail("unknown column option '" + o + "'");
                }
            }
            if (!ds.last->rows().empty()) return fail("column after the table's first row");
            ds.last->add(c);
        } else if (p.keyword == "row") {
            if (ds.last == nullptr) return fail("row before the first table line");
            const auto &columns = ds.last->columns();
            if (p.args.size() != columns.size())
                return fail("row takes " + std::to_string(columns.size()) + " values, one per column");
            std::vector<Value> values;
            for (size_t k = 0; k < columns.size(); ++k) {
                Value v;
                std::optional<Bytes> chain;
                std::string value_error;
                if (!ParseValueWord(p.args[k], columns[k], v, chain, value_error)) return fail(value_error);
                if (chain) {
                    const int32_t page = ds.next_text_page;
                    const size_t per_page = static_cast<size_t>(kb) * 1024 - kHeaderSize;
                    const size_t pages = chain->empty() ? 1 : (chain->size() + per_page - 1) / per_page;
                    ds.next_text_page += static_cast<int32_t>(pages);
                    ds.chains.push_back({ds.last->id(), page, *chain});
                    v = encode::TextPointer(page);
                }
                values.push_back(v);
            }
            try {
                ds.last->EncodeRow(values); // refuses what cannot be stored, with its reason
            } catch (const std::invalid_argument &e) {
                return fail(e.what());
            }
            ds.last->row(values);
        } else if (p.keyword == "primary_key" || p.keyword == "unique" || p.keyword == "index") {
            if (ds.last == nullptr) return fail(p.keyword + " before the first table line");
            if (!needs(2)) return fail(p.keyword + " takes a name and its columns, separated by commas");
            const std::vector<std::string> columns = ColumnWords(p.args[1]);
            const std::string name = NameWord(p.args[0]);
            if (p.keyword == "primary_key") ds.last->primary_key(name, columns);
            else if (p.keyword == "unique") ds.last->unique(name, columns);
            else ds.last->index(name, columns);
        } else if (p.keyword == "foreign_key") {
            if (ds.last == nullptr) return fail("foreign_key before the first table line");
            if (!needs(5) || !ToInt(p.args[0], INT32_MIN, INT32_MAX, a))
                return fail("foreign_key takes a constraint id, a name, its columns, the referenced table and its columns");
            ds.foreign_keys.push_back({ds.last, static_cast<int32_t>(a), NameWord(p.args[1]), ColumnWords(p.args[2]),
                                       NameWord(p.args[3]), ColumnWords(p.args[4]), p.line});
        } else if (p.keyword == "rows_per_page") {
            if (ds.last == nullptr) return fail("rows_per_page before the first table line");
            if (!needs(1) || !ToInt(p.args[0], 1, 100000, a)) return fail("rows_per_page takes a count");
            ds.last->rows_per_page(static_cast<int>(a));
        } else if (p.keyword == "column_firoff") {
            if (!needs(1) || !ToInt(p.args[0], 20, 200, a)) return fail("column_firoff takes 20 to 200 (24 or 32)");
            ds.schema.column_firoff(static_cast<int16_t>(a));
        } else if (p.keyword == "columns_per_page") {
            if (!needs(1) || !ToInt(p.args[0], 1, 100000, a)) return fail("columns_per_page takes a count");
            ds.schema.column_records_per_page(static_cast<int>(a));
        } else if (p.keyword == "object") {
            if (!needs(3) || !ToInt(p.args[0], INT32_MIN, INT32_MAX, a) || p.args[1].size() != 1)
                return fail("object takes an id, a type letter and a name");
            current->object(static_cast<int32_t>(a), p.args[1][0], p.args[2]);
        } else if (p.keyword == "text") {
            if (!needs(2) || !ToInt(p.args[0], INT32_MIN, INT32_MAX, a)) return fail("text takes an object id and a line");
            const int32_t id = static_cast<int32_t>(a);
            auto it = std::find_if(ds.texts.begin(), ds.texts.end(), [id](const auto &t) { return t.first == id; });
            if (it == ds.texts.end()) it = ds.texts.insert(ds.texts.end(), {id, std::string()});
            else it->second += "\n";
            it->second += NameWord(p.args[1]);
        } else if (p.keyword == "text_piece") {
            if (!needs(1) || !ToInt(p.args[0], 1, static_cast<long long>(records::kTextPieceSize), a))
                return fail("text_piece takes 1 to 255 bytes");
            ds.text_piece = static_cast<size_t>(a);
        } else if (p.keyword == "catalogue_per_page") {
            if (!needs(1) || !ToInt(p.args[0], 1, 1000000, a)) return fail("catalogue_per_page takes a count");
            current->catalogue_options(static_cast<int>(a));
        } else if (p.keyword == "no_usage") {
            if (!needs(0)) return fail("no_usage takes nothing");
            current->without_usage();
        } else if (p.keyword == "start_page") {
            if (!needs(1) || !ToInt(p.args[0], INT32_MIN, INT32_MAX, a)) return fail("start_page takes a page");
            current->usage_start_page(static_cast<int32_t>(a));
        } else if (p.keyword == "unlisted") {
            if (!needs(0)) return fail("unlisted takes nothing");
            current->unlisted();
        } else if (p.keyword == "skip") {
            if (format != Format::k15) return fail("skip needs format 15");
            if (!needs(0)) return fail("skip takes nothing");
            current->skip_flag(1);
        } else {
            return fail("unknown statement '" + p.keyword + "'");
        }
    }

    // Column catalogues, data chains and text chains, database by database.
    // A database without column lines keeps the layout it always had.
    const size_t per_page = static_cast<size_t>(kb) * 1024 - kHeaderSize;
    for (auto &kv : schemas) {
        DatabaseSchema &ds = kv.second;
        // Foreign keys name their referenced table by name or by id.
        for (const auto &f : ds.foreign_keys) {
            const auto named = ds.table_ids.find(f.referenced);
            long long id = 0;
            if (named != ds.table_ids.end()) id = named->second;
            else if (!ToInt(f.referenced, INT32_MIN, INT32_MAX, id)) {
                error = "line " + std::to_string(f.line) + ": no table " + f.referenced + " in this database";
                return nullptr;
            }
            f.table->foreign_key(f.constraint_id, f.name, f.columns, static_cast<int32_t>(id), f.ref_columns);
        }
        try {
            if (!ds.schema.ColumnRecords().empty()) ds.schema.add_to(*kv.first);
        } catch (const std::invalid_argument &e) {
            error = std::string("keys of database ") + kv.first->name() + ": " + e.what();
            return nullptr;
        }
        for (const auto &c : ds.chains) TextChain(*kv.first, c.owner, c.first_page, c.value, per_page);
        for (const auto &t : ds.texts) kv.first->object_text(t.first, t.second, ds.text_piece);
    }
    return dump;
}

} // namespace dumpwriter
