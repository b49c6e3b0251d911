#include "tests/support/row_fuzz_input.h"

#include <cstring>
#include <string>

namespace {

constexpr size_t kHeaderBytes = 4;
constexpr size_t kColumnBytes = 6;
constexpr int kBlockSizes[] = {2, 4, 8, 16};

bool IsNumeric(uint8_t user_type) { return user_type == 10 || user_type == 26; }

} // namespace

std::vector<ColumnEntry> ColumnEntries(const RowInput &input) {
    std::vector<ColumnEntry> entries;
    for (size_t k = 0; k < input.columns.size(); ++k) {
        const RowInputColumn &described = input.columns[k];
        ColumnEntry c;
        c.tab_id = kRowInputTable;
        c.col_id = static_cast<int16_t>(k + 1);
        c.user_type = described.user_type;
        c.length = described.length;
        c.null_flag = described.nullable ? 8 : 0;
        c.fixed = described.fixed_type ? 1 : 0;
        const std::string name = "c" + std::to_string(k + 1);
        std::memcpy(c.name, name.data(), name.size());
        // The catalogue keeps precision and scale right after the name; the
        // name part of a numeric column's bytes is 5 (format 12) or 8
        // (format 15) shorter than the bytes.
        c.name[name.size()] = static_cast<char>(described.precision);
        c.name[name.size() + 1] = static_cast<char>(described.scale);
        c.var_len = static_cast<int32_t>(name.size());
        if (IsNumeric(described.user_type)) c.var_len += input.format == DumpFormat::k15 ? 8 : 5;
        entries.push_back(c);
    }
    return entries;
}

bool DecodeRowInput(const uint8_t *data, size_t size, RowInput &input) {
    if (size < kHeaderBytes) return false;
    input.format = (data[0] & 1) != 0 ? DumpFormat::k15 : DumpFormat::k12;
    input.kb = kBlockSizes[(data[0] >> 1) & 3];
    const size_t count = data[1] % kMaxRowInputColumns + 1;
    input.first_page = static_cast<int16_t>(data[2] | (data[3] << 8));
    if (size < kHeaderBytes + count * kColumnBytes) return false;
    input.columns.clear();
    const uint8_t *p = data + kHeaderBytes;
    for (size_t k = 0; k < count; ++k, p += kColumnBytes) {
        RowInputColumn c;
        c.user_type = p[0];
        c.length = static_cast<int16_t>(p[1] | (p[2] << 8));
        c.nullable = (p[3] & 1) != 0;
        c.fixed_type = (p[3] & 2) != 0;
        c.precision = p[4];
        c.scale = p[5];
        input.columns.push_back(c);
    }
    input.pages.assign(p, data + size);
    return true;
}

std::vector<uint8_t> EncodeRowInput(const RowInput &input) {
    uint8_t kb_code = 0;
    for (uint8_t k = 0; k < 4; ++k)
        if (kBlockSizes[k] == input.kb) kb_code = k;
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>((input.format == DumpFormat::k15 ? 1 : 0) | (kb_code << 1)));
    const size_t count = input.columns.size();
    out.push_back(static_cast<uint8_t>(count == 0 ? 0 : (count - 1) % kMaxRowInputColumns));
    out.push_back(static_cast<uint8_t>(input.first_page & 0xFF));
    out.push_back(static_cast<uint8_t>((input.first_page >> 8) & 0xFF));
    for (const RowInputColumn &c : input.columns) {
        out.push_back(c.user_type);
        out.push_back(static_cast<uint8_t>(c.length & 0xFF));
        out.push_back(static_cast<uint8_t>((c.length >> 8) & 0xFF));
        out.push_back(static_cast<uint8_t>((c.nullable ? 1 : 0) | (c.fixed_type ? 2 : 0)));
        out.push_back(c.precision);
        out.push_back(c.scale);
    }
    out.insert(out.end(), input.pages.begin(), input.pages.end());
    return out;
}
