// The SQL texts of a column definition: its type and its nullability.
#pragma once

#include <cstdint>
#include <string>

#include "vrndll/catalogue/Catalogue.h"
#include "vrndll/pages/DumpFormat.h"

// The type of `column` as written after its name, beginning with a space:
// " int", " varchar(20)", " decimal(10,2)". Lengths are the column's
// declared length; precision and scale come from the catalogue bytes after
// the name (ColumnName.h). A code the format does not know (format 12 knows
// the codes up to 26) gives an empty text. Format 15 writes float(length * 2), sysname(length),
// unichar(length / 2), univarchar(length / 2) and its own further types.
std::string SqlTypeText(const ColumnEntry &column, DumpFormat format);

// Status bit of an identity column (the server numbers new rows in it).
constexpr uint8_t kIdentityStatus = 0x80;
// True when the column status marks an identity column.
inline bool IsIdentityColumn(uint8_t null_flag) { return (null_flag & kIdentityStatus) != 0; }

// " IDENTITY" for a status with the identity bit (an identity column never
// allows NULL), " NOT NULL" for status 0, " NULL" for status 8, "" for any
// other status.
const char *NullabilityText(uint8_t null_flag);

// True when the table script lets the column take NULL: status 8 only (a
// column without a nullability text takes the server's default, NOT NULL).
bool AllowsNull(uint8_t null_flag);
