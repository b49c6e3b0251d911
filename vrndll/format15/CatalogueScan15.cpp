// The catalogue scan of format-15 dumps.
//
// PrepareEx builds the catalogue of the database at the reader's base:
//   1. the object catalogue: the object index from the first page of object
//      1 at or after block 161, whose entries name the object rows by page
//      and row number; one SysobjEntry per row (rows marked deleted are
//      read but not kept);
//   2. the first page of every object (FindFirstPages, as in format 12);
//   3. when listing, the databases: the rows of object 30.
// Prepare does the same from the chain of object rows that starts at the
// first page of object 1 instead of through the index.
//
// Row layouts, from a row's position (4 bytes into the row, where the
// readers count from; the row number is at -4, the status at -2):
//   object row:   id at 4, kind letter at 64, length at 66, name from 68,
//                 length - 80 bytes;
//   database row: dbid at 2 (its low byte also the row byte), length at 38,
//                 name from 40 up to the row's end or its first NUL.
// Name rows (found through the name index from page 90) count from their
// first byte: row number (int16) at 0, first page at 32, length at 54, name
// from 56, length - 58 bytes. Usage rows are 48 bytes from body offset 13:
// dbid at 5, size at 15, start page at 19, skip flag at 23.
#include <algorithm>
#include <cstring>
#include <string>

#include "vrndll/call/AssertionSites.h"
#include "Common/logger/logger.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/VRNParser15.h"

namespace {

constexpr uint32_t kSysobjFirstRoom = 200;
constexpr uint32_t kSysobjFirstRoomOfChain = 100;
constexpr uint32_t kSysobjStep = 100;
constexpr int kMaxRecordErrors = 100;
constexpr int kMaxObjectName = 256;
constexpr int kMaxDatabaseName = 255;
constexpr int32_t kObjectIndexPage = 161;
constexpr int32_t kNameIndexPage = 90;

// Object rows: the object's fields end at the name, 8 bytes before the row.
constexpr int kObjectNameAt = 68;
constexpr int kObjectRowOverhead = 80;
// Database rows.
constexpr int kDatabaseNameAt = 40;
// Name rows.
constexpr int kNameRowFirstPage = 32;
constexpr int kNameRowNameAt = 56;
constexpr int kNameRowOverhead = 58;
// Usage rows.
constexpr int kUsageFirst = 13;
constexpr int kUsageRowSize = 48;

RecordLayout RowPage(int length_at, int min_length) {
    RecordLayout layout;
    layout.first = 16;
    layout.lead = 4;
    layout.length_at = length_at;
    layout.min_length = min_length;
    return layout;
}

const RecordLayout kObjectRows = RowPage(66, kObjectRowOverhead);
const RecordLayout kDatabaseRows = RowPage(38, kDatabaseNameAt + 4);

RecordLayout NameRows() {
    RecordLayout layout;
    layout.first = 12;
    layout.length_at = 54;
    layout.min_length = kNameRowOverhead;
    return layout;
}

} // namespace

// ------------------------------------------------------------------ rows by page and number

BlockReader &VRNParser15::row_reader() {
    if (!row_bl_ || row_bl_->kb != bl.kb || row_bl_->hFile != bl.hFile)
        row_bl_.reset(new BlockReader(bl.kb, bl.base_mb, bl.hFile, bl.cancel_check()));
    row_bl_->base_mb = bl.base_mb;
    return *row_bl_;
}

int VRNParser15::FindRow(int32_t page, int row, const RecordLayout &layout, const char *what, FoundRow &out,
                         bool wide_number, bool live_only) {
    return FindRowOf(page, row, [&layout](const BlockReader &) { return layout; }, what, out, wide_number,
                     live_only);
}

int VRNParser15::FindRow(int32_t page, int row, const std::function<RecordLayout(const BlockReader &)> &layout_of,
                         const char *what, FoundRow &out) {
    return FindRowOf(page, row, layout_of, what, out, false, false);
}

int VRNParser15::FindRowOf(int32_t page, int row, const std::function<RecordLayout(const BlockReader &)> &layout_of,
                           const char *what, FoundRow &out, bool wide_number, bool live_only) {
    out = FoundRow();
    BlockReader &r = row_reader();
    PageChain one(r, page, what, VRN_bl_count);
    if (!one.Next()) {
        if (one.stop() == ChainStop::kCancelled) return kCancelled;
        if (one.stop() == ChainStop::kEndOfChain)
            TheLogger().ErrorFormat("An entry of %s names page 0, row %d: passed over", what, row);
        return kOk;
    }
    RecordCursor rows(r.data.data(), r.RecordAreaLength(), page, layout_of(r), what);
    while (rows.Next()) {
        const uint8_t *first = rows.record();
        const int number = wide_number ? ReadInt16(first) : first[0];
        if (number != row) continue;
        const uint8_t status = first[2];
        if (live_only && IsDeletedRow(status)) continue;
        out.found = true;
        out.row = r.data.data() + rows.position();
        out.length = rows.length();
        out.status = status;
        ++rows_read;
        return kOk;
    }
    TheLogger().ErrorFormat("Row %d of page %ld, named by an entry of %s, is not on the page: passed over", row,
                            static_cast<long>(page), what);
    return kOk;
}

