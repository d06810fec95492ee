// The launch sequence: from the raw command line to the process exit status.
#ifndef LAUNCHER_LAUNCH_SEQUENCE_H
#define LAUNCHER_LAUNCH_SEQUENCE_H

// Run state owned by the launch sequence for the whole run.
extern char *ProgramName;       // the executable's file name (after the last '\\')
extern char *WorkingDirectory;  // the per-run directory, null once removed
extern bool runCleanupHook;     // set just before the normal cleanup

// Runs one launch with the program's argument vector (argv[0] is the program
// name as invoked) and returns the process exit status.
int _main(int argc, char **argv);

#endif
