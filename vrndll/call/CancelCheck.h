// The question every read of the dump asks: may the work go on?
//
// A reader is handed its check; an empty check never stops. The library's
// parsers are handed HostCancelCheck(), the host's cancel flag; a fuzzer or
// a benchmark hands its own, or none, and needs no host.
#pragma once

#include <functional>

// True to go on, false to stop (the reader then returns -1000).
using CancelCheck = std::function<bool()>;

// Asks the library's host interaction (SA_interractions::MayContinue).
CancelCheck HostCancelCheck();
