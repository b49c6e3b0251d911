// The column catalogue of a format-12 dump.
#include "vrndll/VRNParser12.h"

int VRNParser12::GetCol() { return VRNParser::GetCol(); }
