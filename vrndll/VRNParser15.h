// The parser of format-15 dumps. For now: block-size detection without the
// fl1 test, the generation test, the database-start searches and the shared
// operations; the format-15 catalogue scan comes later (PrepareEx and
// Prepare do nothing yet, FindSysobject and GetDatabaseUsage find nothing).
#pragma once

#include <cstdint>

#include "vrndll/VRNParser.h"

class VRNParser15 : public VRNParser {
public:
    VRNParser15(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb);
    ~VRNParser15() override;

    int CollectObjectIds(int start) override;
    int Detect(int start) override;
    int PowerOfTwo(int n) override;
    int LogDatabaseEntry(DatabaseEntry entry) override;
    void FreeCatalogue() override;
    // The signed 16-bit value at body offset 68 of block 24; returns 1
    // (-1000 when the host cancelled).
    int GetPageWord(int16_t *out) override;
    // As the format-12 search, with "Parser15::big starts" / "ends".
    int big(int *mb) override;
    // As big, but also ends at a block 1 with next_id or prev_id 0.
    int FindDatabaseStart(int *mb) override;
    int MakeTableName(int number, char *out) override;
    int data_blockread() override;

    // 1 for format 15 (blocks 161, 50, 34 owned by objects 1, 3, 2), else 0.
    // Runs Detect(2) first; `start` is not used.
    int DetectFormat(int start);
    // First page of the object named `name`, or 0 (none yet).
    int FindSysobject(const char *name);
    // 1 when a usage row of entry.dbid was found from `page` on, else 0
    // (none yet).
    int GetDatabaseUsage(int32_t page, DatabaseEntry &entry);
};
