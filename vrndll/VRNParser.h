// The parser base: the catalogue records and the operations every dump
// generation provides. Every read of a dump goes through its BlockReader.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vrndll/call/AssertionSites.h"
#include "vrndll/pages/BlockReader.h"
#include "vrndll/call/CancelCheck.h"
#include "vrndll/catalogue/Catalogue.h"
#include "vrndll/pages/DumpFormat.h"
#include "vrndll/catalogue/Generation.h"
#include "vrndll/catalogue/ObjectTexts.h"
#include "vrndll/call/ResultCode.h"
#include "vrndll/pages/OwnedPages.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"
#include "vrndll/call/RecoveryCounts.h"
#include "vrndll/rows/RowLayout.h"
#include "vrndll/rows/RowReader.h"

// ------------------------------------------------------------------ parser base

// One open dump and what is known of the database being recovered (the
// Catalogue it inherits). The base operations do nothing and return 0; each
// generation overrides what it needs, mostly with the shared implementations
// below.
class VRNParser : public Catalogue {
public:
    // The block reader asks HostCancelCheck() until SetCancelCheck says
    // otherwise.
    VRNParser(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb, DumpFormat format);
    virtual ~VRNParser() = default;
    VRNParser(const VRNParser &) = delete;
    VRNParser &operator=(const VRNParser &) = delete;

    BlockReader bl;
    platform::RandomAccessFile *hFile; // borrowed
    int64_t file_size;                 // size of the dump in bytes

    // Blocks in the dump: its size divided by the block size (set by the
    // driver once the block size is known).
    int32_t VRN_bl_count = 0;

    // The data pages of the database by owner, swept at the first data
    // chain that breaks (for every table of the database at once).
    OwnedPages owned_pages;
    // Handed to the row reader of every GetOneString call: writes a page's
    // batch out in pieces (see RowReader::batch_piece). Unset: the batch is
    // held whole.
    std::function<int(std::string &)> batch_piece;
    // Rows taken by the row readers (the format-15 catalogue scan resets it).
    int32_t rows_read = 0;
    // Pages read and what the row readers lost, for the recovery's report.
    RecoveryCounts counts;
    // The values written as NULL or changed since the driver last took them.
    ValueLosses lost_values;

    // The reader GetOneString, PrintOneString and the value writers serve:
    // the one of `table`, made anew when a table's first page is asked for
    // or another table's rows are. Its row members are the row being
    // decoded.
    RowReader &RowsOf(uint32_t table, bool restart = false);
    // The table of that reader (0 before the first).
    uint32_t current_rows_table() const { return rows_ ? rows_->table() : 0; }
    // Moves what a row reader counted (rows, pages, losses, the values lost)
    // to the parser's.
    void TakeCounts(RowReader &reader);

    // The whole text of every object the object texts hold, in the order
    // the objects are first met, each object's pieces joined in chain order
    // (ObjectTexts.cpp). A chain that breaks keeps what was read, and the
    // texts end at 64 MiB. 0 or -1000.
    int ReadObjectTexts(std::vector<ObjectText> &texts);

    // ---- what differs by generation, asked by the driver and the script
    // writers (the base answers for the generation it was built for)

    DumpFormat format() const { return format_; }
    // What this generation is, as data.
    const Generation &generation() const { return GenerationOf(format_); }
    // The check every reader of this parser asks: `bl`, and the readers made
    // from it, which take its check when they are made (so set it before
    // reading).
    void SetCancelCheck(CancelCheck may_continue);
    // The catalogue scan of the generation: Prepare (format 12) or
    // PrepareEx (format 15), with the same arguments and results.
    virtual int ReadCatalogue(std::vector<DatabaseEntry> *databases, uint32_t *count);
    // Columns, indexes and foreign keys of the current database: GetCol,
    // GetIndex, GetFkey (format 12) or GetFieldEx, GetIndexEx, GetFkeyEx
    // (format 15), ending at the first that returns -1000 or -2.
    virtual int ReadDetailCatalogues();
    // Places every listed database (usage_size, start_page, skip; -1 usage
    // when nothing was found). The base finds nothing.
    virtual void LocateDatabases(std::vector<DatabaseEntry> &databases, size_t listed);
    // True for a database the driver recovers: usage found, and below the
    // master device's high page (format 12) or not marked skip (format 15).
    virtual bool IsUsable(const DatabaseEntry &entry) const;
    // True for an object the scripts are written for: a user table ('U'),
    // not an "spt" table, and in format 15 not a "mon" table.
    virtual bool IsScriptedTable(const SysobjEntry &entry) const;

    // Databases whose start page is not below this are not usable (format
    // 12: the high page of the master device, set by LocateDatabases).
    uint32_t start_page_limit = 0xFFFFFFFFu;

    // ---- operations, in the order every generation keeps

