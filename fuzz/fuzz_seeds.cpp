// fuzz_seeds: writes the seed corpora of the fuzz targets from the dump
// writer, at every block size and in both generations.
//
//     fuzz_seeds RECOVERY_CORPUS_DIR ROW_CORPUS_DIR
//
// Recovery seeds are whole dumps: a master database with tables of many
// column types and their keys and indexes, one with text and image chains,
// two databases, values without a literal of their own (NaN, infinities,
// dates and times out of range, a backslash before a line break), hostile
// names (line breaks, client commands, reserved file names, our own file
// names), many databases (most beyond the dump's end, one of many usage
// fragments), and dumps carrying the description file their recovery
// wrote (template mode, fuzz_runs.h). Row seeds are a table's columns and
// its data pages (tests/support/row_fuzz_input.h).
// Dumps above 3 MiB, the recovery fuzzer's input limit, are left out
// (two databases of format 15 at 8 and 16 KiB pages).
#include <cmath>
#include <cstdio>
#include <limits>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/fuzz_runs.h"
#include "platform/platform.h"
#include "tests/support/row_fuzz_input.h"
#include "tests/support/table_builder.h"
#include "tests/support/dump_description.h"
#include "tests/support/dump_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_chain.h"
#include "tests/unit/row_test_support.h"

namespace {

using dumpwriter::Bytes;
using rowtest::Cat;
using rowtest::Le;
using rowtest::Row;
using rowtest::Text;

const int kBlockSizes[] = {2, 4, 8, 16};
// The recovery fuzzer's input limit (fuzz/run.sh).
const size_t kMaxDumpSeed = 3u << 20;

// Tables of the master database, in both generations.
const char kTables[] = R"(
table 110 customers
column id int
column name varchar(40)
column city varchar(30) null
column vip bit
column since datetime null
row 1 'Smith & Sons' 'Leeds' 1 '1998-03-01 09:30:00'
row 2 'O''Brien Ltd' NULL 0 NULL
row 3 'Nordwind' 'Bergen' 0 '2001-11-17'
primary_key pk_customers id
unique uq_customers_name name
table 112 order_lines
column order_id int
column line_no smallint
column item_code char(8)
column qty tinyint
column unit_price smallmoney
column weight real null
column ratio float null
column amount numeric(12,3)
column total money
column placed smalldatetime
column discount decimal(5,2) null
rows_per_page 2
row 1 1 'A-100' 3 19.99 1.5 0.125 59.970 1250.75 '1999-01-02 10:15' 5.00
row 1 2 'B-7' 1 1190.80 NULL NULL 1190.800 -12.5 '1999-02-28 17:45' NULL
row 3 1 'C-33' 250 -4.2 0.001 2.5e-10 -1050.000 0 '2000-06-30 23:59' 0.25
primary_key pk_order_lines order_id,line_no
index ix_order_lines_item item_code,placed
foreign_key 151 fk_order_lines_customers order_id customers id
table 120 items
column code char(8)
column title nvarchar(60)
column label nchar(4) null
column owner sysname(30) null
column checksum binary(4)
column tag varbinary(16) null
row 'A-100' 'Garden hose, 20 m' 'GRDN' 'dbo' 0xdeadbeef 0x0102
row 'B-7' 'Lawn mower' NULL NULL 0x00000001 NULL
object 140 V open_orders
object 141 P close_order
)";

// Format 15 adds these.
const char kTables15[] = R"(
table 130 events
column id bigint
column day date
column at time null
column lines usmallint
column weight uint null
column serial ubigint
column name_u unichar(12)
column note_u univarchar(40) null
column author longsysname(60) null
column version timestamp
row -9223372036854775808 '1998-03-01' '09:30:00' 3 1200 18446744073709551615 'Hose' 'Grün' 'gardener' 0x0000000000001234
row 2 '9999-12-31' NULL 65535 NULL 0 'Mower' NULL NULL 0x0000000000001235
)";

const char kTextTable[] = R"(
table 150 notes
column id int
column body text null
column picture image null
row 1 'Deliver to the side door.' 0x89504e470d0a1a0a
row 2 NULL NULL
row 3 'Credit note' 0xffd8ffe0
)";

