// libFuzzer target: the row decoder and the value writers alone.
//
// The input (tests/support/row_fuzz_input.h) names a table's columns and
// holds the pages of one database from page 1 on. The parser of the
// generation the input names walks the table's data chain from its first
// page and cuts every page's rows into INSERT batches, as the data scripts
// are written; the walk must end within one step per page of the dump.
// Then every value writer reads slices of the page bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Common/logger/logger.h"
#include "fuzz/fuzz_runs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The log as in a recovery, at its usual level, to no file.
    static const bool logging = [] {
        TheLogger().setThreshold(LOG_INFO);
        TheLogger().SetLogFile("/dev/null");
        TheLogger().EnableLog();
        return true;
    }();
    (void)logging;
    RowInput input;
    if (!DecodeRowInput(data, size, input)) return 0;
    if (!fuzzruns::DecodeRows(input)) {
        std::fprintf(stderr, "row_fuzzer: the data chain walk did not end\n");
        std::abort();
    }
    fuzzruns::WriteEveryValue(input.pages);
    return 0;
}
