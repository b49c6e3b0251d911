// Stored values as plain, exact text that no target language has quoted or
// escaped yet: the piece shared by the writers of output formats other than
// the T-SQL scripts (COPY text, SQLite literals, CSV fields). Pure
// functions: bytes in, text appended to the caller's string.
//
// What is appended, by kind (PlainKind):
//   - kNumber: integers of every width exactly ("-9223372036854775808",
//     "18446744073709551615"); numeric, decimal, money and smallmoney
//     exactly with their scale ("-922337203685477.5808", "0.05"); float and
//     real as the shortest text that reads back as the same bits, whether
//     read as a double, as a single, or as a double narrowed to a single
//     ("0.1", "1e-10", "-0", "1.7976931348623157e+308"). A NaN appends
//     "NaN", an infinity "Infinity" or "-Infinity", with a change (below).
//   - kBoolean: bit as "0" or "1" (any stored byte but 0 is "1", as the
//     server reads it).
//   - kDateTime: datetime "YYYY-MM-DD HH:MM:SS.mmm" (milliseconds from
//     ticks of 1/300 s, as DateFormat.h rounds them), smalldatetime
//     "YYYY-MM-DD HH:MM:00", date "YYYY-MM-DD", time "HH:MM:SS.mmm".
//   - kText: char, varchar, nchar, nvarchar and sysname values as their
//     stored bytes, still in the server's character set (a char(n) with
//     its trailing blanks); the caller converts and escapes them.
//   - kUniText: unichar and univarchar values as their stored bytes, UTF-16
//     code units little-endian; the caller converts and escapes them.
//   - kBytes: binary, varbinary, timestamp and types of unknown code as two
//     lowercase hexadecimal digits per stored byte, no prefix; binary(n)
//     keeps every stored byte, trailing zeros included.
//   - kNull: nothing appended; the value is written as NULL (a numeric
//     without its sign byte, a timestamp of no bytes, a value too short).
//   - kChain: text, image and unitext: the row holds a pointer to the
//     value's page chain, nothing is appended; the caller streams the chain,
//     whose bytes are of the kind PlainKindOf gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vrndll/sql/ValueFormat.h"

namespace values {

enum class PlainKind : uint8_t {
    kNull,
    kNumber,
    kBoolean,
    kText,
    kUniText,
    kBytes,
    kDateTime,
    kChain,
};

// What keeps a value's text from being the stored value exactly; kNone for
// every value whose text is:
//   - kNotANumber, kInfinity: a float or real that is not finite; the text
//     is "NaN", "Infinity" or "-Infinity". A target whose column holds these
//     takes the text (PostgreSQL float4 and float8); another writes NULL, or
//     in a column that takes no NULL the text of AppendFiniteStandIn.
//   - kOutOfRange: a date outside the years 1 to 9999, or a time of day of
//     ticks or minutes below 0 or of a day or more: damage. The text is the
//     nearest valid value (the type's first or last day, the day's first or
//     last instant), for a column that takes no NULL; others write NULL.
//   - kTooShort: fewer bytes than the type's width; kind kNull.
using PlainChange = ValueChange;

// The kind of the values of `user_type`, chain types included: text is
// kText, unitext kUniText, image kBytes.
PlainKind PlainKindOf(uint8_t user_type);

// Appends the plain text of one value of `user_type` held in `len` bytes at
// `p` (see above) and returns its kind. `scale` is the column's scale
// (numeric and decimal only). A number, date or time uses the first
// StoredWidth bytes. The change, when asked for, is stored in `*change`.
PlainKind AppendPlainValue(std::string &out, uint8_t user_type, const uint8_t *p, size_t len, int scale,
                           PlainChange *change = nullptr);

// For a float (8 bytes at `p`) or a real (4 bytes) that is not finite, in a
// column that takes neither NULL nor the value: "0" for a NaN, the largest
// finite value of the type with the infinity's sign. For a finite value,
// the same text as AppendPlainValue.
void AppendFiniteStandIn(std::string &out, uint8_t user_type, const uint8_t *p);

} // namespace values
