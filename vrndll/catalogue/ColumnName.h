// The parts of a column's catalogue bytes: its own name and, for numeric
// and decimal columns, the precision and scale that follow it.
//
// ColumnEntry::name holds the variable bytes of the catalogue row
// (var_len of them). For numeric (10) and decimal (26) columns the name is
// var_len - 5 bytes long in format 12 and var_len - 8 in format 15, and the
// two bytes right after it are the precision and the scale; for every other
// type all var_len bytes are the name. A name also ends at a NUL byte.
// `format` is the parser's (VRNParser::format()).
#pragma once

#include <cstddef>
#include <string>

#include "vrndll/catalogue/Catalogue.h"
#include "vrndll/pages/DumpFormat.h"

// Position of the precision byte: the length of the name part of `name`,
// within 0 .. 254 whatever var_len says.
size_t ColumnNameEnd(const ColumnEntry &column, DumpFormat format);

// The column's own name (without precision, scale or a NUL).
std::string ColumnName(const ColumnEntry &column, DumpFormat format);

// The two signed bytes after the name (numeric and decimal columns).
int ColumnPrecision(const ColumnEntry &column, DumpFormat format);
int ColumnScale(const ColumnEntry &column, DumpFormat format);
