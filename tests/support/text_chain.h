// Text and image values in a test dump: the page chain that holds a value
// and the 16-byte pointer a data row stores for it.
//
//     dumpwriter::TextChain(db, 101, 40, dumpwriter::ToBytes(long_text), 100);
//     row value for the column: dumpwriter::TextPointer(40)
//
// The chain's pages belong to the table (`owner`), carry fl1 = 1 so that a
// search for the table's first data page passes them by, and lie on
// consecutive pages from `first_page`, each holding `per_page` bytes of the
// value in its record area (the last one the rest). An empty value is one
// empty page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/support/dump_writer.h"

namespace dumpwriter {

constexpr uint8_t kTextPageFlag = 1;

Database &TextChain(Database &db, int32_t owner, int32_t first_page, const Bytes &value,
                    size_t per_page);

// The pointer a row stores: the first page id, then 12 zero bytes.
Bytes TextPointer(int32_t first_page);

// The bytes of a string.
Bytes ToBytes(const std::string &text);

} // namespace dumpwriter
