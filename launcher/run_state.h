// What one run knows: where the launcher is, its directories, the runtime it
// chose, how it talks to the user, and the Java options it collected. The
// entry point owns the one record (a local of _main) and hands it to every
// step by reference; nothing below launcher/ sees it (the modules below get
// what they need as arguments, or from the executable's location in
// product/). The one callback that needs it and that the system calls
// without context, the crash filter, reaches it through the one pointer
// published for it (InstallCrashCleanup, launcher/cleanup.h); the console
// control handler keeps its own state (launcher/console_control.h).
#ifndef LAUNCHER_RUN_STATE_H
#define LAUNCHER_RUN_STATE_H

#include "base/file_safety.h"
#include "base/trace.h"
#include "java/command_line.h"
#include "java/launch.h"
#include "ui/colour_depth.h"
#include "ui/progress_measure.h"

#include <windows.h>

#include <string>

struct ZipArchive;
class WorkerPool;

struct RunState {
    // --- the executable -----------------------------------------------------
    char *execPath = nullptr;     // SetExecName's answer (cached by product/)
    char *ProgramName = nullptr;  // the file name in execPath, after its last '\\'

    // Who the run is: what counts as its own in shared places.
    RunAccount account;

    // --- directories --------------------------------------------------------
    char *temporaryDirectory = nullptr;  // last one SetTempDir accepted (owned)
    char *tmpDir = nullptr;              // the one this run uses
    char *WorkingDirectory = nullptr;    // the per-run directory, null once removed
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

    // The screen and the user the colour-depth question consults (tests play
    // both).
    int (*ScreenColourDepth)() = ScreenColourDepthOfDisplay;
    bool (*AskForConsoleMode)() = AskForConsoleModeInMessageBox;

    // --- the payload ---------------------------------------------------------
    // Opened and indexed once, by MeasurePayload, on the program's own
    // file as OpenOwnProgramFile holds it; the runtime search reads it too,
    // and ExtractPayload closes it. Null when the executable carries none, and after the extraction.
    ZipArchive *payload = nullptr;
    // The workers that write the payload's runtime and then the rest of it
    // (MakeExtractionPool), while the launch sequence holds them.
    WorkerPool *extractionPool = nullptr;
    // The entries' name prefix of the payload's runtime when the runtime
    // search extracted it into the working directory; empty otherwise.
    std::string extractedRuntimePrefix;
    // What the payload's writing has come to, lent to the steps that show
    // it: the total is the payload's uncompressed bytes (MeasurePayload).
    ProgressMeasure progress;

    // --- the runtime and its options ----------------------------------------
    char *javaRuntimePath = nullptr;  // the chosen runtime (MemAlloc'd)
    OptionEntry *OptionList = nullptr;  // in insertion order, never shortened (AddOption)
    int OptionCount = 0;
    int OptionCapacity = 0;  // entries the array has room for

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

    // The diagnostic trace, on when -log or the build's trace variable names
    // a file.
    Trace trace;

    RunState() = default;
    // Frees the texts and the option list the record owns and closes the
    // working directory's hold; the instance lock stays with the process.
    ~RunState();
    RunState(const RunState &) = delete;
    RunState &operator=(const RunState &) = delete;
};

#endif
