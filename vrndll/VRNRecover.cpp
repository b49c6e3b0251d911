#include "vrndll/VRNRecover.h"

#include <algorithm>
#include <exception>

#include "Common/logger/logger.h"
#include "vrndll/SA_interractions.h"

namespace {

const char kSource[] = "vrndll/VRNRecover";

bool IsStop(int rc) { return rc == -1000 || rc == -5 || rc == -2; }

} // namespace

VRNRecover::VRNRecover(platform::RandomAccessFile *hFile, int kb, uint32_t size_low, int base_mb,
                       const char *target, uint32_t size_low_again, uint32_t size_high,
                       const char *source) {
    dump_size = static_cast<int64_t>((static_cast<uint64_t>(size_high) << 32) | size_low_again);
    Init(target, source);
    (void)hFile;
    (void)kb;
    (void)size_low;
    (void)base_mb;
}

VRNRecover::VRNRecover(std::unique_ptr<VRNParser> injected, int fmt, int64_t size,
                       const char *target, const char *source) {
    dump_size = size;
    Init(target, source);
    parser = std::move(injected);
    format = fmt == 1 ? 1 : 0;
}

void VRNRecover::Init(const char *target, const char *source) {
    fields_scanned = false;
    database_count = 0;
    outfiles.init(target);
    target_folder = target ? target : "";
    source_folder = source ? source : "";
}

VRNRecover::~VRNRecover() {
    try {
        Release();
        parser.reset();
        outfiles.CloseAll();
    } catch (...) {
        TheLogger().AssertFailed("!\"Error in ~VRNRecover\"", kSource, __LINE__);
    }
}

void VRNRecover::Release() {
    if (parser) parser->FreeCatalogue();
    outfiles.CloseAll();
    if (database_count != 0) {
        databases.clear();
        database_count = 0;
    }
}

void VRNRecover::LocateDatabaseUsage() {}

int VRNRecover::Recover() {
    try {
        if (!parser) return -2;
        return RecoverDatabases();
    } catch (...) {
        TheLogger().AssertFailed("!\"Error in Recover\"", kSource, 1374);
        return -2;
    }
}

int VRNRecover::RecoverDatabases() { return 0; }

int VRNRecover::GenerateDll(const char *, int) { return 0; }

int VRNRecover::GenerateData() { return 0; }
