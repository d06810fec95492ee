// The launch sequence. _main lists the steps of a run in order; each step
// reports its own failure (localized messages on the standard error stream)
// and answers false, and _main then ends the run with status 1.
//
// The working directory is named by launcher/working_directory.h rather than
// by the C runtime's _tempnam: that function prefers TMP over the directory it
// is given and shortens prefixes on some runtimes, while the directory must
// lie in the chosen temporary directory and begin with the program's file
// name, which is also how the sweep of stale directories recognises it.
#include "launcher/launch_sequence.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "base/owned.h"
#include "base/path.h"
#include "java/command_line.h"
#include "java/launch.h"
#include "java/runtime.h"
#include "java/version.h"
#include "launcher/build_variant.h"
#include "launcher/cleanup.h"
#include "launcher/console_control.h"
#include "base/file_safety.h"
#include "launcher/instance.h"
#include "launcher/launch_sequence_internal.h"
#include "launcher/options.h"
#include "launcher/run_state.h"
#include "launcher/upgrade.h"
#include "launcher/working_directory.h"
#include "product/product.h"
#include "product_config.h"
#include "ui/output.h"
#include "ui/progress.h"
#include "ui/report.h"
#include "zip/archive.h"
#include "zip/extract.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

const int64_t DiskSpaceMargin = 100000;

namespace {

// The temporary directory cannot take the working directory.
bool NoWritableTempDir(const RunState &run)
{
    ReportError("no_writable_system_tmpdir", Shown(run.tmpDir));
    ReportError("no_writable_system_tmpdir_usage", Shown(run.ProgramName));
    return false;
}

// No usable runtime: what was wrong, then where to get a runtime and how to
// name one.
bool NoJava(const RunState &run, const char *key)
{
    if (run.javaHome != nullptr)
        ReportError(key, run.javaHome);
    else
        ReportError(key);
    ReportError("no_find_java_usage", RequiredJavaVersion, GetDownloadUrl(),
                Shown(run.ProgramName));
    return false;
}

// Hands a copy of `text` to `run`'s option list, which keeps it.
void AddOptionText(RunState &run, const std::string &text)
{
    AddOption(run, StrDup(text.c_str()));
}

// The executable's own path and file name.
bool FindExecutable(RunState &run, const char *invokedAs)
{
    run.execPath = SetExecName(invokedAs);
    if (run.execPath == nullptr) {
        run.trace.Line("executable: its path cannot be determined");
        ReportError("no_resolve_exec_path");
        return false;
    }
    run.trace.Line("executable: %s", run.execPath);
    return true;
}

// What a deployer reads first: which product this is and what it was asked.
void TraceProgram(RunState &run, int argc, char **argv)
{
    if (!run.trace.on()) return;
    run.trace.Line("program: %s", ProductOfVersionResource().c_str());
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) arguments += ' ';
        AppendQuotedArgument(arguments, argv[i]);
    }
    run.trace.Line("arguments: %s", argc > 1 ? arguments.c_str() : "(none)");
}

void SetProgramName(RunState &run)
{
    char *slash = _strrchr(run.execPath, '\\');
    run.ProgramName = slash != nullptr ? slash + 1 : run.execPath;
}

// The temporary directory (a -tmpdir one is also named in TMP for this run
// and its children), swept of what earlier runs left, and the per-run working
// directory inside it.
bool MakeWorkingDirectory(RunState &run)
{
    if (run.tmpDir != nullptr) {
        // _putenv may keep the text it is given, so it stays allocated.
        std::string assignment = std::string("TMP=") + run.tmpDir;
        _putenv(StrDup(assignment.c_str()));
        run.trace.Line("environment: %s (-tmpdir), for this run and its children",
                       assignment.c_str());
    } else {
        run.tmpDir = GetTempDir(run);
    }
    TestFaultHook("before-working-directory");
    if (run.tmpDir == nullptr) {
        run.trace.Line("temporary directory: none usable");
        return NoWritableTempDir(run);
    }
    run.trace.Line("temporary directory: %s", run.tmpDir);
    SweepStaleWorkingDirectories(run.tmpDir, run.ProgramName, run.account, run.trace,
                                 StopRequested);
    run.WorkingDirectory = CreateWorkingDirectory(run.tmpDir, Shown(run.ProgramName), run.account,
                                                  &run.workingDirectoryHold, run.trace);
    if (run.WorkingDirectory == nullptr) {
        run.trace.Line("working directory: cannot be created in %s", run.tmpDir);
        return NoWritableTempDir(run);
    }
    run.trace.Line("working directory: %s", run.WorkingDirectory);
    TestFaultHook("working-directory-made");
    return true;
}

