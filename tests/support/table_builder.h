// Tables with typed columns and rows, laid out in a format-12 or format-15
// dump.
//
//     dumpwriter::Schema s;
//     s.table(101, "orders")
//         .column("id", dumpwriter::types::kInt)
//         .column("note", dumpwriter::types::kVarChar, 20, dumpwriter::kNull)
//         .numeric("price", dumpwriter::types::kDecimal, 10, 2)
//         .row({encode::Int(1), encode::Chars("first"), encode::Numeric(1250, 6)})
//         .row({encode::Int(2), dumpwriter::kNullValue, encode::Numeric(-5, 6)});
//     s.add_to(db);                       // before the dump is written
//
// add_to() gives the database:
//   - an object-catalogue entry "syscolumns" ('S', id 3), and one ('U') per
//     table (unless without_object());
//   - ONE column-catalogue chain (object 3): a record per column, ordered
//     by table id and column id, with the record length at column_firoff()
//     (24 or 32; any other value writes the layout a reader sees for it);
//   - per table with rows, a data chain owned by the table id, rows_per_page()
//     rows a page (0: as many as fit);
//   - the index rows and reference rows of the tables' keys (key_rows.h),
//     and an object 'R' per named foreign key.
//
// In a format-15 database the column records are format-15 rows (ColumnRow15)
// on row pages, named by the column map from page 50; the data rows are the
// same as in format 12.
//
// Column record (offsets within the record; little-endian):
//   1 row number; 4 table id (4 bytes);
//   firoff 32: 8 column id (2 bytes), 10 status, 12 length (2 bytes);
//   firoff 24 and any other: 8 column id (1 byte), 9 status, and for 24
//                            only 11 length (1 byte, unsigned: 0 to 255);
//   firoff - 10 user type; firoff record length (2 bytes);
//   firoff + 2 the name, then for numeric and decimal the precision, the
//   scale and three zero bytes; then three zero bytes. The reader's var_len
//   (record length - firoff - 5) is the name's length, plus 5 for numeric
//   and decimal.
//
// Data row (EncodeRow):
//   0 number of variable columns stored in the row; 1 row number;
//   2 .. firoff-1 the fixed area: the values of the fixed columns (fixed
//     type and status 0), back to back in column order;
//   firoff the row length (2 bytes), only when variable columns are stored;
//   then the variable values back to back, then the offset table: one byte
//   per stored variable column plus one, in reverse order, so that the last
//   byte of the row is the row position where the first variable value
//   starts, the byte before it where the second starts, and so on; the
//   first byte of the table is where the last value ends. A NULL variable
//   value is an entry of length 0. Trailing NULL variable values are left
//   out of the row (the row stores fewer variable columns) unless
//   keep_trailing_nulls() is set. Positions are single bytes, so a row with
//   variable columns must stay within 255 bytes.
// Every fixed-area value must be as wide as its column: integers, floats,
// money and dates by their type (NaturalLength), others by the declared
// length; char, nchar and sysname values are padded with blanks and binary
// values with zero bytes up to the width. A NULL value for a column stored
// in the fixed area is refused.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"

