// The catalogue scan of format-12 dumps.
//
// Prepare builds the catalogue of the database at the reader's base:
//   1. the object catalogue: the chain of object 1 from page 1, one
//      SysobjEntry per record (id at 4, type letter at 64, length at
//      firoff, name after it);
//   2. the first page of every object (FindFirstPages);
//   3. when listing, the databases: the chain of object 30 (row at 1, dbid
//      at 2, length at 38, name from 40).
// Every walk stays inside the record area of its page and inside its
// record, and every chain walk ends at a page it has read before.
#include "vrndll/call/AssertionSites.h"
#include "vrndll/VRNParser12.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "Common/logger/logger.h"
#include "vrndll/pages/PageChain.h"
#include "vrndll/pages/RecordCursor.h"

namespace {

constexpr uint32_t kSysobjStep = 100;
constexpr int kMaxRecordErrors = 100;
constexpr int kMaxObjectName = 256;
constexpr int kMaxDatabaseName = 255;
// Object record: id at 4, type letter at 64.
constexpr int kObjectFixedPart = 65;
// Database record: length at 38, name from 40.
constexpr int kDatabaseLengthAt = 38;
constexpr int kDatabaseFixedPart = 40;
// Usage record: dbid at 2, size at 12, start page at 16.
constexpr int kUsageFixedPart = 20;
// Device record: low page at 4, high page at 8, name from 16.
constexpr int kDeviceNameStart = 16;

// The body as text for the trace: up to the first NUL, at most the record area.
std::string BodyText(const BlockReader &bl) {
    const size_t area = static_cast<size_t>(bl.RecordAreaLength());
    const char *p = reinterpret_cast<const char *>(bl.data.data());
    return std::string(p, strnlen(p, std::min<size_t>(area, 8192)));
}

} // namespace

VRNParser12::VRNParser12(platform::RandomAccessFile *file, int kb, int64_t size, int base_mb)
    : VRNParserCommon(file, kb, size, base_mb, DumpFormat::k12) {}


int VRNParser12::Detect(int start) { return DetectBlockSize(start, true, sites::kDetect12); }
int VRNParser12::big(int *mb) { return SeekDatabaseStart(mb, false); }


int VRNParser12::Prepare(std::vector<DatabaseEntry> *databases, uint32_t *count) {
    const bool listing = databases != nullptr && count != nullptr && *count == 0;
    tracing = false;
    int rc = ReadObjectCatalogue();
    if (rc == kOk) {
        rc = data_blockread();
        if (rc == kEndOfDump && listing) *count = 0;
    }
    if (rc == kOk && listing) rc = ReadDatabaseList(*databases, *count);
    tracing = false;
    return rc;
}

// ------------------------------------------------------------------ phase 1

int VRNParser12::ReadObjectCatalogue() {
    Logger &log = TheLogger();
    log.Info("Run VRNParser12::Prepare");
    iSysobj = 0;
    this_obj = kSysobjStep;
    pSysobj.clear();

    int32_t b = 0;
    const int rc = FindObjectCatalogue(&b);
    if (rc != kOk) return rc;
    pSysobj.assign(this_obj, SysobjEntry());

    PageChain walk(bl, b, "the object catalogue", VRN_bl_count);
    int errors = 0;
    while (walk.Next()) {
        try {
            Trace("bl.next_id", bl.next_id);
            Trace("bl.firoff", bl.firoff);
            if (tracing) {
                const std::string text = BodyText(bl);
                log.InfoNumber(text.c_str(), 8192);
                log.ErrorNumber(text.c_str(), 8192);
            }
            RecordLayout layout;
            layout.length_at = bl.firoff;
            RecordCursor records(bl.data.data(), bl.RecordAreaLength(), walk.page(), layout,
                                 "the object catalogue");
            while (records.Next()) {
                bool go_on = false;
                try {
                    go_on = DecodeObjectRecord(records);
                } catch (...) {
                    LogAssertion(sites::kObjectRecord12);
                    if (bl.bl_log(walk.page()) != kOk) return kNoCatalogue;
                    if (++errors > kMaxRecordErrors) {
                        LogAssertion(sites::kTooManyErrors12);
                        return kFailed;
                    }
                }
                if (!go_on) break;
            }
        } catch (...) {
            log.Error("Trap in gettind Sysobjects");
            log.ErrorNumber("k=", walk.page());
            break;
        }
    }
    return walk.stop() == ChainStop::kCancelled ? kCancelled : kOk;
}

