// The removal of a directory tree, at any depth, that follows no link: the
// run's working directory (launcher/cleanup.h) and the directories earlier
// runs left (launcher/working_directory.h).
#ifndef LAUNCHER_TREE_REMOVAL_H
#define LAUNCHER_TREE_REMOVAL_H

#include "base/trace.h"

#include <windows.h>

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

#endif
