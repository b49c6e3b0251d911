// The input of the row fuzzer: a table's columns and the pages its rows lie
// on, in one byte string that the fuzzer mutates and the seed generator
// writes.
//
//   byte 0      bit 0: format 15; bits 1-2: block size 2, 4, 8 or 16 KiB
//   byte 1      column count - 1 (at most kMaxRowInputColumns)
//   bytes 2-3   first page of the table's data chain (int16)
//   6 bytes per column: user type, declared length (int16), flags (bit 0
//               NULL allowed, bit 1 of a fixed-length type), precision, scale
//   the rest    the database's pages from page 1 on, as a dump holds them
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vrndll/catalogue/Catalogue.h"
#include "vrndll/pages/DumpFormat.h"

constexpr size_t kMaxRowInputColumns = 64;
constexpr int32_t kRowInputTable = 101;

// One column as the input states it.
struct RowInputColumn {
    uint8_t user_type = 0;
    int16_t length = 0;
    bool nullable = false;
    bool fixed_type = false; // of a fixed-length type
    uint8_t precision = 0;
    uint8_t scale = 0;
};

struct RowInput {
    DumpFormat format = DumpFormat::k12;
    int kb = 2;
    int32_t first_page = 1;
    std::vector<RowInputColumn> columns;
    std::vector<uint8_t> pages; // page 1 on
};

// Reads `size` bytes as above; false when they are too short for the
// header and the columns they announce.
bool DecodeRowInput(const uint8_t *data, size_t size, RowInput &input);

// The bytes DecodeRowInput reads back as `input`.
std::vector<uint8_t> EncodeRowInput(const RowInput &input);

// The column entries of table kRowInputTable as the column catalogue
// reader leaves them: named c1, c2, ..., with the precision and scale bytes
// after the name where the format keeps them.
std::vector<ColumnEntry> ColumnEntries(const RowInput &input);
