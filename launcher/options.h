// The command line: launcher options, the wizard's arguments, and the ordered
// list of Java VM options.
#ifndef LAUNCHER_OPTIONS_H
#define LAUNCHER_OPTIONS_H

#include "java/command_line.h"
#include "ui/colour_depth.h"

struct RunState;

// The lowest Java version the wizard runs on, as the usage texts show it.
extern const char RequiredJavaVersion[];

// Appends `text` (a fresh MemAlloc'd text the list keeps) to `run`'s option
// list (RunState::OptionList, OptionCount, OptionCapacity). The array starts
// with room for 4 and doubles when full.
void AddOption(RunState &run, char *text);

// Reads the launcher's arguments (*argc, *argv without the program name)
// into `run` (whose javaHome and tmpDir are null). Options are compared
// exactly, case included; a value option takes the next argument whatever it
// looks like.
// True: *argc and *argv now hold the wizard's arguments (a fresh vector
// ending with a null entry); run.javaHome, run.tmpDir, run.consoleMode and
// the flags (debug, noPortCheck, noDomain, passwordVisible, printWizardId)
// are filled. javaHome, the state file and tmpDir are full paths (FullPath:
// resolved against the current directory at parsing time, drive-relative
// "C:x" and root-relative "\x" forms included); tmpDir is the directory
// SetTempDir accepted. With -silent the launcher's own output now goes to
// the console.
// False: the run ends with *exitStatus (0 after -help or -h, 1 after an
// error, which has been reported followed by the usage text, or after a No
// to the colour-depth question); run.javaHome and run.tmpDir are null and
// *argv is null. Arguments after a failing one are not looked at.
bool ParseArguments(RunState &run, int *argc, char ***argv, int *exitStatus);

// The file that -log names in the launcher's arguments (argc, argv without
// the program name), read as ParseArguments reads them (a value option takes
// the next argument; the last -log counts; nothing after -help); null when
// there is none. It is looked for before anything else, so that the log
// holds the whole run; ParseArguments then passes over it.
const char *LogFileArgument(int argc, char **argv);

// Prints the usage text on the standard error stream: "uninstallusage" for
// the uninstaller's main class, "installusage" otherwise, with `run`'s
// ProgramName and the required Java version.
void PrintUsage(const RunState &run);

#endif
