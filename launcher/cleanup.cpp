// The end of a run: the cleanup of a normal run, and the same cleanup after a
// crash, from the process's exception filter. Whichever comes first runs it,
// once (RunCleanupOnce).
#include "launcher/cleanup.h"

#include "base/owned.h"
#include "base/path.h"
#include "base/workers.h"
#include "launcher/run_state.h"
#include "launcher/tree_removal.h"
#include "product/product.h"
#include "ui/report.h"

#include <windows.h>

#include <cstdlib>

namespace {

// The run the exception filter cleans up after: published for it alone, as
// the system calls it without context.
RunState *crashedRun;

// Removes the run's working directory `directory` (`workers` as for
// DeleteFilesAndDirectories), and says in the trace whether it went. The
// handle on it, which tells the sweep of later runs that this run is still
// going, is closed first: held open, it would keep the directory from going.
void RemoveWorkingDirectory(RunState &run, const char *directory, int workers)
{
    HANDLE hold = run.workingDirectoryHold;
    run.workingDirectoryHold = nullptr;
    if (hold != nullptr) CloseHandle(hold);
    DeleteFilesAndDirectories(directory, nullptr, workers, run.trace);
    // Asked without throwing: the crash filter comes here too.
    OwnedWideText wide(NewExtendedLengthPath(directory));
    if (wide.valid() && GetFileAttributesW(wide.get()) == INVALID_FILE_ATTRIBUTES)
        run.trace.Line("cleanup: removed %s", directory);
    else
        run.trace.Line("cleanup: %s left behind", directory);
}

} // namespace

void DeleteWorkingDirectory(RunState &run)
{
    // Taken out of the run state before the removal starts, so that a fault
    // during the removal (which runs the exception filter, and so this
    // function, again) finds nothing left to do.
    char *directory = run.WorkingDirectory;
    run.WorkingDirectory = nullptr;
    if (directory == nullptr) return;
    RemoveWorkingDirectory(run, directory, WorkerCount(kMaxWorkers));
    free(directory);
}

namespace {

enum : LONG { CleanupNotStarted = 0, CleanupRunning = 1, CleanupDone = 2 };

// How long a fault waits for a cleanup under way on another thread. A
// fault on one of that cleanup's own workers would otherwise leave both
// waiting for each other for ever.
const DWORD kFaultWaitMs = 5000;

// True while the wizard, or the process the run started as the wizard,
// still runs: its working directory is in use.
bool WizardRunning(const RunState &run)
{
    HANDLE wizard = run.wizard.process;
    return wizard != nullptr && WaitForSingleObject(wizard, 0) == WAIT_TIMEOUT;
}

// The cleanup of the run, run by the first caller only: the normal end of
// the run on the main thread, or the exception filter on whichever thread
// faulted first. A later caller on another thread waits until it is done
// (the process must not end under it), from the filter no longer than
// kFaultWaitMs; one on the same thread (a fault raised by the cleanup
// itself) returns at once. `fromFilter`: no status window is started for
// the status line, the removal runs on this thread alone, the working
// directory stays while the wizard still runs, and its path is not freed,
// because another thread (the main thread, while the status-window thread
// faults) may still be using it; the process is ending.
void RunCleanupOnce(RunState &run, bool fromFilter)
{
    if (InterlockedCompareExchange(&run.cleanupState, CleanupRunning, CleanupNotStarted) !=
        CleanupNotStarted) {
        if (run.cleanupThread == GetCurrentThreadId()) return;
        for (DWORD waited = 0; InterlockedCompareExchange(&run.cleanupState, CleanupRunning,
                                                          CleanupRunning) == CleanupRunning;
             waited += 10) {
            if (fromFilter && waited >= kFaultWaitMs) return;
            Sleep(10);
        }
        return;
    }
    run.cleanupThread = GetCurrentThreadId();

    if (!fromFilter || !StatusWouldStartWindow()) ReportStatus("performing_cleanup");

    // The application home is the current directory, and the working
    // directory whenever a payload was found: step out so it can go.
    SetCurrentDirectoryW(L"..");

    if (run.runCleanupHook) Cleanup();
    if (fromFilter) {
        if (run.WorkingDirectory != nullptr && WizardRunning(run))
            run.trace.Line("fault: the wizard still runs; %s stays for it", run.WorkingDirectory);
        else if (run.WorkingDirectory != nullptr)
            RemoveWorkingDirectory(run, run.WorkingDirectory, 0);
    } else {
        DeleteWorkingDirectory(run);
    }
    InterlockedExchange(&run.cleanupState, CleanupDone);
}

} // namespace

void PrepareToExit(RunState &run)
{
    RunCleanupOnce(run, false);
}

void InstallCrashCleanup(RunState *run)
{
    crashedRun = run;
    SetUnhandledExceptionFilter(run != nullptr ? HandleException : nullptr);
}

LONG WINAPI HandleException(EXCEPTION_POINTERS *info)
{
    // A breakpoint belongs to a debugger; anything else is a crash, after
    // which the extracted payload should not stay behind.
    const EXCEPTION_RECORD *record = info != nullptr ? info->ExceptionRecord : nullptr;
    const DWORD code = record != nullptr ? record->ExceptionCode : 0;
    RunState *run = crashedRun;
    if (code != EXCEPTION_BREAKPOINT && run != nullptr) {
        run->trace.Line("fault: exception 0x%08lX; cleaning up", static_cast<unsigned long>(code));
        RunCleanupOnce(*run, true);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
