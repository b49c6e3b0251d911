// A load script's file keeps only whole text after a cut, whether the text
// after the last whole point is still held or already written out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "vrndll/output/ScriptFile.h"

namespace {

TEST(ScriptFile, ACutKeepsExactlyTheWholeText) {
    const std::string big(ScriptFile::kFlushSize + 10, 'x'); // forces a write before the cut
    struct Case {
        const char *name;
        std::vector<std::string> whole; // each put, then marked whole
        std::string open;               // put after the last mark
    };
    const std::vector<Case> cases = {
        {"open text still held", {"BEGIN;\n", "row 1;\n"}, "row 2"},
        {"open text already written", {"BEGIN;\n"}, big},
        {"whole text already written", {big, "row;\n"}, "half"},
        {"nothing open", {"a;\n"}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempFolder folder("script_file");
        const std::string path = testsupport::JoinPath(folder.path(), "load.sql");
        ScriptFile file;
        ASSERT_TRUE(file.Create(path));
        std::string expected;
        for (const std::string &w : c.whole) {
            file.Put(w);
            file.MarkWhole();
            expected += w;
        }
        file.Put(c.open);
        file.CutBack();
        file.Put("COMMIT;\n");
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(testsupport::ReadFileText(path), expected + "COMMIT;\n");
    }
}

} // namespace
