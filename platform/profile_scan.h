// One pass over a profile file ("[section]" lines, "key=value" lines),
// for a reader that keeps only what it needs of a large file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace platform {

// The leading decimal integer of a profile value as readProfileInt reads it.
int profileValueAsInt(const std::string &value);

// Reads a profile file once from start to end, a buffer at a time, without
// holding it: every "[section]" line goes to `section` (the name trimmed),
// every "key=value" line to `key` (the key trimmed, the value trimmed and
// one pair of surrounding quotes removed), in file order, repeats included.
// Comment lines (";") and other lines are passed over; a line is read up to
// its first 4096 bytes. kTooLarge when the file holds more than `maxBytes`.
enum class ProfileScan { kRead, kTooLarge };
ProfileScan scanProfileFile(RandomAccessFile &file, uint64_t maxBytes,
                            const std::function<void(const std::string &name)> &section,
                            const std::function<void(const std::string &key, const std::string &value)> &key);

} // namespace platform
