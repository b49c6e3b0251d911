// The table description file: creation ordinals of object ids, writing the
// tables and fields of a database, and loading them back as a template.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/temp_folder.h"
#include "vrndll/TableDescriptionFile.h"

using testsupport::ReadFileText;
using testsupport::TempFolder;

namespace {

// A parser that only holds a catalogue.
class CatalogueParser : public VRNParser {
public:
    CatalogueParser() : VRNParser(nullptr, 2, 0, 0) {}
    int data_blockread() override {
        ++blockreads;
        return 0;
    }
    int blockreads = 0;

    void AddObject(int32_t id, char type, const char *name) {
        SysobjEntry e;
        e.id = id;
        e.type = type;
        e.rec_len = static_cast<int16_t>(70 + std::strlen(name));
        std::strncpy(e.name, name, sizeof e.name - 1);
        e.name_len = static_cast<int32_t>(std::strlen(e.name));
        pSysobj.push_back(e);
        iSysobj = this_obj = static_cast<uint32_t>(pSysobj.size());
    }
    void AddField(int32_t tab_id, int16_t col_id, const char *name, uint8_t user_type) {
        ColumnEntry c;
        c.tab_id = tab_id;
        c.col_id = col_id;
        c.length = 4;
        c.rec_len = 50;
        c.user_type = user_type;
        c.row_num = static_cast<uint8_t>(col_id);
        c.null_flag = 8;
        c.fixed = 1;
        std::strncpy(c.name, name, sizeof c.name - 1);
        c.var_len = static_cast<int32_t>(std::strlen(c.name));
        fields.push_back(c);
        field_count = static_cast<uint32_t>(fields.size());
    }
};

// The id `steps` creation steps after `id`.
int32_t After(int32_t id, int steps) {
    uint64_t x = static_cast<uint32_t>(id);
    for (int i = 0; i < steps; ++i) x = (x + kObjectIdStep) % kObjectIdModulus;
    return static_cast<int32_t>(x);
}

std::string Profile(const std::string &path, const std::string &section, const std::string &key) {
    return platform::readProfileString(path, section, key, "<missing>");
}

} // namespace

// ----------------------------------------------------------------- creation order

TEST(CreationOrder, NumbersIdsByTheirStepsFromTheOldest) {
    CatalogueParser p;
    const int32_t first = 1'000'000'000;
    p.obj_ids = {After(first, 3), first, After(first, 1)};
    TableDescriptionFile description(&p);
    const std::vector<int32_t> ordinals = description.CreationOrder();
    // obj_ids come back sorted ascending, the ordinals in the same order.
    std::vector<int32_t> sorted = {first, After(first, 1), After(first, 3)};
    std::sort(sorted.begin(), sorted.end(),
              [](int32_t a, int32_t b) { return static_cast<uint32_t>(a) < static_cast<uint32_t>(b); });
    EXPECT_EQ(sorted, p.obj_ids);
    for (size_t k = 0; k < sorted.size(); ++k) {
        const int expected = sorted[k] == first ? 0 : sorted[k] == After(first, 1) ? 1 : 3;
        EXPECT_EQ(expected, ordinals[k]) << "id " << sorted[k];
    }
}

TEST(CreationOrder, AnIdAtOrBelowOneStepWrapsToTheTopOfTheIdSpace) {
    CatalogueParser p;
    const int32_t small = 500; // steps back to itself plus 2131483591
    const int32_t older = 500 + 2131483591;
    p.obj_ids = {small, older};
    TableDescriptionFile description(&p);
    EXPECT_EQ((std::vector<int32_t>{1, 0}), description.CreationOrder());
    EXPECT_EQ((std::vector<int32_t>{small, older}), p.obj_ids);
}

