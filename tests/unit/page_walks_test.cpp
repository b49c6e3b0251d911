// The two walks every reader uses: along a chain of pages (PageChain) and
// over the records of one page body (RecordCursor), each with every reason
// it can stop for.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/unit/parser_test_support.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/pages/BlockReader.h"


namespace {

constexpr int kKb = 2;
constexpr uint64_t kPageBytes = kKb * 1024;

// Pages 1 .. `pages` of one database at base 0, 2 KiB each; page p links to
// next[p] (0 when not given) and its body starts with the byte p.
std::vector<uint8_t> ChainDump(int pages, const std::map<int32_t, int32_t> &next) {
    std::vector<uint8_t> bytes(8192 + (pages + 1) * kPageBytes, 0);
    for (int32_t p = 1; p <= pages; ++p) {
        uint8_t *h = bytes.data() + 8192 + p * kPageBytes;
        const auto it = next.find(p);
        const int32_t n = it == next.end() ? 0 : it->second;
        std::memcpy(h + 0, &p, 4);
        std::memcpy(h + 4, &n, 4);
        const int16_t len = 64;
        std::memcpy(h + 26, &len, 2);
        h[32] = static_cast<uint8_t>(p);
    }
    return bytes;
}

class ThrowingFile : public platform::RandomAccessFile {
public:
    size_t readAt(uint64_t, void *, size_t) override { throw std::runtime_error("device error"); }
    uint64_t size() override { return 1 << 20; }
};

} // namespace

