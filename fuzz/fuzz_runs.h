// One run of each fuzz target on one input: the fuzz targets call these,
// and the test that replays the fuzzers' findings (tests/data/fuzz) calls
// them the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/row_fuzz_input.h"

namespace fuzzruns {

// An input that starts with kTemplateMagic, a 4-byte little-endian length
// N and N bytes holds a description file (int0.ini) before the dump: the
// recovery finds it beside the dump and runs in template mode.
constexpr char kTemplateMagic[] = "VRNTPL";
constexpr size_t kTemplateMagicSize = sizeof kTemplateMagic - 1;

// An input made of the description file `ini` and the dump `dump`.
std::vector<uint8_t> WithTemplate(const std::string &ini, const std::vector<uint8_t> &dump);

// A whole recovery of `size` bytes served from memory, as FileRecover runs
// it after making the output folder: into `output_folder` (which exists),
// the dump's folder being `source_folder` (ending with a separator, where
// template mode looks for an int0.ini). An input with a description file
// (above) has it written there for the run and removed after it. Returns
// the driver's result.
int RecoverFromMemory(const uint8_t *data, size_t size, const std::string &output_folder,
                      const std::string &source_folder);

// What lies in `root` outside `output_subfolder` and `source_subfolder`
// (relative paths, folders ending in '/'), and anything in the source
// folder: what a recovery wrote where it must not.
std::vector<std::string> WrittenOutside(const std::string &root, const std::string &output_subfolder,
                                        const std::string &source_subfolder);

// The input's table rows cut into INSERT batches page by page along its
// data chain, as the data scripts are written. False when the walk took
// more steps than the dump has pages (a walk that does not end).
bool DecodeRows(const RowInput &input);

// Every value writer over slices of `bytes`, for columns with and without
// NULL.
void WriteEveryValue(const std::vector<uint8_t> &bytes);

} // namespace fuzzruns
