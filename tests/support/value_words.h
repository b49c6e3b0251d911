// Column types and row values written as words of a dump description.
//
// Column types: char(10) varchar(40) binary(4) varbinary(16) tinyint
// smallint int float numeric(12,0) money datetime bit sysname(30) text image
// smallmoney smalldatetime real nchar(8) nvarchar(40) decimal(10,2), and
// codeN(length) for any user-type code N. Format 15 adds unichar(10)
// univarchar(40) (lengths in characters, stored two bytes each) unitext
// date time longsysname(30) bigint usmallint uint ubigint timestamp.
//
// Values, by the column's type:
//   NULL                          any column that allows NULL
//   42  -7                        tinyint, smallint, int, bit
//   1.5  -2e10                    float, real
//   12.3456  -0.5                 money, smallmoney (ten-thousandths), numeric
//                                 and decimal (at most `scale` decimals)
//   'text' 'it''s'                char, varchar, nchar, nvarchar, sysname, text
//   '2024-02-29 13:45:10.500'     datetime (from 1753; the time, the seconds
//                                 or the three digits of milliseconds may be
//                                 left out)
//   '2024-02-29 13:45'            smalldatetime (1900 to 2079)
//   0x00ff                        binary, varbinary, image, timestamp, and any code
//   -9223372036854775808          bigint; usmallint, uint, ubigint from 0
//   '2024-02-29'  '13:45:10.500'  date (0001 to 9999), time
//   'text' or 0x4100              unichar, univarchar, unitext: a quoted string
//                                 (UTF-8) is stored as UTF-16 code units
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/table_builder.h"

namespace dumpwriter {

// Splits a description line into words: blanks separate words, a quoted
// string '...' (with '' for a quote) is one word, quotes included, and '#'
// outside a string starts a comment. False, with `error`, for a string that
// is not closed.
bool SplitWords(const std::string &line, std::vector<std::string> &words, std::string &error);

// A table or column name word: as it stands, or the text of a quoted one
// ('order lines').
std::string NameWord(const std::string &word);

// Sets user_type, length, precision and scale of `column` from a type word.
bool ParseColumnType(const std::string &word, Column &column, std::string &error);

// The stored bytes of `word` for `column` (nullopt for NULL). For text and
// image columns the value goes to `chain` instead: the caller lays out the
// page chain and stores its pointer.
bool ParseValueWord(const std::string &word, const Column &column, Value &stored,
                    std::optional<Bytes> &chain, std::string &error);

} // namespace dumpwriter
