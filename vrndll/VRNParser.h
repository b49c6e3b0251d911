// The dump block reader and the parser base: the catalogue records and the
// operations every dump generation provides.
//
// Pages of a database lie at base_mb MiB + 8192 + page * block size; each
// opens with a 32-byte little-endian header (docs/dump-format.md). Every
// read of a dump goes through BlockReader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// ------------------------------------------------------------------ blocks

constexpr int kBlockHeaderSize = 32;

// Bytes before block 1 of a database: 8192 plus one block.
constexpr int DataStart(int kb) { return 8192 + kb * 1024; }

// Copy of the header fields a caller keeps.
struct BlockHeader {
    int32_t id = 0;
    int32_t next_id = 0;
    int32_t prev_id = 0;
    int32_t type = 0;
    int16_t len = 0;
    int16_t firoff = 0;
};

class BlockReader {
public:
    BlockReader(int kb, int base_mb, platform::RandomAccessFile *hFile);

    int32_t kb;
    int32_t id = 0;
    int32_t next_id = 0;
    int32_t prev_id = 0;
    int32_t base_mb;
    int32_t type = 0;
    int16_t len = 0;
    int8_t zapnum = 0;
    uint8_t fl1 = 0;
    int16_t firoff = 0;
    uint8_t header[kBlockHeaderSize] = {};
    std::vector<uint8_t> data; // body buffer, DataStart(kb) bytes
    platform::RandomAccessFile *hFile; // borrowed

    // Byte offset of block n in the dump (64-bit).
    uint64_t Offset(int32_t n) const;
    int SetBlockSize(int kb);
    // Header of block n into the fields: 0, -1000 cancelled, -2 failure.
    // A read past the end of the dump leaves the fields as they were.
    int GetBlock(int32_t n);
    // Body of block n into `data`, `len` bytes as the last GetBlock read
    // them, never more than the buffer holds.
    int GetAllBlock(int32_t n);
    int GetBlockHeader(int32_t n, BlockHeader &out);
    // Writes block n (header and body) to the log.
    int bl_log(int32_t n);
    // Bytes of the record area of the current body: len - 32, kept within
    // [0, block size].
    int RecordAreaLength() const;
};

// Little-endian reads from a byte buffer.
inline int16_t ReadInt16(const uint8_t *p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}
inline int32_t ReadInt32(const uint8_t *p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) |
                                (static_cast<uint32_t>(p[3]) << 24));
}

// ------------------------------------------------------------------ catalogue records

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
};

// Result codes shared by the readers and the driver.
enum ParserResult {
    kOk = 0,
    kFailed = -2,
    kNoCatalogue = -3,
    kScanException = -5,
    kEndOfDump = -200,
    kDetectGaveUp = -300,
    kCancelled = -1000,
};

// ------------------------------------------------------------------ parser base

// One open dump and what is known of the database being recovered. The base
// operations do nothing and return 0; each generation overrides what it needs.
class VRNParser {
public:
    VRNParser(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb);
    virtual ~VRNParser() = default;
    VRNParser(const VRNParser &) = delete;
    VRNParser &operator=(const VRNParser &) = delete;

    BlockReader bl;
    platform::RandomAccessFile *hFile; // borrowed
    int64_t file_size;                 // size of the dump in bytes

    std::vector<SysobjEntry> pSysobj; // capacity this_obj, iSysobj in use
    uint32_t iSysobj = 0;
    uint32_t this_obj = 0;

    std::vector<ColumnEntry> fields; // columns of all objects
    uint32_t field_count = 0;

    int32_t first_col_block = -1;
    int32_t first_ind_block = -1;
    int32_t first_ref_block = -1;
    int32_t first_db_block = -1;
    int32_t first_obj_block = -1;
    int32_t first_text_block = -1;
    int32_t VRN_bl_count = 0;

    std::vector<int32_t> obj_ids; // distinct object ids above 100 that own pages

    // With `databases` non-null and *count 0: lists the databases of the dump
    // into `databases` and builds the catalogue of the current one; otherwise
    // rebuilds the catalogue only.
    virtual int Prepare(std::vector<DatabaseEntry> *databases, uint32_t *count);
    virtual int PrepareEx(std::vector<DatabaseEntry> *databases, uint32_t *count);
    virtual int CollectObjectIds(int start);
    virtual int Detect(int start);
    virtual int PowerOfTwo(int n);
    virtual int LogDatabaseEntry(DatabaseEntry entry);
    virtual void FreeCatalogue();
    virtual int GetCol();
    virtual int GetFieldEx();
    virtual int GetIndex();
    virtual int GetFkey();
    virtual int GetFkeyEx();
    virtual int GetIndexEx();
    virtual int GetPageWord(int16_t *out);
    // Moves the base to the first database start at or after *mb MiB.
    virtual int big(int *mb);
    virtual int FindDatabaseStart(int *mb);
    virtual int MakeTableName(int number, char *out);
    // Sets every object's first_block to the first page carrying its id.
    virtual int data_blockread();
};
