#include "bench/dump_generator.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "tests/support/text_chain.h"
#include "tests/support/value_words.h"

namespace benchgen {

namespace types = dumpwriter::types;
using dumpwriter::Bytes;
using dumpwriter::Value;

namespace {

constexpr uint64_t kMiB = 1048576;
// Longest text or image value made (one page even at 2 KiB).
constexpr size_t kLongestText = 600;
// Row positions in the offset table are single bytes.
constexpr int kVariableRowLimit = 255;
constexpr int32_t kFirstTableId = 101;
constexpr double kDefaultNullFraction = 0.1;

uint64_t Mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// The draws of one row: a splitmix64 sequence.
class Draws {
public:
    explicit Draws(uint64_t state) : state_(state) {}
    uint64_t next() { return state_ = Mix(state_); }
    uint64_t below(uint64_t n) { return n == 0 ? 0 : next() % n; }
    double fraction() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

private:
    uint64_t state_;
};

bool ToNumber(const std::string &word, long long low, long long high, long long &value) {
    if (word.empty()) return false;
    char *end = nullptr;
    value = std::strtoll(word.c_str(), &end, 10);
    return *end == '\0' && value >= low && value <= high;
}

bool IsText(uint8_t t) { return t == types::kText || t == types::kImage; }
bool IsCharacter(uint8_t t) {
    return t == types::kChar || t == types::kVarChar || t == types::kNChar || t == types::kNVarChar ||
           t == types::kSysname;
}
bool IsBinary(uint8_t t) { return t == types::kBinary || t == types::kVarBinary; }
// Values whose length varies from row to row.
bool HasVaryingLength(uint8_t t) { return IsCharacter(t) || IsBinary(t); }

bool ParseColumnWord(const std::string &word, size_t position, ColumnPlan &out, std::string &error) {
    const size_t mark = word.find('?');
    dumpwriter::Column c;
    c.name = "c" + std::to_string(position + 1);
    if (!dumpwriter::ParseColumnType(word.substr(0, mark), c, error)) return false;
    out.null_fraction = 0;
    if (mark != std::string::npos) {
        c.status = dumpwriter::kNull;
        out.null_fraction = kDefaultNullFraction;
        const std::string fraction = word.substr(mark + 1);
        if (!fraction.empty()) {
            char *end = nullptr;
            out.null_fraction = std::strtod(fraction.c_str(), &end);
            if (*end != '\0' || out.null_fraction < 0 || out.null_fraction > 1) {
                error = "'" + word + "': the NULL fraction lies between 0 and 1";
                return false;
            }
        }
    }
    out.column = c;
    return true;
}

const char kLetters[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789.,-'";

Bytes Characters(Draws &draws, size_t length) {
    Bytes b(length);
    for (uint8_t &c : b) c = static_cast<uint8_t>(kLetters[draws.below(sizeof kLetters - 1)]);
    return b;
}

Bytes RandomBytes(Draws &draws, size_t length) {
    Bytes b(length);
    for (size_t i = 0; i < length; i += 8) {
        const uint64_t v = draws.next();
        for (size_t k = 0; k < 8 && i + k < length; ++k) b[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    return b;
}

int64_t PowerOfTen(int digits) {
    int64_t p = 1;
    for (int i = 0; i < digits && i < 18; ++i) p *= 10;
    return p;
}

// Stored bytes of a value of `c`; `longest` bounds varying lengths.
Bytes MakeValue(const dumpwriter::Column &c, Draws &draws, uint64_t row, bool first, size_t longest) {
    namespace encode = dumpwriter::encode;
    switch (c.user_type) {
    case types::kTinyInt: return encode::TinyInt(static_cast<uint8_t>(draws.below(256)));
    case types::kBit: return encode::Bit(draws.below(2) != 0);
    case types::kSmallInt: return encode::SmallInt(static_cast<int16_t>(draws.next()));
    case types::kInt:
        return encode::Int(first ? static_cast<int32_t>(row + 1) : static_cast<int32_t>(draws.next()));
    case types::kFloat:
        return encode::Float(static_cast<double>(static_cast<int64_t>(draws.next() >> 20) - (int64_t{1} << 43)) / 1024.0);
    case types::kReal:
        return encode::Real(static_cast<float>(static_cast<int32_t>(draws.below(2000000)) - 1000000) / 64.0f);
    case types::kMoney:
        return encode::Money(static_cast<int64_t>(draws.below(2000000000000ull)) - 1000000000000ll);
    case types::kSmallMoney:
        return encode::SmallMoney(static_cast<int32_t>(draws.below(2000000000ull)) - 1000000000);
    case types::kDateTime:
        return encode::DateTime(static_cast<int32_t>(draws.below(73000)), static_cast<int32_t>(draws.below(25920000)));
    case types::kSmallDateTime:
        return encode::SmallDateTime(static_cast<uint16_t>(draws.below(65536)), static_cast<uint16_t>(draws.below(1440)));
    case types::kNumeric:
    case types::kDecimal: {
        const int64_t limit = PowerOfTen(std::min<int>(c.precision, 18));
        int64_t v = static_cast<int64_t>(draws.below(static_cast<uint64_t>(limit)));
        if (draws.below(4) == 0) v = -v;
        return encode::Numeric(v, c.length);
    }
    case types::kText:
    case types::kImage: {
        const size_t length = 1 + draws.below(longest);
        return c.user_type == types::kText ? Characters(draws, length) : RandomBytes(draws, length);
    }
    default:
        break;
    }
    const size_t declared = static_cast<size_t>(std::max<int16_t>(c.length, 0));
    const size_t most = std::min(declared, longest);
    if (IsCharacter(c.user_type)) {
        const bool fixed = c.in_fixed_area();
        return Characters(draws, fixed ? 1 + draws.below(std::max<size_t>(most, 1)) : draws.below(most + 1));
    }
    if (IsBinary(c.user_type)) return RandomBytes(draws, draws.below(most + 1));
    // Any other code: as many bytes as the column declares.
    return RandomBytes(draws, declared);
}

} // namespace

// ------------------------------------------------------------------ description

bool ParseDescription(std::istream &in, Description &out, std::string &error) {
    out = Description();
    std::string text;
    int line = 0;
    auto fail = [&](const std::string &message) {
        error = "line " + std::to_string(line) + ": " + message;
        return false;
    };
    while (std::getline(in, text)) {
        ++line;
        std::vector<std::string> w;
        std::string split_error;
        if (!dumpwriter::SplitWords(text, w, split_error)) return fail(split_error);
        if (w.empty()) continue;
        long long a = 0, b = 0, n = 0;
        if (w[0] == "block_size") {
            if (w.size() != 2 || !ToNumber(w[1], 2, 16, a) || (a != 2 && a != 4 && a != 8 && a != 16))
                return fail("block_size takes 2, 4, 8 or 16");
            out.kb = static_cast<int>(a);
        } else if (w[0] == "format") {
            if (w.size() != 2 || (w[1] != "12" && w[1] != "15")) return fail("format takes 12 or 15");
            out.format = w[1] == "15" ? dumpwriter::Format::k15 : dumpwriter::Format::k12;
        } else if (w[0] == "seed") {
            if (w.size() != 2 || !ToNumber(w[1], 0, INT64_MAX, a)) return fail("seed takes a number");
            out.seed = static_cast<uint64_t>(a);
        } else if (w[0] == "database") {
            if (w.size() != 4 || !ToNumber(w[2], -32768, 32767, a) || !ToNumber(w[3], 0, 2000000, b))
                return fail("database takes a name, a dbid and a base in MiB");
            DatabasePlan db;
            db.name = dumpwriter::NameWord(w[1]);
            db.dbid = static_cast<int16_t>(a);
            db.base_mb = static_cast<int32_t>(b);
            out.databases.push_back(db);
        } else if (w[0] == "table" || w[0] == "tables") {
            if (out.databases.empty()) return fail(w[0] + " before the first database line");
            const bool many = w[0] == "tables";
            const size_t first_type = many ? 4 : 3;
            if (w.size() <= first_type) return fail(many ? "tables takes a count, a name prefix, rows and types"
                                                         : "table takes a name, rows and types");
            if (many && !ToNumber(w[1], 1, 1000000, n)) return fail("tables takes a count");
            if (!many) n = 1;
            if (!ToNumber(w[first_type - 1], 0, INT64_MAX, a)) return fail("a row count is a number");
            TablePlan t;
            t.rows = static_cast<uint64_t>(a);
            for (size_t k = first_type; k < w.size(); ++k) {
                ColumnPlan c;
                std::string column_error;
                if (!ParseColumnWord(w[k], k - first_type, c, column_error)) return fail(column_error);
                t.columns.push_back(c);
            }
            DatabasePlan &db = out.databases.back();
            const std::string name = dumpwriter::NameWord(w[1 + (many ? 1 : 0)]);
            for (long long k = 0; k < n; ++k) {
                t.id = kFirstTableId + static_cast<int32_t>(db.tables.size());
                t.name = many ? name + std::to_string(k + 1) : name;
                db.tables.push_back(t);
            }
        } else if (w[0] == "rows_per_page") {
            if (out.databases.empty() || out.databases.back().tables.empty())
                return fail("rows_per_page before the first table line");
            if (w.size() != 2 || !ToNumber(w[1], 1, 100000, a)) return fail("rows_per_page takes a count");
            out.databases.back().tables.back().rows_per_page = static_cast<int>(a);
        } else {
            return fail("unknown statement '" + w[0] + "'");
        }
    }
    if (out.databases.empty()) {
        error = "the description holds no database";
        return false;
    }
    return true;
}

void ScaleRows(Description &d, double factor) {
    for (DatabasePlan &db : d.databases)
        for (TablePlan &t : db.tables)
            if (t.rows > 0) t.rows = std::max<uint64_t>(1, static_cast<uint64_t>(static_cast<double>(t.rows) * factor + 0.5));
}

// ------------------------------------------------------------------ rows

RowMaker::RowMaker(const Description &d, size_t database, size_t table)
    : seed_(d.seed), plan_(d.databases.at(database).tables.at(table)), table_(plan_.id, plan_.name),
      text_capacity_(std::min<size_t>(kLongestText, static_cast<size_t>(d.kb) * 1024 - dumpwriter::kHeaderSize)) {
    for (const ColumnPlan &c : plan_.columns) table_.add(c.column);
    if (plan_.rows_per_page > 0) table_.rows_per_page(plan_.rows_per_page);

    // Room for the values of the variable area: what the fixed-width ones
    // need comes first, the varying ones share the rest.
    int room = kVariableRowLimit - table_.firoff() - 2;
    int varying = 0;
    for (const ColumnPlan &c : plan_.columns) {
        const dumpwriter::Column &col = c.column;
        has_text_ = has_text_ || IsText(col.user_type);
        if (col.in_fixed_area()) continue;
        if (IsText(col.user_type))
            room -= 16;
        else if (HasVaryingLength(col.user_type))
            ++varying;
        else
            room -= std::max<int16_t>(col.length, 0);
    }
    bool any_variable = false;
    for (const ColumnPlan &c : plan_.columns) any_variable = any_variable || !c.column.in_fixed_area();
    if (any_variable && room < 0)
        throw std::invalid_argument("table " + plan_.name + ": its variable columns do not fit in 255 bytes");
    for (const ColumnPlan &c : plan_.columns) {
        const dumpwriter::Column &col = c.column;
        if (IsText(col.user_type))
            variable_budget_.push_back(static_cast<int>(text_capacity_));
        else if (!col.in_fixed_area() && HasVaryingLength(col.user_type))
            variable_budget_.push_back(varying > 0 ? room / varying : 0);
        else
            variable_budget_.push_back(std::max<int16_t>(col.length, 0));
    }
}

void RowMaker::Make(uint64_t row, int32_t &next_text_page, std::vector<Value> &values,
                    std::vector<Bytes> *texts) const {
    Draws draws(Mix(seed_ ^ Mix(static_cast<uint64_t>(plan_.id) * 0x100000001b3ull) ^ Mix(row)));
    values.resize(plan_.columns.size());
    for (size_t k = 0; k < plan_.columns.size(); ++k) {
        const ColumnPlan &c = plan_.columns[k];
        const bool null = c.column.status != dumpwriter::kNotNull && !c.column.in_fixed_area() &&
                          draws.fraction() < c.null_fraction;
        if (null) {
            values[k] = dumpwriter::kNullValue;
            continue;
        }
        Bytes v = MakeValue(c.column, draws, row, k == 0, static_cast<size_t>(std::max(variable_budget_[k], 0)));
        if (IsText(c.column.user_type)) {
            values[k] = dumpwriter::TextPointer(next_text_page++);
            if (texts) texts->push_back(std::move(v));
        } else {
            values[k] = std::move(v);
        }
    }
}

uint64_t EstimateDataBytes(const Description &d) try {
    constexpr uint64_t kSample = 2000;
    const size_t capacity = static_cast<size_t>(d.kb) * 1024 - dumpwriter::kHeaderSize;
    uint64_t pages = 0;
    for (size_t i = 0; i < d.databases.size(); ++i)
        for (size_t j = 0; j < d.databases[i].tables.size(); ++j) {
            const TablePlan &t = d.databases[i].tables[j];
            if (t.rows == 0) continue;
            RowMaker maker(d, i, j);
            const uint64_t sample = std::min(t.rows, kSample);
            uint64_t sample_pages = 1, used = 0, in_page = 0;
            int32_t text_page = 1;
            std::vector<Value> values;
            for (uint64_t r = 0; r < sample; ++r) {
                const int32_t texts_before = text_page;
                maker.Make(r, text_page, values, nullptr);
                sample_pages += static_cast<uint64_t>(text_page - texts_before); // a page per text value
                const size_t size = maker.table().EncodeRow(values).size();
                if ((used + size > capacity || (t.rows_per_page > 0 && in_page >= static_cast<uint64_t>(t.rows_per_page))) &&
                    in_page > 0) {
                    ++sample_pages;
                    used = in_page = 0;
                }
                used += size;
                ++in_page;
            }
            pages += (sample_pages * t.rows + sample - 1) / sample;
        }
    return pages * static_cast<uint64_t>(d.kb) * 1024;
} catch (const std::exception &) {
    return 0; // WriteDump reports what is wrong
}

// ------------------------------------------------------------------ the dump

std::unique_ptr<dumpwriter::Dump> CatalogueDump(const Description &d) {
    std::unique_ptr<dumpwriter::Dump> dump(new dumpwriter::Dump(d.kb, d.format));
    for (const DatabasePlan &plan : d.databases) {
        dumpwriter::Database &db = dump->database(plan.name, plan.dbid, plan.base_mb);
        if (plan.tables.empty()) continue;
        dumpwriter::Schema schema;
        for (const TablePlan &t : plan.tables) {
            dumpwriter::Table &table = schema.table(t.id, t.name);
            for (const ColumnPlan &c : t.columns) table.add(c.column);
        }
        schema.add_to(db);
    }
    dump->build();
    return dump;
}

namespace {

// Writes whole blocks at their offsets, sequentially where it can.
class BlockWriter {
public:
    BlockWriter(const std::string &path, int kb) : block_(static_cast<size_t>(kb) * 1024) {
        buffer_.resize(4 * kMiB);
        out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        out_.open(path, std::ios::binary | std::ios::in | std::ios::out);
        page_.resize(block_);
    }
    bool ok() const { return static_cast<bool>(out_); }
    uint64_t end() const { return end_; }

    void Write(uint64_t offset, const dumpwriter::Page &page) {
        std::fill(page_.begin(), page_.end(), 0);
        const Bytes header = page.header_bytes();
        std::copy(header.begin(), header.end(), page_.begin());
        std::copy(page.body.begin(), page.body.end(), page_.begin() + dumpwriter::kHeaderSize);
        if (offset != position_) out_.seekp(static_cast<std::streamoff>(offset));
        out_.write(page_.data(), static_cast<std::streamsize>(block_));
        position_ = offset + block_;
        end_ = std::max(end_, position_);
    }
    bool Close() {
        out_.close();
        return !out_.fail();
    }

private:
    size_t block_;
    std::vector<char> buffer_;
    std::vector<char> page_;
    std::fstream out_;
    uint64_t position_ = UINT64_MAX;
    uint64_t end_ = 0;
};

// The pages the data chains take, in the order the dump writer hands them
// out: the lowest page that neither the catalogue nor a text value took.
class PageCursor {
public:
    PageCursor(const dumpwriter::Database &catalogue, int32_t first_text, int32_t text_end)
        : catalogue_(catalogue), first_text_(first_text), text_end_(text_end) {}
    int32_t Next() {
        while (catalogue_.page_taken(next_) || (next_ >= first_text_ && next_ < text_end_)) ++next_;
        return next_++;
    }
    // The page after the highest one handed out or taken by text.
    int32_t End() const { return std::max(next_, text_end_); }

private:
    const dumpwriter::Database &catalogue_;
    int32_t first_text_, text_end_;
    int32_t next_ = 1;
};

// Packs one table's rows into its data chain, each page written once the
// next one is known.
class ChainPacker {
public:
    ChainPacker(BlockWriter &out, const dumpwriter::Dump &dump, const dumpwriter::Database &db,
                int32_t owner, int16_t firoff, int per_page, size_t capacity)
        : out_(out), dump_(dump), db_(db), per_page_(per_page), capacity_(capacity) {
        page_.type = owner;
        page_.firoff = firoff;
    }
    // Adds a row; `pages` hands out the page the chain takes next.
    void Add(const Bytes &row, PageCursor &pages) {
        if (row.size() > capacity_) throw std::invalid_argument("a row is larger than a block");
        const bool full = page_.body.size() + row.size() > capacity_ || (per_page_ > 0 && in_page_ >= per_page_);
        if (page_.id == 0) {
            page_.id = pages.Next();
        } else if (full && in_page_ > 0) {
            const int32_t next = pages.Next();
            Flush(next);
            page_.prev_id = page_.id;
            page_.id = next;
            page_.body.clear();
            in_page_ = 0;
        }
        page_.body.insert(page_.body.end(), row.begin(), row.end());
        ++in_page_;
        page_.zapnum = static_cast<int8_t>(std::min(in_page_, 127));
    }
    // Writes the last page.
    void Finish() {
        if (page_.id != 0) Flush(0);
    }
    uint64_t pages() const { return pages_; }

private:
    void Flush(int32_t next) {
        page_.next_id = next;
        out_.Write(dump_.page_offset(db_, page_.id), page_);
        ++pages_;
    }

    BlockWriter &out_;
    const dumpwriter::Dump &dump_;
    const dumpwriter::Database &db_;
    int per_page_;
    size_t capacity_;
    dumpwriter::Page page_;
    int in_page_ = 0;
    uint64_t pages_ = 0;
};

} // namespace

bool WriteDump(const Description &d, const std::string &path, Written &written, std::string &error) {
    written = Written();
    try {
        std::unique_ptr<dumpwriter::Dump> dump = CatalogueDump(d);
        if (!dump->write_file(path)) {
            error = "cannot write " + path;
            return false;
        }
        BlockWriter out(path, d.kb);
        if (!out.ok()) {
            error = "cannot reopen " + path;
            return false;
        }
        const size_t capacity = static_cast<size_t>(d.kb) * 1024 - dumpwriter::kHeaderSize;
        std::vector<dumpwriter::Database *> databases = dump->databases();
        std::vector<Value> values;
        std::vector<Bytes> texts;
        for (size_t i = 0; i < d.databases.size(); ++i) {
            const DatabasePlan &plan = d.databases[i];
            const dumpwriter::Database &db = *databases[i];
            const int32_t first_text_page = db.last_page() + 1;

            // Text and image values, one page each, in row order.
            int32_t next_page = first_text_page;
            for (size_t j = 0; j < plan.tables.size(); ++j) {
                RowMaker maker(d, i, j);
                if (!maker.has_text()) continue;
                for (uint64_t r = 0; r < plan.tables[j].rows; ++r) {
                    texts.clear();
                    const int32_t page_id = next_page;
                    maker.Make(r, next_page, values, &texts);
                    for (size_t k = 0; k < texts.size(); ++k) {
                        dumpwriter::Page page;
                        page.id = page_id + static_cast<int32_t>(k);
                        page.type = plan.tables[j].id;
                        page.fl1 = dumpwriter::kTextPageFlag;
                        page.zapnum = 1;
                        page.body = std::move(texts[k]);
                        out.Write(dump->page_offset(db, page.id), page);
                        ++written.text_pages;
                    }
                }
            }

            // The data chains, table by table, around the catalogue and the
            // text pages.
            PageCursor pages(db, first_text_page, next_page);
            int32_t text_page = first_text_page;
            for (size_t j = 0; j < plan.tables.size(); ++j) {
                const TablePlan &t = plan.tables[j];
                if (t.rows == 0) continue;
                RowMaker maker(d, i, j);
                ChainPacker chain(out, *dump, db, t.id, maker.table().firoff(), t.rows_per_page, capacity);
                const uint64_t numbering = t.rows_per_page > 0 ? static_cast<uint64_t>(t.rows_per_page) : 256;
                for (uint64_t r = 0; r < t.rows; ++r) {
                    maker.Make(r, text_page, values, nullptr);
                    chain.Add(maker.table().EncodeRow(values, static_cast<uint8_t>(r % numbering)), pages);
                }
                chain.Finish();
                written.data_pages += chain.pages();
                written.rows += t.rows;
            }

            // Nothing may reach the next database.
            const uint64_t end = dump->page_offset(db, pages.End());
            for (const DatabasePlan &other : d.databases)
                if (other.base_mb > plan.base_mb && end > static_cast<uint64_t>(other.base_mb) * kMiB) {
                    error = "database " + plan.name + " runs into database " + other.name +
                            ": move its base beyond " + std::to_string(end / kMiB + 1) + " MiB";
                    return false;
                }
        }
        written.bytes = std::max(out.end(), dump->size());
        if (!out.Close()) {
            error = "cannot write " + path;
            return false;
        }
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}

} // namespace benchgen
