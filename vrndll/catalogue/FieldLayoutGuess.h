// A column layout guessed from the data rows of one page, for a user table
// whose column rows are lost.
//
// The rows are those of the table's first data page, each as stored (see
// RowDecoder.cpp): byte 0 the count of variable columns, byte 1 the row
// number, the fixed area up to `firoff`, then the row length and the
// variable area with its offset table at the row's end. The guess works in
// three steps:
//
//   variable columns  each column of the offset table is measured in the
//                     sampled rows (up to ten): a two-byte character
//                     pattern (every second byte zero) gives varchar (2),
//                     a length of 10 in every row text (19), of 8 timestamp
//                     (80; varbinary in the older generation, which has no
//                     such type), of 1 sysname (18), any other pattern
//                     leaves the column unclassified, and an unclassified
//                     column is kept as varbinary (4), so its bytes are
//                     written whatever they are;
//   fixed area        one code per byte position: dates first (datetime and
//                     smalldatetime where every row holds a plausible day
//                     and time of day and some row a time that is not
//                     midnight), then four- and two-byte numbers (the high
//                     byte below 16 in more than 30 % of the rows), bytes
//                     zero in every row continue the field before them, the
//                     byte before such a run opens a char field; what is
//                     left becomes tinyint bytes (more than three rows) or
//                     binary runs;
//   fields            every position holding a code starts a field that
//                     ends where the next one starts; a field wider than
//                     its type is followed by a binary field for the rest,
//                     so the fields always cover the fixed area exactly.
//
// Every loop runs over the sampled rows and the positions of the area, so
// the guess ends whatever the rows hold.
#pragma once

#include <cstdint>
#include <vector>

#include "vrndll/pages/DumpFormat.h"

struct GuessedField {
    uint8_t user_type = 0;
    int16_t length = 0; // bytes in the fixed area; the declared length of a variable column
    bool variable = false;
};

// Fields of rows whose fixed area ends at `firoff`, fixed fields first.
// Rows shorter than `firoff` are not looked at.
std::vector<GuessedField> GuessFieldLayout(const std::vector<std::vector<uint8_t>> &rows, int firoff,
                                           DumpFormat format);
