// The inputs the fuzz targets found faults with (tests/data/fuzz/recovery
// and tests/data/fuzz/row), replayed as the targets run them: each must
// end in bounded time, and a recovery must write only into its output
// folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_runs.h"
#include "platform/platform.h"
#include "tests/support/temp_folder.h"
#include "tests/unit/parser_test_support.h"

namespace {

struct Finding {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<Finding> Findings(const std::string &target) {
    const std::string folder = testsupport::JoinPath(testsupport::JoinPath(VRN_TEST_DATA, "fuzz"), target);
    std::vector<platform::DirectoryEntry> entries;
    std::vector<Finding> found;
    if (!platform::listDirectory(folder, "*", entries)) return found;
    for (const auto &e : entries) {
        if (e.isDirectory || e.name == "README") continue;
        const std::string text = testsupport::ReadFileText(testsupport::JoinPath(folder, e.name));
        found.push_back({e.name, std::vector<uint8_t>(text.begin(), text.end())});
    }
    return found;
}

} // namespace

TEST(FuzzFindings, EveryRecoveryFindingEndsAndWritesOnlyIntoItsOutputFolder) {
    for (const Finding &f : Findings("recovery")) {
        SCOPED_TRACE(f.name);
        testsupport::TempFolder root("fuzz_finding");
        ASSERT_TRUE(platform::createDirectory(root / "out") && platform::createDirectory(root / "source"));
        {
            parsertest::TimeBound bound(20);
            const int rc = fuzzruns::RecoverFromMemory(f.bytes.data(), f.bytes.size(), root / "out",
                                                       root / "source" + platform::kPathSeparator);
            EXPECT_TRUE(rc == 0 || rc == -2 || rc == -3 || rc == -5) << rc;
        }
        EXPECT_EQ(fuzzruns::WrittenOutside(root.path(), "out", "source"), std::vector<std::string>());
    }
}

TEST(FuzzFindings, EveryRowFindingIsDecodedToTheEndOfItsChain) {
    for (const Finding &f : Findings("row")) {
        SCOPED_TRACE(f.name);
        RowInput input;
        ASSERT_TRUE(DecodeRowInput(f.bytes.data(), f.bytes.size(), input));
        parsertest::TimeBound bound(20);
        EXPECT_TRUE(fuzzruns::DecodeRows(input));
        fuzzruns::WriteEveryValue(input.pages);
    }
}
