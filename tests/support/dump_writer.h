// Builds format-12 and format-15 dump files from a plain description, for
// tests and tools.
//
// A test states its dump in a few lines:
//
//     dumpwriter::Dump d(4);                          // 4 KiB pages
//     auto &master = d.database("master", 1, 0);      // name, dbid, base in MiB
//     auto &sales = d.database("sales", 5, 2);
//     sales.table(101, "orders").table(102, "customers");
//     auto file = d.memory_file();                    // or d.write_file(path)
//
// Layout (docs/dump-format.md): page p of a database lies at
// base_mb * 1 MiB + 8192 + p * block size and opens with a 32-byte header.
// For every database the writer lays out:
//   - the object catalogue (object 1) from page 1 on, one record per object,
//     over at least two pages;
//   - the chains added with chain(), on the next free pages;
//   - raw pages added with page(), exactly where they say.
// The first database declared is the master database: it also receives the
// database list (object 30, one record per database), the usage records
// (object 31, one per database, start page chosen so that
// (start_page * kb - 8) * 1024 >> 20 is the database's base MiB) and the
// master device record (object 35) whose high page lies above every start
// page.
//
// Nothing is laid out until the dump is written (bytes(), memory_file(),
// write_file(), size()); the description can be changed until then, and the
// layout can be inspected afterwards with Database::pages_of().
//
// Damage for robustness tests: edit_page() changes a laid-out page (its
// header fields or body), patch() overwrites bytes at an absolute offset,
// cut() ends the dump at a given size.
//
// Later tests add columns (object 3), rows, text chains and indexes by
// composing their records with Record and storing them with chain(); a
// chain can be given fixed pages and any number of records per page.
//
// Format 15 (Dump d(4, Format::k15)): the system tables keep their rows on
// row pages (rows from body offset 12, each opening with its row number
// and status) and are found through map pages whose entries name a row by
// page and row number. Every database gets, beside its data:
//   - the object rows (object 1) from page 1 on, over at least two pages,
//     named by the object index from page 161 (object 1);
//   - the column map from page 50 (object 3) and the index map from page
//     34 (object 2), empty unless rows are added to them;
//   - name rows (object 2) holding the name and first page of every system
//     object of the catalogue that owns pages, named by the name index from
//     page 90;
//   - in the first database: the database rows (object 30) and the usage
//     rows (object 31, with each database's skip flag); no device record.
// Map chains go on from their fixed first page to free pages. Other row
// catalogues are added with addressed_rows(). Data rows of user tables are
// laid out as in format 12.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace dumpwriter {

using Bytes = std::vector<uint8_t>;

constexpr int kHeaderSize = 32;
// System object ids the writer lays out itself.
constexpr int32_t kObjectCatalogue = 1;
constexpr int32_t kIndexCatalogue = 2;
constexpr int32_t kColumnCatalogue = 3;
constexpr int32_t kDatabaseInformation = 30;
constexpr int32_t kUsage = 31;
constexpr int32_t kDevices = 35;
constexpr int32_t kObjectTexts = 6;

// The on-disk generation a dump is written in.
enum class Format { k12, k15 };

// Bytes before block 1 of a database: 8192 plus one block.
inline uint64_t DataStart(int kb) { return 8192u + static_cast<uint64_t>(kb) * 1024u; }

// A record under construction: a byte buffer that grows as fields are set.
// Numbers are stored little-endian.
class Record {
public:
    explicit Record(size_t size = 0) : bytes_(size, 0) {}
    Record &u8(size_t at, uint8_t v);
    Record &i16(size_t at, int16_t v);
    Record &i32(size_t at, int32_t v);
    Record &text(size_t at, const std::string &s); // without a terminating NUL
    Record &raw(size_t at, const Bytes &b);
    // Pads with zero bytes up to `size` (never shortens).
    Record &pad_to(size_t size);
    size_t size() const { return bytes_.size(); }
    const Bytes &bytes() const { return bytes_; }
    operator const Bytes &() const { return bytes_; }

private:
    Bytes &room(size_t end);
    Bytes bytes_;
};

// One page: the header fields and the record area (the body after the
// 32-byte header). `len` defaults to 32 + body size.
struct Page {
    int32_t id = 0;
    int32_t next_id = 0;
    int32_t prev_id = 0;
    int32_t type = 0; // owning object
    int8_t zapnum = 0; // row count
    uint8_t fl1 = 0;
    int16_t firoff = 0; // where each record keeps its own length
    std::optional<int16_t> len;
    Bytes body;