// Format 15: the same with a unitext column.
const char kTextTable15[] = R"(
table 150 notes
column id int
column body text null
column picture image null
column long_u unitext null
row 1 'Deliver to the side door.' 0x89504e470d0a1a0a 'A long description.'
row 2 NULL NULL NULL
)";

// `second_base`: where the second database of the "two" shape starts, in MiB.
std::string Description(int kb, bool f15, const std::string &shape, int second_base) {
    std::ostringstream d;
    if (f15) d << "format 15\n";
    d << "block_size " << kb << "\ndatabase master 1 0\n";
    if (shape == "tables") {
        d << kTables << (f15 ? kTables15 : "");
    } else if (shape == "text") {
        d << "table 101 spt_values\ncolumn number int\nrow 1\n" << (f15 ? kTextTable15 : kTextTable);
    } else { // two databases
        d << "table 101 spt_values\ncolumn number int\nrow 1\n";
        d << "database sales 5 " << second_base << "\n" << kTables;
    }
    return d.str();
}

namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr int32_t kTicksPerDay = 25920000;

// Values no literal loads back as stored, beside their neighbours that do:
// in columns with and without NULL, in both areas of a row.
void AddValuesTable(dumpwriter::Schema &schema, bool f15) {
    auto &t = schema.table(140, "readings");
    t.column("id", types::kInt)
        .column("f", types::kFloat)
        .column("r", types::kReal)
        .column("at", types::kDateTime)
        .column("sat", types::kSmallDateTime)
        .column("fn", types::kFloat, 0, dumpwriter::kNull)
        .column("rn", types::kReal, 0, dumpwriter::kNull)
        .column("atn", types::kDateTime, 0, dumpwriter::kNull)
        .column("satn", types::kSmallDateTime, 0, dumpwriter::kNull)
        .column("note", types::kVarChar, 40, dumpwriter::kNull)
        .column("code", types::kChar, 6);
    if (f15)
        t.column("d", types::kDate)
            .column("tm", types::kTime)
            .column("dn", types::kDate, 0, dumpwriter::kNull)
            .column("tmn", types::kTime, 0, dumpwriter::kNull);
    t.rows_per_page(2);
    struct Row {
        double f;
        float r;
        int32_t day, ticks;
        uint16_t sday, minutes;
        const char *note;
        const char *code;
        int32_t date, time;
    } rows[] = {
        {kNaN, -std::numeric_limits<float>::infinity(), 36524, kTicksPerDay, 0, 1440, "C:\\dir\\\nnext", "a\\\nb", -693596, kTicksPerDay},
        {kInf, std::nanf(""), 36524, 0x7fffffff, 65535, 65535, "x\\\r\ngo\n", "\\\n\\\n", 2958464, -1},
        {-kInf, 1.5f, -53691, -1, 36525, 1439, "plain", "ok", 2958463, kTicksPerDay - 1},
        {0.1, 0.25f, 2958464, 300, 1, 0, "\nreset\\", "\\", 0, 0},
    };
    for (const Row &r : rows) {
        std::vector<dumpwriter::Value> v = {encode::Int(1), encode::Float(r.f), encode::Real(r.r),
                                            encode::DateTime(r.day, r.ticks), encode::SmallDateTime(r.sday, r.minutes),
                                            encode::Float(-r.f), encode::Real(r.r), encode::DateTime(r.day, r.ticks),
                                            encode::SmallDateTime(r.sday, r.minutes), encode::Chars(r.note),
                                            encode::Chars(r.code)};
        if (f15) {
            v.push_back(encode::Date(r.date));
            v.push_back(encode::Time(r.time));
            v.push_back(encode::Date(r.date));
            v.push_back(encode::Time(r.time));
        }
        t.row(v);
    }
}

// Names a dump author may choose to reach a path, a script line, a batch
// line or the log: line breaks, client commands, separators, names of the
// files the recovery writes itself, and names Windows reserves.
void AddHostileNames(dumpwriter::Schema &schema) {
    const char *names[] = {"a\ngo\nb", "..", "x/../../y", "recovery.log", "int0.ini", "commit.bat",
                           "COM1", "LPT0", "nul.txt", "ORDERS~1", "\r\n!!rm -rf /", "Été", "été", "a\\b"};
    int32_t id = 200;
    for (const char *name : names) {
        schema.table(id, name).column(name, types::kInt).column("v", types::kVarChar, 20, dumpwriter::kNull)
            .row({encode::Int(id), encode::Chars(name)});
        ++id;
    }
}

