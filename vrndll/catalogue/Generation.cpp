#include "vrndll/catalogue/Generation.h"

namespace {

const Generation kFormat12{DumpFormat::k12, false, 5, false, 4 /* varbinary */, false, false,
                           sites::kGetOneString12, sites::kPrintOneString12, sites::kDataBlockRead12,
                           sites::kParser12Destructor};
const Generation kFormat15{DumpFormat::k15, true, 8, true, 80 /* timestamp */, true, true,
                           sites::kGetOneString15, sites::kPrintOneString15, sites::kDataBlockRead15,
                           sites::kParser15Destructor};

} // namespace

const Generation &GenerationOf(DumpFormat format) { return format == DumpFormat::k15 ? kFormat15 : kFormat12; }
