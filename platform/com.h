// COM initialisation of the calling thread. The library does this while it
// is loaded; systems without COM have nothing to do.
#pragma once

namespace platform {

// True when COM is initialised for the calling thread afterwards (also when
// it already was); then uninitialiseCom must balance it. False on systems
// without COM and on failure.
bool initialiseCom();
void uninitialiseCom();

} // namespace platform
