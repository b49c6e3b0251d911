// The work the library-global objects leave for the first call.
#pragma once

// Starts the logger (LogLevel setting, temporary space, start-up log) and
// initialises COM, once; later calls do nothing. The exports call it before
// anything else, never the loading of the library.
void StartLibrary();
