// What one run knows: where the launcher is, its directories, the runtime it
// chose, how it talks to the user, and the Java options it collected. The
// launch sequence owns the one record and hands it to its steps; nothing
// below launcher/ sees it (the modules below get what they need as
// arguments, or from the executable's location in product/).
#ifndef LAUNCHER_RUN_STATE_H
#define LAUNCHER_RUN_STATE_H

#include "base/file_safety.h"
#include "base/trace.h"
#include "java/launch.h"
#include "launcher/options.h"

#include <windows.h>

struct ZipArchive;
class WorkerPool;

struct RunState {
    // --- the executable -----------------------------------------------------
    char *execPath = nullptr;     // SetExecName's answer (cached by product/)
    char *programName = nullptr;  // the file name in execPath, after its last '\\'

    // Who the run is: what counts as its own in shared places.
    RunAccount account;

    // --- directories --------------------------------------------------------
    char *temporaryDirectory = nullptr;  // last one SetTempDir accepted (owned)
    char *tmpDir = nullptr;              // the one this run uses
    char *workingDirectory = nullptr;    // the per-run directory, null once removed
    HANDLE workingDirectoryHold = nullptr;    // the directory held open until the cleanup
    HANDLE instanceLock = nullptr;       // the program's own file: the byte lock, the payload

    // --- the command line ---------------------------------------------------
    char *javaHome = nullptr;  // -javahome, absolute
    char consoleMode = 0;      // -console, or a Yes to the colour-depth question
    bool debug = false;            // -debug           -> "-Ddebug=true"
    bool noPortCheck = false;      // -noportcheck     -> "-Dno.port.verification=true"
    bool noDomain = false;         // -nodomain        -> "-Dno.domain=true"
    bool passwordVisible = false;  // -passwordvisible -> "-Dpassword.visible=true"
    bool printWizardId = false;    // -id              -> wizard argument "-id"
    int wizardArgc = 0;            // the wizard's arguments, from ParseArguments
    char **wizardArgv = nullptr;

    // The screen and the user the colour-depth question consults.
    int (*screenColourDepth)() = ScreenColourDepthOfDisplay;
    bool (*askForConsoleMode)() = AskForConsoleModeInMessageBox;

    // --- the payload ---------------------------------------------------------
    // Opened and indexed once, by MeasurePayload, on the program's own
    // file as OpenOwnProgramFile holds it; the runtime search reads it too,
    // and ExtractPayload closes it. Null when the executable carries none, and after the extraction.
    ZipArchive *payload = nullptr;
    // The workers that write the payload's runtime and then the rest of it
    // (MakeExtractionPool), while the launch sequence holds them.
    WorkerPool *extractionPool = nullptr;

    // --- the runtime and its options ----------------------------------------
    char *javaRuntimePath = nullptr;  // the chosen runtime (MemAlloc'd)
    OptionEntry *optionList = nullptr;  // in insertion order, never shortened
    int optionCount = 0;
    int optionCapacity = 0;  // entries the array has room for

    // The wizard's process while it runs, and the working directory's hold
    // lent to it: the crash filter leaves the working directory to a wizard
    // still running, and so does the sweep of later runs.
    WizardLink wizard;

    // --- the end ------------------------------------------------------------
    bool runCleanupHook = false;  // set just before the normal cleanup
    // Who runs the cleanup: the normal end or the exception filter, on
    // whatever thread comes first (launcher/cleanup.cpp), and only once.
    LONG cleanupState = 0;      // 0 not started, 1 running, 2 done (Interlocked)
    DWORD cleanupThread = 0;    // the thread that runs it
    // Preparing, stopping (a console event came first) or wizard started;
    // shared with the console control handler (launcher/console_control).
    volatile LONG controlPhase = 0;

    // The diagnostic trace, on when the build's trace variable names a file.
    Trace trace;
};

// The run's record: one per process, as it stands when no run has started
// until the launch sequence fills it.
RunState &Run();

// Frees what the record owns and puts it back as it was before any run, for
// tests that run the steps more than once in a process.
void ResetRunState();

// The names the launcher's contracts use for the record's fields.
extern char *&ProgramName;
extern char *&WorkingDirectory;
extern bool &runCleanupHook;
extern OptionEntry *&OptionList;
extern int &OptionCount;
extern int &OptionCapacity;
extern bool &debug;
extern bool &noPortCheck;
extern bool &noDomain;
extern bool &passwordVisible;
extern bool &printWizardId;
extern int (*&ScreenColourDepth)();
extern bool (*&AskForConsoleMode)();

#endif
