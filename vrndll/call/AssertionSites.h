// Every place that writes an ASSERT entry to the log, with the expression,
// source and line the entry names.
//
// Support staff and the hosts' own tools search the log for these entries
// by source and line, so each keeps its numbers whatever becomes of the
// code around it: they are written here once and call sites name a site,
// never a number.
#pragma once

#include "Common/logger/logger.h"

struct AssertionSite {
    const char *expression;
    const char *source;
    long line;
};

// Writes the site's ASSERT entry.
inline void LogAssertion(const AssertionSite &site) {
    TheLogger().AssertFailed(site.expression, site.source, site.line);
}

namespace sites {

// ---- the exports and the host side
inline constexpr AssertionSite kRecoverCall{"!\"Error\"", "vrndll/vrndll", 134};
inline constexpr AssertionSite kNoLogFile{"NULL!=logfile", "vrndll/vrndll", 147};
inline constexpr AssertionSite kHostCallback{"!\"Error\"", "vrndll/SA_interractions", 42};

// ---- the driver
inline constexpr AssertionSite kRecover{"!\"Error in Recover\"", "vrndll/VRNRecover", 1374};
inline constexpr AssertionSite kRecoverDestructor{"!\"Error in ~VRNRecover\"", "vrndll/VRNRecover", 57};
inline constexpr AssertionSite kGenerateDll{"!\"Error in GenerateDll\"", "vrndll/VRNRecover", 417};
inline constexpr AssertionSite kPrintIndex{"!\"Error in PrintIndex\"", "vrndll/VRNRecover", 566};
inline constexpr AssertionSite kPrintFkey{"!\"Error in PrintFkey\"", "vrndll/VRNRecover", 698};
inline constexpr AssertionSite kRecoverTableFromField{"!\"Error in RecoverTableFromField\"", "vrndll/VRNRecover", 159};
inline constexpr AssertionSite kGenerateData{"!\"Error in GenerateData\"", "vrndll/VRNRecover", 848};
inline constexpr AssertionSite kWriteForeignKeys{"!\"Error in WriteForeignKeys\"", "vrndll/VRNRecover", 0};
inline constexpr AssertionSite kWriteObjectTexts{"!\"Error in WriteObjectTexts\"", "vrndll/VRNRecover", 0};
inline constexpr AssertionSite kMarkIncomplete{"!\"Error in MarkIncomplete\"", "vrndll/VRNRecover", 0};
inline constexpr AssertionSite kWriteManifest{"!\"Error in WriteManifest\"", "vrndll/VRNRecover", 0};

// ---- the output files
inline constexpr AssertionSite kCreateBatFile{"!\"Cannot create bat file\"", "vrndll/VRNOutFiles", 34};
inline constexpr AssertionSite kCreateScript{"!\"Cannot create output file\"", "vrndll/VRNOutFiles", 88};
inline constexpr AssertionSite kCreateNextScript{"!\"Cannot create output file\"", "vrndll/VRNOutFiles", 116};
inline constexpr AssertionSite kOutputFile{"!\"Error in output file\"", "vrndll/VRNOutFiles", 120};
inline constexpr AssertionSite kWriteScript{"!\"Cannot write to file\"", "vrndll/VRNOutFiles", 136};
inline constexpr AssertionSite kWriteFile{"!\"Error in write_file\"", "vrndll/VRNOutFiles", 156};
inline constexpr AssertionSite kWriteBatFile{"!\"Cannot write to file\"", "vrndll/VRNOutFiles", 194};

// ---- the block reader
inline constexpr AssertionSite kGetBlock{"Error while getting GetBlock", "vrndll/VRNParser", 92};
inline constexpr AssertionSite kGetBlockHeader{"Error while getting GetBlock", "vrndll/VRNParser", 106};
inline constexpr AssertionSite kGetAllBlock{"Error while getting GetAllBlock", "vrndll/VRNParser", 132};
inline constexpr AssertionSite kBlockLog{"Error while bl_log", "vrndll/VRNParser", 155};

// ---- the format-12 parser
inline constexpr AssertionSite kParser12Destructor{"Error in ~VRNParser12()", "vrndll/VRNParser12", 39};
inline constexpr AssertionSite kDetect12{"Error in Detect:", "vrndll/VRNParser12", 131};
inline constexpr AssertionSite kObjectRecord12{"!\"Error in object record\"", "vrndll/VRNParser12", 124};
inline constexpr AssertionSite kTooManyErrors12{"Too many errors", "vrndll/VRNParser12", 882};
inline constexpr AssertionSite kPrepare12{"Error in Prepare:", "vrndll/VRNParser12", 1061};
inline constexpr AssertionSite kDataBlockRead12{"!\"Error in data_blockread\"", "vrndll/VRNParser12", 72};
inline constexpr AssertionSite kUsageRecords12{"!\"Error in FindDatabaseUsage\"", "vrndll/VRNParser12", 227};
inline constexpr AssertionSite kFindDatabaseUsage12{"!\"Error in FindDatabaseUsage\"", "vrndll/VRNParser12", 273};
inline constexpr AssertionSite kFindMasterDevice12{"!\"Error in FindMasterDevice\"", "vrndll/VRNParser12", 307};
inline constexpr AssertionSite kGetCol12{"!\"Error in GetCol\"", "vrndll/VRNParser12", 1247};
inline constexpr AssertionSite kGetIndex12{"!\"Error in GetIndex\"", "vrndll/VRNParser12", 1346};
inline constexpr AssertionSite kGetFkeyRecord12{"!\"Error in GetFkey\"", "vrndll/VRNParser12", 1395};
inline constexpr AssertionSite kGetFkey12{"!\"Error in GetFkey\"", "vrndll/VRNParser12", 1409};
inline constexpr AssertionSite kGetOneView12{"!\"Error in GetOneView\"", "vrndll/VRNParser12", 1461};
inline constexpr AssertionSite kGetOneString12{"!\"Error in GetOneString\"", "vrndll/VRNParser12", 1591};
inline constexpr AssertionSite kPrintOneString12{"!\"Error in PrintOneString\"", "vrndll/VRNParser12", 2367};

// ---- the format-15 parser
inline constexpr AssertionSite kParser15Destructor{"Error in ~VRNParser15()", "vrndll/VRNParser15", 39};
inline constexpr AssertionSite kDetect15{"Error in Detect:", "vrndll/VRNParser15", 174};
inline constexpr AssertionSite kObjectRow15{"!\"Error in object row\"", "vrndll/VRNParser15", 171};
inline constexpr AssertionSite kTooManyErrors15{"Too many errors", "vrndll/VRNParser15", 1159};
inline constexpr AssertionSite kPrepare15{"Error in Prepare:", "vrndll/VRNParser15", 1363};
inline constexpr AssertionSite kDataBlockRead15{"!\"Error in data_blockread\"", "vrndll/VRNParser15", 34};
inline constexpr AssertionSite kFindSysobject15{"!\"Error in FindSysobject\"", "vrndll/VRNParser15", 318};
inline constexpr AssertionSite kGetDatabaseUsage15{"!\"Error in GetDatabaseUsage\"", "vrndll/VRNParser15", 341};
inline constexpr AssertionSite kGetCol15{"!\"Error in GetCol\"", "vrndll/VRNParser15", 1906};
inline constexpr AssertionSite kGetIndex15{"!\"Error in GetIndex\"", "vrndll/VRNParser15", 2233};
inline constexpr AssertionSite kGetFkey15{"!\"Error in GetFkey\"", "vrndll/VRNParser15", 2434};
inline constexpr AssertionSite kGetOneView15{"!\"Error in GetOneView\"", "vrndll/VRNParser15", 2551};
// Format 15 reports an exception while a row is written as the page's.
inline constexpr AssertionSite kGetOneString15{"!\"Error in GetOneString\"", "vrndll/VRNParser15", 2690};
inline constexpr AssertionSite kPrintOneString15{"!\"Error in PrintOneString\"", "vrndll/VRNParser15", 2690};

} // namespace sites
