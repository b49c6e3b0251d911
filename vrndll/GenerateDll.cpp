// GenerateDll: the folder, commit.bat and table scripts of one database.
#include <algorithm>
#include <cstring>

#include "Common/logger/logger.h"
#include "vrndll/VRNRecover.h"

namespace {

const char kSource[] = "vrndll/VRNRecover";

bool IsStop(int rc) { return rc == -1000 || rc == -5 || rc == -2; }

} // namespace

int VRNRecover::ReadDetailCatalogues() {
    VRNParser &p = *parser;
    int (VRNParser::*const steps12[])() = {&VRNParser::GetCol, &VRNParser::GetIndex,
                                           &VRNParser::GetFkey};
    int (VRNParser::*const steps15[])() = {&VRNParser::GetFieldEx, &VRNParser::GetIndexEx,
                                           &VRNParser::GetFkeyEx};
    for (auto step : format == 1 ? steps15 : steps12) {
        const int rc = (p.*step)();
        if (rc == -1000 || rc == -2) return rc;
    }
    return 0;
}

int VRNRecover::WriteTableScript(uint32_t j) {
    const SysobjEntry &table = parser->pSysobj[j];
    const std::string name(table.name, strnlen(table.name, sizeof table.name));
    const int rc = outfiles.OpenScript(name.c_str(), 0);
    if (IsStop(rc)) return rc;
    // The CREATE TABLE statement and the table's index and key statements
    // are written here once the column catalogue is decoded.
    return 0;
}

int VRNRecover::GenerateDll(const char *database_name, int template_flag) {
    try {
        TheLogger().Info("Starting Generete Dll");
        // A failure shows up when the header is written.
        outfiles.CreateBatFile(database_name);

        int rc;
        if (template_flag == 0) {
            rc = ReadDetailCatalogues();
            if (rc == -1000 || rc == -2) return rc;
        }
        rc = outfiles.WriteBatText(BatHeader);
        if (IsStop(rc)) return rc;

        const uint32_t objects =
            std::min<uint32_t>(parser->iSysobj, static_cast<uint32_t>(parser->pSysobj.size()));
        for (uint32_t j = 0; j < objects; ++j) {
            if (!IsScriptedTable(parser->pSysobj[j])) continue;
            rc = WriteTableScript(j);
            if (IsStop(rc)) return rc;
        }
        return 0;
    } catch (...) {
        TheLogger().AssertFailed("!\"Error in GenerateDll\"", kSource, 417);
        return -2;
    }
}