    int16_t stored_len() const;
    // The 32 header bytes as stored on disk.
    Bytes header_bytes() const;
};

struct ChainOptions {
    int16_t firoff = 0;        // record-length position written in every page header
    int records_per_page = 0;  // 0: as many as fit
    int32_t first_page = 0;    // 0: the next free pages; otherwise consecutive ids from here
    uint8_t fl1 = 0;
    bool at_least_one_page = true; // an empty record list still gives one empty page
    int body_start = 0;        // zero bytes before the first record of every page
    bool row_numbers = false;  // stamp each record's number in its page (from 1) as int16 at 0
    bool only_first_fixed = false; // with first_page: only the first page is fixed
};

// Where a record of a chain was laid: its page and its index in the page.
struct Placement {
    int32_t page = 0;
    int index = 0;
    uint8_t row() const { return static_cast<uint8_t>(index + 1); } // the stamped row number
};

// Record layouts of the system objects, as the readers expect them.
namespace records {
// Object catalogue: id at 4, type letter at 64, length at 66, name from 68.
constexpr int16_t kObjectFiroff = 66;
Bytes Object(int32_t id, char type, const std::string &name);
// Database information: row byte at 1, dbid at 2, length at 38, name from 40.
constexpr int16_t kDatabaseFiroff = 38;
Bytes DatabaseInfo(int8_t row, int16_t dbid, const std::string &name);
// Usage: dbid at 2, size at 12, start page at 16, length at 20.
constexpr int16_t kUsageFiroff = 20;
Bytes Usage(int16_t dbid, int32_t size, int32_t start_page);
// Device: low page at 4, high page at 8, length at 12, name from 16, the
// name's end offset in the byte before the last.
constexpr int16_t kDeviceFiroff = 12;
Bytes Device(const std::string &name, int32_t low, int32_t high);
// Object text (both generations, a chain of object 6): object id at 4, the
// text piece from 18, length at 16 (24 + the piece), then 6 zero bytes.
constexpr int16_t kObjectTextFiroff = 16;
constexpr size_t kTextPieceSize = 255; // the most a row holds
Bytes ObjectTextRow(int32_t id, const std::string &piece);
} // namespace records

// Format-15 rows and map entries. Row offsets count from the row's first
// byte: bytes 0-1 hold its row number (stamped by the layout) and byte 2
// its status (16 or 20: a row the readers pass over). The readers address
// a row 4 bytes in, so "o + n" there is row offset n + 4 here.
namespace records15 {
constexpr int kRowPageStart = 12;  // body offset of the first row of a row page
constexpr uint8_t kDeletedEntry = 16; // map entry status the readers pass over
constexpr uint8_t kDeletedRow = 20;   // row status the readers pass over
// Object row: id at 8, type letter at 68, length at 70, name from 72, then
// 8 zero bytes (length = 80 + name).
constexpr int16_t kObjectFiroff = 70;
Bytes ObjectRow(int32_t id, char type, const std::string &name, uint8_t status = 0);
// Database row: dbid at 6, length at 42, name from 44, then a NUL and 3
// zero bytes (length = 48 + name).
constexpr int16_t kDatabaseFiroff = 42;
Bytes DatabaseRow(int16_t dbid, const std::string &name);
// Name row: first page at 32, length at 54, name from 56, then 2 zero
// bytes (length = 58 + name).
constexpr int16_t kNameFiroff = 54;
Bytes NameRow(const std::string &name, int32_t first_page);
// Usage row: 48 bytes from body offset 13 of the usage pages, back to back:
// dbid at 5, size at 15, start page at 19, skip flag at 23.
constexpr int kUsagePageStart = 13;
constexpr int kUsageRowSize = 48;
Bytes UsageRow(int16_t dbid, int32_t size, int32_t start_page, int32_t skip);

// Map entries: page and row number of a row, and the entry's status.
// Object index (from page 161), entries from body offset 12: page at 5,
// row at 9, status at 10, key length at 11, the object name from 12.
constexpr int kObjectIndexStart = 12;
Bytes ObjectIndexEntry(const std::string &name, int32_t page, uint8_t row, uint8_t status = 0);
// Name index (from page 90), 17-byte entries from body offset 13: page at
// 10, row at 14, status at 15.
constexpr int kNameIndexStart = 13;
Bytes NameIndexEntry(int32_t page, uint8_t row, uint8_t status = 0);
// Column map (from page 50), 15-byte entries from body offset 21: page at
// 0, row at 4, status at 5.
constexpr int kColumnMapStart = 21;
Bytes ColumnMapEntry(int32_t page, uint8_t row, uint8_t status = 0);
// Index map (from page 34), 13-byte entries from body offset 12: table id
// at 1, index id at 5, page at 7, row at 11, status at 12.
constexpr int kIndexMapStart = 12;
Bytes IndexMapEntry(int32_t tab_id, uint8_t index_id, int32_t page, uint8_t row, uint8_t status = 0);
// Foreign-key map, 12-byte entries from body offset 12: key id at 1, page
// at 5, row at 9, status at 10, 255 at 11 (any other value ends the map).
constexpr int kForeignKeyMapStart = 12;
Bytes ForeignKeyMapEntry(int32_t fkey_id, int32_t page, uint8_t row, uint8_t status = 0);

// Fixed first pages of the maps.
constexpr int32_t kIndexMapPage = 34;
constexpr int32_t kColumnMapPage = 50;
constexpr int32_t kNameIndexPage = 90;
constexpr int32_t kObjectIndexPage = 161;
} // namespace records15

