// Dumps this library cannot read, recognised by their first bytes so that
// they are named rather than reported as holding no catalogue.
#pragma once

#include "platform/platform.h"

enum class DumpKind {
    kPlain,      // pages as this library reads them (or not recognisable at all)
    kCompressed, // a gzip or zlib stream
    kBigEndian,  // page headers consistent only when read big-endian
};

DumpKind SniffDump(platform::RandomAccessFile &dump);