namespace dumpwriter {

// User-type codes of columns; the codes from 34 on are format 15 only.
namespace types {
constexpr uint8_t kChar = 1, kVarChar = 2, kBinary = 3, kVarBinary = 4, kTinyInt = 5,
                  kSmallInt = 6, kInt = 7, kFloat = 8, kNumeric = 10, kMoney = 11,
                  kDateTime = 12, kBit = 16, kSysname = 18, kText = 19, kImage = 20,
                  kSmallMoney = 21, kSmallDateTime = 22, kReal = 23, kNChar = 24,
                  kNVarChar = 25, kDecimal = 26, kUniChar = 34, kUniVarChar = 35,
                  kUniText = 36, kDate = 37, kTime = 38, kLongSysname = 42, kBigInt = 43,
                  kUnsignedSmallInt = 44, kUnsignedInt = 45, kUnsignedBigInt = 46,
                  kTimestamp = 80;
} // namespace types

// Stored width of a type whatever the column declares (tinyint 1 ...
// datetime 8, text, image and unitext 16 for the page pointer, timestamp
// 8); 0 for the types whose width is the declared length.
int16_t NaturalLength(uint8_t user_type);
// True for the types a column stores in the fixed area when it does not
// allow NULL (the format-15 codes included: a format-12 dump never holds
// them).
bool IsFixedType(uint8_t user_type);
// Bytes a numeric or decimal value of `precision` digits takes: a sign
// byte and the smallest magnitude that holds 10^precision - 1.
int16_t NumericLength(int precision);

// Status byte values.
constexpr uint8_t kNotNull = 0;
constexpr uint8_t kNull = 8;
constexpr uint8_t kIdentity = 0x80; // an identity column: numbered by the server, never NULL

struct Column {
    std::string name;
    uint8_t user_type = types::kInt;
    int16_t length = 4;
    uint8_t status = kNotNull; // 0: NOT NULL; kIdentity; any other value allows NULL
    uint8_t precision = 0;     // numeric and decimal
    uint8_t scale = 0;
    int16_t col_id = 0; // 0: the column's position in its table, from 1

    // Stored in the fixed area of a row.
    // Identity columns (status 0x80) never hold NULL: fixed like NOT NULL.
    bool in_fixed_area() const { return IsFixedType(user_type) && (status & 0x7F) == 0; }
};

// One value: its stored bytes, or NULL.
using Value = std::optional<Bytes>;
const Value kNullValue = std::nullopt;

// Stored bytes of values, as rows hold them.
namespace encode {
Bytes TinyInt(uint8_t v);
Bytes Bit(bool v);
Bytes SmallInt(int16_t v);
Bytes Int(int32_t v);
Bytes Float(double v);
Bytes Real(float v);
// Ten-thousandths: 8 bytes, the high 32 bits first, then the low 32 bits.
Bytes Money(int64_t units);
Bytes SmallMoney(int32_t units);
// Days since 1 January 1900 and three-hundredths of a second since midnight.
Bytes DateTime(int32_t days, int32_t ticks);
// Days since 1 January 1900 and minutes since midnight.
Bytes SmallDateTime(uint16_t days, uint16_t minutes);
// The unscaled value (12.50 at scale 2 is 1250) in `bytes` bytes: a sign
// byte (1 negative) and the magnitude, most significant byte first.
Bytes Numeric(int64_t unscaled, int bytes);
Bytes Chars(const std::string &text);
// Format 15: bigint, the unsigned integers, date (days since 1 January
// 1900) and time (three-hundredths of a second since midnight).
Bytes BigInt(int64_t v);
Bytes Unsigned(uint64_t v, int bytes);
Bytes Date(int32_t days);
Bytes Time(int32_t ticks);
// `text` (UTF-8) as UTF-16 little-endian code units (unichar, univarchar,
// unitext); a byte that is not part of a UTF-8 sequence is one unit.
Bytes UniChars(const std::string &text);
// The 16-byte pointer of a text or image value: the first page id, then zeros.
Bytes TextPointer(int32_t first_page);
} // namespace encode

// An index or key of a table. Columns are named by the table's column
// names; a word of digits that names no column is taken as a column id.
struct Key {
    enum Kind { kPrimary, kUnique, kIndex, kForeign };
    Kind kind = kIndex;
    std::string name; // foreign keys: the constraint object's name ("": no object)
    std::vector<std::string> columns;
    int32_t constraint_id = 0; // foreign keys
    int32_t ref_tab_id = 0;
    std::vector<std::string> ref_columns; // columns of the referenced table
};

class Table {
public:
    Table(int32_t id, std::string name) : id_(id), name_(std::move(name)) {}

    int32_t id() const { return id_; }
    const std::string &name() const { return name_; }
    const std::vector<Column> &columns() const { return columns_; }
    const std::vector<std::vector<Value>> &rows() const { return rows_; }

    // A column of `user_type`; length 0 takes NaturalLength.
    Table &column(const std::string &name, uint8_t user_type, int16_t length = 0,
                  uint8_t status = kNotNull);
    // A numeric or decimal column; length 0 takes NumericLength(precision).
    Table &numeric(const std::string &name, uint8_t user_type, uint8_t precision, uint8_t scale,
                   uint8_t status = kNotNull, int16_t length = 0);
    Table &add(const Column &column);
    // One value per column, in column order.
    Table &row(const std::vector<Value> &values);

