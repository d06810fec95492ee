// Cleanup and exit: removing the per-run working directory after a normal run
// and after a crash, and running the upgrade batch file the wizard can ask for.
//
// Nothing here reports an error or changes the exit status: whatever cannot be
// removed (an open or read-only file) stays behind with every directory above
// it.
#ifndef LAUNCHER_CLEANUP_H
#define LAUNCHER_CLEANUP_H

#include "base/trace.h"

#include <windows.h>

// The cleanup that ends a run: status line "performing_cleanup", leaves the
// current directory (the application home) for its parent, runs the product
// hook Cleanup() when runCleanupHook is set, then DeleteWorkingDirectory().
// The cleanup runs once per run, here or in HandleException, whichever comes
// first; a call on another thread while it runs waits until it is done.
void PrepareToExit();

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

// Removes WorkingDirectory with everything in it (workers as many as
// processors, at most kMaxWorkers, delete the files), frees the path and
// sets it to null; the run's handle on it is closed first, and the run's
// trace says whether the directory went. With WorkingDirectory null it does
// nothing, so a second call (or a fault raised while the first is still
// removing) removes nothing.
void DeleteWorkingDirectory();

// Removes `path`: a file, or a directory with everything below it (bottom-up,
// the directory itself last; at any depth). `keep` is null or a null-terminated list of
// paths that survive, compared exactly. A null or relative path, or one whose
// last component is "." or "..", is left alone. A path ending with a backslash
// is removed as the same path without it. A directory junction or symbolic
// link is removed itself and never followed, so nothing outside `path` is
// touched, even when a name is swapped for a link while the removal runs; a path whose attributes cannot be read is left alone. Allocation
// failures skip the entry concerned; this never ends the process.
// `workers` threads (0: none) delete the files while the walk goes on; the
// directories then go bottom-up once their files are gone, with the same
// result as the walk alone. `trace` gets every file or directory that could
// not be removed.
void DeleteFilesAndDirectories(const char *path, const char *const *keep, int workers = 0,
                               Trace &trace = NoTrace());

// Removes the directory `directory` holds (opened with DELETE and
// FILE_LIST_DIRECTORY as the directory itself, not through a link; the
// handle is taken and closed), named `path` for the trace, with everything
// in it, as DeleteFilesAndDirectories removes a directory. `stopRequested`,
// when given, is asked before each entry: once it says yes, no further entry
// is started and what is left stays (the directory with it), untraced.
void DeleteHeldDirectory(HANDLE directory, const char *path, int workers, Trace &trace,
                         bool (*stopRequested)() = nullptr);

// Runs `commandLine` (typically the quoted path of a batch file) with the
// launcher's environment and current directory, waits for it without a time
// limit and returns its exit code; 1 when nothing could be started.
int InvokeUpgradeTool(const char *commandLine);

#endif
