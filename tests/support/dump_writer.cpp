#include "tests/support/dump_writer.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>

namespace dumpwriter {

namespace {

constexpr uint64_t kMiB = 1048576;
constexpr uint64_t kMemoryLimit = 1024 * kMiB;

void Store16(uint8_t *p, int16_t v) {
    const auto u = static_cast<uint16_t>(v);
    p[0] = static_cast<uint8_t>(u & 0xff);
    p[1] = static_cast<uint8_t>(u >> 8);
}

void Store32(uint8_t *p, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>((u >> (8 * i)) & 0xff);
}

} // namespace

// ------------------------------------------------------------------ Record

Bytes &Record::room(size_t end) {
    if (bytes_.size() < end) bytes_.resize(end, 0);
    return bytes_;
}

Record &Record::u8(size_t at, uint8_t v) {
    room(at + 1)[at] = v;
    return *this;
}

Record &Record::i16(size_t at, int16_t v) {
    Store16(room(at + 2).data() + at, v);
    return *this;
}

Record &Record::i32(size_t at, int32_t v) {
    Store32(room(at + 4).data() + at, v);
    return *this;
}

Record &Record::text(size_t at, const std::string &s) {
    std::copy(s.begin(), s.end(), room(at + s.size()).begin() + static_cast<std::ptrdiff_t>(at));
    return *this;
}

Record &Record::raw(size_t at, const Bytes &b) {
    std::copy(b.begin(), b.end(), room(at + b.size()).begin() + static_cast<std::ptrdiff_t>(at));
    return *this;
}

Record &Record::pad_to(size_t size) {
    room(size);
    return *this;
}

// ------------------------------------------------------------------ Page

int16_t Page::stored_len() const {
    if (len) return *len;
    return static_cast<int16_t>(std::min<size_t>(kHeaderSize + body.size(), 32767));
}

Bytes Page::header_bytes() const {
    Bytes h(kHeaderSize, 0);
    Store32(&h[0], id);
    Store32(&h[4], next_id);
    Store32(&h[8], prev_id);
    Store32(&h[12], type);
    h[20] = static_cast<uint8_t>(zapnum);
    h[23] = fl1;
    Store16(&h[26], stored_len());
    Store16(&h[30], firoff);
    return h;
}

// ------------------------------------------------------------------ records

namespace records {

Bytes Object(int32_t id, char type, const std::string &name) {
    const size_t rec_len = kObjectFiroff + 2 + name.size() + 3;
    if (rec_len > 32767) throw std::invalid_argument("object name too long: " + name);
    Record r(rec_len);
    r.i32(4, id).u8(64, static_cast<uint8_t>(type)).i16(kObjectFiroff, static_cast<int16_t>(rec_len));
    r.text(kObjectFiroff + 2, name);
    return r.bytes();
}

Bytes DatabaseInfo(int8_t row, int16_t dbid, const std::string &name) {
    const size_t rec_len = 40 + name.size() + 6;
    if (rec_len > 32767) throw std::invalid_argument("database name too long: " + name);
    Record r(rec_len);
    r.u8(1, static_cast<uint8_t>(row)).i16(2, dbid).i16(kDatabaseFiroff, static_cast<int16_t>(rec_len));
    r.text(40, name);
    return r.bytes();
}

Bytes Usage(int16_t dbid, int32_t size, int32_t start_page) {
    Record r(24);
    r.i16(2, dbid).i32(12, size).i32(16, start_page).i16(kUsageFiroff, 24);
    return r.bytes();
}

Bytes ObjectTextRow(int32_t id, const std::string &piece) {
    if (piece.size() > kTextPieceSize) throw std::invalid_argument("text piece too long");
    const size_t length = piece.size() + 24;
    Record r(length);
    r.i32(4, id).i16(kObjectTextFiroff, static_cast<int16_t>(length)).text(18, piece);
    return r.bytes();
}

Bytes Device(const std::string &name, int32_t low, int32_t high) {
    if (name.size() > 239) throw std::invalid_argument("device name too long: " + name);
    const size_t end = 16 + name.size();
    Record r(end + 2);
    r.i32(4, low).i32(8, high).i16(kDeviceFiroff, static_cast<int16_t>(end + 2));
    r.text(16, name).u8(end, static_cast<uint8_t>(end));
    return r.bytes();
}

} // namespace records

// ------------------------------------------------------------------ records15

namespace records15 {

namespace {

uint8_t KeyLength(const std::string &name) {
    if (name.size() > 255) throw std::invalid_argument("name too long for a key: " + name);
    return static_cast<uint8_t>(name.size());
}

int16_t RowLength(size_t n, const std::string &what) {
    if (n > 32767) throw std::invalid_argument(what + " too long");
    return static_cast<int16_t>(n);
}

} // namespace

Bytes ObjectRow(int32_t id, char type, const std::string &name, uint8_t status) {
    const int16_t rec_len = RowLength(80 + name.size(), "object name " + name);
    Record r(static_cast<size_t>(rec_len));
    r.u8(2, status).i32(8, id).u8(68, static_cast<uint8_t>(type)).i16(kObjectFiroff, rec_len).text(72, name);
    return r.bytes();
}

Bytes DatabaseRow(int16_t dbid, const std::string &name) {
    const int16_t rec_len = RowLength(48 + name.size(), "database name " + name);
    Record r(static_cast<size_t>(rec_len));
    r.i16(6, dbid).i16(kDatabaseFiroff, rec_len).text(44, name);
    return r.bytes();
}

Bytes NameRow(const std::string &name, int32_t first_page) {
    const int16_t rec_len = RowLength(58 + name.size(), "name " + name);
    Record r(static_cast<size_t>(rec_len));
    r.i32(32, first_page).i16(kNameFiroff, rec_len).text(56, name);
    return r.bytes();
}

Bytes UsageRow(int16_t dbid, int32_t size, int32_t start_page, int32_t skip) {
    Record r(kUsageRowSize);
    r.i16(5, dbid).i32(15, size).i32(19, start_page).i32(23, skip);
    return r.bytes();
}

Bytes ObjectIndexEntry(const std::string &name, int32_t page, uint8_t row, uint8_t status) {
    Record r(12 + name.size());
    r.i32(5, page).u8(9, row).u8(10, status).u8(11, KeyLength(name)).text(12, name);
    return r.bytes();
}

Bytes NameIndexEntry(int32_t page, uint8_t row, uint8_t status) {
    Record r(17);
    r.i32(10, page).u8(14, row).u8(15, status);
    return r.bytes();
}

Bytes ColumnMapEntry(int32_t page, uint8_t row, uint8_t status) {
    Record r(15);
    r.i32(0, page).u8(4, row).u8(5, status);
    return r.bytes();
}

Bytes IndexMapEntry(int32_t tab_id, uint8_t index_id, int32_t page, uint8_t row, uint8_t status) {
    Record r(13);
    r.i32(1, tab_id).u8(5, index_id).i32(7, page).u8(11, row).u8(12, status);
    return r.bytes();
}

Bytes ForeignKeyMapEntry(int32_t fkey_id, int32_t page, uint8_t row, uint8_t status) {
    Record r(12);
    r.i32(1, fkey_id).i32(5, page).u8(9, row).u8(10, status).u8(11, 255);
    return r.bytes();
}

} // namespace records15

// ------------------------------------------------------------------ Database

Database &Database::object(int32_t id, char type, const std::string &name, uint8_t row_status) {
    objects_.push_back({id, type, name, row_status});
    return *this;
}

Database &Database::skip_flag(int32_t flag) {
    skip_ = flag;
    return *this;
}

Database &Database::addressed_rows(int32_t owner, int16_t firoff, std::vector<AddressedRow> rows, RowMap map,
                                   int per_page) {
    if (format_ != Format::k15) throw std::logic_error("rows addressed by page and row number are format 15");
    addressed_.push_back({owner, firoff, std::move(rows), map, per_page});
    return *this;
}

Database &Database::name_row(const std::string &name, int32_t first_page) {
    if (format_ != Format::k15) throw std::logic_error("name rows are format 15");
    name_rows_.emplace_back(name, first_page);
    return *this;
}

Database &Database::chain(int32_t owner, const std::vector<Bytes> &recs, ChainOptions options) {
    chains_.push_back({owner, recs, options});
    return *this;
}

Database &Database::object_text(int32_t id, const std::string &text, size_t piece_size) {
    if (piece_size == 0 || piece_size > records::kTextPieceSize) throw std::invalid_argument("bad text piece size");
    auto texts = std::find_if(chains_.begin(), chains_.end(),
                              [](const ChainDecl &c) { return c.owner == kObjectTexts; });
    if (texts == chains_.end()) {
        object(kObjectTexts, 'S', "syscomments");
        ChainOptions options;
        options.firoff = records::kObjectTextFiroff;
        chains_.push_back({kObjectTexts, {}, options});
        texts = chains_.end() - 1;
    }
    for (size_t at = 0; at < text.size(); at += piece_size)
        texts->records.push_back(records::ObjectTextRow(id, text.substr(at, piece_size)));
    return *this;
}

Database &Database::page(const Page &p) {
    raw_pages_.push_back(p);
    return *this;
}

Database &Database::edit_page(int32_t id, std::function<void(Page &)> edit) {
    edits_.emplace_back(id, std::move(edit));
    return *this;
}

Database &Database::catalogue_options(int records_per_page) {
    catalogue_per_page_ = records_per_page;
    return *this;
}

Database &Database::without_system_entries() {
    system_entries_ = false;
    return *this;
}

Database &Database::without_usage() {
    usage_ = false;
    return *this;
}

Database &Database::usage_start_page(int32_t start_page) {
    start_page_ = start_page;
    return *this;
}

Database &Database::unlisted() {
    listed_ = false;
    return *this;
}

int32_t Database::start_page(int kb) const {
    if (start_page_) return *start_page_;
    // The smallest start page whose (start_page * kb - 8) KiB is at least
    // base_mb MiB: the reader's base then comes out as base_mb exactly.
    const int64_t kib = static_cast<int64_t>(base_mb_) * 1024 + 8;
    return static_cast<int32_t>((kib + kb - 1) / kb);
}

std::vector<int32_t> Database::pages_of(int32_t owner) const {
    auto it = owners_.find(owner);
    return it == owners_.end() ? std::vector<int32_t>{} : it->second;
}

int32_t Database::last_page() const { return laid_out_.empty() ? 0 : laid_out_.rbegin()->first; }

// ------------------------------------------------------------------ Dump

Dump::Dump(int kb, Format format) : kb_(kb), format_(format) {
    if (kb != 2 && kb != 4 && kb != 8 && kb != 16 && kb != 32)
        throw std::invalid_argument("block size must be 2, 4, 8, 16 or 32 KiB");
}

Database &Dump::database(const std::string &name, int16_t dbid, int32_t base_mb) {
    if (base_mb < 0) throw std::invalid_argument("negative base for database " + name);
    databases_.push_back(std::unique_ptr<Database>(new Database(name, dbid, base_mb, format_)));
    return *databases_.back();
}

Database &Dump::master() {
    if (databases_.empty()) throw std::logic_error("the dump has no database");
    return *databases_.front();
}

std::vector<Database *> Dump::databases() {
    std::vector<Database *> out;
    for (auto &d : databases_) out.push_back(d.get());
    return out;
}

Dump &Dump::master_device(const std::string &name, int32_t low, int32_t high) {
    device_ = true;
    device_name_ = name;
    device_low_ = low;
    device_high_ = high;
    return *this;
}

Dump &Dump::without_master_device() {
    device_ = false;
    return *this;
}

Dump &Dump::usage(int16_t dbid, int32_t size, int32_t start_page) {
    extra_usage_.push_back({dbid, size, start_page});
    return *this;
}

Dump &Dump::listed(int16_t dbid, const std::string &name) {
    extra_listed_.emplace_back(dbid, name);
    return *this;
}

Dump &Dump::patch(uint64_t offset, const Bytes &bytes) {
    patches_.emplace_back(offset, bytes);
    return *this;
}

Dump &Dump::cut(uint64_t size) {
    cut_ = size;
    return *this;
}

uint64_t Dump::page_offset(const Database &db, int32_t page) const {
    return static_cast<uint64_t>(db.base_mb()) * kMiB + 8192u +
           static_cast<uint64_t>(static_cast<int64_t>(page)) * static_cast<uint64_t>(kb_) * 1024u;
}

namespace {

// Pages of one database as they are laid out: the pages taken so far and
// the packing of record lists into linked chains.
class PageLayout {
public:
    PageLayout(size_t capacity, std::map<int32_t, Page> &laid_out, std::map<int32_t, std::vector<int32_t>> &owners)
        : capacity_(capacity), laid_out_(laid_out), owners_(owners) {}

