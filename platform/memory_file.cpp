// A dump held in memory, for tests and fuzzers.
#include "platform/platform.h"

#include <cstring>

namespace platform {

size_t MemoryFile::readAt(uint64_t offset, void *buffer, size_t count) {
    if (buffer == nullptr || offset >= bytes_.size())
        return 0;
    const uint64_t available = bytes_.size() - offset;
    const size_t n = available < count ? static_cast<size_t>(available) : count;
    std::memcpy(buffer, bytes_.data() + offset, n);
    return n;
}

} // namespace platform