// Format 15: one row of a row catalogue and the entry that names it.
struct AddressedRow {
    Bytes row; // from the row's first byte; its row number is stamped by the layout
    // The row's map entry, given the page and row number it was laid at;
    // empty: the row is in no map.
    std::function<Bytes(int32_t page, uint8_t row)> entry;
};

// Format 15: the map chain that names rows: its owner, its fixed first
// page and the body offset of its first entry.
struct RowMap {
    int32_t owner = 0;
    int32_t first_page = 0;
    int first_entry = 0;
};
class Dump;

class Database {
public:
    const std::string &name() const { return name_; }
    int16_t dbid() const { return dbid_; }
    int32_t base_mb() const { return base_mb_; }

    Format format() const { return format_; }

    // An object of the object catalogue (user tables have ids above 100).
    // Format 15: `row_status` is the status of its row (20: passed over).
    Database &object(int32_t id, char type, const std::string &name, uint8_t row_status = 0);
    Database &table(int32_t id, const std::string &name) { return object(id, 'U', name); }
    // The stored text of object `id`, cut into rows of `piece_size` bytes
    // on the chain of object 6 (one chain for every text, in call order;
    // the first call also adds the catalogue entry "syscomments").
    Database &object_text(int32_t id, const std::string &text, size_t piece_size = records::kTextPieceSize);
    // A page chain of `owner` holding `records` back to back.
    Database &chain(int32_t owner, const std::vector<Bytes> &records, ChainOptions options = {});
    // A raw page at page.id; replaces whatever the layout would put there.
    Database &page(const Page &page);
    // Changes a page after the layout (any page, also a system one).
    Database &edit_page(int32_t id, std::function<void(Page &)> edit);
    // Records per object-catalogue page. By default the catalogue is split
    // over at least two pages (when it has two records), so that every
    // database holds a page chain for block-size detection.
    Database &catalogue_options(int records_per_page);
    // No catalogue entries for the system objects the writer lays out.
    Database &without_system_entries();

    // Usage record of this database in the master database: none, or one
    // with another start page (the default one places it at base_mb).
    Database &without_usage();
    Database &usage_start_page(int32_t start_page);
    // Leaves the database out of the database list (object 30).
    Database &unlisted();
    // Format 15: the skip flag of the database's usage row (non-zero: the
    // database is left out).
    Database &skip_flag(int32_t flag);

    // Format 15: `rows` of `owner` on row pages (`firoff` in their headers,
    // `per_page` rows a page, 0: as many as fit) and their entries on the
    // map `map` (entries of several calls naming one map page are laid in
    // call order).
    Database &addressed_rows(int32_t owner, int16_t firoff, std::vector<AddressedRow> rows, RowMap map,
                             int per_page = 0);
    // Format 15: a name row (named by the name index) giving `first_page`
    // as the first page of the object `name`, beside those the writer makes
    // for the system objects.
    Database &name_row(const std::string &name, int32_t first_page);

