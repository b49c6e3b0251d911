// The parser of format-12 dumps: block-size detection, the catalogue scan
// (objects, first pages, databases) and the usage and device lookups the
// driver uses to place each database inside the dump.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParserCommon.h"

class VRNParser12 : public VRNParserCommon {
public:
    VRNParser12(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb);

    // Phase 1 (object catalogue), phase 2 (first pages) and, when listing,
    // phase 3 (databases). 0, -2, -3, -200, -1000.
    int Prepare(std::vector<DatabaseEntry> *databases, uint32_t *count) override;
    int Detect(int start) override;
    int big(int *mb) override;

    // Column catalogue (ColumnCatalogue12.cpp).
    int GetCol() override;
    // Columns guessed for a user table without column rows
    // (FieldLayoutRecovery.cpp).
    int RecoverFields(SysobjEntry &table) override;
    // One page of the object texts (ObjectTexts.cpp).
    int GetOneView(std::string &out, int32_t *block, uint32_t *object) override;
    // Index catalogue from first_ind_block (IndexCatalogue.cpp) and
    // reference catalogue from first_ref_block (ForeignKeyCatalogue.cpp).
    int GetIndex() override;
    int GetFkey() override;

    // The master device's high page as start_page_limit, then the usage
    // records of every listed database.
    void LocateDatabases(std::vector<DatabaseEntry> &databases, size_t listed) override;
    // 1 when usage records of entry.dbid were found on the pages of the
    // usage object's chain (start_page: the smallest start page; usage_size:
    // the size of the last record), else 0.
    int FindDatabaseUsage(DatabaseEntry &entry);
    // 1 when a device record whose name begins with "master" was found, with
    // its low and high page; else 0 with both 0.
    int FindMasterDevice(int *low, int *high);

private:
    // Hands every usage record (at least its fixed fields) of the usage
    // object's chain to `visit`, in chain order. False when the dump holds
    // no usage object.
    bool WalkUsageRecords(const std::function<void(const uint8_t *record)> &visit);
    int ReadObjectCatalogue();
    // Decodes the current object record into the next catalogue entry.
    // False when the rest of the page cannot be walked.
    bool DecodeObjectRecord(const RecordCursor &record);
    int ReadDatabaseList(std::vector<DatabaseEntry> &databases, uint32_t &count);
};
