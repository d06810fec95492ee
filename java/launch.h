// Running the installer wizard in a child Java process.
#ifndef JAVA_LAUNCH_H
#define JAVA_LAUNCH_H

#include "base/trace.h"
#include "java/command_line.h"

// Starts the runtime's java.exe (console output chosen) or javaw.exe with the
// `optionCount` Java options, the wizard's main class and the `argc` wizard
// arguments, each quoted so it arrives as exactly one argument; the child
// inherits PATH with the payload's package directory in front. Waits the
// build's start delay, hides the status window, waits for the child and
// returns its exit code. Returns 1, after printing "setup_no_files" or
// "java_aborted", when the main class file is missing, the executable is not
// readable (both before PATH changes) or the child cannot be started.
// `trace` gets the command line, the new PATH and the exit code, or why
// nothing was started.
//
// `wizard`, when given, is told about the child while it runs: its
// `process` field holds the child's handle from its start until it has
// ended (null otherwise), and a `lend` handle is duplicated into the child,
// inheritable there, so that it stays open as long as the wizard (or a
// process it starts and hands its handles) lives.
struct WizardLink {
    HANDLE lend = nullptr;
    HANDLE volatile process = nullptr;
};
int ExecuteJava(const char *runtimePath, int optionCount, OptionEntry *options, int argc,
                char **argv, Trace &trace = NoTrace(), WizardLink *wizard = nullptr);

#endif