// A descriptor of the program's own file, on the handle OpenOwnProgramFile
// opened (the same open file, not the path again); -1 when none is left.
int OwnFileDescriptor(const RunState &run)
{
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), run.instanceLock, GetCurrentProcess(), &copy, 0,
                         FALSE, DUPLICATE_SAME_ACCESS))
        return -1;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_RDONLY | _O_BINARY);
    if (fd < 0) CloseHandle(copy);
    return fd;
}

// The payload's uncompressed size in *payloadBytes, from the archive's
// index alone; 0 when the executable carries none. A payload goes into
// the working directory, which is therefore the application home from here
// on. False, reported, when the executable carries a damaged payload: the
// run must not go on as if it carried none.
bool MeasurePayload(RunState &run, int64_t *payloadBytes)
{
    *payloadBytes = 0;
    int error = 0;
    ZipArchive *zip = zipOpenDescriptor(OwnFileDescriptor(run), run.execPath, &error);
    if (zip == nullptr) {
        if (error != kZipDamaged) {
            run.trace.Line("payload: none (the executable carries no archive)");
            return true;
        }
        run.trace.Line("payload: damaged");
        ReportError("corrupted_zip_file", run.execPath);
        return false;
    }
    // The index holds every entry's size: no local header is read here. The
    // archive bounds entries and their sizes, so the sum stays in 64 bits.
    const int entries = zip->entryCount;
    for (int32_t i = 0; i < entries; ++i) *payloadBytes += zip->entryIndex[i].uncompressedSize;
    if (run.trace.on()) {
        // Where the payload starts: its first local header.
        int64_t start = entries > 0 ? zip->entryIndex[0].locPos : 0;
        for (int32_t i = 1; i < entries; ++i)
            if (zip->entryIndex[i].locPos < start) start = zip->entryIndex[i].locPos;
        run.trace.Line("payload: starts at byte %s of the executable, %d entries, %s bytes "
                       "uncompressed",
                       std::to_string(start).c_str(), entries,
                       std::to_string(*payloadBytes).c_str());
    }
    run.payload = zip;  // kept open for the runtime search and the extraction
    SetApplicationHome(StrDup(run.WorkingDirectory));
    run.progress.total = static_cast<uint64_t>(*payloadBytes);
    return true;
}

// Room on the working directory's disk for the payload and a margin.
bool CheckDiskSpace(RunState &run, int64_t payloadBytes)
{
    const int64_t requiredBytes = payloadBytes + DiskSpaceMargin;
    uint64_t availableBytes = 0;
    if (!FreeBytesAvailable(run.WorkingDirectory, &availableBytes)) {
        run.trace.Line("free space: the system cannot tell (error %lu)", GetLastError());
        return NoWritableTempDir(run);
    }
    const std::string required = std::to_string(requiredBytes);
    const std::string available = std::to_string(static_cast<int64_t>(availableBytes));
    run.trace.Line("free space: %s bytes available, %s required", available.c_str(),
                   required.c_str());
    if (static_cast<uint64_t>(requiredBytes) <= availableBytes) return true;
    ReportError("no_space_system_tmpdir", run.tmpDir, required.c_str(), available.c_str());
    ReportError("no_writable_system_tmpdir_usage", Shown(run.ProgramName));
    return false;
}

// The runtime the user named (which must be of a supported version), or the
// best one found without asking.
bool ChooseRuntime(RunState &run)
{
    ReportStatus("checking_java");
    if (run.javaHome != nullptr) {
        run.trace.Line("runtime: -javahome %s", run.javaHome);
        run.javaRuntimePath = GetJREPath(run.javaHome, run.trace);
        if (run.javaRuntimePath == nullptr || !CheckJavaVersion(run.javaRuntimePath, run.trace)) {
            run.trace.Line("runtime: -javahome %s refused", run.javaHome);
            return NoJava(run, "no_find_specified_java");
        }
        run.trace.Line("runtime: chose %s: named with -javahome", run.javaRuntimePath);
        return true;
    }
    PayloadRuntime payload;
    payload.archive = run.payload;
    payload.stopRequested = StopRequested;
    payload.pool = run.extractionPool;
    payload.progress = &run.progress;
    run.javaRuntimePath = GetPublicJREPath(run.account, &payload, run.trace);
    // What the search wrote into the working directory is not written twice.
    if (run.WorkingDirectory != nullptr && payload.extractedBelow == run.WorkingDirectory)
        run.extractedRuntimePrefix = payload.extractedPrefix;
    if (run.javaRuntimePath == nullptr) return StopRequested() ? false : NoJava(run, "no_find_java");
    return true;
}

