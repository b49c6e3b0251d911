// GetOneView: the object texts page by page, the pieces of one object
// joined and each object closed by one "GO", also across pages.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/dump_writer.h"
#include "tests/unit/parser_test_support.h"
#include "vrndll/VRNParser12.h"

using parsertest::Parsed;

TEST(ObjectText, EachObjectComesOutWholeAndClosedOnce) {
    struct Case {
        const char *what;
        size_t piece;      // bytes a text row holds
        bool texts;        // the database holds object texts
    };
    const Case cases[] = {
        {"rows of 16 bytes", 16, true},
        {"rows of 255 bytes, the chain over several pages", 255, true},
        {"no object texts", 0, false},
    };
    std::string long_text = "CREATE PROCEDURE long_one AS\nSELECT 1";
    for (int k = 0; k < 150; ++k) long_text += "\n UNION SELECT " + std::to_string(k);
    const std::string view = "CREATE VIEW v AS\nSELECT id, name\nFROM t WHERE id > 10";
    const std::string proc = "CREATE PROCEDURE p @x int AS\nSELECT name FROM t WHERE id = @x";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        dumpwriter::Dump d(2);
        auto &master = d.database("master", 1, 0);
        master.table(101, "t").object(140, 'V', "v").object(141, 'P', "p").object(142, 'P', "long_one");
        if (c.texts) master.object_text(140, view, c.piece).object_text(141, proc, c.piece).object_text(142, long_text, c.piece);
        Parsed<> p(d);
        ASSERT_EQ(p.List(), 0);
        std::string all, out = "untouched";
        int32_t block = -1;
        uint32_t object = 0;
        int pages = 0;
        do {
            ASSERT_EQ(p->GetOneView(out, &block, &object), 0);
            if (!c.texts) break;
            all += out;
            ++pages;
        } while (block != 0 && pages < 1000);
        if (!c.texts) {
            EXPECT_EQ(block, 0);
            EXPECT_EQ(out, "untouched");
            continue;
        }
        EXPECT_EQ(all, view + "\nGO\n" + proc + "\nGO\n" + long_text + "\nGO\n");
        EXPECT_EQ(std::string(p->pSysobj[object].name), "long_one");
        if (c.piece == 255) {
            EXPECT_GT(pages, 1);
        }
    }
}
