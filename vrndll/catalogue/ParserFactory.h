// The parser of a dump: its generation detected, the matching parser built.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "vrndll/pages/DumpFormat.h"
#include "vrndll/VRNParser.h"

// The generation of the dump behind `hFile` (borrowed): format 15 when a
// throw-away format-15 parser's DetectFormat says so, else format 12.
DumpFormat DetectDumpFormat(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb);

// A parser of `format` on the dump (kb, file_size, base_mb as the parser
// constructors take them).
std::unique_ptr<VRNParser> MakeParser(DumpFormat format, platform::RandomAccessFile *hFile, int kb,
                                      int64_t file_size, int base_mb);

// DetectDumpFormat, then MakeParser.
std::unique_ptr<VRNParser> OpenParser(platform::RandomAccessFile *hFile, int kb, int64_t file_size, int base_mb);
