// A plain-text description of a dump, read line by line into a Dump.
//
//     # comment (also after a statement)
//     block_size 4                    # KiB: 2, 4, 8, 16 (32 for detection tests)
//     format 15                       # the generation: 12 (default) or 15
//     device master                   # name of the master device record
//     database master 1 0             # name, dbid, base in MiB; the first is the master
//     table 101 orders                # user table of the current database
//     object 201 V order_totals       # any object: id, type letter, name
//     text 201 'CREATE VIEW order_totals AS'   # a line of the object's stored text
//     text 201 'SELECT 1'             #   (each text line adds one; in rows of object 6)
//     text_piece 40                   # bytes of text a row holds (1 to 255; default 255)
//     catalogue_per_page 3            # records per object-catalogue page
//     no_usage                        # no usage record for the current database
//     start_page 8000                 # usage start page of the current database
//     unlisted                        # left out of the database list
//     skip                            # format 15: the usage row's skip flag is set
//
// Tables with columns and rows (tests/support/value_words.h has the type and
// value words):
//
//     column_firoff 32                # column records of this database: 24 (default) or 32
//     columns_per_page 10             # column records per catalogue page
//     table 110 customers
//     column id int                   # name, type, options: null, notnull (default),
//     column name varchar(40) null    #   status=N (the status byte), id=N (column id)
//     column balance decimal(12,2) null
//     rows_per_page 50                # rows per data page of the last table
//     row 1 'Smith & Sons' 1250.75
//     row 2 NULL NULL
//     columns_only_table 600          # a table only the column catalogue knows
//
// Text and image values get page chains of their own, laid out from half a
// MiB into their database.
//
// Names are single words; a quoted string is one word and may hold blanks
// and '#' (table 130 'order notes', column 'line no' int). Statements other
// than block_size, format and device need a current database (the last
// `database` line); column, row and rows_per_page extend the last table.
#pragma once

#include <istream>
#include <memory>
#include <string>

#include "tests/support/dump_writer.h"

namespace dumpwriter {

// The dump described by `in`, or null with `error` set to "line N: ...".
std::unique_ptr<Dump> ReadDescription(std::istream &in, std::string &error);

} // namespace dumpwriter
