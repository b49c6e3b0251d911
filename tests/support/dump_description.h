// A plain-text description of a dump, read line by line into a Dump.
//
//     # comment (also after a statement)
//     block_size 4                    # KiB: 2, 4, 8, 16 (32 for detection tests)
//     device master                   # name of the master device record
//     database master 1 0             # name, dbid, base in MiB; the first is the master
//     table 101 orders                # user table of the current database
//     object 201 V order_totals       # any object: id, type letter, name
//     catalogue_per_page 3            # records per object-catalogue page
//     no_usage                        # no usage record for the current database
//     start_page 8000                 # usage start page of the current database
//     unlisted                        # left out of the database list
//
// Names are single words. Statements other than block_size and device need
// a current database (the last `database` line).
#pragma once

#include <istream>
#include <memory>
#include <string>

#include "tests/support/dump_writer.h"

namespace dumpwriter {

// The dump described by `in`, or null with `error` set to "line N: ...".
std::unique_ptr<Dump> ReadDescription(std::istream &in, std::string &error);

} // namespace dumpwriter
