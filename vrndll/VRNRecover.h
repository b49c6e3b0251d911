// The recovery driver: one recovery of one dump file, database by database.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vrndll/VRNOutFiles.h"
#include "vrndll/VRNParser.h"

class VRNRecover {
public:
    // hFile: the open dump (borrowed); kb: block size in KiB (re-detected);
    // size_low/size_high: the dump's size; base_mb: start of the first
    // database; target_folder: the dated output folder; source_folder: the
    // dump's folder, ending with a separator.
    VRNRecover(platform::RandomAccessFile *hFile, int kb, uint32_t size_low, int base_mb,
               const char *target_folder, uint32_t size_low_again, uint32_t size_high,
               const char *source_folder);
    ~VRNRecover();
    VRNRecover(const VRNRecover &) = delete;
    VRNRecover &operator=(const VRNRecover &) = delete;

    // The whole recovery: 0, -1000, -5, -3 or -2.
    int Recover();
};
