// The upgrade the wizard can ask for: exit status 10 runs UpgradeInvoker.bat
// from the temporary directory, then deletes it.
#ifndef LAUNCHER_UPGRADE_H
#define LAUNCHER_UPGRADE_H

#include "launcher/run_state.h"

// The batch file's name in the temporary directory.
extern const char UpgradeBatchName[];

// Runs the upgrade batch file of `run`'s temporary directory, when this
// run's wizard could have written it, and deletes it. The file is opened
// and held first, sharing only reading, so that nobody can change, replace
// or rename it from then on; it must be a plain file (no link), owned by
// the run (OwnershipOf with the run's account: for an elevated run that is
// not the user's unelevated side) and changeable by no other account. What
// runs is a copy of exactly the bytes checked, written into the working
// directory, never the shared file, with the application home as the
// current directory; the file checked is then deleted through the handle.
// A file that is missing, cannot be held (another process has it open for
// writing) or fails a check is neither run nor deleted; the trace says
// why. Returns the batch file's exit status, or -1 when it did not run.
int RunUpgrade(RunState &run);

// Runs `commandLine` (typically the quoted path of a batch file) with the
// launcher's environment and current directory, waits for it without a time
// limit and returns its exit code; 1 when nothing could be started.
int InvokeUpgradeTool(const char *commandLine);

#endif
