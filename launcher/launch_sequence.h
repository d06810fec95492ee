// The launch sequence: from the raw command line to the process exit status.
#ifndef LAUNCHER_LAUNCH_SEQUENCE_H
#define LAUNCHER_LAUNCH_SEQUENCE_H

#include <cstdint>

// Free bytes on the disk of the working directory must cover the payload's
// uncompressed size plus this margin.
extern const int64_t DiskSpaceMargin;

// Runs one launch with the program's argument vector (argv[0] is the program
// name as invoked) and returns the process exit status. The run's record
// (launcher/run_state.h), a local of this function, is filled as the steps
// go and handed to each of them: the executable and its file name, the
// lock, the command line, the working directory, the disk space, the
// runtime, the extraction, the Java options, the wizard and the cleanup. A failing step has reported why, and the run ends with status 1
// without the cleanup.
int _main(int argc, char **argv);

#endif
