// One open dump read by position from two threads at once, in interleaved
// pieces: every byte must come from where it was asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/temp_folder.h"

namespace {

// The byte at `offset` of the test file: no two nearby pieces look alike.
uint8_t ByteAt(uint64_t offset) { return static_cast<uint8_t>((offset * 131) ^ (offset >> 9)); }

TEST(FileThreads, TwoThreadsReadingOneFileByPositionGetEveryByteRight) {
    constexpr uint64_t kSize = 3 * 1024 * 1024 + 17;
    testsupport::TempFolder folder("file_threads");
    const std::string path = folder / "dump.bin";
    std::string bytes(kSize, '\0');
    for (uint64_t k = 0; k < kSize; ++k) bytes[k] = static_cast<char>(ByteAt(k));
    ASSERT_TRUE(testsupport::WriteFileText(path, bytes));

    // Piece sizes from a byte to more than a page window; the last piece of
    // each pass runs past the end and comes back short.
    const struct {
        size_t piece;
        int passes;
    } kCases[] = {{1, 1}, {511, 1}, {4096, 2}, {65537, 8}, {1 << 20, 16}};
    for (const auto &c : kCases) {
        SCOPED_TRACE("piece " + std::to_string(c.piece));
        platform::File file = platform::File::openForReading(path);
        ASSERT_TRUE(file.isOpen());
        // Thread t reads pieces t, t + 2, t + 4, ... of the file, over and
        // over; a short read is only allowed at the end of the file.
        const uint64_t pieces = (kSize + c.piece - 1) / c.piece;
        // A read costs a system call (under Wine, far more): single bytes
        // only from the first pieces.
        const uint64_t limit = c.piece == 1 ? 4096 : pieces;
        uint64_t wrong[2] = {0, 0}, read[2] = {0, 0};
        auto reader = [&](int t) {
            std::vector<uint8_t> buffer(c.piece);
            for (int pass = 0; pass < c.passes; ++pass) {
                for (uint64_t p = static_cast<uint64_t>(t); p < limit; p += 2) {
                    const uint64_t at = p * c.piece;
                    const size_t want = static_cast<size_t>(std::min<uint64_t>(c.piece, kSize - at));
                    const size_t got = file.readAt(at, buffer.data(), c.piece);
                    if (got != want) ++wrong[t];
                    for (size_t k = 0; k < got; ++k)
                        if (buffer[k] != ByteAt(at + k)) ++wrong[t];
                    read[t] += got;
                }
            }
        };
        std::thread other(reader, 1);
        reader(0);
        other.join();
        EXPECT_EQ(wrong[0] + wrong[1], 0u);
        EXPECT_GT(read[0], 0u);
        EXPECT_GT(read[1], 0u);
        EXPECT_EQ(file.readAt(kSize, bytes.data(), 1), 0u);
    }
}

} // namespace
