// The do-nothing parser base and the operations both dump generations share.
#include "vrndll/VRNParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "Common/logger/logger.h"

namespace {

// A read that failed with an exception is tried this often in all.
constexpr int kReadAttempts = 3;
// Chain starts are searched among this many blocks.
constexpr int32_t kChainStartSearch = 100000;

} // namespace

// ================================================================== VRNParser

VRNParser::VRNParser(platform::RandomAccessFile *file, int kb, int64_t size, int base_mb, DumpFormat format)
    : bl(kb, base_mb, file, HostCancelCheck()), hFile(file), file_size(size), format_(format) {}

void VRNParser::SetCancelCheck(CancelCheck may_continue) {
    bl.SetCancelCheck(std::move(may_continue));
    rows_.reset(); // made again from `bl` when needed
}

RowReader &VRNParser::RowsOf(uint32_t table, bool restart) {
    if (!rows_ || restart || rows_->table() != table) rows_ = std::make_unique<RowReader>(*this, bl, table);
    return *rows_;
}

void VRNParser::TakeCounts(RowReader &reader) {
    counts += reader.counts;
    reader.counts = RecoveryCounts();
    lost_values.Take(reader.lost_values);
    rows_read += reader.rows_read;
    reader.rows_read = 0;
}

// ---- what differs by generation

int VRNParser::ReadCatalogue(std::vector<DatabaseEntry> *databases, uint32_t *count) {
    return generation().catalogue_through_maps ? PrepareEx(databases, count) : Prepare(databases, count);
}

int VRNParser::ReadDetailCatalogues() {
    int (VRNParser::*const steps12[])() = {&VRNParser::GetCol, &VRNParser::GetIndex, &VRNParser::GetFkey};
    int (VRNParser::*const steps15[])() = {&VRNParser::GetFieldEx, &VRNParser::GetIndexEx,
                                           &VRNParser::GetFkeyEx};
    for (auto step : generation().catalogue_through_maps ? steps15 : steps12) {
        const int rc = (this->*step)();
        if (IsCancelOrFailure(rc)) return rc;
    }
    return kOk;
}

void VRNParser::LocateDatabases(std::vector<DatabaseEntry> &, size_t) {}

bool VRNParser::IsUsable(const DatabaseEntry &entry) const {
    if (entry.usage_size == -1) return false;
    if (generation().skip_mark_decides) return entry.skip == 0;
    return static_cast<uint32_t>(entry.start_page) < start_page_limit;
}

bool VRNParser::IsScriptedTable(const SysobjEntry &entry) const {
    if (entry.type != 'U') return false;
    if (std::strncmp(entry.name, "spt", 3) == 0) return false;
    if (generation().monitor_tables && std::strncmp(entry.name, "mon", 3) == 0) return false;
    return true;
}

// ---- the base operations: nothing, 0

int VRNParser::Prepare(std::vector<DatabaseEntry> *, uint32_t *) { return 0; }
int VRNParser::PrepareEx(std::vector<DatabaseEntry> *, uint32_t *) { return 0; }
int VRNParser::CollectObjectIds(int) { return 0; }
int VRNParser::Detect(int) { return 0; }
int VRNParser::PowerOfTwo(int) { return 0; }
int VRNParser::LogDatabaseEntry(DatabaseEntry) { return 0; }
void VRNParser::FreeCatalogue() {}
int VRNParser::GetCol() { return 0; }
int VRNParser::GetFieldEx() { return 0; }
int VRNParser::GetIndex() { return 0; }
int VRNParser::GetFkey() { return 0; }
int VRNParser::GetFkeyEx() { return 0; }
int VRNParser::GetIndexEx() { return 0; }
int VRNParser::GetPageWord(int16_t *) { return 0; }
int VRNParser::GetOneView(std::string &, int32_t *, uint32_t *) { return 0; }
int VRNParser::GetOneString(std::string &, int32_t *, uint32_t, uint32_t, int32_t *) { return 0; }
int VRNParser::PrintOneString(std::string &, uint32_t, int, uint32_t) { return 0; }
int VRNParser::FormatDateTime(std::string &, int32_t, int32_t) { return 0; }
int VRNParser::FormatSmallDateTime(std::string &, int32_t, int32_t) { return 0; }
int VRNParser::DaysInMonth(int, int) { return 0; }
int VRNParser::WriteImage(std::string &, int32_t) { return 0; }
int VRNParser::WriteText(std::string &, int32_t) { return 0; }
int VRNParser::big(int *) { return 0; }
int VRNParser::FindDatabaseStart(int *) { return 0; }
int VRNParser::RecoverFields(SysobjEntry &) { return 0; }
int VRNParser::MakeTableName(int, char *) { return 0; }
int VRNParser::data_blockread() { return 0; }

