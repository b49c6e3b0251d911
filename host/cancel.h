// Ctrl-C during a recovery: the first press asks the library to stop
// cleanly, the second ends the process at once.
#pragma once

// The flag handed to the library with SetBreakFlag; 1 means stop.
bool *CancelFlag();
// True when the user asked to stop since the last ArmCancel.
bool CancelRequested();
// Clears the flag and installs the Ctrl-C handler.
void ArmCancel();
// Restores the default Ctrl-C handling.
void DisarmCancel();