TEST(CreationOrder, GapsUpToTheMissLimitStillFindTheOldestId) {
    CatalogueParser p;
    const int32_t oldest = 700'000'000;
    p.obj_ids = {oldest, After(oldest, 999), After(oldest, 1500)};
    TableDescriptionFile description(&p);
    const std::vector<int32_t> ordinals = description.CreationOrder();
    for (size_t k = 0; k < p.obj_ids.size(); ++k) {
        const int expected = p.obj_ids[k] == oldest ? 0 : p.obj_ids[k] == After(oldest, 999) ? 999 : 1500;
        EXPECT_EQ(expected, ordinals[k]) << "id " << p.obj_ids[k];
    }
}

TEST(CreationOrder, AnIdBeyondTenThousandStepsHasNoOrdinalAndNoIdsGiveNone) {
    CatalogueParser p;
    TableDescriptionFile description(&p);
    EXPECT_TRUE(description.CreationOrder().empty());

    const int32_t a = 300'000'000;
    p.obj_ids = {a, After(a, 20000)};
    const std::vector<int32_t> ordinals = description.CreationOrder();
    ASSERT_EQ(2u, ordinals.size());
    EXPECT_EQ(1, std::count(ordinals.begin(), ordinals.end(), 0));
    EXPECT_EQ(1, std::count(ordinals.begin(), ordinals.end(), kNoOrdinal));
}

// ----------------------------------------------------------------- matching by gaps

TEST(MatchByOrdinalGaps, AlignsTheDumpWithTheTablesItHolds) {
    // Every table in the dump.
    EXPECT_EQ((std::vector<int>{0, 1, 2}), MatchByOrdinalGaps({0, 2, 5}, {0, 2, 5}));
    // Table 1 of the template is not in the dump.
    EXPECT_EQ((std::vector<int>{0, 2, 3}), MatchByOrdinalGaps({0, 4, 5}, {0, 1, 4, 5}));
    // The dump starts at the template's second table.
    EXPECT_EQ((std::vector<int>{1, 2}), MatchByOrdinalGaps({0, 2}, {0, 7, 9}));
    // A single id takes the first table.
    EXPECT_EQ((std::vector<int>{0}), MatchByOrdinalGaps({4}, {0, 1}));
    EXPECT_TRUE(MatchByOrdinalGaps({}, {0}).empty());
    EXPECT_TRUE(MatchByOrdinalGaps({0, 1}, {}).empty());
}

TEST(MatchByOrdinalGaps, EndsWhenNoAlignmentExists) {
    // The dump's gap is smaller than every gap of the template.
    EXPECT_TRUE(MatchByOrdinalGaps({0, 1}, {0, 5, 10}).empty());
    // A single template table says nothing about which of two ids it is.
    EXPECT_TRUE(MatchByOrdinalGaps({0, 100}, {0}).empty());
    // The dump holds more objects than the template describes: the matched
    // prefix stays.
    EXPECT_EQ((std::vector<int>{0, 1}), MatchByOrdinalGaps({0, 3, 9, 12}, {0, 3}));
}

// ----------------------------------------------------------------- writing and loading

TEST(TableDescription, LocatesATemplateBesideTheDumpOrPlansOneInTheTarget) {
    TempFolder source("desc"), target("desc");
    CatalogueParser p;
    TableDescriptionFile description(&p);
    EXPECT_FALSE(description.LocateDescription(source.path() + platform::kPathSeparator,
                                               target.path(), 0));
    EXPECT_EQ(target / "int0.ini", description.path());

    ASSERT_TRUE(testsupport::WriteFileText(source / "int0.ini", "[Total]\n"));
    EXPECT_TRUE(description.LocateDescription(source.path() + platform::kPathSeparator,
                                              target.path(), 0));
    EXPECT_EQ(source / "int0.ini", description.path());
}