    std::set<int32_t> used;
    // Pages a map chain starts on: kept free of everything else.
    std::set<int32_t> reserved;

    int32_t allocate() {
        while (used.count(next_free_)) ++next_free_;
        used.insert(next_free_);
        return next_free_;
    }

    // Packs `recs` into pages of `owner`, links them and records where
    // each record went.
    std::vector<Placement> chain(int32_t owner, const std::vector<Bytes> &recs, const ChainOptions &o) {
        std::vector<Page> pages;
        std::vector<Placement> placed;
        const size_t start = static_cast<size_t>(std::max(o.body_start, 0));
        if (start > capacity_) throw std::invalid_argument("page body start beyond the block");
        Page current;
        int in_page = 0;
        auto open = [&]() {
            current = Page();
            current.type = owner;
            current.firoff = o.firoff;
            current.fl1 = o.fl1;
            current.body.assign(start, 0);
            in_page = 0;
        };
        open();
        const int most = o.row_numbers ? 255 : 0;
        for (const Bytes &r : recs) {
            if (r.size() + start > capacity_) throw std::invalid_argument("record larger than a block");
            const bool full = current.body.size() + r.size() > capacity_ ||
                              (o.records_per_page > 0 && in_page >= o.records_per_page) ||
                              (most > 0 && in_page >= most);
            if (full && in_page > 0) {
                pages.push_back(current);
                open();
            }
            const size_t at = current.body.size();
            current.body.insert(current.body.end(), r.begin(), r.end());
            if (o.row_numbers) {
                if (r.size() < 2) throw std::invalid_argument("a numbered row needs 2 bytes");
                current.body[at] = static_cast<uint8_t>(in_page + 1);
                current.body[at + 1] = 0;
            }
            placed.push_back({static_cast<int32_t>(pages.size()), in_page});
            ++in_page;
            current.zapnum = static_cast<int8_t>(std::min(in_page, 127));
        }
        if (in_page > 0 || (pages.empty() && o.at_least_one_page)) pages.push_back(current);

        for (size_t i = 0; i < pages.size(); ++i) {
            if (o.first_page != 0 && (i == 0 || !o.only_first_fixed)) {
                const int32_t id = o.first_page + static_cast<int32_t>(i);
                const bool free_reserved = reserved.count(id) != 0 && laid_out_.count(id) == 0;
                if (id < 1 || (used.count(id) && !free_reserved))
                    throw std::invalid_argument("chain page " + std::to_string(id) + " already used");
                used.insert(id);
                pages[i].id = id;
            } else {
                pages[i].id = allocate();
            }
        }
        for (size_t i = 0; i < pages.size(); ++i) {
            pages[i].prev_id = i == 0 ? 0 : pages[i - 1].id;
            pages[i].next_id = i + 1 == pages.size() ? 0 : pages[i + 1].id;
            owners_[owner].push_back(pages[i].id);
            laid_out_[pages[i].id] = pages[i];
        }
        for (Placement &p : placed) p.page = pages[static_cast<size_t>(p.page)].id;
        return placed;
    }

private:
    size_t capacity_;
    std::map<int32_t, Page> &laid_out_;
    std::map<int32_t, std::vector<int32_t>> &owners_;
    int32_t next_free_ = 1;
};

// Records per object-catalogue page: as asked, else half the catalogue, so
// that it spans two pages and block-size detection has a chain to follow.
int CataloguePerPage(int asked, size_t records) {
    if (asked > 0) return asked;
    return records >= 2 ? static_cast<int>((records + 1) / 2) : 0;
}

} // namespace

void Dump::layout_database(Database &db, bool is_master) {
    db.laid_out_.clear();
    db.owners_.clear();
    if (db.format_ == Format::k15) {
        layout_database15(db, is_master);
        return;
    }
    const size_t capacity = static_cast<size_t>(kb_) * 1024 - kHeaderSize;
    PageLayout layout(capacity, db.laid_out_, db.owners_);

    // Pages fixed by the description first; the rest goes around them.
    for (const Page &p : db.raw_pages_) {
        if (p.id < 1) throw std::invalid_argument("raw page ids start at 1");
        if (p.body.size() > capacity) throw std::invalid_argument("raw page body larger than a block");
        layout.used.insert(p.id);
    }
    auto lay_chain = [&](int32_t owner, const std::vector<Bytes> &recs, const ChainOptions &o) {
        layout.chain(owner, recs, o);
    };

    // Chains on fixed pages before anything is allocated around them.
    for (const auto &c : db.chains_)
        if (c.options.first_page != 0) lay_chain(c.owner, c.records, c.options);

    // Object catalogue: the system objects laid out here, then the user's.
    std::vector<Bytes> catalogue;
    if (db.system_entries_) {
        catalogue.push_back(records::Object(kObjectCatalogue, 'S', "sysobjects"));
        if (is_master) {
            catalogue.push_back(records::Object(kDatabaseInformation, 'S', "sysdatabases"));
            catalogue.push_back(records::Object(kUsage, 'S', "sysusages"));
            if (device_) catalogue.push_back(records::Object(kDevices, 'S', "sysdevices"));
        }
    }
    for (const auto &o : db.objects_) catalogue.push_back(records::Object(o.id, o.type, o.name));
    ChainOptions catalogue_options;
    catalogue_options.firoff = records::kObjectFiroff;
    catalogue_options.records_per_page = CataloguePerPage(db.catalogue_per_page_, catalogue.size());
    lay_chain(kObjectCatalogue, catalogue, catalogue_options);

    if (is_master) {
        std::vector<Bytes> list, usage;
        int row = 0;
        int32_t highest_start = 0;
        const int32_t pages_per_mib = static_cast<int32_t>(kMiB / (static_cast<uint64_t>(kb_) * 1024));
        for (auto &d : databases_) {
            if (d->listed_)
                list.push_back(records::DatabaseInfo(static_cast<int8_t>(row++), d->dbid_, d->name_));
            if (d->usage_) {
                usage.push_back(records::Usage(d->dbid_, pages_per_mib, d->start_page(kb_)));
                highest_start = std::max(highest_start, d->start_page(kb_));
            }
        }
        for (const auto &l : extra_listed_)
            list.push_back(records::DatabaseInfo(static_cast<int8_t>(row++), l.first, l.second));
        for (const auto &u : extra_usage_) {
            usage.push_back(records::Usage(u.dbid, u.size, u.start_page));
            highest_start = std::max(highest_start, u.start_page);
        }
        ChainOptions o;
        o.firoff = records::kDatabaseFiroff;
        lay_chain(kDatabaseInformation, list, o);
        o.firoff = records::kUsageFiroff;
        lay_chain(kUsage, usage, o);
        if (device_) {
            const int32_t high = device_high_ != 0 ? device_high_ : highest_start + 1000;
            o.firoff = records::kDeviceFiroff;
            lay_chain(kDevices, {records::Device(device_name_, device_low_, high)}, o);
        }
    }

    for (const auto &c : db.chains_)
        if (c.options.first_page == 0) lay_chain(c.owner, c.records, c.options);
    db.taken_ = layout.used;
    apply_raw_pages_and_edits(db);
}

void Dump::layout_database15(Database &db, bool is_master) {
    const size_t capacity = static_cast<size_t>(kb_) * 1024 - kHeaderSize;
    PageLayout layout(capacity, db.laid_out_, db.owners_);
    using namespace records15;

    for (const Page &p : db.raw_pages_) {
        if (p.id < 1) throw std::invalid_argument("raw page ids start at 1");
        if (p.body.size() > capacity) throw std::invalid_argument("raw page body larger than a block");
        layout.used.insert(p.id);
    }
    for (int32_t page : {kIndexMapPage, kColumnMapPage, kNameIndexPage, kObjectIndexPage}) {
        layout.used.insert(page);
        layout.reserved.insert(page);
    }
    // The first pages of the other maps are kept free for them too.
    for (const auto &a : db.addressed_) {
        if (a.map.first_page == 0) continue;
        layout.used.insert(a.map.first_page);
        layout.reserved.insert(a.map.first_page);
    }
    for (const auto &c : db.chains_)
        if (c.options.first_page != 0) layout.chain(c.owner, c.records, c.options);

    // Map entries by the map's first page, in the order rows are laid.
    struct MapEntries {
        RowMap map;
        std::vector<Bytes> entries;
    };
    std::map<int32_t, MapEntries> maps;
    auto map_of = [&](const RowMap &m) -> MapEntries & {
        MapEntries &e = maps[m.first_page];
        e.map = m;
        return e;
    };
    map_of({kObjectCatalogue, kObjectIndexPage, kObjectIndexStart});
    map_of({kColumnCatalogue, kColumnMapPage, kColumnMapStart});
    map_of({kIndexCatalogue, kIndexMapPage, kIndexMapStart});
    map_of({kIndexCatalogue, kNameIndexPage, kNameIndexStart});

    auto lay_rows = [&](int32_t owner, int16_t firoff, const std::vector<AddressedRow> &rows, const RowMap &map,
                        int per_page) {
        std::vector<Bytes> bytes;
        for (const auto &r : rows) bytes.push_back(r.row);
        ChainOptions o;
        o.firoff = firoff;
        o.body_start = kRowPageStart;
        o.row_numbers = true;
        o.records_per_page = per_page;
        const std::vector<Placement> placed = layout.chain(owner, bytes, o);
        if (map.first_page == 0) return;
        MapEntries &m = map_of(map);
        for (size_t k = 0; k < rows.size(); ++k)
            if (rows[k].entry) m.entries.push_back(rows[k].entry(placed[k].page, placed[k].row()));
    };

    // Object rows from page 1, named by the object index.
    struct Named {
        int32_t id;
        std::string name;
    };
    std::vector<AddressedRow> objects;
    std::vector<Named> system_objects;
    auto add_object = [&](int32_t id, char type, const std::string &name, uint8_t status) {
        AddressedRow r;
        r.row = ObjectRow(id, type, name, status);
        r.entry = [name](int32_t page, uint8_t row) { return ObjectIndexEntry(name, page, row); };
        objects.push_back(r);
        if (id <= 100) system_objects.push_back({id, name});
    };
    if (db.system_entries_) {
        add_object(kObjectCatalogue, 'S', "sysobjects", 0);
        if (is_master) {
            add_object(kDatabaseInformation, 'S', "sysdatabases", 0);
            add_object(kUsage, 'S', "sysusages", 0);
        }
    }
    for (const auto &o : db.objects_) add_object(o.id, o.type, o.name, o.row_status);
    lay_rows(kObjectCatalogue, kObjectFiroff, objects, {kObjectCatalogue, kObjectIndexPage, kObjectIndexStart},
             CataloguePerPage(db.catalogue_per_page_, objects.size()));

    if (is_master) {
        std::vector<AddressedRow> list;
        std::vector<Bytes> usage;
        const int32_t pages_per_mib = static_cast<int32_t>(kMiB / (static_cast<uint64_t>(kb_) * 1024));
        for (auto &d : databases_) {
            if (d->listed_) list.push_back({DatabaseRow(d->dbid_, d->name_), {}});
            if (d->usage_) usage.push_back(UsageRow(d->dbid_, pages_per_mib, d->start_page(kb_), d->skip_));
        }
        for (const auto &l : extra_listed_) list.push_back({DatabaseRow(l.first, l.second), {}});
        for (const auto &u : extra_usage_) usage.push_back(UsageRow(u.dbid, u.size, u.start_page, 0));
        lay_rows(kDatabaseInformation, kDatabaseFiroff, list, {}, 0);
        ChainOptions o;
        o.body_start = kUsagePageStart;
        layout.chain(kUsage, usage, o);
    }

    // System chains here; the data chains of user tables come last, after
    // the whole catalogue, as in the older generation.
    for (const auto &c : db.chains_)
        if (c.options.first_page == 0 && c.owner <= 100) layout.chain(c.owner, c.records, c.options);
    for (const auto &a : db.addressed_) lay_rows(a.owner, a.firoff, a.rows, a.map, a.per_page);

    // Name rows of the system objects that own pages, named by the name index.
    std::vector<AddressedRow> names;
    for (const Named &n : system_objects) {
        const auto pages = db.owners_.find(n.id);
        if (pages == db.owners_.end() || pages->second.empty()) continue;
        names.push_back({NameRow(n.name, pages->second.front()),
                         [](int32_t page, uint8_t row) { return NameIndexEntry(page, row); }});
    }
    for (const auto &n : db.name_rows_)
        names.push_back({NameRow(n.first, n.second), [](int32_t page, uint8_t row) { return NameIndexEntry(page, row); }});
    lay_rows(kIndexCatalogue, kNameFiroff, names, {kIndexCatalogue, kNameIndexPage, kNameIndexStart}, 0);

    // The maps, each from its fixed first page.
    for (const auto &kv : maps) {
        const MapEntries &m = kv.second;
        ChainOptions o;
        o.first_page = m.map.first_page;
        o.only_first_fixed = true;
        o.body_start = m.map.first_entry;
        layout.chain(m.map.owner, m.entries, o);
    }
    for (const auto &c : db.chains_)
        if (c.options.first_page == 0 && c.owner > 100) layout.chain(c.owner, c.records, c.options);
    db.taken_ = layout.used;
    apply_raw_pages_and_edits(db);
}

void Dump::apply_raw_pages_and_edits(Database &db) {
    const size_t capacity = static_cast<size_t>(kb_) * 1024 - kHeaderSize;
    for (const Page &p : db.raw_pages_) db.laid_out_[p.id] = p;
    for (auto &e : db.edits_) {
        Page &p = db.laid_out_[e.first];
        if (p.id == 0) p.id = e.first;
        e.second(p);
        if (p.body.size() > capacity) throw std::invalid_argument("edited page body larger than a block");
    }
}

void Dump::build() {
    for (size_t i = 0; i < databases_.size(); ++i) layout_database(*databases_[i], i == 0);

    // Databases must not overlap: each ends before the next one's base.
    std::vector<const Database *> by_base;
    for (auto &d : databases_) by_base.push_back(d.get());
    std::sort(by_base.begin(), by_base.end(),
              [](const Database *a, const Database *b) { return a->base_mb() < b->base_mb(); });
    for (size_t i = 1; i < by_base.size(); ++i) {
        const Database &a = *by_base[i - 1];
        const Database &b = *by_base[i];
        const uint64_t end_of_a = page_offset(a, a.last_page()) + static_cast<uint64_t>(kb_) * 1024;
        if (a.base_mb() == b.base_mb() || end_of_a > static_cast<uint64_t>(b.base_mb()) * kMiB)
            throw std::invalid_argument("database " + a.name() + " overlaps database " + b.name());
    }
    built_ = true;
}

std::vector<Dump::Placed> Dump::placed() const {
    std::vector<Placed> out;
    for (const auto &d : databases_)
        for (const auto &kv : d->laid_out_) out.push_back({page_offset(*d, kv.first), &kv.second});
    std::sort(out.begin(), out.end(), [](const Placed &a, const Placed &b) { return a.offset < b.offset; });
    return out;
}

uint64_t Dump::natural_size() const {
    uint64_t end = 0;
    const uint64_t block = static_cast<uint64_t>(kb_) * 1024;
    for (const auto &p : placed()) end = std::max(end, p.offset + block);
    for (const auto &p : patches_) end = std::max(end, p.first + p.second.size());
    return end;
}

uint64_t Dump::size() {
    build();
    return cut_ ? *cut_ : natural_size();
}

Bytes Dump::bytes() {
    const uint64_t total = size();
    if (total > kMemoryLimit) throw std::length_error("dump too large for memory; write it to a file");
    Bytes out(static_cast<size_t>(total), 0);
    auto put = [&](uint64_t at, const uint8_t *p, size_t n) {
        if (at >= total) return;
        n = static_cast<size_t>(std::min<uint64_t>(n, total - at));
        std::copy(p, p + n, out.begin() + static_cast<std::ptrdiff_t>(at));
    };
    for (const auto &p : placed()) {
        const Bytes h = p.page->header_bytes();
        put(p.offset, h.data(), h.size());
        put(p.offset + kHeaderSize, p.page->body.data(), p.page->body.size());
    }
    for (const auto &p : patches_) put(p.first, p.second.data(), p.second.size());
    return out;
}

std::unique_ptr<platform::MemoryFile> Dump::memory_file() {
    return std::unique_ptr<platform::MemoryFile>(new platform::MemoryFile(bytes()));
}

bool Dump::write_file(const std::string &path) {
    const uint64_t total = size();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    auto put = [&](uint64_t at, const uint8_t *p, size_t n) {
        if (at >= total || n == 0) return;
        n = static_cast<size_t>(std::min<uint64_t>(n, total - at));
        out.seekp(static_cast<std::streamoff>(at));
        out.write(reinterpret_cast<const char *>(p), static_cast<std::streamsize>(n));
    };
    const uint64_t block = static_cast<uint64_t>(kb_) * 1024;
    for (const auto &p : placed()) {
        Bytes whole = p.page->header_bytes();
        whole.insert(whole.end(), p.page->body.begin(), p.page->body.end());
        whole.resize(static_cast<size_t>(block), 0);
        put(p.offset, whole.data(), whole.size());
    }
    for (const auto &p : patches_) put(p.first, p.second.data(), p.second.size());
    if (total > 0) {
        // The last byte fixes the size even when the dump ends in a gap.
        out.seekp(0, std::ios::end);
        const auto end = static_cast<uint64_t>(static_cast<std::streamoff>(out.tellp()));
        if (end < total) {
            const uint8_t zero = 0;
            put(total - 1, &zero, 1);
        }
    }
    out.close();
    return !out.fail();
}

} // namespace dumpwriter
