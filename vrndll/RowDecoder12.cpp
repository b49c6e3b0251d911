// Rows of a format-12 data page, cut into values and written as INSERT statements.
#include "vrndll/VRNParser12.h"

int VRNParser12::GetOneString(std::string &out, int32_t *block, uint32_t table, uint32_t columns,
                              int32_t *rows) {
    return VRNParser::GetOneString(out, block, table, columns, rows);
}
int VRNParser12::PrintOneString(std::string &out, uint32_t table, int var_length,
                                uint32_t columns) {
    return VRNParser::PrintOneString(out, table, var_length, columns);
}
int VRNParser12::FormatDateTime(std::string &out, int32_t day, int32_t ticks) {
    return VRNParser::FormatDateTime(out, day, ticks);
}
int VRNParser12::FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes) {
    return VRNParser::FormatSmallDateTime(out, day, minutes);
}
int VRNParser12::DaysInMonth(int month, int leap) { return VRNParser::DaysInMonth(month, leap); }
int VRNParser12::WriteImage(std::string &out, int32_t first_page) {
    return VRNParser::WriteImage(out, first_page);
}
int VRNParser12::WriteText(std::string &out, int32_t first_page) {
    return VRNParser::WriteText(out, first_page);
}
