// The per-run working directory: its name, the handle that shows its run is
// still going, and the sweep of the directories that earlier runs of the
// same program left in the temporary directory.
#ifndef LAUNCHER_WORKING_DIRECTORY_H
#define LAUNCHER_WORKING_DIRECTORY_H

#include "base/file_safety.h"
#include "base/trace.h"

#include <windows.h>
#include <string>

// How many names the working directory may try when the ones before it
// already exist.
constexpr int WorkingDirectoryAttempts = 1000;

// The file that launchers of earlier versions kept inside their working
// directories, held open and denying deletion while their run lasted. This
// version makes none; the sweep still honours one that is held.
extern const char EarlierWorkingDirectoryMarker[];

// The name of the per-run directory for attempt `serial`: in `dir`, beginning
// with `prefix` (the program's file name), followed by a hexadecimal suffix
// made from `unique` (a random number; earlier versions took the process
// id) and `serial`.
std::string WorkingDirectoryName(const std::string &dir, const std::string &prefix,
                                 unsigned long unique, unsigned serial);

// True when `name` (a file name, no directory) is exactly one that
// WorkingDirectoryName gives for `prefix`, some process id and some attempt:
// the same case, no leading zeros, nothing before or after. An empty prefix
// matches nothing.
bool IsWorkingDirectoryName(const std::string &name, const std::string &prefix);

// A number no other process can foresee, from the system's random source.
unsigned long RandomWorkingDirectoryNumber();

// Creates a fresh directory in `dir` named as WorkingDirectoryName names it
// for `prefix`, a number `draw` gives and the attempt, and opens it in the
// same call, without delete sharing; *hold receives that handle, which
// proves to the sweep of other runs that this run is alive until it is
// closed (by the cleanup, or by the system when the process ends). The
// directory gets the protected security descriptor NewPrivateDirectoryDescriptor
// gives `account` (for an elevated run: the administrators' alone, and
// labelled High so that the user's unelevated processes cannot write). A
// name that exists already is never opened: the next attempt draws again.
// Nothing is put inside. `trace` gets the descriptor asked for and the one
// the directory reads back with. Returns the directory's path (MemAlloc'd);
// null when every name tried exists already, or at the first failure of
// another kind.
char *CreateWorkingDirectory(const char *dir, const char *prefix, const RunAccount &account,
                             HANDLE *hold, Trace &trace = NoTrace(),
                             unsigned long (*draw)() = RandomWorkingDirectoryNumber);

// Removes from `dir` the working directories of earlier runs of the program
// named `prefix` whose run is over: named exactly as WorkingDirectoryName
// names them, real directories (a link is never followed), that no live run
// holds (CreateWorkingDirectory's handle, or the held marker file of an
// earlier version). Everything else stays; `trace` gets every directory so
// named, and what became of it. Only directories `account` owns go
// (OwnershipOf). Uses DeleteHeldDirectory. `stopRequested`, when given,
// ends the sweep between files: the rest stays for a later run.
void SweepStaleWorkingDirectories(const char *dir, const char *prefix, const RunAccount &account,
                                  Trace &trace, bool (*stopRequested)() = nullptr);

#endif