TEST(TableDescription, WritesUserTablesAndTheirFieldsOnly) {
    TempFolder target("desc");
    CatalogueParser p;
    const int32_t t1 = 1'100'000'000, t2 = After(t1, 2);
    p.AddObject(t1, 'U', "orders");
    p.AddObject(5, 'S', "sysobjects");
    p.AddObject(After(t1, 1), 'V', "orders_view");
    p.AddObject(t2, 'U', "customers");
    p.AddField(t1, 1, "id", 7);
    p.AddField(t1, 2, "note", 200); // a byte above 127 is written signed
    p.AddField(5, 1, "name", 2);
    p.AddField(t2, 1, "name", 2);
    p.obj_ids = {t2, t1};

    TableDescriptionFile description(&p);
    description.LocateDescription(target.path(), target.path(), 0);
    ASSERT_TRUE(testsupport::WriteFileText(description.path(), "[stale]\nkey=1\n"));
    ASSERT_EQ(0, description.WriteDescription());
    const std::string path = description.path();

    EXPECT_EQ("<missing>", Profile(path, "stale", "key")) << "the file is replaced";
    EXPECT_EQ("2", Profile(path, "Total", "tab_count"));
    EXPECT_EQ("3", Profile(path, "Total", "col_count"));
    EXPECT_EQ("orders", Profile(path, "table_0", "name"));
    EXPECT_EQ("85", Profile(path, "table_0", "type"));
    EXPECT_EQ("76", Profile(path, "table_0", "rec_len"));
    EXPECT_EQ("0", Profile(path, "table_0", "id_num"));
    EXPECT_EQ("customers", Profile(path, "table_1", "name"));
    EXPECT_EQ("2", Profile(path, "table_1", "id_num"));
    EXPECT_EQ("note", Profile(path, "field_1", "name"));
    EXPECT_EQ("-56", Profile(path, "field_1", "type"));
    EXPECT_EQ("1", Profile(path, "field_1", "begin_fl"));
    EXPECT_EQ("4", Profile(path, "field_1", "col_byte"));
    EXPECT_EQ("2", Profile(path, "field_1", "col_num"));
    EXPECT_EQ("8", Profile(path, "field_1", "null_fl"));
    EXPECT_EQ("50", Profile(path, "field_1", "rec_len"));
    EXPECT_EQ("2", Profile(path, "field_1", "id"));
    EXPECT_EQ("0", Profile(path, "field_1", "id_num"));
    EXPECT_EQ("name", Profile(path, "field_2", "name"));
    EXPECT_EQ("2", Profile(path, "field_2", "id_num"));
    EXPECT_EQ("<missing>", Profile(path, "table_2", "name"));
}

TEST(TableDescription, ANameWithLineBreaksCannotAddSectionsOrKeys) {
    TempFolder target("desc");
    CatalogueParser p;
    p.AddObject(1000, 'U', "evil\n[Total]\ntab_count=99");
    p.obj_ids = {1000};
    TableDescriptionFile description(&p);
    description.LocateDescription(target.path(), target.path(), 0);
    ASSERT_EQ(0, description.WriteDescription());
    EXPECT_EQ("1", Profile(description.path(), "Total", "tab_count"));
    EXPECT_EQ("evil_[Total]_tab_count=99", Profile(description.path(), "table_0", "name"));
}