TEST(PageChain, StopsForEveryReasonWithThePagesReadSoFar) {
    enum class File { kDump, kThrowing, kCancelled };
    struct Case {
        const char *name;
        int32_t first;
        std::map<int32_t, int32_t> next;
        int64_t max_pages;
        File file;
        std::vector<int32_t> read; // pages the walk yielded
        ChainStop stop;
        int32_t stop_page;
        int result;
    };
    const std::vector<Case> cases = {
        {"a chain ends at next_id 0", 1, {{1, 3}, {3, 2}}, 9, File::kDump, {1, 3, 2}, ChainStop::kEndOfChain, 0, 0},
        {"an empty chain reads nothing", 0, {}, 9, File::kDump, {}, ChainStop::kEndOfChain, 0, 0},
        {"a page linked to itself", 2, {{2, 2}}, 9, File::kDump, {2}, ChainStop::kRevisited, 2, -2},
        {"a loop back to an earlier page", 1, {{1, 2}, {2, 3}, {3, 1}}, 9, File::kDump, {1, 2, 3},
         ChainStop::kRevisited, 1, -2},
        {"a negative next_id", 1, {{1, -4}}, 9, File::kDump, {1}, ChainStop::kOutsideDump, -4, -2},
        {"a page above the dump's pages", 1, {{1, 6}}, 5, File::kDump, {1}, ChainStop::kOutsideDump, 6, -2},
        {"a page whose header lies past the end of the file", 1, {{1, 500}}, 1000, File::kDump, {1},
         ChainStop::kOutsideDump, 500, -2},
        {"a read that fails", 1, {}, 9, File::kThrowing, {}, ChainStop::kUnreadable, 1, -2},
        {"a cancel", 1, {{1, 2}}, 9, File::kCancelled, {}, ChainStop::kCancelled, 1, -1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        platform::MemoryFile dump(ChainDump(9, c.next));
        ThrowingFile throwing;
        platform::RandomAccessFile *file = c.file == File::kThrowing ? static_cast<platform::RandomAccessFile *>(&throwing) : &dump;
        BlockReader reader(kKb, 0, file, [&] { return c.file != File::kCancelled; });
        PageChain walk(reader, c.first, "the test chain", c.max_pages);
        std::vector<int32_t> read;
        while (walk.Next()) {
            // The reader holds header and body of the page yielded.
            EXPECT_EQ(reader.id, walk.page());
            EXPECT_EQ(reader.data[0], static_cast<uint8_t>(walk.page()));
            read.push_back(walk.page());
        }
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(walk.stop(), c.stop);
        EXPECT_EQ(walk.page(), c.stop_page);
        EXPECT_EQ(walk.Result(), c.result);
        EXPECT_FALSE(walk.Next()); // a stopped walk stays stopped
    }
}

TEST(RecordCursor, YieldsOnlyWholeRecordsAndStopsForEveryReason) {
    // A body of little-endian 16-bit lengths placed where the layout says.
    struct Placed {
        int at;
        int16_t value;
    };
    struct Case {
        const char *name;
        RecordLayout layout;
        int area;
        std::vector<Placed> lengths;
        std::vector<uint8_t> zero_first; // record starts whose first byte stays 0
        std::vector<std::pair<int, int>> yielded; // start, length
        RecordStop stop;
    };
    RecordLayout at2;
    at2.length_at = 2;
    RecordLayout at2_min8 = at2;
    at2_min8.min_length = 8;
    RecordLayout row_addressed; // position 4 bytes into the row, length at +66, first at 16
    row_addressed.first = 16;
    row_addressed.lead = 4;
    row_addressed.length_at = 66;
    RecordLayout implied = at2;
    implied.implied_length = 6;
    RecordLayout fixed; // 48-byte records from 13, no length field
    fixed.first = 13;
    fixed.fixed_length = 48;
    const std::vector<Case> cases = {
        {"records up to a zero length", at2, 100, {{2, 10}, {12, 20}, {32, 0}}, {}, {{0, 10}, {10, 20}}, RecordStop::kZeroLength},
        {"records that fill the area", at2, 30, {{2, 10}, {12, 20}}, {}, {{0, 10}, {10, 20}}, RecordStop::kEndOfArea},
        {"a record running past the area", at2, 30, {{2, 10}, {12, 21}}, {}, {{0, 10}}, RecordStop::kBadLength},
        {"a negative length", at2, 100, {{2, -10}}, {}, {}, RecordStop::kBadLength},
        {"a length below the smallest record", at2_min8, 100, {{2, 8}, {10, 7}}, {}, {{0, 8}}, RecordStop::kBadLength},
        {"a length field past the area", at2, 11, {{2, 10}}, {}, {{0, 10}}, RecordStop::kLengthOutside},
        {"an empty area", at2, 0, {}, {}, {}, RecordStop::kEndOfArea},
        {"row-addressed records", row_addressed, 202, {{82, 100}, {182, 90}}, {}, {{12, 100}, {112, 90}},
         RecordStop::kEndOfArea},
        {"records without a length field", implied, 40, {{8, 10}, {24, 0}}, {0, 16}, {{0, 6}, {6, 10}, {16, 6}},
         RecordStop::kZeroLength},
        {"an implied record past the area", implied, 20, {}, {0, 6, 12, 18}, {{0, 6}, {6, 6}, {12, 6}},
         RecordStop::kLengthOutside},
        {"fixed-size records up to the last whole one", fixed, 13 + 2 * 48 + 30, {}, {}, {{13, 48}, {61, 48}},
         RecordStop::kEndOfArea},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> body(400, 0x55);
        std::fill(body.begin() + c.area, body.end(), 0x77); // never read as a record
        for (const Placed &p : c.lengths) std::memcpy(body.data() + p.at, &p.value, 2);
        for (uint8_t z : c.zero_first) body[z] = 0;
        RecordCursor cursor(body.data(), c.area, 7, c.layout, "the test page");
        std::vector<std::pair<int, int>> yielded;
        while (cursor.Next()) {
            EXPECT_LE(cursor.start() + cursor.length(), c.area);
            EXPECT_EQ(cursor.record(), body.data() + cursor.start());
            yielded.push_back({cursor.start(), cursor.length()});
        }
        EXPECT_EQ(yielded, c.yielded);
        EXPECT_EQ(cursor.stop(), c.stop);
        EXPECT_EQ(cursor.count(), static_cast<int>(c.yielded.size()));
    }
}
