// A table whose column rows are lost still gets a script and its rows: its
// columns are guessed from the rows of its first data page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

using testsupport::JoinPath;
using testsupport::Occurrences;
using testsupport::TheLibrary;
using testsupport::ReadFileText;
namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

namespace {

std::string Digits(int i) { return std::string(1, static_cast<char>('0' + i / 10)) + static_cast<char>('0' + i % 10); }

} // namespace

TEST(GuessedColumns, ATableWithoutColumnRowsGetsGuessedColumnsAndEveryRow) {
    constexpr int kRows = 20;
    struct Case {
        const char *what;
        dumpwriter::Format format;
        const char *eight_bytes; // a variable column 8 bytes long in every row
        bool narrower_second_page; // its rows lack the third column: the guess runs past them
        bool catalogue_empty = false; // no table has column rows left
    };
    const Case cases[] = {
        {"older generation", dumpwriter::Format::k12, "Field10  varbinary(255)", false},
        {"newer generation", dumpwriter::Format::k15, "Field10  timestamp", false},
        {"rows the guess does not fit", dumpwriter::Format::k12, "Field10  varbinary(255)", true},
        {"every column row lost", dumpwriter::Format::k12, "Field10  varbinary(255)", false, true},
        {"every column row lost, newer generation", dumpwriter::Format::k15, "Field10  timestamp", false, true},
    };
    ASSERT_TRUE(TheLibrary().loaded());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempFolder folder("guessed-columns");
        dumpwriter::Dump dump(2, c.format);
        dump.database("master", 1, 0);
        dumpwriter::Schema schema;
        // A table the catalogue still describes, and one it lost.
        auto &kept = schema.table(101, "kept").column("id", types::kInt).row({encode::Int(1)});
        if (c.catalogue_empty) kept.without_column_rows();
        auto &lost = schema.table(102, "readings");
        dumpwriter::Table narrower(102, "readings");
        for (dumpwriter::Table *t : {&lost, &narrower}) {
            t->column("id", types::kInt).column("taken", types::kSmallDateTime);
            if (t == &lost) t->column("qty", types::kInt);
            for (int k = 0; k < 6; ++k) t->column("b" + std::to_string(k), types::kTinyInt);
            t->column("tag", types::kVarBinary, 8, dumpwriter::kNull)
                .column("code", types::kVarChar, 10, dumpwriter::kNull)
                .column("wide", types::kVarChar, 20, dumpwriter::kNull);
        }
        lost.rows_per_page(10).without_column_rows();
        dumpwriter::Bytes narrower_page;
        for (int i = 1; i <= kRows; ++i) {
            std::vector<dumpwriter::Value> row = {encode::Int(i), encode::SmallDateTime(45000, 600 + i),
                                                  encode::Int(i * 3)};
            for (int k = 0; k < 6; ++k) row.push_back(encode::TinyInt(static_cast<uint8_t>(100 + k + i)));
            row.push_back(dumpwriter::Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, static_cast<uint8_t>(0x80 + i)});
            row.push_back(encode::Chars("code-" + Digits(i) + "abc"));
            row.push_back(encode::UniChars("wide" + Digits(i)));
            lost.row(row);
            if (i > kRows / 2) {
                row.erase(row.begin() + 2);
                const dumpwriter::Bytes narrow = narrower.EncodeRow(row, static_cast<uint8_t>(i - 1 - kRows / 2));
                narrower_page.insert(narrower_page.end(), narrow.begin(), narrow.end());
            }
        }
        dumpwriter::Database &sales = dump.database("sales", 5, 4);
        schema.add_to(sales);
        if (c.narrower_second_page) {
            dump.size(); // lays the dump out
            sales.edit_page(sales.pages_of(102).at(1), [&](dumpwriter::Page &p) {
                p.body = narrower_page;
                p.firoff = narrower.firoff();
                p.len.reset();
            });
            dump.build();
        }
        const testsupport::HostRecovery run = testsupport::RecoverAsHost(dump, folder.path());
        EXPECT_EQ(run.rc, 0);
        const std::string &root = run.root;
        const std::string script = ReadFileText(JoinPath(root, "sales/readings.sql"));
        for (const char *column : {"Field1  int", "Field2  smalldatetime", "Field3  int", "Field4  tinyint",
                                   "Field9  tinyint", c.eight_bytes, "Field11  text", "Field12  varchar(255)"})
            EXPECT_NE(script.find(column), std::string::npos) << column << " in\n" << script;
        const std::string rows = ReadFileText(JoinPath(root, "sales/readings_1.sql"));
        // Rows the guessed columns would run past are skipped, not cut.
        EXPECT_EQ(Occurrences(rows, "INSERT INTO"), static_cast<size_t>(c.narrower_second_page ? kRows / 2 : kRows)) << rows;
        EXPECT_NE(rows.find(c.narrower_second_page ? "VALUES(10,'" : "VALUES(20,'"), std::string::npos)
            << rows.substr(0, 600);
        EXPECT_NE(rows.find(c.narrower_second_page ? ",30," : ",60,"), std::string::npos);
        EXPECT_NE(rows.find("'w'+char(0)+'i'"), std::string::npos);
        EXPECT_EQ(Occurrences(ReadFileText(JoinPath(root, "sales/kept_1.sql")), "INSERT INTO"), 1u);
    }
}
