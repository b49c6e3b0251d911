// The dump block reader: headers and bodies of single blocks, with a
// read-ahead window for headers read one block after another.
#include "vrndll/call/AssertionSites.h"
#include "vrndll/pages/BlockReader.h"

#include <algorithm>
#include <cstring>

#include "Common/logger/logger.h"

namespace {

// The assertion entries keep the source name the block reader has always
// logged under.
constexpr int64_t kMiB = 1048576;
// Bytes read ahead when headers are read one block after another.
constexpr size_t kReadAheadBytes = 256 * 1024;

// Sets a flag for the lifetime of the object.
class FlagScope {
public:
    explicit FlagScope(bool &flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = saved_; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &flag_;
    bool saved_;
};

} // namespace

BlockReader::BlockReader(int kb_, int base_mb_, platform::RandomAccessFile *file, CancelCheck may_continue)
    : kb(kb_ > 0 ? kb_ : 2), base_mb(base_mb_), data(static_cast<size_t>(DataStart(kb)), 0),
      hFile(file), may_continue_(std::move(may_continue)), dump_size_(file ? file->size() : 0) {}

uint64_t BlockReader::Offset(int32_t n) const {
    const int64_t offset = static_cast<int64_t>(base_mb) * kMiB + DataStart(kb) +
                           (static_cast<int64_t>(n) - 1) * kb * 1024;
    return offset < 0 ? kNowhere : static_cast<uint64_t>(offset);
}

bool BlockReader::InDump(int32_t n) const {
    const uint64_t at = Offset(n);
    return at != kNowhere && at <= dump_size_ && dump_size_ - at >= kBlockHeaderSize;
}

int BlockReader::SetBlockSize(int new_kb) {
    if (new_kb <= 0) return 0;
    kb = new_kb;
    data.assign(static_cast<size_t>(DataStart(kb)), 0);
    data_used_ = 0;
    return 0;
}

int BlockReader::GetBlock(int32_t n) {
    header_whole_ = false;
    if (!MayContinue()) return kCancelled;
    try {
        uint8_t raw[kBlockHeaderSize];
        if (!ReadHeaderBytes(Offset(n), raw)) return kOk; // nothing whole: the fields stay
        std::memcpy(header, raw, sizeof raw);
        id = ReadInt32(header + 0);
        next_id = ReadInt32(header + 4);
        prev_id = ReadInt32(header + 8);
        type = ReadInt32(header + 12);
        zapnum = static_cast<int8_t>(header[20]);
        fl1 = header[23];
        len = ReadInt16(header + 26);
        firoff = ReadInt16(header + 30);
        header_whole_ = true;
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetBlock);
        if (!logging_block_) bl_log(n);
        return kFailed;
    }
}

bool BlockReader::ReadHeaderBytes(uint64_t at, uint8_t *out) {
    if (at == kNowhere || hFile == nullptr) return false;
    const bool next_in_line = last_header_ != kNowhere && at == last_header_ + static_cast<uint64_t>(kb) * 1024;
    last_header_ = at;
    if (window_len_ >= kBlockHeaderSize && at >= window_start_ &&
        at - window_start_ <= window_len_ - kBlockHeaderSize) {
        std::memcpy(out, window_.data() + (at - window_start_), kBlockHeaderSize);
        return true;
    }
    if (!next_in_line) return hFile->readAt(at, out, kBlockHeaderSize) == kBlockHeaderSize;
    window_.resize(kReadAheadBytes);
    window_len_ = 0; // nothing valid while the read runs (it may throw)
    window_start_ = at;
    window_len_ = std::min(window_.size(), hFile->readAt(at, window_.data(), window_.size()));
    if (window_len_ < kBlockHeaderSize) return false;
    std::memcpy(out, window_.data(), kBlockHeaderSize);
    return true;
}

int BlockReader::GetAllBlock(int32_t n) {
    if (!MayContinue()) return kCancelled;
    try {
        // `len` counts the header too, but is read from the body on, as the
        // records are laid out; it never reaches past the buffer.
        const size_t want = len <= 0 ? 0 : std::min<size_t>(static_cast<size_t>(len), data.size());
        const uint64_t at = Offset(n);
        size_t got = 0;
        if (want > 0 && at != kNowhere && hFile != nullptr)
            got = std::min(want, hFile->readAt(at + kBlockHeaderSize, data.data(), want));
        // Everything after the body reads as zero; only what a longer body
        // before left there needs clearing.
        if (data_used_ > got)
            std::fill(data.begin() + static_cast<std::ptrdiff_t>(got),
                      data.begin() + static_cast<std::ptrdiff_t>(std::min(data_used_, data.size())), 0);
        data_used_ = got;
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetAllBlock);
        if (!logging_block_) bl_log(n);
        return kFailed;
    }
}

int BlockReader::GetBlockHeader(int32_t n, BlockHeader &out) {
    try {
        if (GetBlock(n) == kFailed) return kFailed;
        out.id = id;
        out.next_id = next_id;
        out.prev_id = prev_id;
        out.type = type;
        out.len = len;
        out.firoff = firoff;
        return kOk;
    } catch (...) {
        LogAssertion(sites::kGetBlockHeader);
        if (!logging_block_) bl_log(n);
        return kFailed;
    }
}

int BlockReader::bl_log(int32_t n) {
    FlagScope scope(logging_block_);
    try {
        Logger &log = TheLogger();
        GetBlock(n);
        log.Info("=======Header Block contents:==========");
        log.ErrorBinary(header, sizeof header, 1, false);
        GetAllBlock(n);
        log.Info("=====Block contents=====");
        log.ErrorBinary(data.data(), std::min<size_t>(data.size(), static_cast<size_t>(kb) * 1024), 1,
                        false);
        return kOk;
    } catch (...) {
        LogAssertion(sites::kBlockLog);
        return kScanException;
    }
}

int BlockReader::RecordAreaLength() const {
    const int body = kb * 1024 - kBlockHeaderSize;
    return std::max(0, std::min(static_cast<int>(len) - kBlockHeaderSize, body));
}

bool BlockReader::InRecordArea(int64_t at, int64_t count) const {
    return at >= 0 && count >= 0 && at + count <= RecordAreaLength();
}
