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

Bytes Device(const std::string &name, int32_t low, int32_t high) {
    if (name.size() > 239) throw std::invalid_argument("device name too long: " + name);
    const size_t end = 16 + name.size();
    Record r(end + 2);
    r.i32(4, low).i32(8, high).i16(kDeviceFiroff, static_cast<int16_t>(end + 2));
    r.text(16, name).u8(end, static_cast<uint8_t>(end));
    return r.bytes();
}

} // namespace records

// ------------------------------------------------------------------ Database

Database &Database::object(int32_t id, char type, const std::string &name) {
    objects_.push_back({id, type, name});
    return *this;
}

Database &Database::chain(int32_t owner, const std::vector<Bytes> &recs, ChainOptions options) {
    chains_.push_back({owner, recs, options});
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

Dump::Dump(int kb) : kb_(kb) {
    if (kb != 2 && kb != 4 && kb != 8 && kb != 16 && kb != 32)
        throw std::invalid_argument("block size must be 2, 4, 8, 16 or 32 KiB");
}

Database &Dump::database(const std::string &name, int16_t dbid, int32_t base_mb) {
    if (base_mb < 0) throw std::invalid_argument("negative base for database " + name);
    databases_.push_back(std::unique_ptr<Database>(new Database(name, dbid, base_mb)));
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

void Dump::layout_database(Database &db, bool is_master) {
    db.laid_out_.clear();
    db.owners_.clear();
    const size_t capacity = static_cast<size_t>(kb_) * 1024 - kHeaderSize;

    // Pages fixed by the description first; the rest goes around them.
    std::set<int32_t> used;
    for (const Page &p : db.raw_pages_) {
        if (p.id < 1) throw std::invalid_argument("raw page ids start at 1");
        if (p.body.size() > capacity) throw std::invalid_argument("raw page body larger than a block");
        used.insert(p.id);
    }
    int32_t next_free = 1;
    auto allocate = [&]() {
        while (used.count(next_free)) ++next_free;
        used.insert(next_free);
        return next_free;
    };

    // Packs records into pages and links them.
    auto lay_chain = [&](int32_t owner, const std::vector<Bytes> &recs, const ChainOptions &o) {
        std::vector<Page> pages;
        Page current;
        int in_page = 0;
        auto open = [&]() {
            current = Page();
            current.type = owner;
            current.firoff = o.firoff;
            current.fl1 = o.fl1;
            in_page = 0;
        };
        open();
        for (const Bytes &r : recs) {
            if (r.size() > capacity) throw std::invalid_argument("record larger than a block");
            const bool full = current.body.size() + r.size() > capacity ||
                              (o.records_per_page > 0 && in_page >= o.records_per_page);
            if (full && in_page > 0) {
                pages.push_back(current);
                open();
            }
            current.body.insert(current.body.end(), r.begin(), r.end());
            ++in_page;
            current.zapnum = static_cast<int8_t>(std::min(in_page, 127));
        }
        if (in_page > 0 || (pages.empty() && o.at_least_one_page)) pages.push_back(current);

        for (size_t i = 0; i < pages.size(); ++i) {
            if (o.first_page != 0) {
                const int32_t id = o.first_page + static_cast<int32_t>(i);
                if (id < 1 || used.count(id))
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
            db.owners_[owner].push_back(pages[i].id);
            db.laid_out_[pages[i].id] = pages[i];
        }
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
    // By default the catalogue spans at least two pages, so every database
    // holds a chain that block-size detection can follow.
    catalogue_options.records_per_page =
        db.catalogue_per_page_ > 0 ? db.catalogue_per_page_
                                   : (catalogue.size() >= 2 ? static_cast<int>((catalogue.size() + 1) / 2) : 0);
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