    // With `databases` non-null and *count 0: lists the databases of the dump
    // into `databases` (and *count) and builds the catalogue of the current
    // one; otherwise rebuilds the catalogue only and touches neither.
    virtual int Prepare(std::vector<DatabaseEntry> *databases, uint32_t *count);
    virtual int PrepareEx(std::vector<DatabaseEntry> *databases, uint32_t *count);
    // Lists in obj_ids the owners above 100 of the blocks from `start` on.
    virtual int CollectObjectIds(int start);
    // Fixes the block size from page chains: 0, -300 gave up, -1000, -5.
    virtual int Detect(int start);
    virtual int PowerOfTwo(int n);
    virtual int LogDatabaseEntry(DatabaseEntry entry);
    virtual void FreeCatalogue();
    virtual int GetCol();
    virtual int GetFieldEx();
    virtual int GetIndex();
    virtual int GetFkey();
    virtual int GetFkeyEx();
    virtual int GetIndexEx();
    virtual int GetPageWord(int16_t *out);
    virtual int GetOneView(std::string &out, int32_t *block, uint32_t *object);
    virtual int GetOneString(std::string &out, int32_t *block, uint32_t table, uint32_t columns,
                             int32_t *rows);
    virtual int PrintOneString(std::string &out, uint32_t table, int var_length, uint32_t columns);
    virtual int FormatDateTime(std::string &out, int32_t day, int32_t ticks);
    virtual int FormatSmallDateTime(std::string &out, int32_t day, int32_t minutes);
    virtual int DaysInMonth(int month, int leap);
    virtual int WriteImage(std::string &out, int32_t first_page);
    virtual int WriteText(std::string &out, int32_t first_page);
    // Moves the base to the first database start at or after *mb MiB.
    virtual int big(int *mb);
    virtual int FindDatabaseStart(int *mb);
    virtual int RecoverFields(SysobjEntry &table);
    // "Table<number>" into `out` (room for 17 bytes); returns its length.
    virtual int MakeTableName(int number, char *out);
    // Sets every object's first_block to the first page carrying its id.
    virtual int data_blockread();

protected:
    // ---- implementations the generations share

    int ListObjectIds(int start);
    static int TwoToThe(int n);
    static int WriteDatabaseEntry(const DatabaseEntry &entry);
    void ReleaseCatalogue();
    static int TableName(int number, char *out);
    // Searches MiB by MiB from *mb for a base whose block 1 is page 1 (or,
    // with `open_chain_ends`, a block 1 with next_id or prev_id 0). 0 when
    // found; -1000, -2 from a read; -3 when the search reached the end of
    // the dump (the base is then left past the end, where nothing is read).
    int SeekDatabaseStart(int *mb, bool open_chain_ends);
    // Block-size detection; `check_fl1` makes a page with fl1 set no
    // candidate. Assertion source and line for an exception.
    int DetectBlockSize(int start, bool check_fl1, const AssertionSite &site);
    // First page of every object and of the six system objects.
    int FindFirstPages();

    // What a generation's decoder makes of one database record.
    enum class DatabaseRecord { kKeep, kSkip, kEndOfPage };
    // The databases (phase 3 of the catalogue scan): the chain of object 30
    // from first_db_block, each page's records cut by `layout`, each record
    // handed to `decode` and kept, skipped or ending its page as it says.
    // 0 with `databases` and `count` set; -3 without a first page or after
    // an exception (assertion `source`, `line`); -1000.
    int ReadDatabaseRecords(const RecordLayout &layout, const AssertionSite &site,
                            std::vector<DatabaseEntry> &databases, uint32_t &count,
                            const std::function<DatabaseRecord(const RecordCursor &, DatabaseEntry &)> &decode);
    // The first page of the object catalogue: the first block from block 1
    // on that object 1 owns, which must be page 1; the object ids from
    // there on are collected (CollectObjectIds). 0 with *first set; -3 when
    // there is none or it is not page 1; -1000.
    int FindObjectCatalogue(int32_t *first);

    // Header and body of block b, a failed read retried a few times:
    // 0, -1000, or -2 when it kept failing.
    int ReadPage(int32_t b);
    // Header of block b, retried likewise.
    int ReadHeader(int32_t b);
    // The first block among 1 .. 100 000 (and inside the dump) that starts
    // the chain of `object` (fl1 0, prev_id 0); 0 when there is none.
    int32_t FindChainStart(int32_t object);

    // Shared body of GetOneView (ObjectTexts.cpp): the text of one page of
    // the object texts, the pieces of one object joined and each object
    // closed by one "GO" (after its last piece, on the page where the next
    // object begins or the chain ends). Assertion `source` and `line` for
    // an exception.
    int ObjectTextPage(std::string &out, int32_t *block, uint32_t *object, const AssertionSite &site);
    std::optional<PageChain> text_walk;
    int32_t text_object = 0;
    bool text_object_open = false;

    // Shared body of RecoverFields (FieldLayoutRecovery.cpp): columns
    // "Field1", "Field2", ... guessed from the rows of the table's first
    // data page are appended to `fields`. Always 1.
    int GuessTableColumns(SysobjEntry &table);


    // Trace output of the object-catalogue walk, on for one Prepare call.
    bool tracing = false;

    void Trace(const char *label, long value) const;

private:
    DumpFormat format_;
    std::unique_ptr<RowReader> rows_;
};
