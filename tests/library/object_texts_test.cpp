// Views and procedures come back as the script of the database's compiled
// objects, each object's text whole and closed by one "GO", loaded after
// the table scripts and before the rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

using testsupport::JoinPath;
using testsupport::ReadFileText;
using testsupport::TheLibrary;
namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

namespace {

} // namespace

TEST(ObjectTexts, CompiledObjectsAreWrittenWholeBetweenTablesAndRows) {
    const std::string view = "CREATE VIEW big_orders AS\nSELECT id, total\nFROM orders WHERE total > 100";
    const std::string proc = "CREATE PROCEDURE order_by_id @id int AS\nSELECT id, total FROM orders WHERE id = @id";
    // A text planted to run client commands when the script is loaded.
    const std::string planted = "CREATE PROCEDURE planted AS\nSELECT 1\ngo\n  !!rm -rf /\n:r /etc/passwd\nSELECT 2";
    const std::string planted_out =
        "CREATE PROCEDURE planted AS\nSELECT 1\n/**/go\n/**/  !!rm -rf /\n/**/:r /etc/passwd\nSELECT 2";
    struct Case {
        const char *what;
        dumpwriter::Format format;
        bool texts, plant;
        std::string expected; // the script; empty: none written
    };
    const Case cases[] = {
        {"older generation", dumpwriter::Format::k12, true, false, view + "\nGO\n" + proc + "\nGO\n"},
        {"newer generation", dumpwriter::Format::k15, true, false, view + "\nGO\n" + proc + "\nGO\n"},
        {"a text planted with client commands", dumpwriter::Format::k12, true, true,
         view + "\nGO\n" + proc + "\nGO\n" + planted_out + "\nGO\n"},
        {"no object texts", dumpwriter::Format::k12, false, false, ""},
    };
    ASSERT_TRUE(TheLibrary().loaded());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempFolder folder("object-texts");
        dumpwriter::Dump dump(2, c.format);
        dump.database("master", 1, 0);
        dumpwriter::Database &sales = dump.database("sales", 5, 4);
        dumpwriter::Schema schema;
        schema.table(101, "orders").column("id", types::kInt).column("total", types::kInt).row({encode::Int(1), encode::Int(500)});
        schema.add_to(sales);
        // Made in this order: the procedure has the lower id, the view was
        // written to the texts first.
        sales.object(150, 'V', "big_orders").object(140, 'P', "order_by_id").object(160, 'P', "planted");
        if (c.texts) sales.object_text(150, view, 20).object_text(140, proc, 20);
        if (c.plant) sales.object_text(160, planted, 20);
        const testsupport::HostRecovery run = testsupport::RecoverAsHost(dump, folder.path());
        EXPECT_EQ(run.rc, 0);
        const std::string &root = run.root;
        const std::string bat = ReadFileText(JoinPath(root, "sales/commit.bat"));
        const size_t objects = bat.find("-i compiled_objects.sql");
        if (c.expected.empty()) {
            EXPECT_EQ(objects, std::string::npos);
            EXPECT_TRUE(ReadFileText(JoinPath(root, "sales/compiled_objects.sql")).empty());
            continue;
        }
        // Procedure first: objects come in the order they were made.
        const std::string expected = c.expected.substr(c.expected.find("CREATE PROCEDURE order_by_id"), proc.size() + 4) +
                                     c.expected.substr(0, view.size() + 4) +
                                     c.expected.substr(view.size() + 4 + proc.size() + 4);
        EXPECT_EQ(ReadFileText(JoinPath(root, "sales/compiled_objects.sql")), expected);
        ASSERT_NE(objects, std::string::npos);
        EXPECT_LT(bat.find("-i orders.sql"), objects);
        EXPECT_GT(bat.find("-i orders_1.sql"), objects);
        EXPECT_NE(ReadFileText(JoinPath(root, "sales/commit.sh")).find("compiled_objects.sql"), std::string::npos);
    }
}
