// The launch sequence: from the raw command line to the process exit status.
#ifndef LAUNCHER_LAUNCH_SEQUENCE_H
#define LAUNCHER_LAUNCH_SEQUENCE_H

#include <string>

// Run state owned by the launch sequence for the whole run.
extern char *ProgramName;       // the executable's file name (after the last '\\')
extern char *WorkingDirectory;  // the per-run directory, null once removed
extern bool runCleanupHook;     // set just before the normal cleanup

// The lowest Java version the wizard runs on, as the usage texts show it.
extern const char RequiredJavaVersion[];

// How many names the working directory may try when the ones before it
// already exist.
constexpr int WorkingDirectoryAttempts = 1000;

// The name of the per-run directory for attempt `serial`: in `dir`, beginning
// with `prefix` (the program's file name), followed by a hexadecimal suffix
// made from `unique` (the process id) and `serial`, so that concurrent runs
// and successive attempts get different names.
std::string WorkingDirectoryName(const std::string &dir, const std::string &prefix,
                                 unsigned long unique, unsigned serial);

// Runs one launch with the program's argument vector (argv[0] is the program
// name as invoked) and returns the process exit status.
int _main(int argc, char **argv);

#endif
