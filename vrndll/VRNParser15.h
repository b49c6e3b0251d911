// The parser of format-15 dumps.
//
// Format 15 keeps the rows of its system tables on row pages and finds them
// through map pages whose entries name a row by page and row number
// (docs/dump-format.md). The object catalogue is the rows the object index
// (from page 161) names; the columns are the rows the column map (from page
// 50) names; the name index (from page 90) gives the first page of a system
// object by its name. Data rows of user tables are cut as in format 12.
//
// Every map and row walk goes along PageChain and RecordCursor: a chain that
// loops or leaves the dump ends, an entry is read only when it lies whole
// inside the record area, and a row is read only when it lies whole inside
// its page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vrndll/pages/RecordCursor.h"
#include "vrndll/VRNParserCommon.h"

class VRNParser15 : public VRNParserCommon {
public:
    VRNParser15(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb);

    // The format-12 scan on format-15 pages: the chain of object rows from
    // the first page of object 1, first pages, databases (CatalogueScan15.cpp).
    int Prepare(std::vector<DatabaseEntry> *databases, uint32_t *count) override;
    // The object catalogue through the object index from page 161, first
    // pages, and when listing the databases. 0, -2, -3, -200, -1000.
    int PrepareEx(std::vector<DatabaseEntry> *databases, uint32_t *count) override;
    int Detect(int start) override;
    // Column catalogue through the column map from page 50 (ColumnCatalogue15.cpp).
    int GetFieldEx() override;
    // Columns guessed for a user table without column rows
    // (FieldLayoutRecovery.cpp).
    int RecoverFields(SysobjEntry &table) override;
    // One page of the object texts (ObjectTexts.cpp).
    int GetOneView(std::string &out, int32_t *block, uint32_t *object) override;
    // Index catalogue through the index map from page 34 (IndexCatalogue.cpp)
    // and reference catalogue through the foreign-key map, the first page
    // of "ncsysreferences" (ForeignKeyCatalogue.cpp).
    int GetIndexEx() override;
    int GetFkeyEx() override;

    // Data rows are cut as in format 12 (VRNParserCommon); these are the
    // texts of the date (day number) and time (1/300-second ticks) types
    // only format 15 has.
    int FormatDate(std::string &out, int32_t day);
    int FormatTime(std::string &out, int32_t ticks);
    // The signed 16-bit value at body offset 68 of block 24; returns 1
    // (-1000 when the host cancelled).
    int GetPageWord(int16_t *out) override;
    // As the format-12 search, with "Parser15::big starts" / "ends".
    int big(int *mb) override;
    // As big, but also ends at a block 1 with next_id or prev_id 0.
    int FindDatabaseStart(int *mb) override;

    // Finds the usage object ("sysusages") and places every listed database
    // from its rows; nothing when the object is not found.
    void LocateDatabases(std::vector<DatabaseEntry> &databases, size_t listed) override;

    // 1 for format 15 (blocks 161, 50, 34 owned by objects 1, 3, 2), else 0.
    // Runs Detect(2) first; `start` is not used.
    int DetectFormat(int start);
    // First page of the object whose name row begins with `name`, found
    // through the name index from page 90; 0 when there is none.
    int FindSysobject(const char *name);
    // 1 when a usage row of entry.dbid lies on the usage pages from `page`
    // on (start_page, usage_size and skip filled from the first one), else 0.
    int GetDatabaseUsage(int32_t page, DatabaseEntry &entry);

    // ---- map entries (MapEntries15.cpp). Each reads entry *k of the map
    // page held in `bl`; an entry whose status marks it deleted is passed
    // over and *k moves on, so *k ends on the entry used. 1 with the page
    // and row number of the entry; 0 when no whole entry is left on the page.

    // Object index (page 161 on); 1 only when the page is not 0.
    int GetOneSysobjectBlockAndRecNum(int *k, int *page, int *row);
    // Name index (page 90 on).
    int GetOnePageAndRecNum(int *k, int *page, int *row);
    // Column map (page 50 on).
    int GetOneFieldBlockAndRecNum(int *k, int *page, int *row);
    // Index map (page 34 on), with the table id and index id of the entry.
    int GetOneIndexBlockAndRecNum(int *k, int *page, int *row, int32_t *tab_id, int *index_id);
    // Foreign-key map, with the key id; its entries end at the first whose
    // byte 11 is not 255.
    int GetOneIndexBlockAndRecNum(int *k, int *page, int *row, int32_t *fkey_id);

protected:
    // A row found by page and row number: read into row_reader(), at
    // `position` of its body (its bytes start `layout.lead` before), with
    // `length` bytes, all inside the page's record area.
    struct FoundRow {
        bool found = false;
        const uint8_t *row = nullptr; // the row's position in row_reader()'s body
        int length = 0;
        uint8_t status = 0;           // the byte 2 before the position
    };
    // Reads `page` into row_reader() and finds the first row numbered `row`
    // (the byte, or with `wide_number` the int16, at the row's first byte);
    // with `live_only` deleted rows (status 16 or 20) are passed over. -1000
    // when the host cancelled; otherwise 0, with found false when the page
    // cannot be read, lies outside the dump or holds no such row (logged).
    int FindRow(int32_t page, int row, const RecordLayout &layout, const char *what, FoundRow &out,
                bool wide_number = false, bool live_only = false);
    // The same, with the layout of the rows taken from the page read
    // (rows whose length depends on the page's firoff).
    int FindRow(int32_t page, int row, const std::function<RecordLayout(const BlockReader &)> &layout_of,
                const char *what, FoundRow &out);
    static bool IsDeletedRow(uint8_t status) { return status == 16 || status == 20; }
    // The reader of row pages: the map page stays in `bl` while the rows it
    // names are read.
    BlockReader &row_reader();

private:
    int FindRowOf(int32_t page, int row, const std::function<RecordLayout(const BlockReader &)> &layout_of,
                  const char *what, FoundRow &out, bool wide_number, bool live_only);
    int ReadObjectIndex();
    int ReadObjectRowChain();
    // Decodes the object row at `row` (read from page `page`) into the next
    // catalogue entry; kept unless its status marks it deleted.
    void DecodeObjectRow(const uint8_t *row, int rec_len, int32_t page);
    // DecodeObjectRow, with a failure logged (and `page` of `reader` dumped)
    // and counted: 0; 1 after a failure; -2 after too many, -3 when the
    // page could not be dumped.
    int TakeObjectRow(const uint8_t *row, int rec_len, int32_t page, BlockReader &reader);
    int ReadDatabaseRows(std::vector<DatabaseEntry> &databases, uint32_t &count);
    // Phases 2 and 3 after phase 1 gave `rc`; with `objects_as_references`
    // a database without a reference catalogue takes the first page of the
    // object rows for it.
    int FinishPrepare(int rc, std::vector<DatabaseEntry> *databases, uint32_t *count, bool objects_as_references);

    std::unique_ptr<BlockReader> row_bl_;
    int record_errors_ = 0;
};
