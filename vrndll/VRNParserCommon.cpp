#include "vrndll/VRNParserCommon.h"

#include "vrndll/sql/DateFormat.h"

VRNParserCommon::~VRNParserCommon() {
    try {
        FreeCatalogue();
    } catch (...) {
        LogAssertion(generation().destructor_site);
    }
}

int VRNParserCommon::data_blockread() {
    try {
        return FindFirstPages();
    } catch (...) {
        LogAssertion(generation().first_pages_site);
        return kScanException;
    }
}

int VRNParserCommon::CollectObjectIds(int start) { return ListObjectIds(start); }
int VRNParserCommon::PowerOfTwo(int n) { return TwoToThe(n); }
int VRNParserCommon::LogDatabaseEntry(DatabaseEntry entry) { return WriteDatabaseEntry(entry); }
void VRNParserCommon::FreeCatalogue() { ReleaseCatalogue(); }
int VRNParserCommon::MakeTableName(int number, char *out) { return TableName(number, out); }

int VRNParserCommon::GetOneString(std::string &out, int32_t *block, uint32_t table, uint32_t columns,
                                  int32_t *rows) {
    RowReader &reader = RowsOf(table, block != nullptr && *block == -1);
    reader.batch_piece = batch_piece;
    const int rc = reader.ReadPage(out, block, table, columns, rows);
    TakeCounts(reader);
    return rc;
}

int VRNParserCommon::PrintOneString(std::string &out, uint32_t table, int var_length, uint32_t columns) {
    RowReader &reader = RowsOf(table);
    const int rc = reader.WriteRow(out, table, var_length, columns);
    TakeCounts(reader);
    return rc;
}

int VRNParserCommon::FormatDateTime(std::string &out, int32_t day, int32_t ticks) {
    values::FormatDateTime(out, day, ticks);
    return 0;
}

int VRNParserCommon::FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes) {
    values::FormatSmallDateTime(out, day, minutes);
    return 0;
}

int VRNParserCommon::DaysInMonth(int month, int leap) { return values::DaysInMonth(month, leap); }

// A value writer called on its own reads through the reader of the table
// whose rows were read last.
int VRNParserCommon::WriteText(std::string &out, int32_t first_page) {
    RowReader &reader = RowsOf(current_rows_table());
    const int rc = reader.WriteTextChain(out, first_page);
    TakeCounts(reader);
    return rc;
}

int VRNParserCommon::WriteImage(std::string &out, int32_t first_page) {
    RowReader &reader = RowsOf(current_rows_table());
    const int rc = reader.WriteImageChain(out, first_page);
    TakeCounts(reader);
    return rc;
}
