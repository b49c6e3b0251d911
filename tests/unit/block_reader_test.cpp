// The block reader: where blocks lie, what a header read leaves in the
// fields, how much a body read may take, and cancelling.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "tests/unit/parser_test_support.h"
#include "vrndll/pages/BlockReader.h"

using dumpwriter::Bytes;
using dumpwriter::Dump;
using dumpwriter::Page;
using parsertest::LogCapture;

namespace {

// A dump of any size that records every read and answers each with a
// header whose id is the 1-based read number.
class RecordingFile : public platform::RandomAccessFile {
public:
    explicit RecordingFile(uint64_t size) : size_(size) {}
    size_t readAt(uint64_t offset, void *buffer, size_t count) override {
        reads.push_back({offset, count});
        if (offset >= size_) return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
        std::memset(buffer, 0xAB, n);
        if (n >= 4) {
            const uint32_t number = static_cast<uint32_t>(reads.size());
            std::memcpy(buffer, &number, 4);
        }
        return n;
    }
    uint64_t size() override { return size_; }

    struct Read {
        uint64_t offset;
        size_t count;
    };
    std::vector<Read> reads;

private:
    uint64_t size_;
};

// A file whose every read fails with an exception.
class FailingFile : public platform::RandomAccessFile {
public:
    size_t readAt(uint64_t, void *, size_t) override {
        ++reads;
        throw std::runtime_error("device error");
    }
    uint64_t size() override { return uint64_t(1) << 30; }
    int reads = 0;
};

// A dump of two 2 KiB pages with distinct headers and bodies.
Bytes TwoPages() {
    Dump d(2);
    Page a;
    a.id = 7;
    a.next_id = 8;
    a.prev_id = 6;
    a.type = 123456;
    a.zapnum = -3;
    a.fl1 = 0x80;
    a.firoff = 66;
    a.body.assign(100, 0x11);
    Page b = a;
    b.id = 8;
    b.body.assign(40, 0x22);
    d.database("master", 1, 0).without_system_entries().page(a).page(b);
    return d.bytes();
}

} // namespace

// ------------------------------------------------------------------ geometry

TEST(BlockReaderGeometry, BlocksLieAfterTheLeadingAreaOfTheirSize) {
    EXPECT_EQ(BlockReader(2, 0, nullptr).Offset(1), 10240u);
    EXPECT_EQ(BlockReader(2, 0, nullptr).Offset(2), 12288u);
    EXPECT_EQ(BlockReader(8, 0, nullptr).Offset(1), 16384u);
    EXPECT_EQ(BlockReader(16, 0, nullptr).Offset(2), 40960u);
    EXPECT_EQ(BlockReader(4, 3, nullptr).Offset(1), 3145728u + 12288u);
    EXPECT_EQ(BlockReader(8, 0, nullptr).Offset(0), 8192u); // page 0
    EXPECT_EQ(BlockReader(2, 0, nullptr).Offset(-10), BlockReader::kNowhere);
    BlockReader bl(2, 0, nullptr);
    bl.SetBlockSize(16);
    EXPECT_EQ(bl.data.size(), 24576u);
}

TEST(BlockReaderGeometry, OffsetsBeyondFourGiBAreReadWhereTheyLie) {
    RecordingFile file(uint64_t(8) << 30);
    BlockReader bl(2, 0, &file);
    ASSERT_EQ(bl.GetBlock(2200000), 0);
    EXPECT_EQ(file.reads.at(0).offset, 8192u + uint64_t(2200000) * 2048u);
    BlockReader far(16, 5000, &file);
    ASSERT_EQ(far.GetBlock(3), 0);
    EXPECT_EQ(file.reads.at(1).offset, uint64_t(5000) * 1048576u + 24576u + 2u * 16384u);
}

// ------------------------------------------------------------------ headers and bodies

TEST(BlockReaderRead, HeaderFieldsAndBodyComeFromTheBlock) {
    platform::MemoryFile file(TwoPages());
    BlockReader bl(2, 0, &file);
    ASSERT_EQ(bl.GetBlock(7), 0);
    EXPECT_EQ(bl.id, 7);
    EXPECT_EQ(bl.next_id, 8);
    EXPECT_EQ(bl.prev_id, 6);
    EXPECT_EQ(bl.type, 123456);
    EXPECT_EQ(bl.zapnum, -3);
    EXPECT_EQ(bl.fl1, 0x80);
    EXPECT_EQ(bl.len, 132);
    EXPECT_EQ(bl.firoff, 66);
    ASSERT_EQ(bl.GetAllBlock(7), 0);
    EXPECT_EQ(bl.RecordAreaLength(), 100);
    EXPECT_EQ(bl.data[99], 0x11);
    EXPECT_EQ(bl.data[100], 0);

    BlockHeader h;
    ASSERT_EQ(bl.GetBlockHeader(8, h), 0);
    EXPECT_EQ(h.id, 8);
    EXPECT_EQ(h.type, 123456);
    EXPECT_EQ(h.len, 72);
    EXPECT_EQ(h.firoff, 66);
}

