// The parts of DynamicLibrary that do not depend on the operating system:
// ownership of the handle. Loading, lookup and unloading live in the backends.
#include "platform/platform.h"

namespace platform {

DynamicLibrary::~DynamicLibrary() { unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary &&other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

DynamicLibrary &DynamicLibrary::operator=(DynamicLibrary &&other) noexcept {
    if (this != &other) {
        unload();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

} // namespace platform