bool VRNParser12::DecodeObjectRecord(const RecordCursor &record) {
    Logger &log = TheLogger();
    const uint8_t *rec = record.record();
    const int firoff = bl.firoff;
    // The fixed fields must lie inside the record area.
    if (!record.InArea(0, kObjectFixedPart)) {
        log.Info("Bad rec_len");
        return false;
    }
    SysobjEntry &e = pSysobj[iSysobj];
    e.first_field = -1;
    e.id = ReadInt32(rec + 4);
    e.type = static_cast<char>(rec[64]);
    e.rec_len = static_cast<int16_t>(record.length());
    Trace("pSysobj[iSysobj].id", e.id);
    Trace("pSysobj[iSysobj].type", e.type);
    Trace("pSysobj[iSysobj].rec_len", e.rec_len);

    const int name_len = e.rec_len - firoff - 5;
    Trace("pSysobj[iSysobj].name_len", name_len);
    if (name_len < 0 || name_len >= e.rec_len || name_len > kMaxObjectName) {
        log.Info("Bad name_len");
        return false;
    }
    // The name ends 3 bytes before the record does, inside the area.
    e.name_len = name_len;
    e.first_block = 0;
    std::memcpy(e.name, rec + firoff + 2, static_cast<size_t>(name_len));
    e.name[name_len] = '\0';
    log.InfoText("Table name:", e.name);
    log.InfoNumber("Table ID:", e.id);
    if (std::strcmp(e.name, "LANCBANC_DET") == 0) tracing = true;

    ++iSysobj;
    Trace("iSysobj:", static_cast<long>(iSysobj));
    if (iSysobj >= this_obj) {
        this_obj += kSysobjStep;
        pSysobj.resize(this_obj);
    }
    return true;
}

// ------------------------------------------------------------------ phase 3

int VRNParser12::ReadDatabaseList(std::vector<DatabaseEntry> &databases, uint32_t &count) {
    RecordLayout layout;
    layout.length_at = kDatabaseLengthAt;
    return ReadDatabaseRecords(layout, sites::kPrepare12, databases, count,
                               [&](const RecordCursor &records, DatabaseEntry &e) {
        const uint8_t *rec = records.record();
        e.row = static_cast<int8_t>(rec[1]);
        e.dbid = ReadInt16(rec + 2);
        e.rec_len = static_cast<int16_t>(records.length());
        const int name_len = e.rec_len - bl.firoff - 8;
        if (name_len < 0 || name_len > kMaxDatabaseName || kDatabaseFixedPart + name_len > e.rec_len) {
            TheLogger().InfoNumber("Bad name_len", name_len);
            return DatabaseRecord::kEndOfPage;
        }
        e.name_len = name_len;
        std::memcpy(e.name, rec + kDatabaseFixedPart, static_cast<size_t>(name_len));
        e.name[name_len] = '\0';
        return DatabaseRecord::kKeep;
    });
}

// ------------------------------------------------------------------ usage and devices