TEST(BlockReaderRead, AHeaderPastTheEndOrCutLeavesTheFieldsAsTheyWere) {
    Bytes bytes = TwoPages();
    platform::MemoryFile file(bytes);
    BlockReader bl(2, 0, &file);
    ASSERT_EQ(bl.GetBlock(8), 0);
    EXPECT_FALSE(bl.InDump(9));
    EXPECT_EQ(bl.GetBlock(9), 0);
    EXPECT_EQ(bl.GetBlock(100000), 0);
    EXPECT_EQ(bl.id, 8);

    bytes.resize(static_cast<size_t>(bl.Offset(8)) + 20); // header of page 8 cut
    platform::MemoryFile cut(bytes);
    BlockReader bl2(2, 0, &cut);
    ASSERT_EQ(bl2.GetBlock(7), 0);
    EXPECT_EQ(bl2.GetBlock(8), 0);
    EXPECT_EQ(bl2.id, 7);
}

TEST(BlockReaderRead, ABodyReadNeverTakesMoreThanTheBufferHolds) {
    RecordingFile file(uint64_t(1) << 30);
    BlockReader bl(2, 0, &file);
    bl.len = 32767; // a lying length
    ASSERT_EQ(bl.GetAllBlock(1), 0);
    EXPECT_EQ(file.reads.at(0).count, bl.data.size());
    EXPECT_EQ(file.reads.at(0).offset, 10240u + 32u);
    EXPECT_EQ(bl.RecordAreaLength(), 2048 - 32); // the block's own body only

    bl.len = -5;
    std::fill(bl.data.begin(), bl.data.end(), 0x77);
    ASSERT_EQ(bl.GetAllBlock(1), 0);
    EXPECT_EQ(file.reads.size(), 1u); // nothing read
    EXPECT_EQ(bl.data[0], 0);         // and nothing stale left
    EXPECT_EQ(bl.RecordAreaLength(), 0);
    bl.len = 32;
    EXPECT_FALSE(bl.InRecordArea(0, 1));
}

TEST(BlockReaderRead, AShortBodyReadZeroFillsSoNoEarlierPageShowsThrough) {
    Bytes bytes = TwoPages();
    bytes.resize(static_cast<size_t>(BlockReader(2, 0, nullptr).Offset(8)) + 32 + 10);
    platform::MemoryFile file(bytes);
    BlockReader bl(2, 0, &file);
    ASSERT_EQ(bl.GetBlock(7), 0);
    ASSERT_EQ(bl.GetAllBlock(7), 0);
    ASSERT_EQ(bl.data[50], 0x11);
    ASSERT_EQ(bl.GetBlock(8), 0);
    ASSERT_EQ(bl.GetAllBlock(8), 0);
    EXPECT_EQ(bl.data[9], 0x22);
    EXPECT_EQ(bl.data[10], 0);
    EXPECT_EQ(bl.data[50], 0);
}

// ------------------------------------------------------------------ cancel, failures, log

TEST(BlockReaderCancel, CancelledReadsTouchNeitherFileNorFields) {
    RecordingFile file(uint64_t(1) << 30);
    bool stop = false;
    BlockReader bl(2, 0, &file, [&] { return !stop; });
    ASSERT_EQ(bl.GetBlock(1), 0);
    stop = true;
    EXPECT_EQ(bl.GetBlock(2), -1000);
    EXPECT_EQ(bl.GetAllBlock(2), -1000);
    EXPECT_EQ(file.reads.size(), 1u);
    EXPECT_EQ(bl.id, 1);
    // GetBlockHeader does not pass the cancel on: the previous block's values.
    BlockHeader h;
    EXPECT_EQ(bl.GetBlockHeader(3, h), 0);
    EXPECT_EQ(h.id, 1);
}

TEST(BlockReaderFailure, AFailingReadIsAnAssertionAndMinusTwoWithoutRecursion) {
    FailingFile file;
    BlockReader bl(2, 0, &file);
    EXPECT_EQ(bl.GetBlock(3), -2);
    bl.len = 100;
    EXPECT_EQ(bl.GetAllBlock(3), -2);
    BlockHeader h;
    EXPECT_EQ(bl.GetBlockHeader(3, h), -2);
    // Each failure dumps the block once; the dump's own failing reads do not
    // start another dump.
    EXPECT_LE(file.reads, 3 * 3);
}

TEST(BlockReaderLog, BlLogWritesTheHeaderThenTheWholeBlock) {
    LogCapture log;
    platform::MemoryFile file(TwoPages());
    BlockReader bl(2, 0, &file);
    ASSERT_EQ(bl.bl_log(7), 0);
    const std::string raw = log.Raw();
    const size_t header = raw.find("=======Header Block contents:==========");
    const size_t body = raw.find("=====Block contents=====");
    ASSERT_NE(body, std::string::npos);
    EXPECT_LT(header, body);
    // 2048 bytes in lines of 16: the last line starts at offset 0x7F0.
    EXPECT_NE(raw.find("000007F0", body), std::string::npos);
    EXPECT_EQ(raw.find("00000800", body), std::string::npos);
}
