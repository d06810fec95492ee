// The launch sequence: from the raw command line to the process exit status.
#ifndef LAUNCHER_LAUNCH_SEQUENCE_H
#define LAUNCHER_LAUNCH_SEQUENCE_H

#include <cstdint>
#include <string>

// Run state owned by the launch sequence for the whole run.
extern char *ProgramName;       // the executable's file name (after the last '\\')
extern char *WorkingDirectory;  // the per-run directory, null once removed
extern bool runCleanupHook;     // set just before the normal cleanup

// The lowest Java version the wizard runs on, as the usage texts show it.
extern const char RequiredJavaVersion[];

// Free bytes on the disk of the working directory must cover the payload's
// uncompressed size plus this margin.
extern const int64_t DiskSpaceMargin;

// The "-Djava.class.path=" option: for a development kit its tools.jar and
// classes first, then the application home, then each build-time element
// appended to the home.
std::string ClasspathOption(const char *home, const char *const *elements, int count,
                            const char *runtimePath, bool isJdk);

// The free bytes available to this user on the disk of `directory`. False
// when the system cannot tell.
bool FreeBytesAvailable(const char *directory, uint64_t *available);

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
