#include "vrndll/pages/DumpSniff.h"

#include <cstdint>

namespace {

// Pages looked at for each block size, from page 1 on.
constexpr int kProbePages = 16;
constexpr uint64_t kFirstPageOffset = 8192;

uint32_t Little(const uint8_t *b) {
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
uint32_t Big(const uint8_t *b) {
    return (static_cast<uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

// Pages 1 .. kProbePages of the first database whose id field, read either
// way, equals their page number.
void CountMatchingIds(platform::RandomAccessFile &dump, int &little, int &big) {
    little = big = 0;
    for (int kb : {2, 4, 8, 16}) {
        for (int p = 1; p <= kProbePages; ++p) {
            uint8_t id[4];
            const uint64_t at = kFirstPageOffset + static_cast<uint64_t>(p) * kb * 1024u;
            if (dump.readAt(at, id, sizeof id) != sizeof id) break;
            if (Little(id) == static_cast<uint32_t>(p)) ++little;
            if (Big(id) == static_cast<uint32_t>(p)) ++big;
        }
    }
}

} // namespace

DumpKind SniffDump(platform::RandomAccessFile &dump) {
    int little = 0, big = 0;
    CountMatchingIds(dump, little, big);
    // Pages that read right as they are: whatever the first bytes say.
    if (little > 0) return DumpKind::kPlain;

    uint8_t head[2] = {0, 0};
    if (dump.readAt(0, head, sizeof head) == sizeof head) {
        if (head[0] == 0x1F && head[1] == 0x8B) return DumpKind::kCompressed;
        // zlib: deflate method, and the two bytes a multiple of 31.
        if ((head[0] & 0x0F) == 8 && (head[0] >> 4) <= 7 && ((head[0] << 8) | head[1]) % 31 == 0)
            return DumpKind::kCompressed;
    }
    if (big >= 2) return DumpKind::kBigEndian;
    return DumpKind::kPlain;
}
