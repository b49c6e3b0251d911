// The catalogue of the database being recovered, as plain data: its
// objects, their columns, the databases of the dump, and where the system
// objects start. The parsers fill it (VRNParser inherits it); the driver and
// the script writers read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One object (table, view, procedure, ...) of the current database.
struct SysobjEntry {
    int32_t id = 0;
    char type = 0;
    int16_t rec_len = 0;
    char name[257] = {};
    int32_t name_len = 0;
    int32_t first_block = 0;
    int32_t first_field = -1;
};

// One database held in the dump.
struct DatabaseEntry {
    int8_t row = 0;
    int16_t dbid = 0;
    int16_t rec_len = 0;
    int32_t name_len = 0;
    char name[256] = {};
    int32_t start_page = 0;
    int32_t usage_size = -1;
    int32_t skip = 0;
};

// One column of an object.
struct ColumnEntry {
    int32_t tab_id = 0;
    int16_t col_id = 0;
    int16_t length = 0;
    int16_t rec_len = 0;
    uint8_t user_type = 0;
    uint8_t row_num = 0;
    int32_t var_len = 0;
    char name[256] = {};
    uint8_t null_flag = 0;
    uint8_t fixed = 0;
    // Guessed from the table's rows (its column rows are lost), not read
    // from the column catalogue.
    bool guessed = false;
};

// One row of the index catalogue: an index or a primary-key or unique
// constraint of a table.
struct IndexEntry {
    int16_t index_id = 0;   // 1: the table's primary key
    int32_t tab_id = 0;
    int16_t rec_len = 0;
    int16_t offsets[11] = {}; // format 12: the row's offset table (low bytes)
    char name[256] = {};    // NUL-terminated, cut to 255 bytes
    int16_t constraint_flags = 0; // 2: a unique constraint
    // The key description, one byte per element; the column id of key
    // column k is element 4 + 16 k. Cut to its 255 elements.
    int32_t keys[255] = {};
    int16_t key_count = 0;  // 0: the row describes no key
};

// One row of the reference catalogue: a foreign key.
struct ForeignKeyEntry {
    int16_t rec_len = 0;
    int32_t constraint_id = 0; // object id of the constraint (its name)
    int32_t tab_id = 0;        // the referencing table
    int32_t ref_tab_id = 0;    // the referenced table
    int16_t key_cnt = 0;
    // Column ids, pairwise; a 0 ends each list.
    int16_t foreign_keys[16] = {};
    int16_t referenced_keys[16] = {};
};

// System objects the scans rely on.
enum SystemObject {
    kObjectCatalogue = 1,
    kIndexCatalogue = 2,
    kColumnCatalogue = 3,
    kObjectTexts = 6,
    kReferenceCatalogue = 16,
    kDatabaseInformation = 30,
    kUsageObject = 31,
    kDeviceObject = 35,
};

struct Catalogue {
    // Objects of the current database: this_obj entries allocated (the
    // array grows in steps), the first iSysobj in use.
    std::vector<SysobjEntry> pSysobj;
    uint32_t iSysobj = 0;
    uint32_t this_obj = 0;

    // The objects in use: iSysobj, never beyond the array (a damaged scan
    // or a caller may leave the count ahead of it). Every walk over the
    // objects is bounded by this, not by either member alone.
    uint32_t object_count() const {
        return iSysobj < pSysobj.size() ? iSysobj : static_cast<uint32_t>(pSysobj.size());
    }
    // Appends an object after the ones in use, growing the array in steps
    // of `step` entries; returns it, cleared.
    SysobjEntry &AddObject(uint32_t step) {
        if (iSysobj >= pSysobj.size()) {
            pSysobj.resize(static_cast<std::size_t>(iSysobj) + step);
            this_obj = static_cast<uint32_t>(pSysobj.size());
        }
        SysobjEntry &e = pSysobj[iSysobj];
        e = SysobjEntry();
        iSysobj += 1;
        return e;
    }
    // Makes room for exactly `n` objects, all in use and cleared.
    void ResetObjects(uint32_t n) {
        pSysobj.assign(n, SysobjEntry());
        iSysobj = this_obj = n;
    }

    // Columns of all objects, in catalogue order until sorted by table.
    std::vector<ColumnEntry> fields;
    uint32_t field_count() const { return static_cast<uint32_t>(fields.size()); }

    // Indexes and foreign keys of the current database, in catalogue order.
    std::vector<IndexEntry> indexes;
    std::vector<ForeignKeyEntry> fkeys;

    // First page of each system object the readers need; -1 when none.
    int32_t first_col_block = -1;
    int32_t first_ind_block = -1;
    int32_t first_ref_block = -1;
    int32_t first_db_block = -1;
    int32_t first_obj_block = -1;
    int32_t first_text_block = -1;

    // Distinct object ids above 100 that own pages.
    std::vector<int32_t> obj_ids;
};
