#include "vrndll/catalogue/ParserFactory.h"

#include "vrndll/VRNParser12.h"
#include "vrndll/VRNParser15.h"

DumpFormat DetectDumpFormat(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb) {
    VRNParser15 probe(hFile, kb, file_size, base_mb);
    return probe.DetectFormat(0) == 1 ? DumpFormat::k15 : DumpFormat::k12;
}

std::unique_ptr<VRNParser> MakeParser(DumpFormat format, platform::RandomAccessFile *hFile, int kb,
                                      int64_t file_size, int base_mb) {
    if (format == DumpFormat::k15) return std::make_unique<VRNParser15>(hFile, kb, file_size, base_mb);
    return std::make_unique<VRNParser12>(hFile, kb, file_size, base_mb);
}

std::unique_ptr<VRNParser> OpenParser(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb) {
    return MakeParser(DetectDumpFormat(hFile, kb, file_size, base_mb), hFile, kb, file_size, base_mb);
}