// ------------------------------------------------------------------ phase 1

void VRNParser15::DecodeObjectRow(const uint8_t *row, int rec_len, int32_t page) {
    Logger &log = TheLogger();
    SysobjEntry &e = pSysobj[iSysobj];
    e = SysobjEntry();
    e.first_field = -1;
    e.id = ReadInt32(row + 4);
    e.type = static_cast<char>(row[64]);
    e.rec_len = static_cast<int16_t>(rec_len);
    Trace("pSysobj[iSysobj].id", e.id);
    Trace("pSysobj[iSysobj].rec_len", e.rec_len);
    const int name_len = rec_len - kObjectRowOverhead;
    if (name_len < 0 || name_len > kMaxObjectName) {
        log.Info("Bad name_len");
        return;
    }
    e.name_len = name_len;
    e.first_block = 0;
    std::memcpy(e.name, row + kObjectNameAt, static_cast<size_t>(name_len));
    e.name[name_len] = '\0';
    log.InfoText("Table name:", e.name);
    log.InfoNumber("Table ID:", e.id);
    if (std::strcmp(e.name, "LANCBANC_DET") == 0) tracing = true;
    if (IsDeletedRow(row[-2])) {
        log.InfoFormat("Object %ld of page %ld is a deleted row: not kept", static_cast<long>(e.id),
                       static_cast<long>(page));
        return;
    }
    ++iSysobj;
    if (iSysobj >= this_obj) {
        log.Info("Grow Sysobj array");
        this_obj += kSysobjStep;
        pSysobj.resize(this_obj);
    }
}

int VRNParser15::TakeObjectRow(const uint8_t *row, int rec_len, int32_t page, BlockReader &reader) {
    try {
        DecodeObjectRow(row, rec_len, page);
        return kOk;
    } catch (...) {
        LogAssertion(sites::kObjectRow15);
        if (reader.bl_log(page) != kOk) return kNoCatalogue;
        if (++record_errors_ > kMaxRecordErrors) {
            LogAssertion(sites::kTooManyErrors15);
            return kFailed;
        }
        return 1;
    }
}

int VRNParser15::ReadObjectIndex() {
    Logger &log = TheLogger();
    log.Info("Run VRNParser15::PrepareEx");
    rows_read = 0;
    iSysobj = 0;
    this_obj = kSysobjFirstRoom;
    pSysobj.clear();
    record_errors_ = 0;

    // The object index: the first page of object 1 from block 161 on.
    int32_t b = kObjectIndexPage;
    for (;; ++b) {
        if (!bl.InDump(b) || (VRN_bl_count > 0 && b > VRN_bl_count)) {
            log.ErrorFormat("No page of the object index from block %ld to the end of the dump",
                            static_cast<long>(kObjectIndexPage));
            return kNoCatalogue;
        }
        if (bl.GetBlock(b) == kCancelled) return kCancelled;
        if (bl.HeaderWhole() && bl.type == kObjectCatalogue) break;
    }
    if (CollectObjectIds(b) == kCancelled) return kCancelled;
    log.Info("Find sysobjects blocks");
    pSysobj.assign(this_obj, SysobjEntry());

    PageChain walk(bl, b, "the object index", VRN_bl_count);
    while (walk.Next()) {
        for (int k = 0;; ++k) {
            int page = 0, row = 0;
            if (!GetOneSysobjectBlockAndRecNum(&k, &page, &row)) break;
            FoundRow found;
            if (FindRow(page, row, kObjectRows, "the object catalogue", found) == kCancelled) return kCancelled;
            if (!found.found) continue;
            const int taken = TakeObjectRow(found.row, found.length, page, row_reader());
            if (taken < 0) return taken;
        }
    }
    return walk.stop() == ChainStop::kCancelled ? kCancelled : kOk;
}

int VRNParser15::ReadObjectRowChain() {
    Logger &log = TheLogger();
    log.Info("Run VRNParser15::Prepare");
    rows_read = 0;
    iSysobj = 0;
    this_obj = kSysobjFirstRoomOfChain;
    pSysobj.clear();
    record_errors_ = 0;

    int32_t b = 0;
    const int rc = FindObjectCatalogue(&b);
    if (rc != kOk) return rc;
    pSysobj.assign(this_obj, SysobjEntry());

    PageChain walk(bl, b, "the object catalogue", VRN_bl_count);
    while (walk.Next()) {
        RecordCursor rows(bl.data.data(), bl.RecordAreaLength(), walk.page(), kObjectRows, "the object catalogue");
        while (rows.Next()) {
            ++rows_read;
            const int taken = TakeObjectRow(bl.data.data() + rows.position(), rows.length(), walk.page(), bl);
            if (taken < 0) return taken;
            if (taken > 0) break; // the rest of the page is not trusted
        }
    }
    return walk.stop() == ChainStop::kCancelled ? kCancelled : kOk;
}

