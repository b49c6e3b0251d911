#include "vrndll/call/AssertionSites.h"
#include "vrndll/VRNParser15.h"
#include "vrndll/sql/DateFormat.h"

#include "Common/logger/logger.h"

VRNParser15::VRNParser15(platform::RandomAccessFile *file, int kb, int64_t size, int base_mb)
    : VRNParserCommon(file, kb, size, base_mb, DumpFormat::k15) {}


int VRNParser15::Detect(int start) { return DetectBlockSize(start, false, sites::kDetect15); }
int VRNParser15::FindDatabaseStart(int *mb) { return SeekDatabaseStart(mb, true); }


int VRNParser15::big(int *mb) {
    TheLogger().Info("Parser15::big starts");
    const int rc = SeekDatabaseStart(mb, false);
    if (rc == kOk) TheLogger().Info("Parser15::big ends");
    return rc;
}

int VRNParser15::GetPageWord(int16_t *out) {
    const int rc = ReadPage(24);
    if (rc == kCancelled) return kCancelled;
    if (out != nullptr) *out = ReadInt16(bl.data.data() + 68);
    return 1;
}

int VRNParser15::DetectFormat(int) {
    try {
        Detect(2);
        // A block that is not in the dump, or not read, says nothing.
        auto owner_is = [&](int32_t block, int32_t object) {
            return bl.InDump(block) && bl.GetBlock(block) == kOk && bl.HeaderWhole() && bl.type == object;
        };
        return owner_is(161, kObjectCatalogue) && owner_is(50, kColumnCatalogue) &&
                       owner_is(34, kIndexCatalogue)
                   ? 1
                   : 0;
    } catch (...) {
        return 0;
    }
}

void VRNParser15::LocateDatabases(std::vector<DatabaseEntry> &databases, size_t listed) {
    int32_t page = FindSysobject("sysusages");
    if (page == 0) {
        // The name rows that would name it are lost: the usage rows are
        // found by their owner, as the first page of its chain.
        page = FindChainStart(kUsageObject);
        if (page == 0) return;
        TheLogger().InfoNumber("sysusages not named by the name index; usage rows by their owner from page", page);
    }
    for (size_t i = 0; i < listed && i < databases.size(); ++i) {
        databases[i].usage_size = -1;
        GetDatabaseUsage(page, databases[i]);
    }
}

int VRNParser15::FormatDate(std::string &out, int32_t day) {
    values::FormatDate(out, day);
    return 0;
}

int VRNParser15::FormatTime(std::string &out, int32_t ticks) {
    values::FormatTime(out, ticks);
    return 0;
}
