#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/catalogue/Generation.h"

#include <algorithm>
#include <cstring>

namespace {

bool HasPrecision(uint8_t user_type) { return user_type == 10 || user_type == 26; }

} // namespace

size_t ColumnNameEnd(const ColumnEntry &c, DumpFormat format) {
    int end = c.var_len;
    if (HasPrecision(c.user_type)) end -= GenerationOf(format).precision_bytes;
    // The precision and scale bytes must stay inside `name`.
    return static_cast<size_t>(std::clamp(end, 0, static_cast<int>(sizeof c.name) - 2));
}

std::string ColumnName(const ColumnEntry &c, DumpFormat format) {
    const size_t end = ColumnNameEnd(c, format);
    return std::string(c.name, strnlen(c.name, end));
}

int ColumnPrecision(const ColumnEntry &c, DumpFormat format) {
    return static_cast<signed char>(c.name[ColumnNameEnd(c, format)]);
}

int ColumnScale(const ColumnEntry &c, DumpFormat format) {
    return static_cast<signed char>(c.name[ColumnNameEnd(c, format) + 1]);
}