// A dump built from the schema API: master, and the user database "sales"
// laid out by `fill`.
template <class Fill> Bytes SchemaDump(int kb, bool f15, Fill fill) {
    dumpwriter::Dump dump(kb, f15 ? dumpwriter::Format::k15 : dumpwriter::Format::k12);
    auto &master = dump.database("master", 1, 0);
    dumpwriter::Schema tiny;
    tiny.table(101, "spt_values").column("number", types::kInt).row({encode::Int(1)});
    tiny.add_to(master);
    dumpwriter::Schema schema;
    fill(schema, dump);
    schema.add_to(dump.database("sales", 5, 1));
    return dump.bytes();
}

// Many databases listed: "sales" of many usage fragments, and databases
// beyond the dump's end (lost whole), the end cut at the input limit.
Bytes ManyDatabases(int kb, bool f15) {
    dumpwriter::Dump dump(kb, f15 ? dumpwriter::Format::k15 : dumpwriter::Format::k12);
    dump.database("master", 1, 0);
    dumpwriter::Schema schema;
    schema.table(110, "customers").column("id", types::kInt).row({encode::Int(1)}).row({encode::Int(2)});
    schema.add_to(dump.database("sales", 5, 1));
    for (int k = 0; k < 30; ++k) dump.usage(5, 16, 100000 + 64 * k);
    for (int16_t k = 0; k < 12; ++k) {
        auto &db = dump.database("db" + std::to_string(k), static_cast<int16_t>(10 + k), 2 + k);
        dumpwriter::Schema one;
        one.table(110, "t").column("id", types::kInt).row({encode::Int(k)});
        one.add_to(db);
    }
    Bytes bytes = dump.bytes();
    if (bytes.size() > kMaxDumpSeed) bytes.resize(kMaxDumpSeed);
    return bytes;
}

// The description file a recovery of `dump` writes, or "" when it wrote none.
std::string DescriptionWrittenFor(const Bytes &dump) {
    testsupport::TempFolder root("fuzz_seeds");
    const std::string out = root / "out";
    const std::string source = root / "source";
    if (!platform::createDirectory(out) || !platform::createDirectory(source)) return std::string();
    fuzzruns::RecoverFromMemory(dump.data(), dump.size(), out, source + platform::kPathSeparator);
    return testsupport::ReadFileText(testsupport::JoinPath(out, "int0.ini"));
}

