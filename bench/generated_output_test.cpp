// Output stability of generated dumps: a mix of tables large enough for many
// numbered scripts, at the smallest and the largest block size, recovered
// through the built library; every output file's size and hash compared with
// a stored listing. A change meant to keep the output keeps this green; one
// meant to change it rewrites the listing (VRN_WRITE_LISTING=<path>). Each
// dump is also recovered on four threads, which must write the same files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/dump_generator.h"
#include "platform/platform.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

namespace {

const char kMix[] = R"(
seed 5
database master 1 0
database data 5 2
table narrow 30000 int smallint tinyint bit
table orders 6000 int int datetime money decimal(10,2)?0.3 varchar(40)?0.2 char(8)
table customers 4000 int varchar(40) varchar(30)?0.3 nvarchar(20)? bit datetime?
table measures 5000 int float real numeric(18,4) smallmoney smalldatetime
table wide 800 int char(200) char(120) binary(32) numeric(30,6) datetime
table notes 300 int text?0.3 image?0.7 varchar(20)
rows_per_page 3
)";

void VRN_CDECL NoDiag(const char *, uintptr_t) {}
void VRN_CDECL NoBar(const char *, int, uintptr_t) {}

uint64_t Fnv1a(const std::string &bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// One line per file below the one folder made in `target`: path, size,
// hash. A file that holds something but does not end with a line break is
// added to `unterminated`.
std::string Files(const std::string &target, const std::string &label, std::vector<std::string> &unterminated) {
    std::string listing;
    for (const std::string &entry : testsupport::ListTree(target)) {
        const size_t slash = entry.find('/');
        const std::string below = slash == std::string::npos ? std::string() : entry.substr(slash + 1);
        if (below.empty() || entry.back() == '/') continue;
        const std::string text = testsupport::ReadFileText(testsupport::JoinPath(target, entry));
        if (!text.empty() && text.back() != '\n') unterminated.push_back(label + " " + below);
        char line[64];
        std::snprintf(line, sizeof line, " %zu %016llx", text.size(), static_cast<unsigned long long>(Fnv1a(text)));
        listing += "  " + below + line + "\n";
    }
    return listing;
}

} // namespace

TEST(GeneratedOutput, RecoveriesMatchTheStoredListing) {
    const char *expected_path = std::getenv("VRN_GENERATED_LISTING");
    ASSERT_NE(expected_path, nullptr);
    testsupport::LoadedVrndll library;
    ASSERT_TRUE(library.loaded());

    std::string listing;
    std::vector<std::string> unterminated; // files that hold something but end without a line break
    for (int kb : {2, 16}) {
        std::istringstream in(kMix);
        benchgen::Description d;
        std::string error;
        ASSERT_TRUE(benchgen::ParseDescription(in, d, error)) << error;
        d.kb = kb;
        testsupport::TempFolder scratch("generated_output");
        const std::string dump = scratch / "mix.dmp";
        benchgen::Written written;
        ASSERT_TRUE(benchgen::WriteDump(d, dump, written, error)) << error;
        const std::string target = scratch / "target";
        platform::createDirectory(target);
        const int rc = library.file_recover(dump.c_str(), target.c_str(), 0, NoDiag, NoBar, 0,
                                            (scratch / "recovery.log").c_str());
        const std::string files = Files(target, std::to_string(kb) + "k", unterminated);
        listing += std::to_string(kb) + "k " + std::to_string(rc) + "\n" + files;

        const std::string target4 = scratch / "target4";
        platform::createDirectory(target4);
        VrnOptions o;
        std::memset(&o, 0, sizeof o);
        o.size = sizeof o;
        o.target_directory = target4.c_str();
        const std::string log4 = scratch / "recovery4.log";
        o.log_file = log4.c_str();
        o.threads = 4;
        VrnReport report;
        std::memset(&report, 0, sizeof report);
        report.size = sizeof report;
        EXPECT_EQ(library.file_recover_ex(dump.c_str(), &o, &report), VRN_STATUS_OK);
        EXPECT_EQ(Files(target4, std::to_string(kb) + "k", unterminated), files) << kb << "k on four threads";
    }
    EXPECT_EQ(unterminated, std::vector<std::string>());
    if (const char *write = std::getenv("VRN_WRITE_LISTING")) {
        std::ofstream(write, std::ios::binary) << listing;
        return;
    }
    const std::string expected = testsupport::ReadFileText(expected_path);
    ASSERT_FALSE(expected.empty()) << expected_path;
    EXPECT_EQ(expected, listing);
}