    // Indexes and keys (laid out by Schema::add_to, key_rows.h): the
    // primary key is index 1, the others count from 2 in declaration order;
    // a unique constraint and a plain index store one key part more than
    // their columns. A foreign key adds an object 'R' named `name`.
    Table &primary_key(const std::string &name, const std::vector<std::string> &columns);
    Table &unique(const std::string &name, const std::vector<std::string> &columns);
    Table &index(const std::string &name, const std::vector<std::string> &columns);
    Table &foreign_key(int32_t constraint_id, const std::string &name, const std::vector<std::string> &columns,
                       int32_t ref_tab_id, const std::vector<std::string> &ref_columns);
    const std::vector<Key> &keys() const { return keys_; }

    Table &rows_per_page(int n);
    Table &keep_trailing_nulls();
    // Columns and rows, but no object-catalogue entry (a table the column
    // catalogue alone knows).
    Table &without_object();
    // Rows and an object, but no column rows (a table whose column
    // catalogue rows are lost).
    Table &without_column_rows();

    bool has_object() const { return object_; }
    bool has_column_rows() const { return column_rows_; }
    int per_page() const { return per_page_; }
    bool trims_trailing_nulls() const { return trim_; }

    // Offset of the row length in this table's rows: 2 + the fixed area.
    int16_t firoff() const;
    // Row `values` as stored, with `row_number` in byte 1. Throws
    // std::invalid_argument for a value that does not fit its column.
    Bytes EncodeRow(const std::vector<Value> &values, uint8_t row_number = 0) const;

private:
    int32_t id_;
    std::string name_;
    std::vector<Column> columns_;
    std::vector<std::vector<Value>> rows_;
    std::vector<Key> keys_;
    int per_page_ = 0;
    bool trim_ = true;
    bool object_ = true;
    bool column_rows_ = true;
};

// The column-catalogue record of `column` of table `tab_id`.
Bytes ColumnRecord(int32_t tab_id, const Column &column, int16_t firoff, uint8_t row_number = 0);

// The format-15 column row (offsets from the row's first byte; bytes 0-3
// are the row number and status): table id at 8, column id at 12 (2
// bytes), status at 14, length at 16 (2 bytes), user type at 26, row
// length at 36, then the name, for numeric and decimal followed by the
// precision, the scale and 6 zero bytes, then 2 zero bytes. The reader's
// var_len (row length - 40) is the name's length, plus 8 for numeric and
// decimal.
constexpr int16_t kColumnFiroff15 = 36;
Bytes ColumnRow15(int32_t tab_id, const Column &column, uint8_t kind = 0);

class Schema {
public:
    // A new table; the reference stays valid while the schema lives.
    Table &table(int32_t id, const std::string &name);
    Table *find(int32_t id);
    // Record-length offset of the column records: 24 (default) or 32.
    Schema &column_firoff(int16_t firoff);
    int16_t column_firoff() const { return column_firoff_; }
    // Column records per catalogue page (0: as many as fit).
    Schema &column_records_per_page(int n);

    // The column records of every table (but those without column rows),
    // ordered by table id and column id.
    std::vector<Bytes> ColumnRecords() const;
    // Lays the schema out in `db` (objects, column chain, data chains).
    void add_to(Database &db) const;

private:
    struct Entry {
        int32_t tab_id;
        int16_t col_id;
        Column column;
    };
    // Every column with its id filled in, ordered by table id and column id.
    std::vector<Entry> SortedColumns() const;
    // The ids of `columns` in table `tab_id` (throws for an unknown name).
    std::vector<int> ColumnIds(int32_t tab_id, const std::vector<std::string> &columns) const;
    void AddKeys(Database &db) const;
    bool HasColumnRows(int32_t tab_id) const;

    std::vector<std::unique_ptr<Table>> tables_;
    int16_t column_firoff_ = 24;
    int column_per_page_ = 0;
};

} // namespace dumpwriter
