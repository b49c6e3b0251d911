// The table description file: creation ordinals of object ids, writing the
// tables and fields of a database, and loading them back as a template.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "tests/support/temp_folder.h"
#include "vrndll/catalogue/DescriptionTemplate.h"
#include "vrndll/TableDescriptionFile.h"

using testsupport::ReadFileText;
using testsupport::TempFolder;

namespace {

// A parser that only holds a catalogue.
class CatalogueParser : public VRNParser {
public:
    CatalogueParser() : VRNParser(nullptr, 2, 0, 0, DumpFormat::k12) {}
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

// Ordinals of `ids` by id, after CreationOrder sorted them.
static std::vector<int32_t> OrdinalsOf(std::vector<int32_t> ids) {
    CatalogueParser p;
    p.obj_ids = ids;
    TableDescriptionFile description(&p);
    const std::vector<int32_t> ordinals = description.CreationOrder();
    EXPECT_TRUE(std::is_sorted(p.obj_ids.begin(), p.obj_ids.end(), [](int32_t a, int32_t b) {
        return static_cast<uint32_t>(a) < static_cast<uint32_t>(b);
    }));
    std::vector<int32_t> by_id;
    for (int32_t id : ids) {
        const size_t at = std::find(p.obj_ids.begin(), p.obj_ids.end(), id) - p.obj_ids.begin();
        by_id.push_back(at < ordinals.size() ? ordinals[at] : -99);
    }
    return by_id;
}

TEST(CreationOrder, NumbersIdsByTheirStepsFromTheOldest) {
    const int32_t first = 1'000'000'000;
    EXPECT_EQ((std::vector<int32_t>{3, 0, 1}), OrdinalsOf({After(first, 3), first, After(first, 1)}));
    // Gaps of up to 999 steps still lead back to the oldest id.
    EXPECT_EQ((std::vector<int32_t>{1500, 999, 0}),
              OrdinalsOf({After(first, 1500), After(first, 999), first}));
    // An id of 16000057 or less steps back to itself plus 2131483591.
    EXPECT_EQ((std::vector<int32_t>{1, 0}), OrdinalsOf({500, 500 + 2131483591}));
    // Beyond 10000 steps an id gets no ordinal.
    const std::vector<int32_t> far = OrdinalsOf({first, After(first, 20000)});
    EXPECT_EQ(1, std::count(far.begin(), far.end(), 0));
    EXPECT_EQ(1, std::count(far.begin(), far.end(), kNoOrdinal));
    EXPECT_TRUE(OrdinalsOf({}).empty());
}

TEST(MatchByOrdinalGaps, AlignsTheDumpWithTheTablesItHolds) {
    EXPECT_EQ((std::vector<int>{0, 1, 2}), MatchByOrdinalGaps({0, 2, 5}, {0, 2, 5}));
    // Table 1 of the template is not in the dump.
    EXPECT_EQ((std::vector<int>{0, 2, 3}), MatchByOrdinalGaps({0, 4, 5}, {0, 1, 4, 5}));
    // The dump starts at the template's second table.
    EXPECT_EQ((std::vector<int>{1, 2}), MatchByOrdinalGaps({0, 2}, {0, 7, 9}));
    // The dump holds more than the template describes: the matched prefix stays.
    EXPECT_EQ((std::vector<int>{0, 1}), MatchByOrdinalGaps({0, 3, 9, 12}, {0, 3}));
    EXPECT_EQ((std::vector<int>{0}), MatchByOrdinalGaps({4}, {0, 1}));
    // No evidence, no pairing.
    EXPECT_TRUE(MatchByOrdinalGaps({0, 1}, {0, 5, 10}).empty());
    EXPECT_TRUE(MatchByOrdinalGaps({0, 100}, {0}).empty());
    EXPECT_TRUE(MatchByOrdinalGaps({}, {0}).empty());
    EXPECT_TRUE(MatchByOrdinalGaps({0, 1}, {}).empty());
}

// ----------------------------------------------------------------- writing and loading

TEST(TableDescription, WritesUserTablesAndTheirFieldsOnly) {
    TempFolder target("desc");
    CatalogueParser p;
    const int32_t t1 = 1'100'000'000, t2 = After(t1, 2);
    p.AddObject(t1, 'U', "orders");
    p.AddObject(5, 'S', "sysobjects");
    p.AddObject(After(t1, 1), 'V', "orders_view");
    p.AddObject(t2, 'U', "evil\n[Total]\ntab_count=99"); // must not add sections or keys
    p.AddField(t1, 1, "id", 7);
    p.AddField(t1, 2, "note", 200); // a byte above 127 is written signed
    p.AddField(5, 1, "name", 2);
    p.AddField(t2, 1, "name", 2);
    p.obj_ids = {t2, t1};

    TableDescriptionFile description(&p);
    EXPECT_FALSE(description.LocateDescription(target.path(), target.path(), 0));
    const std::string path = description.path();
    EXPECT_EQ(target / "int0.ini", path);
    ASSERT_TRUE(testsupport::WriteFileText(path, "[stale]\nkey=1\n"));
    ASSERT_EQ(0, description.WriteDescription());

    const std::vector<std::vector<std::string>> expected = {
        {"stale", "key", "<missing>"}, // the file is replaced
        {"Total", "tab_count", "2"},   {"Total", "col_count", "3"},
        {"table_0", "name", "orders"}, {"table_0", "type", "85"},
        {"table_0", "rec_len", "76"},  {"table_0", "id_num", "0"},
        {"table_1", "name", "evil_[Total]_tab_count=99"}, {"table_1", "id_num", "2"},
        {"table_2", "name", "<missing>"},
        {"field_1", "name", "note"},   {"field_1", "type", "-56"},
        {"field_1", "begin_fl", "1"},  {"field_1", "col_byte", "4"},
        {"field_1", "col_num", "2"},   {"field_1", "null_fl", "8"},
        {"field_1", "rec_len", "50"},  {"field_1", "id", "2"},
        {"field_1", "id_num", "0"},    {"field_2", "name", "name"},
        {"field_2", "id_num", "2"}};
    for (const auto &e : expected) EXPECT_EQ(e[2], Profile(path, e[0], e[1])) << e[0] << "." << e[1];
}

TEST(TableDescription, LoadsATemplateAndAttachesItToTheDumpsIds) {
    TempFolder folder("desc"), target("desc");
    const int32_t base = 900'000'000;
    {
        // The template: three tables created one after another; the second
        // has no pages in the damaged dump.
        CatalogueParser good;
        good.AddObject(After(base, 1), 'U', "second");
        good.AddObject(base, 'U', "first");
        good.AddObject(After(base, 4), 'U', "third");
        for (const char *name : {"a", "b", "c"}) good.AddField(base, static_cast<int16_t>(*name - 'a' + 1), name, 2);
        good.AddField(After(base, 1), 1, "x", 7);
        good.AddField(After(base, 4), 1, "z", 12);
        good.obj_ids = {base, After(base, 1), After(base, 4)};
        TableDescriptionFile description(&good);
        description.LocateDescription(folder.path(), folder.path(), 0);
        ASSERT_EQ(0, description.WriteDescription());
    }

    // The damaged dump: other ids, the same steps between the tables it holds.
    const int32_t other = 400'000'000;
    CatalogueParser damaged;
    damaged.obj_ids = {After(other, 4), other};
    TableDescriptionFile description(&damaged);
    ASSERT_TRUE(description.LocateDescription(folder.path() + platform::kPathSeparator, target.path(), 0));
    EXPECT_EQ(folder / "int0.ini", description.path());
    ASSERT_EQ(0, description.LoadDescription());

    ASSERT_EQ(3u, damaged.iSysobj);
    ASSERT_EQ(5u, damaged.field_count());
    EXPECT_EQ(1, damaged.blockreads);
    const std::vector<std::tuple<std::string, int32_t, int32_t>> tables = {
        {"first", other, 0}, {"second", 0, -1}, {"third", After(other, 4), 4}};
    for (size_t t = 0; t < tables.size(); ++t) {
        EXPECT_EQ(std::get<0>(tables[t]), damaged.pSysobj[t].name);
        EXPECT_EQ(std::get<1>(tables[t]), damaged.pSysobj[t].id) << t;
        EXPECT_EQ(std::get<2>(tables[t]), damaged.pSysobj[t].first_field) << t;
        EXPECT_EQ('U', damaged.pSysobj[t].type);
    }
    const ColumnEntry &b = damaged.fields[1];
    EXPECT_STREQ("b", b.name);
    EXPECT_EQ(1, b.var_len);
    EXPECT_EQ(other, b.tab_id);
    EXPECT_EQ(std::make_tuple(2, 4, 8), std::make_tuple(int(b.user_type), int(b.length), int(b.null_flag)));
    EXPECT_EQ(kNoOwnerTable, damaged.fields[3].tab_id) << "the field of the table not in the dump";
    // Fields keep their file order within a table under a sort by column id.
    EXPECT_LT(damaged.fields[0].col_id, damaged.fields[1].col_id);
    EXPECT_LT(damaged.fields[1].col_id, damaged.fields[2].col_id);
}

TEST(TableDescription, ATemplateWithoutDumpIdsChangesNothingAndAbsurdCountsAreRefusedUnread) {
    TempFolder folder("desc");
    const std::string fine = "[Total]\ntab_count=1\ncol_count=0\n[table_0]\nname=t\n";
    ASSERT_TRUE(testsupport::WriteFileText(folder / "int0.ini", fine));
    CatalogueParser p;
    p.AddObject(5, 'S', "sysobjects");
    TableDescriptionFile description(&p);
    ASSERT_TRUE(description.LocateDescription(folder.path(), folder.path(), 0));
    EXPECT_EQ(0, description.LoadDescription());
    EXPECT_STREQ("sysobjects", p.pSysobj[0].name);
    EXPECT_EQ(0, p.blockreads);

    // Counts beyond the bounds, or beyond what the file's size can hold.
    p.obj_ids = {1000};
    for (const char *counts : {"tab_count=2000000000\ncol_count=-7\n", "tab_count=1\ncol_count=5000\n",
                               "tab_count=16385\ncol_count=0\n"}) {
        ASSERT_TRUE(testsupport::WriteFileText(folder / "int0.ini",
                                               std::string("[Total]\n") + counts + "[table_0]\nname=t\n"));
        EXPECT_EQ(kNoCatalogue, description.LoadDescription()) << counts;
        EXPECT_EQ(1u, p.iSysobj) << counts;
        EXPECT_STREQ("sysobjects", p.pSysobj[0].name) << counts;
        EXPECT_EQ(0, p.blockreads) << counts;
    }
}

// A file that cannot serve as a template is refused, naming the file and why.
TEST(DescriptionTemplate, FilesThatCannotServeAreRefusedWithTheirReason) {
    TempFolder folder("tpl");
    const std::string big = folder / "big.ini"; // sparse: one byte past the cap
    {
        platform::File f = platform::File::createAlways(big);
        ASSERT_TRUE(f.isOpen() && f.seek(kMaxTemplateBytes) && f.write("x", 1) == 1);
    }
    ASSERT_TRUE(platform::createDirectory(folder / "folder.ini"));
    struct Case {
        const char *what;
        std::string path;
        const char *text; // written to `path` first unless null
        const char *why;
    };
    const Case cases[] = {
        {"missing", folder / "missing.ini", nullptr, "does not exist"},
        {"a folder", folder / "folder.ini", nullptr, "is a folder"},
#if !defined(_WIN32)
        {"a device", "/dev/zero", nullptr, "is not a regular file"},
#endif
        {"beyond the cap", big, nullptr, "is larger than 64 MiB"},
        {"empty", folder / "empty.ini", "", "has no [Total] section"},
        {"without [Total]", folder / "a.ini", "[table_0]\nname=t\n", "has no [Total] section"},
        {"binary", folder / "b.ini", "\x7f" "ELF\x01\x01\x01[\x02\n=\x03", "has no [Total] section"},
        {"no tables counted", folder / "c.ini", "[Total]\ntab_count=0\ncol_count=0\n", "describes no table"},
        {"tables counted, none there", folder / "d.ini", "[Total]\ntab_count=2\ncol_count=1\n[field_0]\nname=x\n",
         "names no table"},
        {"counts beyond its size", folder / "e.ini", "[Total]\ntab_count=1\ncol_count=5000\n[table_0]\nname=t\n",
         "more than its size can hold"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.text) {
            ASSERT_TRUE(testsupport::WriteFileText(c.path, c.text));
        }
        std::string why;
        EXPECT_EQ(nullptr, DescriptionTemplate::Read(c.path, why));
        EXPECT_NE(std::string::npos, why.find("'" + c.path + "'")) << why;
        EXPECT_NE(std::string::npos, why.find(c.why)) << why;
    }
}

// One pass reads what the system's key-by-key reads give: the first section
// of a name and the first line of a key count, names ignore letter case,
// values lose their blanks and one pair of quotes, missing keys keep their
// defaults.
TEST(DescriptionTemplate, ReadsWhatTheKeyByKeyReadsGive) {
    TempFolder folder("tpl");
    const std::string path = folder / "int0.ini";
    ASSERT_TRUE(testsupport::WriteFileText(path, "; comment\r\nstray=1\r\n[TABLE_0]\r\n name = \"orders\" \r\n"
                                                 "NAME=second\r\ntype=85\r\n[table_0]\r\nname=again\r\n[other]\r\n"
                                                 "name=x\r\n[Total]\r\ntab_count=2\r\ncol_count=2\r\n[field_1]\r\n"
                                                 "name=id\r\nid_num=-3x\r\n[total]\r\ntab_count=9\r\n[table_1]"));
    std::string why;
    const auto read = DescriptionTemplate::Read(path, why);
    ASSERT_NE(nullptr, read) << why;
    ASSERT_EQ(2u, read->tables().size());
    ASSERT_EQ(2u, read->fields().size());
    const DescribedTable &t0 = read->tables()[0];
    const DescribedField &f0 = read->fields()[0], &f1 = read->fields()[1];
    const std::vector<std::tuple<std::string, std::string, std::string>> seen = {
        {"table_0", "name", t0.name},           {"table_0", "type", std::to_string(t0.type)},
        {"table_1", "name", read->tables()[1].name}, {"field_0", "name", f0.name},
        {"field_0", "col_byte", std::to_string(f0.col_byte)}, {"field_1", "name", f1.name},
        {"field_1", "id_num", std::to_string(f1.ordinal)}};
    const std::vector<std::string> expected = {"orders", "85", "none", "none", "-10", "id", "-3"};
    for (size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(expected[k], std::get<2>(seen[k])) << std::get<0>(seen[k]) << "." << std::get<1>(seen[k]);
        const std::string fallback = std::get<1>(seen[k]) == "name" ? "none" : "-10";
        const std::string system = platform::readProfileString(path, std::get<0>(seen[k]), std::get<1>(seen[k]), fallback);
        if (std::get<1>(seen[k]) == "name") {
            EXPECT_EQ(system, std::get<2>(seen[k]));
        }
    }
}
