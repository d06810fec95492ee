// The instance lock and the temporary directory.
//
// A launcher excludes a second start of the same executable file with a
// byte-range lock on byte 0 of that file (no named object, no lock file): the
// system drops the lock with the process, so a crash never leaves a stale
// one. Copies of the launcher in other files are not excluded.
#ifndef LAUNCHER_INSTANCE_H
#define LAUNCHER_INSTANCE_H

#include <string>

struct RunState;

// Opens the program's own file once, for everything the run reads of it
// (the lock, the payload): reading only, sharing only reading, so that
// nobody can write, rename or delete it while the run lasts. The file is
// the one the process's image was mapped from, as the system compares
// mappings: a file put at the program's path after a rename is never taken
// (the renamed one is, by the name the system now gives the mapping, where
// it can be opened). The handle is `run`'s (RunState::instanceLock), never
// closed. False, with `why`, when that file cannot be had.
bool OpenOwnProgramFile(RunState &run, std::string *why);

// Returns when this process holds the lock on its own executable, or when no
// lock could be had (the file cannot be opened (OpenOwnProgramFile), its
// file system takes no byte-range locks). When another process holds it (a lock
// violation), prints "setup_already_started" on the standard error stream
// and ends the process with exit(1).
void ExitIfNotOnlyInstance(RunState &run);

// Releases the lock taken by ExitIfNotOnlyInstance. Registered with atexit
// (which gives it no context: it keeps the locked handle itself); not meant
// to be called directly.
void DeleteLockFile();

// Accepts `path` (never null) as the temporary directory when it names an
// existing directory that may be read and written. It is kept as its full
// path (FullPath: relative, drive-relative "C:tmp" and root-relative "\tmp"
// forms resolved against the current directory now). One trailing backslash is dropped, except from a
// root ("D:\", "\"), whose backslash is part of its meaning. On acceptance
// `run`'s previous directory (RunState::temporaryDirectory) is replaced and
// true returned; on refusal nothing changes.
bool SetTempDir(RunState &run, const char *path);

// `run`'s accepted temporary directory; without one, the system's temporary
// directory, validated by SetTempDir on the first call (as SYSTEM, the
// protected system temporary directory where Windows has one). Null when
// there is none or it is not usable. Owned by the record: do not free.
char *GetTempDir(RunState &run);

#endif