// The payload into the working directory, when the executable carries one.
bool ExtractPayload(RunState &run)
{
    ZipArchive *zip = run.payload;
    if (zip == nullptr) return true;
    run.payload = nullptr;
    // The payload's runtime, when the search extracted it here, is not
    // written twice.
    const char *extractedBefore =
        run.extractedRuntimePrefix.empty() ? nullptr : run.extractedRuntimePrefix.c_str();
    ExtractionCounts counts;
    bool extracted = false;
    uint64_t bytes = 0;
    const DWORD started = GetTickCount();
    {
        ProgressStep step("unzipping_files", &run.progress);
        ExtractionSettings settings;
        settings.except = extractedBefore;
        settings.written = step.written();
        settings.stopRequested = StopRequested;
        settings.pool = run.extractionPool;
        extracted = UnzipFiles(zip, run.WorkingDirectory, nullptr, settings, &counts);
        bytes = step.written()->load();
    }
    const DWORD took = GetTickCount() - started;
    zipClose(zip);
    run.trace.Line("payload: %s into %s",
                   extracted ? "extracted" : counts.stopped ? "extraction stopped" : "extraction failed",
                   run.WorkingDirectory);
    if (!counts.refused.empty())
        run.trace.Line("payload: %s refused: the name is not safe, or a link stands in its way",
                       counts.refused.c_str());
    run.trace.Line("payload: %d files written by %d worker threads; %d entries under %s passed "
                   "over, extracted before", counts.files, counts.workers, counts.passedOver,
                   extractedBefore != nullptr ? extractedBefore : "(none)");
    run.trace.Line("payload: %llu bytes written in %lu ms", static_cast<unsigned long long>(bytes),
                   static_cast<unsigned long>(took));
    if (!extracted && !counts.stopped) ReportError("corrupted_zip_file", run.execPath);
    return extracted;
}

// The wizard's Java options: its temporary directories, the class path, the
// fixed options, then those the command line asked for.
bool AddJavaOptions(RunState &run)
{
    AddOptionText(run, std::string("-Djava.io.tmpdir=") + run.WorkingDirectory);
    AddOptionText(run, std::string("-Dtemp.dir=") + run.tmpDir);

    const char *home = GetApplicationHome();
    if (home == nullptr) {
        ReportError("no_find_exec_dir");
        return false;
    }
    const char *const *elements = nullptr;
    const int elementCount = GetJavaClasspathElements(&elements);
    AddOptionText(run, ClasspathOption(home, elements, elementCount, run.javaRuntimePath,
                                  IsJDK(run.javaRuntimePath)));

    AddOptionText(run, "-Djava.endorsed.dirs=");
    AddOptionText(run, "-Xmx256m");
    if (run.debug) AddOptionText(run, "-Ddebug=true");
    if (run.noPortCheck) AddOptionText(run, "-Dno.port.verification=true");
    if (run.noDomain) AddOptionText(run, "-Dno.domain=true");
    if (run.passwordVisible) AddOptionText(run, "-Dpassword.visible=true");
    return true;
}

// The wizard runs in the application home.
bool EnterApplicationHome()
{
    const char *home = GetApplicationHome();
    if (SetCurrentDirectoryW(WidenAnsi(home).c_str())) return true;
    ReportError("no_set_specified_working_dir", home);
    return false;
}

// Runs the wizard, then the upgrade it may ask for (exit status 10), and
// returns the wizard's exit status.
int RunWizard(RunState &run)
{
    if (run.consoleMode) SetPrintToConsole(1);
    ReportStatus("executing_java");
    run.wizard.lend = run.workingDirectoryHold;
    const int status = ExecuteJava(run.javaRuntimePath, run.OptionCount, run.OptionList,
                                   run.wizardArgc, run.wizardArgv, run.trace, &run.wizard);
    if (status == 10) RunUpgrade(run);
    return status;
}

// The cleanup of a normal run, and the process exit status: the wizard's,
// except that 72 and 73 mean success.
int Finish(RunState &run, int wizardStatus)
{
    run.runCleanupHook = true;
    PrepareToExit(run);
    free(run.javaRuntimePath);
    run.javaRuntimePath = nullptr;
    const int exitStatus = wizardStatus == 72 || wizardStatus == 73 ? 0 : wizardStatus;
    run.trace.Line("exit: the wizard's %d becomes exit status %d", wizardStatus, exitStatus);
    return exitStatus;
}

// The end of a run that did not reach the wizard: status 1. After a failed
// step what was made stays; after a stop the working directory goes.
int EndBeforeWizard(RunState &run)
{
    run.trace.Line("exit: status 1, the run %s", StopRequested() ? "was stopped" : "failed");
    if (StopRequested()) PrepareToExit(run);
    return 1;
}

} // namespace