void VRNParser12::LocateDatabases(std::vector<DatabaseEntry> &databases, size_t listed) {
    int low = 0, high = 0;
    FindMasterDevice(&low, &high);
    start_page_limit = static_cast<uint32_t>(high);
    // One walk over the usage chain for all databases: the smallest start
    // page and the last size of every database id.
    struct Usage {
        int32_t size = 0;
        int32_t start_page = INT32_MAX;
    };
    std::unordered_map<int16_t, Usage> usage;
    try {
        WalkUsageRecords([&](const uint8_t *rec) {
            Usage &u = usage[ReadInt16(rec + 2)];
            u.size = ReadInt32(rec + 12);
            u.start_page = std::min(u.start_page, ReadInt32(rec + 16));
        });
    } catch (...) {
        LogAssertion(sites::kUsageRecords12);
    }
    for (size_t i = 0; i < listed && i < databases.size(); ++i) {
        DatabaseEntry &entry = databases[i];
        entry.usage_size = -1;
        const auto found = usage.find(entry.dbid);
        if (found == usage.end()) continue;
        entry.usage_size = found->second.size;
        entry.start_page = found->second.start_page;
    }
}

bool VRNParser12::WalkUsageRecords(const std::function<void(const uint8_t *record)> &visit) {
    const int32_t first = FindChainStart(kUsageObject);
    if (first == 0) return false;
    // Usage records fill as many pages as the databases need (a server of
    // thirty databases in three pieces each reaches a second page): the
    // whole chain is read, as far as it stays with the usage object.
    PageChain walk(bl, first, "the usage records", VRN_bl_count);
    while (walk.Next()) {
        if (bl.type != kUsageObject) {
            TheLogger().ErrorFormat("Walk of the usage records stops at page %ld: it belongs to object %ld",
                                    static_cast<long>(walk.page()), static_cast<long>(bl.type));
            break;
        }
        RecordLayout layout;
        layout.length_at = bl.firoff;
        RecordCursor records(bl.data.data(), bl.RecordAreaLength(), walk.page(), layout, "the usage records");
        while (records.Next() && records.InArea(0, kUsageFixedPart)) visit(records.record());
    }
    return true;
}

int VRNParser12::FindDatabaseUsage(DatabaseEntry &entry) {
    try {
        int32_t smallest = INT32_MAX;
        bool matched = false;
        WalkUsageRecords([&](const uint8_t *rec) {
            if (ReadInt16(rec + 2) != entry.dbid) return;
            entry.usage_size = ReadInt32(rec + 12);
            smallest = std::min(smallest, ReadInt32(rec + 16));
            entry.start_page = smallest;
            matched = true;
        });
        return matched ? 1 : 0;
    } catch (...) {
        LogAssertion(sites::kFindDatabaseUsage12);
        return 0;
    }
}

int VRNParser12::FindMasterDevice(int *low, int *high) {
    int ignored_low = 0, ignored_high = 0;
    if (low == nullptr) low = &ignored_low;
    if (high == nullptr) high = &ignored_high;
    *low = 0;
    *high = 0;
    try {
        const int32_t b = FindChainStart(kDeviceObject);
        if (b == 0 || ReadPage(b) != kOk) return 0;
        RecordLayout layout;
        layout.length_at = bl.firoff;
        layout.min_length = kDeviceNameStart;
        RecordCursor records(bl.data.data(), bl.RecordAreaLength(), b, layout, "the device records");
        while (records.Next()) {
            const uint8_t *rec = records.record();
            const int rec_len = records.length();
            // The name ends where the byte before the last says.
            const int name_end = rec[rec_len - 2];
            if (name_end - kDeviceNameStart <= 0) return 0;
            if (name_end <= rec_len && name_end - kDeviceNameStart >= 6 &&
                std::memcmp(rec + kDeviceNameStart, "master", 6) == 0) {
                *low = ReadInt32(rec + 4);
                *high = ReadInt32(rec + 8);
                return 1;
            }
            if (name_end > rec_len) TheLogger().InfoNumber("Bad name_len", name_end - kDeviceNameStart);
        }
        return 0;
    } catch (...) {
        LogAssertion(sites::kFindMasterDevice12);
        return 0;
    }
}
