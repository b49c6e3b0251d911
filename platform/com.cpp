#include "platform/com.h"

#if defined(_WIN32)
#include <objbase.h>
#endif

namespace platform {

#if defined(_WIN32)

bool initialiseCom() {
    const HRESULT result = CoInitialize(nullptr);
    return result == S_OK || result == S_FALSE;
}

void uninitialiseCom() { CoUninitialize(); }

#else

bool initialiseCom() { return false; }

void uninitialiseCom() {}

#endif

} // namespace platform
