// What both dump generations do alike: data rows are stored the same way
// in both, and so are text and image chains and dates; the object ids,
// the block-size arithmetic, the database log entry and the names of
// tables found by their columns likewise. Each generation's parser derives
// from this and adds its own catalogue readers; where the shared work
// reports an exception is the generation's (Generation.h).
#pragma once

#include <cstdint>
#include <string>

#include "vrndll/VRNParser.h"

class VRNParserCommon : public VRNParser {
public:
    using VRNParser::VRNParser;
    ~VRNParserCommon() override;

    int CollectObjectIds(int start) override;
    int PowerOfTwo(int n) override;
    int LogDatabaseEntry(DatabaseEntry entry) override;
    void FreeCatalogue() override;
    int MakeTableName(int number, char *out) override;
    // Sets every object's first_block to the first page carrying its id.
    int data_blockread() override;

    // Rows of a data page and their values, through the table's row reader
    // (RowReader.h): GetOneString cuts the rows of one page, PrintOneString
    // writes the row held in the reader's row members.
    int GetOneString(std::string &out, int32_t *block, uint32_t table, uint32_t columns,
                     int32_t *rows) override;
    int PrintOneString(std::string &out, uint32_t table, int var_length, uint32_t columns) override;
    int FormatDateTime(std::string &out, int32_t day, int32_t ticks) override;
    int FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes) override;
    int DaysInMonth(int month, int leap) override;
    int WriteImage(std::string &out, int32_t first_page) override;
    int WriteText(std::string &out, int32_t first_page) override;
};
