// Block-size detection from page chains, and the generation test.
#include <gtest/gtest.h>

#include <random>

#include "tests/unit/parser_test_support.h"

using dumpwriter::Bytes;
using dumpwriter::Dump;
using dumpwriter::Page;
using parsertest::Parsed;
using parsertest::TimeBound;

namespace {

// A master database whose object catalogue fills pages 1 -> 2 -> 3.
void ThreePageCatalogue(Dump &d) {
    auto &db = d.database("master", 1, 0).catalogue_options(2);
    db.table(101, "a").table(102, "b");
}

// A page at `at` (also its id) carrying the header values given.
Page Raw(int32_t at, int32_t next_id, int32_t type) {
    Page p;
    p.id = at;
    p.next_id = next_id;
    p.type = type;
    p.body.assign(8, 1);
    return p;
}

} // namespace

// ------------------------------------------------------------------ block sizes

class DetectEveryBlockSize : public ::testing::TestWithParam<int> {};

TEST_P(DetectEveryBlockSize, FromACatalogueChainingOneTwoThree) {
    const int kb = GetParam();
    Dump d(kb);
    ThreePageCatalogue(d);
    d.build();
    ASSERT_EQ(d.master().pages_of(1), (std::vector<int32_t>{1, 2, 3}));
    Parsed<> p(d);
    EXPECT_EQ(p->Detect(2), 0);
    EXPECT_EQ(p->bl.kb, kb);
    EXPECT_EQ(p->bl.data.size(), static_cast<size_t>(8192 + kb * 1024));
    Parsed<VRNParser15> p15(d);
    EXPECT_EQ(p15->Detect(2), 0);
    EXPECT_EQ(p15->bl.kb, kb);
}

TEST_P(DetectEveryBlockSize, TheWritersFormat15DumpsAreFormat15AndItsFormat12DumpsAreNot) {
    const int kb = GetParam();
    Dump f15(kb, dumpwriter::Format::k15), f12(kb);
    for (Dump *d : {&f15, &f12}) d->database("master", 1, 0).table(101, "a");
    Parsed<VRNParser15> p15(f15), p12(f12);
    EXPECT_EQ(p15->DetectFormat(0), 1);
    EXPECT_EQ(p15->bl.kb, kb);
    EXPECT_EQ(p12->DetectFormat(0), 0);
}

TEST_P(DetectEveryBlockSize, FromTheOnlyChainStartingAtBlockOne) {
    const int kb = GetParam();
    Dump d(kb);
    d.database("master", 1, 0).without_system_entries().catalogue_options(1).table(101, "a").table(102, "b");
    d.without_master_device();
    Parsed<> p(d);
    EXPECT_EQ(p->Detect(2), 0);
    EXPECT_EQ(p->bl.kb, kb);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DetectEveryBlockSize, ::testing::Values(2, 4, 8, 16));

TEST(Detect, ThirtyTwoKiBPagesMatchAtIndexFiveAndLeaveTwoKiB) {
    Dump d(32);
    ThreePageCatalogue(d);
    Parsed<> p(d);
    EXPECT_EQ(p->Detect(2), 0);
    EXPECT_EQ(p->bl.kb, 2);
}

TEST(Detect, ACandidateIsConfirmedByItsSuccessorOfTheSameObject) {
    // 4 KiB geometry read in 2 KiB steps: page 10 -> 11, page 11 two steps on.
    Dump d(2);
    auto &db = d.database("master", 1, 0).without_system_entries(); // no chain of its own
    db.page(Raw(20, 11, 500)).edit_page(20, [](Page &p) { p.id = 10; });
    db.page(Raw(21, 0, 777)).edit_page(21, [](Page &p) { p.id = 11; }); // another object's page 11
    db.page(Raw(22, 0, 500)).edit_page(22, [](Page &p) { p.id = 11; });
    Parsed<> p(d);
    EXPECT_EQ(p->Detect(2), 0);
    EXPECT_EQ(p->bl.kb, 4);
}

TEST(Detect, PagesLinkingToThemselvesOrNowhereAreNoCandidates) {
    Dump d(4);
    auto &db = d.database("master", 1, 0).without_system_entries();
    for (int32_t page = 5; page < 40; ++page) db.page(Raw(page, page, 9));
    db.page(Raw(40, 0, 9));
    Parsed<> p(d);
    TimeBound bound(5);
    EXPECT_EQ(p->Detect(2), -300);
    EXPECT_EQ(p->bl.kb, 2);
}

TEST(Detect, OnlyTheFormat12ParserRefusesPagesWithFl1Set) {
    Dump d(4);
    d.database("master", 1, 0).without_system_entries().catalogue_options(1).table(101, "a").table(102, "b");
    d.without_master_device();
    for (int32_t page : {1, 2}) d.master().edit_page(page, [](Page &p) { p.fl1 = 4; });
    Parsed<VRNParser12> p12(d);
    Parsed<VRNParser15> p15(d);
    EXPECT_EQ(p12->Detect(2), -300);
    EXPECT_EQ(p15->Detect(2), 0);
    EXPECT_EQ(p15->bl.kb, 4);
}

// ------------------------------------------------------------------ hostile input

TEST(Detect, EmptyRandomAndCutDumpsEndInBoundedTime) {
    TimeBound bound(20);
    {
        Parsed<> p(std::unique_ptr<platform::RandomAccessFile>(new platform::MemoryFile()));
        EXPECT_EQ(p->Detect(2), -300);
    }
    {
        std::mt19937 random(1234);
        Bytes bytes(3 * 1048576);
        for (auto &b : bytes) b = static_cast<uint8_t>(random());
        Parsed<> p(std::unique_ptr<platform::RandomAccessFile>(new platform::MemoryFile(bytes)));
        const int rc = p->Detect(2);
        EXPECT_TRUE(rc == 0 || rc == -300) << rc;
    }
    {
        Dump d(8);
        ThreePageCatalogue(d);
        d.cut(d.page_offset(d.master(), 2) + 100); // page 2 cut in its body
        Parsed<> p(d);
        EXPECT_EQ(p->Detect(2), 0);
        EXPECT_EQ(p->bl.kb, 8);
    }
}

// ------------------------------------------------------------------ generation

namespace {

// A 2 KiB dump with a detectable chain and blocks 161, 50, 34 owned by the
// objects given.
Parsed<VRNParser15> Format15Parser(int32_t at161, int32_t at50, int32_t at34, Dump &d) {
    auto &db = d.database("master", 1, 0);
    db.page(Raw(161, 0, at161)).page(Raw(50, 0, at50)).page(Raw(34, 0, at34));
    return Parsed<VRNParser15>(d);
}

} // namespace

TEST(DetectFormat, Blocks161_50_34OwnedByObjects1_3_2AreFormat15AndNothingElse) {
    Dump d(2), a(2), b(2), c(2);
    EXPECT_EQ(Format15Parser(1, 3, 2, d)->DetectFormat(0), 1);
    EXPECT_EQ(Format15Parser(1, 4, 2, a)->DetectFormat(0), 0);
    EXPECT_EQ(Format15Parser(2, 3, 2, b)->DetectFormat(0), 0);
    EXPECT_EQ(Format15Parser(1, 3, 3, c)->DetectFormat(0), 0);
}

TEST(DetectFormat, ADumpWithoutBlock161IsFormat12) {
    // Detection leaves a header of object 1 in the fields; it must not count
    // for the blocks the dump does not have.
    Dump d(2);
    ThreePageCatalogue(d);
    Parsed<VRNParser15> p(d);
    EXPECT_EQ(p->DetectFormat(0), 0);
}
