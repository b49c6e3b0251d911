// The dump block reader: every read of a dump goes through it.
//
// Pages of a database lie at base_mb MiB + 8192 + page * block size; each
// opens with a 32-byte little-endian header (docs/dump-format.md).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "vrndll/call/CancelCheck.h"
#include "vrndll/call/ResultCode.h"

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

// Reads one block header at a time into its fields, and on request the body
// of the same block into `data`. Asks its cancel check on every read whether
// to go on. Block n lies at base_mb MiB + DataStart(kb) + (n - 1) * kb KiB, all in
// 64 bits.
class BlockReader {
public:
    // `may_continue`: asked before every read (empty: never stops).
    BlockReader(int kb, int base_mb, platform::RandomAccessFile *hFile, CancelCheck may_continue = CancelCheck());

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

    // Offset value of a block that lies before the start of the dump.
    static constexpr uint64_t kNowhere = ~static_cast<uint64_t>(0);
    // Byte offset of block n in the dump, or kNowhere.
    uint64_t Offset(int32_t n) const;
    // True when the whole header of block n lies inside the dump: the end
    // of every search that has no end of its own.
    bool InDump(int32_t n) const;
    // Size of the dump in bytes, taken when the reader was built.
    uint64_t DumpSize() const { return dump_size_; }

    // The check asked before every read, and a reader's answer to it.
    const CancelCheck &cancel_check() const { return may_continue_; }
    void SetCancelCheck(CancelCheck may_continue) { may_continue_ = std::move(may_continue); }
    bool MayContinue() const { return !may_continue_ || may_continue_(); }

    // Sets the block size (positive KiB) and reallocates `data`. Returns 0.
    int SetBlockSize(int kb);
    // Header of block n into the fields: 0, -1000 cancelled (nothing read),
    // -2 failure. A header that cannot be read whole (past the end of the
    // dump) leaves the fields as they were and still returns 0;
    // HeaderWhole() tells the two apart.
    int GetBlock(int32_t n);
    // True when the last GetBlock read a whole header into the fields.
    bool HeaderWhole() const { return header_whole_; }
    // Body of block n into `data`: `len` bytes as the last GetBlock read
    // them, never more than the buffer holds and nothing for a negative
    // `len`; the rest of the buffer is zeroed, so no byte of an earlier
    // block is ever decoded. 0, -1000 or -2.
    int GetAllBlock(int32_t n);
    // GetBlock, then the fields into `out`. 0 (also when cancelled: `out`
    // then holds the previous block's values) or -2.
    int GetBlockHeader(int32_t n, BlockHeader &out);
    // Writes block n (header and body) to the log. 0, or -5.
    int bl_log(int32_t n);

    // Bytes of the record area of the current body: len - 32, kept within
    // the block's own body [0, kb KiB - 32] whatever `len` says.
    int RecordAreaLength() const;
    // True when `count` bytes at record-area offset `at` lie inside the
    // record area.
    bool InRecordArea(int64_t at, int64_t count) const;

private:
    // The 32 header bytes at `at`; false when they cannot be read whole.
    // Headers read one block after another come from a read-ahead window,
    // so a sweep over the dump costs one read per window, not per block.
    bool ReadHeaderBytes(uint64_t at, uint8_t *out);

    CancelCheck may_continue_;
    uint64_t dump_size_ = 0;
    bool header_whole_ = false;
    bool logging_block_ = false; // bl_log runs: a failing read must not log again
    std::vector<uint8_t> window_;
    uint64_t window_start_ = 0;
    size_t window_len_ = 0;
    // Bytes of `data` the last body filled; the rest is zero.
    size_t data_used_ = 0;
    uint64_t last_header_ = kNowhere;
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
