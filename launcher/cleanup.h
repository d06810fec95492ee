// Cleanup and exit: removing the per-run working directory after a normal run
// and after a crash.
//
// Nothing here reports an error or changes the exit status: whatever cannot be
// removed (an open or read-only file) stays behind with every directory above
// it.
#ifndef LAUNCHER_CLEANUP_H
#define LAUNCHER_CLEANUP_H

#include <windows.h>

struct RunState;

// The cleanup that ends `run`: status line "performing_cleanup", leaves the
// current directory (the application home) for its parent, runs the product
// hook Cleanup() when run.runCleanupHook is set, then
// DeleteWorkingDirectory(). The cleanup runs once per run, here or in
// HandleException, whichever comes first; a call on another thread while it
// runs waits until it is done.
void PrepareToExit(RunState &run);

// Makes HandleException the process's unhandled-exception filter, cleaning
// up after `run`, which must outlive it; null takes the filter away again
// (before the record goes).
void InstallCrashCleanup(RunState *run);

// The process's unhandled-exception filter. Any exception but a breakpoint
// (0x80000003) runs the cleanup of PrepareToExit, unless it has run or is
// running, but removes the working directory without freeing its path or
// clearing it: another thread may still be using the text. It starts no
// thread and no window (the status line goes only where it goes without
// one), removes on the faulting thread alone, leaves the working directory
// to a wizard that still runs, and waits for a cleanup under way on another
// thread a few seconds at most. Always returns 0
// (EXCEPTION_CONTINUE_SEARCH) so that the system's default handling ends the
// process.
LONG WINAPI HandleException(EXCEPTION_POINTERS *info);

// Removes run.WorkingDirectory with everything in it (workers as many as
// processors, at most kMaxWorkers, delete the files), frees the path and
// sets it to null; the run's handle on it is closed first, and the run's
// trace says whether the directory went. With WorkingDirectory null it does
// nothing, so a second call (or a fault raised while the first is still
// removing) removes nothing.
void DeleteWorkingDirectory(RunState &run);

#endif