bool WriteBytes(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool RecoverySeeds(const std::string &folder) {
    for (int kb : kBlockSizes)
        for (bool f15 : {false, true})
            for (const char *shape : {"tables", "text", "two"}) {
                // The second database goes at the first MiB the master
                // database leaves free.
                Bytes bytes;
                std::string error;
                for (int base = 1; base <= 4 && bytes.empty(); ++base) {
                    std::istringstream in(Description(kb, f15, shape, base));
                    auto dump = dumpwriter::ReadDescription(in, error);
                    if (!dump) break;
                    try {
                        bytes = dump->bytes();
                    } catch (const std::invalid_argument &e) {
                        error = e.what();
                    }
                }
                // Beyond the recovery fuzzer's input limit: left out.
                if (bytes.size() > kMaxDumpSeed) continue;
                if (bytes.empty()) {
                    std::fprintf(stderr, "fuzz_seeds: %s %d KiB: %s\n", shape, kb, error.c_str());
                    return false;
                }
                const std::string name = std::string(f15 ? "f15_" : "f12_") + shape + "_" + std::to_string(kb) + "k.dump";
                if (!WriteBytes(testsupport::JoinPath(folder, name), bytes)) return false;
                // The same dump beside the description file its recovery
                // wrote: template mode.
                if (kb <= 4 && std::string(shape) != "text") {
                    const std::string ini = DescriptionWrittenFor(bytes);
                    if (!ini.empty() &&
                        !WriteBytes(testsupport::JoinPath(folder, "tpl_" + name), fuzzruns::WithTemplate(ini, bytes)))
                        return false;
                }
            }
    for (int kb : {2, 4})
        for (bool f15 : {false, true}) {
            const std::string suffix = std::string(f15 ? "f15_" : "f12_") + std::to_string(kb) + "k.dump";
            // A shape the dump writer cannot lay out is left out, said.
            const auto built = [&](const char *what, const std::function<Bytes()> &make) {
                try {
                    return make();
                } catch (const std::exception &e) {
                    std::fprintf(stderr, "fuzz_seeds: %s %s left out: %s\n", what, suffix.c_str(), e.what());
                    return Bytes();
                }
            };
            const Bytes values = built("values", [&] {
                return SchemaDump(kb, f15, [&](dumpwriter::Schema &schema, dumpwriter::Dump &) { AddValuesTable(schema, f15); });
            });
            const Bytes names = built("names", [&] {
                return SchemaDump(kb, f15, [&](dumpwriter::Schema &schema, dumpwriter::Dump &) { AddHostileNames(schema); });
            });
            const Bytes many = built("many", [&] { return ManyDatabases(kb, f15); });
            for (const auto &seed : {std::make_pair("values_", &values), std::make_pair("names_", &names),
                                     std::make_pair("many_", &many)}) {
                if (seed.second->empty() || seed.second->size() > kMaxDumpSeed) continue;
                if (!WriteBytes(testsupport::JoinPath(folder, seed.first + suffix), *seed.second)) return false;
            }
            // A template that names other tables than the dump holds.
            const std::string ini = values.empty() ? std::string() : DescriptionWrittenFor(values);
            if (!ini.empty() && !names.empty() && !WriteBytes(testsupport::JoinPath(folder, "tpl_names_" + suffix),
                                            fuzzruns::WithTemplate(ini, names)))
                return false;
        }
    return true;
}

// ---------------------------------------------------------------- row seeds

struct RowShape {
    const char *name;
    std::vector<RowInputColumn> columns;
    std::vector<Bytes> rows;
    int16_t firoff;
    bool text = false; // the rows point at text chains on pages 60 and 70
};

RowInputColumn Col(uint8_t type, int16_t length = 0, bool nullable = false, bool fixed = false,
                   uint8_t precision = 0, uint8_t scale = 0) {
    return RowInputColumn{type, length, nullable, fixed, precision, scale};
}

std::vector<RowShape> RowShapes() {
    std::vector<RowShape> shapes;
    // Every fixed type in the fixed-length area.
    const Bytes fixed = Cat({{200}, Le(-2, 2), Le(123456, 4), Le(0x3FB999999999999ALL, 8), Le(0x3FC00000, 4),
                             Le(0, 4), Le(10500, 4), Le(-25000, 4), Le(36525, 4), Le(300 * 3661 + 1, 4),
                             Le(36525, 2), Le(61, 2), {1}, Text("ab'c"), Text("xyz"), {0x0a, 0x00, 0xff, 0x00},
                             {1, 0x04, 0xd2}, Text("master")});
    shapes.push_back({"fixed",
                      {Col(5, 0, false, true), Col(6, 0, false, true), Col(7, 0, false, true),
                       Col(8, 0, false, true), Col(23, 0, false, true), Col(11, 0, false, true),
                       Col(21, 0, false, true), Col(12, 0, false, true), Col(22, 0, false, true),
                       Col(16, 0, false, true), Col(1, 4, false, true), Col(24, 3, false, true),
                       Col(3, 4, false, true), Col(10, 3, false, true, 5, 2), Col(18, 6, false, true)},
                      {Row(0, fixed), Row(1, fixed), Row(2, fixed), Row(3, fixed)},
                      static_cast<int16_t>(2 + fixed.size())});
    // Variable-length and nullable values, NULLs among them.
    std::vector<Bytes> rows;
    for (uint8_t k = 0; k < 6; ++k)
        rows.push_back(Row(k, Le(k, 4),
                           {Text("it's " + std::to_string(k)), k % 2 ? Bytes{} : Bytes{0xde, 0xad, 0x00},
                            Text("\ngo\nn"), Le(-7 * k, 4), Le(0x400921FB54442D18LL, 8), {0, 0x30, 0x39},
                            {0x41, 0x00, 0xe9, 0x00}, k % 3 ? Bytes{} : Bytes{0x3d, 0xd8, 0x00, 0xde},
                            Le(-9000000000LL * k, 8), Le(737000 + k, 4), Le(300 * 3600 * k, 4),
                            Le(0x1234 + k, 8)}));
    shapes.push_back({"variable",
                      {Col(7, 0, false, true), Col(2, 20, true), Col(4, 8, true), Col(25, 20, true),
                       Col(7, 0, true, true), Col(8, 0, true, true), Col(10, 5, true, true, 10, 2),
                       Col(34, 24, true), Col(35, 40, true), Col(43, 0, true), Col(37, 0, true),
                       Col(38, 0, true), Col(80, 8, true)},
                      rows,
                      6});
    // Values without a literal of their own: NaN, infinities, dates and
    // times out of range, in the fixed area (no NULL) and the variable area
    // (NULL allowed), and characters with a backslash before a line break.
    const Bytes odd_fixed = Cat({Le(0x7FF8000000000000LL, 8), Le(0xFF800000, 4), Le(36524, 4), Le(25920000, 4),
                                 Le(0, 2), Le(1440, 2), Le(-693596, 4), Le(25920000, 4), Text("a\\\nb")});
    std::vector<Bytes> odd_rows;
    for (uint8_t k = 0; k < 4; ++k)
        odd_rows.push_back(Row(k, odd_fixed,
                               {Le(0x7FF0000000000000LL + k, 8), Le(0x7FC00000 + k, 4), Cat({Le(36524, 4), Le(0x7fffffff, 4)}),
                                Cat({Le(65535, 2), Le(65535, 2)}), Le(2958464, 4), Le(-1, 4), Text("C:\\\r\ngo\\\n")}));
    shapes.push_back({"values",
                      {Col(8, 0, false, true), Col(23, 0, false, true), Col(12, 0, false, true),
                       Col(22, 0, false, true), Col(37, 0, false, true), Col(38, 0, false, true),
                       Col(1, 4, false, true), Col(8, 0, true, true), Col(23, 0, true, true), Col(12, 0, true, true),
                       Col(22, 0, true, true), Col(37, 0, true, true), Col(38, 0, true, true), Col(2, 20, true)},
                      odd_rows,
                      static_cast<int16_t>(2 + odd_fixed.size())});
    shapes.push_back({"text",
                      {Col(7, 0, false, true), Col(19, 16, true), Col(20, 16, true), Col(36, 16, true)},
                      {Row(0, Le(1, 4), {dumpwriter::TextPointer(60), dumpwriter::TextPointer(70), {}}),
                       Row(1, Le(2, 4), {{}, {}, dumpwriter::TextPointer(70)})},
                      6,
                      true});
    return shapes;
}

bool RowSeeds(const std::string &folder) {
    for (const RowShape &shape : RowShapes())
        for (int kb : kBlockSizes) {
            if (shape.text && kb > 4) continue; // the chains lie far into the dump
            // Data rows are stored alike in both generations: the pages of a
            // format-12 dump serve both.
            dumpwriter::Dump dump(kb);
            auto &db = dump.database("master", 1, 0);
            db.table(kRowInputTable, "t");
            dumpwriter::ChainOptions o;
            o.firoff = shape.firoff;
            o.records_per_page = 3;
            db.chain(kRowInputTable, shape.rows, o);
            if (shape.text) {
                std::string story;
                for (int k = 0; k < 40; ++k) story += "line " + std::to_string(k) + "\n";
                dumpwriter::TextChain(db, 9001, 60, dumpwriter::ToBytes(story), 120);
                dumpwriter::TextChain(db, 9001, 70, Bytes(300, 0xab), 100);
            }
            const Bytes bytes = dump.bytes();
            for (bool f15 : {false, true}) {
                RowInput input;
                input.format = f15 ? DumpFormat::k15 : DumpFormat::k12;
                input.kb = kb;
                input.first_page = db.pages_of(kRowInputTable).front();
                input.columns = shape.columns;
                input.pages.assign(bytes.begin() + static_cast<long>(DataStart(kb)), bytes.end());
                const std::string name =
                    std::string(f15 ? "f15_" : "f12_") + shape.name + "_" + std::to_string(kb) + "k.row";
                if (!WriteBytes(testsupport::JoinPath(folder, name), EncodeRowInput(input))) return false;
            }
        }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds RECOVERY_CORPUS_DIR ROW_CORPUS_DIR\n");
        return 2;
    }
    try {
        if (!RecoverySeeds(argv[1]) || !RowSeeds(argv[2])) {
            std::fprintf(stderr, "fuzz_seeds: could not write the seeds\n");
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
