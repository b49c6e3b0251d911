#include "vrndll/sql/SqlTypeText.h"

#include <cstdio>

#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/catalogue/Generation.h"

namespace {

std::string WithLength(const char *type, long value) {
    char text[64];
    std::snprintf(text, sizeof text, " %s(%ld)", type, value);
    return text;
}

std::string WithPrecision(const char *type, const ColumnEntry &c, DumpFormat format) {
    char text[64];
    std::snprintf(text, sizeof text, " %s(%d,%d)", type, ColumnPrecision(c, format),
                  ColumnScale(c, format));
    return text;
}

} // namespace

std::string SqlTypeText(const ColumnEntry &c, DumpFormat format) {
    const bool f15 = GenerationOf(format).extended_types;
    const long length = c.length;
    switch (c.user_type) {
    case 1: return WithLength("char", length);
    case 2: return WithLength("varchar", length);
    case 3: return WithLength("binary", length);
    case 4: return WithLength("varbinary", length);
    case 5: return " tinyint";
    case 6: return " smallint";
    case 7: return " int";
    case 8: return f15 ? WithLength("float", length * 2) : " float";
    case 10: return WithPrecision("numeric", c, format);
    case 11: return " money";
    case 12: return " datetime";
    case 16: return " bit";
    case 18: return f15 ? WithLength("sysname", length) : " sysname";
    case 19: return " text";
    case 20: return " image";
    case 21: return " smallmoney";
    case 22: return " smalldatetime";
    case 23: return " real";
    case 24: return WithLength("nchar", length);
    case 25: return WithLength("nvarchar", length);
    case 26: return WithPrecision("decimal", c, format);
    default: break;
    }
    if (!f15) return "";
    switch (c.user_type) {
    case 34: return WithLength("unichar", length / 2);
    case 35: return WithLength("univarchar", length / 2);
    case 36: return " unitext";
    case 37: return " date";
    case 38: return " time";
    case 42: return " longsysname";
    case 43: return " bigint";
    case 44: return " unsigned smallint";
    case 45: return " unsigned int";
    case 46: return " unsigned bigint";
    case 80: return " timestamp";
    default: return "";
    }
}

const char *NullabilityText(uint8_t null_flag) {
    if (IsIdentityColumn(null_flag)) return " IDENTITY";
    if (null_flag == 0) return " NOT NULL";
    if (AllowsNull(null_flag)) return " NULL";
    return "";
}

bool AllowsNull(uint8_t null_flag) { return null_flag == 8; }
