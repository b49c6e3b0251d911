// Hand-built data rows and column entries for the row decoding tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/text_chain.h"
#include "vrndll/VRNParser.h"

namespace rowtest {

using dumpwriter::Bytes;
using dumpwriter::ToBytes;

constexpr int32_t kTable = 101;
constexpr int32_t kTextOwner = 9001; // text pages in these tests belong to no table

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes Le(int64_t v, int width) {
    Bytes out;
    for (int k = 0; k < width; ++k) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * k)));
    return out;
}
inline Bytes Text(const std::string &s) { return ToBytes(s); }

inline bool FixedType(uint8_t type) {
    switch (type) {
    case 1: case 3: case 5: case 6: case 7: case 8: case 10: case 11: case 12: case 16: case 18:
    case 21: case 22: case 23: case 24: case 26:
        return true;
    default:
        return false;
    }
}

// A column of table `tab` as the column catalogue reader leaves it.
inline ColumnEntry Column(const char *name, uint8_t type, int16_t length = 0, bool nullable = false,
                   uint8_t precision = 0, uint8_t scale = 0, int32_t tab = kTable) {
    ColumnEntry c;
    c.tab_id = tab;
    c.user_type = type;
    c.length = length;
    c.null_flag = nullable ? 8 : 0;
    c.fixed = FixedType(type) ? 1 : 0;
    const size_t n = std::strlen(name);
    std::memcpy(c.name, name, n);
    c.var_len = static_cast<int32_t>(n);
    if (type == 10 || type == 26) {
        c.name[n] = static_cast<char>(precision);
        c.name[n + 1] = static_cast<char>(scale);
        c.var_len = static_cast<int32_t>(n) + 5;
    }
    return c;
}

// One data row: var_count, row number, the fixed area and, when variable
// values are stored, the row length at firoff, the values and the offset
// table (positions within the row, one byte each, in reverse order). An
// empty variable value is a NULL.
inline Bytes Row(uint8_t number, const Bytes &fixed, const std::vector<Bytes> &var = {}) {
    const int firoff = 2 + static_cast<int>(fixed.size());
    Bytes row = Cat({{static_cast<uint8_t>(var.size()), number}, fixed});
    if (var.empty()) return row;
    Bytes values;
    std::vector<int> positions{firoff + 2};
    for (const Bytes &v : var) {
        values.insert(values.end(), v.begin(), v.end());
        positions.push_back(firoff + 2 + static_cast<int>(values.size()));
    }
    const int length = firoff + 2 + static_cast<int>(values.size()) + static_cast<int>(positions.size());
    row = Cat({row, Le(length, 2), values});
    for (size_t k = positions.size(); k-- > 0;) row.push_back(static_cast<uint8_t>(positions[k]));
    return row;
}

} // namespace rowtest