bool FreeBytesAvailable(const char *directory, uint64_t *available)
{
    ULARGE_INTEGER freeToCaller;
    if (!GetDiskFreeSpaceExW(WidenAnsi(directory).c_str(), &freeToCaller, nullptr, nullptr))
        return false;
    *available = freeToCaller.QuadPart;
    TestFreeSpaceHook(available);
    return true;
}


int _main(int argc, char **argv)
{
    // Every allocation of the C++ library, on any thread, ends as MemAlloc's
    // do when it fails: "Out of memory" and status 1.
    std::set_new_handler(ExitOutOfMemory);
    // The run's one record, handed to every step; the crash filter is given
    // it below, and takes it back before it goes.
    RunState run;
    struct CrashCleanupScope {
        ~CrashCleanupScope() { InstallCrashCleanup(nullptr); }
    } crashCleanupScope;
    // The product values come first: they name the trace variable, and
    // whether -silent takes a value. A log named on the command line is
    // written from here on, in place of the variable's.
    std::string damage;
    const bool productValuesRead = LoadProductValues(&damage);
    const char *logFile = LogFileArgument(argc - 1, argv + 1);
    if (logFile != nullptr)
        run.trace.OpenFile(logFile, "launcher version " PRODUCT_VERSION);
    else
        run.trace.Open(GetTraceVariable(), "launcher version " PRODUCT_VERSION);
    run.account = ReadRunAccount();
    TestRunAccountHook(&run.account);
    run.trace.Line("account: %s, user %s, default owner %s",
                   ElevationName(run.account.elevation), SidText(run.account.user).c_str(),
                   SidText(run.account.defaultOwner).c_str());
    if (!FindExecutable(run, argc > 0 ? argv[0] : nullptr)) return 1;
    TraceProgram(run, argc, argv);
    // Everything read of the program's file from here on is read through
    // this one handle.
    TestFaultHook("program-started");
    std::string notOwnFile;
    if (!OpenOwnProgramFile(run, &notOwnFile)) {
        run.trace.Line("executable: %s", notOwnFile.c_str());
        ReportError("corrupted_zip_file", run.execPath);
        return 1;
    }
    TestFaultHook("own-file-opened");
    if (!productValuesRead) {
        // A program whose own values are damaged must not run half configured.
        run.trace.Line("product values: %s", damage.c_str());
        ReportError("corrupted_zip_file", run.execPath);
        return 1;
    }
    ExitIfNotOnlyInstance(run);
    SetProgramName(run);

    // From here on a crash still removes what this run created, and so does
    // Ctrl+C (or closing the console) before the wizard starts.
    InstallCrashCleanup(&run);
    InstallConsoleControlHandler();

    // The command line, without the program name; what is left is the
    // wizard's.
    int wizardArgc = argc - 1;
    char **wizardArgv = argv + 1;
    int exitStatus = 1;
    if (!ParseArguments(run, &wizardArgc, &wizardArgv, &exitStatus)) return exitStatus;
    if (logFile != nullptr && !run.trace.on()) {
        // Asked for by name, a log that cannot be written is an error: a
        // deployment would otherwise run without the record it relies on.
        ReportError("no_writable_log", Shown(logFile));
        return 1;
    }
    run.wizardArgc = wizardArgc;
    run.wizardArgv = wizardArgv;
    StartEndSessionWindow();

    // A step that fails ends the run and leaves what it made; a stop asked
    // for by a console event ends it after the step under way and removes
    // the working directory.
    auto carryOn = [](bool stepDone) { return stepDone && !StopRequested(); };
    ReportStatus("checking_disk_space");
    if (!carryOn(MakeWorkingDirectory(run))) return EndBeforeWizard(run);
    int64_t payloadBytes = 0;
    if (!carryOn(MeasurePayload(run, &payloadBytes))) return EndBeforeWizard(run);
    if (!carryOn(CheckDiskSpace(run, payloadBytes))) return EndBeforeWizard(run);
    // One pool of workers for the payload's runtime and the rest of it,
    // ended before the wizard starts.
    std::unique_ptr<WorkerPool> extractionPool =
        run.payload != nullptr ? MakeExtractionPool() : nullptr;
    run.extractionPool = extractionPool.get();
    if (!carryOn(ChooseRuntime(run))) return EndBeforeWizard(run);
    if (!carryOn(ExtractPayload(run))) return EndBeforeWizard(run);
    run.extractionPool = nullptr;
    extractionPool.reset();
    TestFaultHook("after-extraction");
    if (!carryOn(AddJavaOptions(run))) return EndBeforeWizard(run);
    if (!carryOn(EnterApplicationHome())) return EndBeforeWizard(run);
    if (!StartingWizard()) return EndBeforeWizard(run);
    return Finish(run, RunWizard(run));
}