// ---- shared implementations

int VRNParser::ListObjectIds(int start) {
    obj_ids.clear();
    std::unordered_set<int32_t> listed;
    const bool whole = SweepPageHeaders(bl, std::max(start, 2), VRN_bl_count, [&](int32_t) {
        if (bl.type > 100 && listed.insert(bl.type).second) obj_ids.push_back(bl.type);
    });
    return whole ? kOk : kCancelled;
}

int VRNParser::TwoToThe(int n) {
    // Capped so that the result stays a positive int.
    int result = 1;
    for (int i = 0; i < n && i < 30; ++i) result *= 2;
    return result;
}

int VRNParser::WriteDatabaseEntry(const DatabaseEntry &entry) {
    const std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
    TheLogger().InfoFormat("DatInd:%i RecLen:%i DataName:%s", static_cast<int>(entry.row),
                           static_cast<int>(entry.rec_len), name.c_str());
    return 0;
}

void VRNParser::ReleaseCatalogue() {
    std::vector<SysobjEntry>().swap(pSysobj);
    iSysobj = 0;
    this_obj = 0;
    std::vector<ColumnEntry>().swap(fields);
    std::vector<IndexEntry>().swap(indexes);
    std::vector<ForeignKeyEntry>().swap(fkeys);
    std::vector<int32_t>().swap(obj_ids);
}

int VRNParser::TableName(int number, char *out) {
    if (out == nullptr) return 0;
    const int n = std::snprintf(out, 17, "Table%d", number);
    return n < 0 ? 0 : n;
}

int VRNParser::SeekDatabaseStart(int *mb, bool open_chain_ends) {
    if (mb == nullptr) return kFailed;
    const int first = *mb;
    bl.base_mb = *mb;
    for (;;) {
        if (!bl.InDump(1)) {
            TheLogger().ErrorFormat("No database start at or after %d MiB: the dump ends at %lld bytes",
                                    first, static_cast<long long>(bl.DumpSize()));
            return kNoCatalogue;
        }
        const int rc = bl.GetBlock(1);
        if (rc == kCancelled || rc == kFailed) return rc;
        if (bl.id == 1) return kOk;
        if (open_chain_ends && (bl.next_id == 0 || bl.prev_id == 0)) return kOk;
        *mb += 1;
        bl.base_mb = *mb;
    }
}

int VRNParser::ReadHeader(int32_t b) {
    int rc = kFailed;
    for (int attempt = 0; attempt < kReadAttempts && rc == kFailed; ++attempt) rc = bl.GetBlock(b);
    return rc;
}

int VRNParser::ReadPage(int32_t b) {
    int rc = ReadHeader(b);
    if (rc != kOk) return rc;
    rc = kFailed;
    for (int attempt = 0; attempt < kReadAttempts && rc == kFailed; ++attempt) rc = bl.GetAllBlock(b);
    return rc;
}

int32_t VRNParser::FindChainStart(int32_t object) {
    for (int32_t b = 1; b <= kChainStartSearch && bl.InDump(b); ++b) {
        const int rc = bl.GetBlock(b);
        if (rc == kCancelled) return 0;
        if (rc != kOk || !bl.HeaderWhole()) continue;
        if (bl.type == object && bl.fl1 == 0 && bl.prev_id == 0) return b;
    }
    return 0;
}

void VRNParser::Trace(const char *label, long value) const {
    if (tracing) TheLogger().InfoNumber(label, value);
}
