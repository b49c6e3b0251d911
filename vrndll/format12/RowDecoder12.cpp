// Rows and values of format-12 data pages: the shared row decoding
// (RowDecoder.cpp) with the format-12 column layout.
#include "vrndll/sql/DateFormat.h"
#include "vrndll/VRNParser12.h"

namespace {

const RowGeneration kRows12{"vrndll/VRNParser12", 2367, 1591};

} // namespace

int VRNParser12::GetOneString(std::string &out, int32_t *block, uint32_t table, uint32_t columns,
                              int32_t *rows) {
    return CutRowsOfPage(out, block, table, columns, rows, kRows12);
}

int VRNParser12::PrintOneString(std::string &out, uint32_t table, int var_length, uint32_t columns) {
    return PrintRow(out, table, var_length, columns, kRows12);
}

int VRNParser12::FormatDateTime(std::string &out, int32_t day, int32_t ticks) {
    values::FormatDateTime(out, day, ticks);
    return 0;
}

int VRNParser12::FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes) {
    values::FormatSmallDateTime(out, day, minutes);
    return 0;
}

int VRNParser12::DaysInMonth(int month, int leap) { return values::DaysInMonth(month, leap); }
int VRNParser12::WriteText(std::string &out, int32_t first_page) { return WriteTextChain(out, first_page); }
int VRNParser12::WriteImage(std::string &out, int32_t first_page) { return WriteImageChain(out, first_page); }
