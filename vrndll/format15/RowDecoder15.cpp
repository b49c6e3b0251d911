// Rows and values of format-15 data pages. Data rows are stored as in
// format 12 (RowDecoder.cpp); what differs is the column catalogue: a
// numeric or decimal column's name is followed by 8 catalogue bytes, the
// precision and scale first, and the format-15 types (date, time, bigint,
// the unsigned integers, longsysname, unichar, univarchar, unitext,
// timestamp) have writers of their own (ValueFormat.h). Exceptions while a
// row is written are reported as the page's.
#include "vrndll/sql/DateFormat.h"
#include "vrndll/VRNParser15.h"

namespace {

const RowGeneration kRows15{"vrndll/VRNParser15", 2690, 2690};

} // namespace

int VRNParser15::GetOneString(std::string &out, int32_t *block, uint32_t table, uint32_t columns,
                              int32_t *rows) {
    return CutRowsOfPage(out, block, table, columns, rows, kRows15);
}

int VRNParser15::PrintOneString(std::string &out, uint32_t table, int var_length, uint32_t columns) {
    return PrintRow(out, table, var_length, columns, kRows15);
}

int VRNParser15::FormatDateTime(std::string &out, int32_t day, int32_t ticks) {
    values::FormatDateTime(out, day, ticks);
    return 0;
}

int VRNParser15::FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes) {
    values::FormatSmallDateTime(out, day, minutes);
    return 0;
}

int VRNParser15::FormatDate(std::string &out, int32_t day) {
    values::FormatDate(out, day);
    return 0;
}

int VRNParser15::FormatTime(std::string &out, int32_t ticks) {
    values::FormatTime(out, ticks);
    return 0;
}

int VRNParser15::DaysInMonth(int month, int leap) { return values::DaysInMonth(month, leap); }
int VRNParser15::WriteText(std::string &out, int32_t first_page) { return WriteTextChain(out, first_page); }
int VRNParser15::WriteImage(std::string &out, int32_t first_page) { return WriteImageChain(out, first_page); }
