// What tells the two dump generations apart, written down as data: the
// readers and writers shared by both ask the description of their dump's
// generation instead of testing which one it is.
#pragma once

#include <cstdint>

#include "vrndll/call/AssertionSites.h"
#include "vrndll/pages/DumpFormat.h"

struct Generation {
    DumpFormat format;
    // The catalogue is read through the object index and the column, index
    // and key maps (PrepareEx, GetFieldEx, GetIndexEx, GetFkeyEx), not by
    // walking the catalogue chains (Prepare, GetCol, GetIndex, GetFkey).
    bool catalogue_through_maps;
    // Catalogue bytes that follow a numeric or decimal column's name; its
    // precision and scale are the first two.
    int precision_bytes;
    // The later type set: date, time, bigint, the unsigned integers,
    // longsysname, unichar, univarchar, unitext and timestamp; float and
    // sysname written with their lengths.
    bool extended_types;
    // The type a guessed column of 8-byte values gets.
    uint8_t eight_byte_guess;
    // A database is passed over by its skip mark; otherwise by lying at or
    // beyond the master device's high page.
    bool skip_mark_decides;
    // Tables named "mon..." are the server's monitoring tables, not the
    // user's.
    bool monitor_tables;
    // Where an exception while a data page's rows, or one row, are cut is
    // reported; and one while the first pages are found, or while the
    // parser is destroyed.
    const AssertionSite &rows_of_page_site;
    const AssertionSite &row_site;
    const AssertionSite &first_pages_site;
    const AssertionSite &destructor_site;
};

// The description of `format`.
const Generation &GenerationOf(DumpFormat format);