    // The start page written into the usage record.
    int32_t start_page(int kb) const;
    // After the layout: the pages of `owner`, in the order laid out.
    std::vector<int32_t> pages_of(int32_t owner) const;
    // After the layout: the highest page id used.
    int32_t last_page() const;
    // After the layout: whether the page was taken, laid out or held for a
    // map; the pages a further chain would take are those not taken, in order.
    bool page_taken(int32_t id) const { return taken_.count(id) != 0; }

private:
    friend class Dump;
    struct ObjectDecl {
        int32_t id;
        char type;
        std::string name;
        uint8_t row_status;
    };
    struct AddressedDecl {
        int32_t owner;
        int16_t firoff;
        std::vector<AddressedRow> rows;
        RowMap map;
        int per_page;
    };
    struct ChainDecl {
        int32_t owner;
        std::vector<Bytes> records;
        ChainOptions options;
    };

    Database(std::string name, int16_t dbid, int32_t base_mb, Format format)
        : name_(std::move(name)), dbid_(dbid), base_mb_(base_mb), format_(format) {}

    std::string name_;
    int16_t dbid_;
    int32_t base_mb_;
    Format format_;
    std::vector<ObjectDecl> objects_;
    std::vector<ChainDecl> chains_;
    std::vector<AddressedDecl> addressed_;
    std::vector<std::pair<std::string, int32_t>> name_rows_;
    int32_t skip_ = 0;
    std::vector<Page> raw_pages_;
    std::vector<std::pair<int32_t, std::function<void(Page &)>>> edits_;
    int catalogue_per_page_ = 0;
    bool system_entries_ = true;
    bool usage_ = true;
    std::optional<int32_t> start_page_;
    bool listed_ = true;

    // Filled by the layout.
    std::map<int32_t, Page> laid_out_;
    std::set<int32_t> taken_;
    std::map<int32_t, std::vector<int32_t>> owners_;
};

class Dump {
public:
    // Block size in KiB: 2, 4, 8, 16 (32 for detection tests).
    explicit Dump(int kb, Format format = Format::k12);
    Dump(const Dump &) = delete;
    Dump &operator=(const Dump &) = delete;

    int kb() const { return kb_; }
    Format format() const { return format_; }
    // Adds a database; the first one is the master database.
    Database &database(const std::string &name, int16_t dbid, int32_t base_mb);
    Database &master();
    std::vector<Database *> databases();

    // The device record of the master database: name, and pages (high 0:
    // above every start page).
    Dump &master_device(const std::string &name, int32_t low = 0, int32_t high = 0);
    Dump &without_master_device();
    // A further usage record after the automatic ones.
    Dump &usage(int16_t dbid, int32_t size, int32_t start_page);
    // A further record of the database list after the automatic ones: a
    // database the dump lists but holds no pages of.
    Dump &listed(int16_t dbid, const std::string &name);

    // Overwrites bytes at an absolute offset (applied after the layout).
    Dump &patch(uint64_t offset, const Bytes &bytes);
    // The dump ends at `size` bytes (shorter, or padded with zeros).
    Dump &cut(uint64_t size);

    // Byte offset of page `page` of `db`.
    uint64_t page_offset(const Database &db, int32_t page) const;

    // Lays the dump out (again). Throws std::invalid_argument when the
    // description cannot be laid out (overlapping databases, bad page ids).
    void build();
    // Size of the dump in bytes.
    uint64_t size();
    // The whole dump in memory (refused beyond 1 GiB: use write_file).
    Bytes bytes();
    std::unique_ptr<platform::MemoryFile> memory_file();
    // Writes the dump to `path`, seeking over the gaps between pages so a
    // database placed far out gives a sparse file. False when the file
    // could not be written.
    bool write_file(const std::string &path);

private:
    struct Placed {
        uint64_t offset;
        const Page *page;
    };
    void layout_database(Database &db, bool is_master);
    void layout_database15(Database &db, bool is_master);
    void apply_raw_pages_and_edits(Database &db);
    std::vector<Placed> placed() const;
    uint64_t natural_size() const;

    int kb_;
    Format format_;
    std::vector<std::unique_ptr<Database>> databases_;
    std::string device_name_ = "master";
    int32_t device_low_ = 0;
    int32_t device_high_ = 0;
    bool device_ = true;
    struct UsageDecl {
        int16_t dbid;
        int32_t size;
        int32_t start_page;
    };
    std::vector<UsageDecl> extra_usage_;
    std::vector<std::pair<int16_t, std::string>> extra_listed_;
    std::vector<std::pair<uint64_t, Bytes>> patches_;
    std::optional<uint64_t> cut_;
    bool built_ = false;
};

} // namespace dumpwriter