TEST(TableDescription, LoadsATemplateAndAttachesItToTheDumpsIds) {
    TempFolder folder("desc");
    const int32_t base = 900'000'000;
    {
        // The template: three tables created one after another, the middle
        // one later dropped from the dump.
        CatalogueParser good;
        good.AddObject(After(base, 1), 'U', "second");
        good.AddObject(base, 'U', "first");
        good.AddObject(After(base, 4), 'U', "third");
        good.AddField(base, 1, "a", 7);
        good.AddField(base, 2, "b", 2);
        good.AddField(base, 3, "c", 1);
        good.AddField(After(base, 1), 1, "x", 7);
        good.AddField(After(base, 4), 1, "z", 12);
        good.obj_ids = {base, After(base, 1), After(base, 4)};
        TableDescriptionFile description(&good);
        description.LocateDescription(folder.path(), folder.path(), 0);
        ASSERT_EQ(0, description.WriteDescription());
    }

    // The damaged dump: other ids, the same steps between the tables it
    // holds, no usable catalogue.
    const int32_t other = 400'000'000;
    CatalogueParser damaged;
    damaged.obj_ids = {After(other, 4), other};
    TableDescriptionFile description(&damaged);
    ASSERT_TRUE(description.LocateDescription(folder.path(), folder.path(), 0));
    ASSERT_EQ(0, description.LoadDescription());

    ASSERT_EQ(3u, damaged.iSysobj);
    ASSERT_EQ(5u, damaged.field_count);
    EXPECT_EQ(1, damaged.blockreads);
    // Tables in creation order: first, second, third.
    EXPECT_STREQ("first", damaged.pSysobj[0].name);
    EXPECT_STREQ("second", damaged.pSysobj[1].name);
    EXPECT_STREQ("third", damaged.pSysobj[2].name);
    EXPECT_EQ(other, damaged.pSysobj[0].id);
    EXPECT_EQ(0, damaged.pSysobj[1].id) << "not in the dump";
    EXPECT_EQ(After(other, 4), damaged.pSysobj[2].id);
    EXPECT_EQ(5, damaged.pSysobj[0].name_len);
    EXPECT_EQ('U', damaged.pSysobj[0].type);

    EXPECT_EQ(0, damaged.pSysobj[0].first_field);
    EXPECT_EQ(-1, damaged.pSysobj[1].first_field);
    EXPECT_EQ(4, damaged.pSysobj[2].first_field);
    const ColumnEntry &b = damaged.fields[1];
    EXPECT_STREQ("b", b.name);
    EXPECT_EQ(other, b.tab_id);
    EXPECT_EQ(2, b.user_type);
    EXPECT_EQ(4, b.length);
    EXPECT_EQ(8, b.null_flag);
    EXPECT_EQ(1, b.var_len);
    EXPECT_EQ(kNoOwnerTable, damaged.fields[3].tab_id) << "the dropped table's field has no owner";
    // Fields keep their file order within a table under a sort by column id.
    EXPECT_LT(damaged.fields[0].col_id, damaged.fields[1].col_id);
    EXPECT_LT(damaged.fields[1].col_id, damaged.fields[2].col_id);
}

TEST(TableDescription, LoadingWithoutDumpIdsOrTablesChangesNothing) {
    TempFolder folder("desc");
    ASSERT_TRUE(testsupport::WriteFileText(folder / "int0.ini",
                                           "[Total]\ntab_count=1\ncol_count=0\n[table_0]\nname=t\n"));
    CatalogueParser p;
    p.AddObject(5, 'S', "sysobjects");
    TableDescriptionFile description(&p);
    ASSERT_TRUE(description.LocateDescription(folder.path(), folder.path(), 0));
    EXPECT_EQ(0, description.LoadDescription());
    EXPECT_EQ(1u, p.iSysobj);
    EXPECT_STREQ("sysobjects", p.pSysobj[0].name);
    EXPECT_EQ(0, p.blockreads);
}

TEST(TableDescription, AbsurdCountsInATemplateAreBounded) {
    TempFolder folder("desc");
    ASSERT_TRUE(testsupport::WriteFileText(
        folder / "int0.ini", "[Total]\ntab_count=2000000000\ncol_count=-7\n[table_0]\nname=t\n"));
    CatalogueParser p;
    p.obj_ids = {1000};
    TableDescriptionFile description(&p);
    ASSERT_TRUE(description.LocateDescription(folder.path(), folder.path(), 0));
    EXPECT_EQ(0, description.LoadDescription());
    EXPECT_EQ(static_cast<uint32_t>(kMaxDescribedTables), p.iSysobj);
    EXPECT_EQ(0u, p.field_count);
    EXPECT_STREQ("none", p.pSysobj[1].name) << "missing sections take the defaults";
}
