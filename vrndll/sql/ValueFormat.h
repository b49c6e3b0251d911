// Stored values as SQL literals: one writer per stored type, bytes in, text
// appended to the caller's string. Pure functions: no I/O, no logging, no
// limit on the length of a value's text.
//
// Stored numbers are little-endian unless a writer says otherwise. A writer
// that takes only a pointer reads exactly the width it names; the caller
// makes sure the bytes are there (AppendValue checks widths for callers
// that hold a value and its length).
//
// Dates and times are in DateFormat.h, character literals in CharLiteral.h,
// unicode character literals in UniCharLiteral.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vrndll/sql/CharLiteral.h"
#include "vrndll/sql/DateFormat.h"
#include "vrndll/sql/UniCharLiteral.h"

namespace values {

// User-type codes of columns (ColumnEntry::user_type).
enum UserType : uint8_t {
    kChar = 1,
    kVarChar = 2,
    kBinary = 3,
    kVarBinary = 4,
    kTinyInt = 5,
    kSmallInt = 6,
    kInt = 7,
    kFloat = 8,
    kNumeric = 10,
    kMoney = 11,
    kDateTime = 12,
    kBit = 16,
    kSysname = 18,
    kText = 19,
    kImage = 20,
    kSmallMoney = 21,
    kSmallDateTime = 22,
    kReal = 23,
    kNChar = 24,
    kNVarChar = 25,
    kDecimal = 26,
    kUniChar = 34,
    kUniVarChar = 35,
    kUniText = 36,
    kDate = 37,
    kTime = 38,
    kLongSysname = 42,
    kBigInt = 43,
    kUnsignedSmallInt = 44,
    kUnsignedInt = 45,
    kUnsignedBigInt = 46,
    kTimestamp = 80,
};

// Bytes a value of `user_type` takes whatever the column declares: 1, 2, 4
// or 8 for numbers, dates and times, 16 for the page pointer of text, image
// and unitext. 0 for types whose width is the column's declared length in
// the fixed-length area of a row and the offset-table length in the
// variable-length area (characters, binaries, numerics, sysnames,
// timestamps and unknown codes).
int StoredWidth(uint8_t user_type);

// True for text, image and unitext: the row holds a 16-byte pointer whose
// first 4 bytes are the page id of the value's first page; the value is
// the page chain, which the parser reads and writes with the chain writers
// below.
inline bool IsChainType(uint8_t user_type) {
    return user_type == kText || user_type == kImage || user_type == kUniText;
}

// What became of a stored value that no literal loads back unchanged. The
// writers below that can meet such a value return it; every other value's
// literal loads back as the stored value.
enum class ValueChange : uint8_t {
    kNone = 0,
    // A NaN: no literal the server accepts is one. Written as NULL, or as 0
    // in a column that takes no NULL.
    kNotANumber,
    // An infinity: no literal the server accepts is one. Written as the
    // largest finite value of its type, with its sign.
    kInfinity,
    // A date or time part outside its type's range (ticks or minutes of a
    // day or more, or below 0; a day before or after the type's first or
    // last day): damage, not a time. Written as NULL, or in a column that
    // takes no NULL as the nearest valid value (the day's first or last
    // instant, the type's first or last day).
    kOutOfRange,
    // Fewer bytes than the type's width (AppendValue only): written as
    // NULL, the value is not there.
    kTooShort,
};

// A few words naming the change, for the log: "a NaN", "an infinity",
// "a date or time out of its type's range", "fewer bytes than its type
// takes"; "" for kNone.
const char *ValueChangeText(ValueChange change);

// Days (counted from 1 January 1900) and ticks a type holds: datetime runs
// from 1 January 1753 to 31 December 9999, date from 1 January 0001 to the
// same last day; smalldatetime holds every stored day number (1900 to
// 6 June 2079) and times of a day, minutes 0 to 1439; ticks run from 0 to
// one below a day.
constexpr int32_t kFirstDateTimeDay = -53690;
constexpr int32_t kFirstDateDay = -693595;
constexpr int32_t kLastDay = 2958463;

// ------------------------------------------------------------------ integers

void AppendTinyInt(std::string &out, const uint8_t *p);          // 1 byte, unsigned (tinyint, bit)
void AppendSmallInt(std::string &out, const uint8_t *p);         // 2 bytes, signed
void AppendInt(std::string &out, const uint8_t *p);              // 4 bytes, signed
void AppendBigInt(std::string &out, const uint8_t *p);           // 8 bytes, signed
void AppendUnsignedSmallInt(std::string &out, const uint8_t *p); // 2 bytes
void AppendUnsignedInt(std::string &out, const uint8_t *p);      // 4 bytes
void AppendUnsignedBigInt(std::string &out, const uint8_t *p);   // 8 bytes

// ------------------------------------------------------------------ floating point

// The shortest decimal text that reads back as the same binary value:
// "0.1", "1e-10", "-2.5", "100", "1.7976931348623157e+308". A real is
// written as the shortest text of the single-precision value that the
// server, reading it as a double and storing a single, turns back into the
// same bits.
//
// Infinities and NaN have no literal the server accepts (see ValueChange):
// an infinity is written as the largest finite value of its type with its
// sign, a NaN as NULL when `nullable`, else as 0, and the change returned.
ValueChange AppendDouble(std::string &out, double value, bool nullable = true);
ValueChange AppendSingle(std::string &out, float value, bool nullable = true);
ValueChange AppendFloat(std::string &out, const uint8_t *p, bool nullable = true); // 8 bytes, IEEE double
ValueChange AppendReal(std::string &out, const uint8_t *p, bool nullable = true);  // 4 bytes, IEEE single

// ------------------------------------------------------------------ money

// `units` ten-thousandths as "[-]integer.dddd": the whole 64-bit range,
// the minus sign once, also when the integer part is 0 (-0.5000).
void AppendMoneyUnits(std::string &out, int64_t units);
// 8 bytes: a signed 32-bit high word, then an unsigned 32-bit low word.
void AppendMoney(std::string &out, const uint8_t *p);
// 4 bytes, signed.
void AppendSmallMoney(std::string &out, const uint8_t *p);

// ------------------------------------------------------------------ numeric, decimal

// `len` bytes: byte 0 is the sign (1 = negative), the rest the magnitude,
// most significant byte first, of any length. Written exactly with `scale`
// digits after the point: "-12.34", "0.05"; scale 0 writes no point. The
// minus sign is written once and only for a non-zero magnitude. `len` 0
// (no sign byte) writes NULL. `scale` is taken within 0..255, the range of
// the catalogue byte it comes from.
void AppendNumeric(std::string &out, const uint8_t *p, size_t len, int scale);

// ------------------------------------------------------------------ characters

// The whole stored name, quoted like any character value.
void AppendSysname(std::string &out, const uint8_t *p, size_t len);

// ------------------------------------------------------------------ binary

// Two lowercase hexadecimal digits per byte, no prefix: the piece the image
// chain writer appends page by page after its "0x".
void AppendHexDigits(std::string &out, const uint8_t *p, size_t len);
// "0x" and the digits of every byte.
void AppendBinary(std::string &out, const uint8_t *p, size_t len);
// A fixed-length binary: trailing zero bytes dropped (the server pads them
// back), but at least one byte written ("0x00" for an all-zero value).
void AppendFixedBinary(std::string &out, const uint8_t *p, size_t len);

// Types with no literal of their own (timestamp and unknown codes): the
// stored bytes as a binary literal "0x...", which loses nothing and is the
// literal a timestamp value is written in; no bytes write NULL.
void AppendStoredBytes(std::string &out, const uint8_t *p, size_t len);

// ------------------------------------------------------------------ dates and times

// "'", the text of DateFormat.h, "'". A part outside the type's range
// (see ValueChange::kOutOfRange) writes NULL when `nullable`, else the
// nearest valid value, and returns the change.
ValueChange AppendDateTime(std::string &out, const uint8_t *p, bool nullable = true);      // 8 bytes: day, ticks (int32 each)
ValueChange AppendSmallDateTime(std::string &out, const uint8_t *p, bool nullable = true); // 4 bytes: day, minutes (uint16 each)
ValueChange AppendDate(std::string &out, const uint8_t *p, bool nullable = true);          // 4 bytes: day (int32)
ValueChange AppendTime(std::string &out, const uint8_t *p, bool nullable = true);          // 4 bytes: ticks (int32)

// ------------------------------------------------------------------ any type

// The literal of one value of `user_type` held in `len` bytes at `p`.
// `scale` is the column's scale (numeric and decimal only); `fixed_area`
// tells whether the value came from the fixed-length area of the row
// (a fixed binary drops its trailing zeros there). A number, date or time
// uses the first StoredWidth bytes and writes NULL when `len` is shorter.
// Returns false, writing nothing, for the chain types (IsChainType), whose
// value is not in the row.
//
// A stored type is encoded alike in both generations; which codes a column
// can carry is the catalogue reader's business, so the writer needs no
// generation. unichar and univarchar values are written by AppendUniChars.
//
// `nullable` tells whether the column takes NULL; a value that no literal
// loads back unchanged is written as its writer above says, and the change
// stored in `*change` (when given; kNone for every other value).
bool AppendValue(std::string &out, uint8_t user_type, const uint8_t *p, size_t len, int scale,
                 bool fixed_area, bool nullable = true, ValueChange *change = nullptr);

} // namespace values
