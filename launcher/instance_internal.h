// The instance lock's decision, kept apart for the tests.
#ifndef LAUNCHER_INSTANCE_INTERNAL_H
#define LAUNCHER_INSTANCE_INTERNAL_H

#include <windows.h>

// True when LockFile's failure `lockError` (GetLastError) means that another
// process holds the byte: only a lock violation does. Any other failure
// (a file system without byte-range locks) lets the run go on unlocked.
bool LockHeldByAnotherInstance(DWORD lockError);

#endif