// ------------------------------------------------------------------ phases 2 and 3

int VRNParser15::PrepareEx(std::vector<DatabaseEntry> *databases, uint32_t *count) {
    tracing = false;
    return FinishPrepare(ReadObjectIndex(), databases, count, false);
}

int VRNParser15::Prepare(std::vector<DatabaseEntry> *databases, uint32_t *count) {
    tracing = false;
    return FinishPrepare(ReadObjectRowChain(), databases, count, true);
}

int VRNParser15::FinishPrepare(int rc, std::vector<DatabaseEntry> *databases, uint32_t *count,
                               bool objects_as_references) {
    const bool listing = databases != nullptr && count != nullptr && *count == 0;
    if (rc == kOk) {
        rc = data_blockread();
        if (rc == kEndOfDump && listing) *count = 0;
        // Without a reference catalogue the walk of the object rows stands
        // in for it.
        if (objects_as_references && first_ref_block == -1) first_ref_block = first_obj_block;
    }
    if (rc == kOk && listing) rc = ReadDatabaseRows(*databases, *count);
    tracing = false;
    return rc;
}

int VRNParser15::ReadDatabaseRows(std::vector<DatabaseEntry> &databases, uint32_t &count) {
    return ReadDatabaseRecords(kDatabaseRows, sites::kPrepare15, databases, count,
                               [&](const RecordCursor &rows, DatabaseEntry &e) {
        const uint8_t *o = bl.data.data() + rows.position();
        e.row = static_cast<int8_t>(o[2]);
        e.dbid = ReadInt16(o + 2);
        e.rec_len = static_cast<int16_t>(rows.length());
        // The name ends at the row's end or at its first NUL.
        const int room = rows.length() - kDatabaseRows.lead - kDatabaseNameAt;
        const char *name = reinterpret_cast<const char *>(o + kDatabaseNameAt);
        const int name_len = room > 0 ? static_cast<int>(strnlen(name, static_cast<size_t>(room))) : 0;
        if (name_len > kMaxDatabaseName) {
            TheLogger().InfoNumber("Bad name_len", name_len);
            return DatabaseRecord::kSkip;
        }
        e.name_len = name_len;
        std::memcpy(e.name, name, static_cast<size_t>(name_len));
        e.name[name_len] = '\0';
        return DatabaseRecord::kKeep;
    });
}

// ------------------------------------------------------------------ system objects by name, usage

int VRNParser15::FindSysobject(const char *name) {
    if (name == nullptr) return 0;
    const size_t wanted = std::strlen(name);
    try {
        PageChain walk(bl, kNameIndexPage, "the name index", VRN_bl_count);
        while (walk.Next()) {
            for (int k = 0;; ++k) {
                int page = 0, row = 0;
                if (!GetOnePageAndRecNum(&k, &page, &row)) break;
                FoundRow found;
                if (FindRow(page, row, NameRows(), "the name rows", found, true) == kCancelled) return 0;
                if (!found.found) continue;
                // A stored name longer than the one searched for matches too.
                const int name_len = found.length - kNameRowOverhead;
                if (name_len <= 0 || static_cast<size_t>(name_len) < wanted) continue;
                if (std::memcmp(found.row + kNameRowNameAt, name, wanted) == 0)
                    return ReadInt32(found.row + kNameRowFirstPage);
            }
        }
    } catch (...) {
        LogAssertion(sites::kFindSysobject15);
    }
    return 0;
}

int VRNParser15::GetDatabaseUsage(int32_t page, DatabaseEntry &entry) {
    try {
        PageChain walk(bl, page, "the usage rows", VRN_bl_count);
        RecordLayout layout;
        layout.first = kUsageFirst;
        layout.fixed_length = kUsageRowSize;
        while (walk.Next()) {
            RecordCursor rows(bl.data.data(), bl.RecordAreaLength(), walk.page(), layout, "the usage rows");
            while (rows.Next()) {
                const uint8_t *u = rows.record();
                if (ReadInt16(u + 5) != entry.dbid) continue;
                entry.usage_size = ReadInt32(u + 15);
                entry.start_page = ReadInt32(u + 19);
                entry.skip = ReadInt32(u + 23);
                return 1;
            }
        }
    } catch (...) {
        LogAssertion(sites::kGetDatabaseUsage15);
    }
    return 0;
}
