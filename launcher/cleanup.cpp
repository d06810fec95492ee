// Cleanup and exit.
//
// The recursive removal runs at the end of every run and from the exception
// filter, possibly after memory or the stack has been damaged, so it keeps to
// plain malloc (a failed allocation skips one entry instead of ending the
// process) and the owners of base/owned.h, which cannot throw.
//
// A directory junction or symbolic link inside the working directory (the
// wizard may leave one) is removed as a link and never listed: following it
// would delete whatever it points at, outside the working directory. The
// guard fails closed: every decision comes from the attributes the system
// reports for the entry itself (the listing's, or GetFileAttributesW's for
// the path the walk starts at), and an entry whose attributes cannot be read
// is left alone rather than judged by a call that follows links.
//
// The walk uses the wide calls on extended-length paths, so it reaches
// what the wizard may leave beyond MAX_PATH or under a name the ANSI code
// page cannot spell.
//
// Under Wine every file deletion is a few round trips to the server, so the
// working directory's files are deleted by a few worker threads while the
// walk goes on; a directory is then removed once every file is gone, the
// deepest first, as the serial walk removes them. Links are removed by the
// walk itself, and nothing is ever listed below one. The exception filter
// removes serially: a fault may have left the loader lock held, under which
// no new thread would start.
#include "launcher/cleanup.h"
#include "launcher/cleanup_internal.h"

#include "base/mbcs.h"
#include "base/owned.h"
#include "base/path.h"
#include "base/workers.h"
#include "launcher/run_state.h"
#include "product/product.h"
#include "ui/report.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const size_t kExtendedPrefixLength = sizeof kExtendedPrefix / sizeof kExtendedPrefix[0] - 1;

// One line of the trace about `path`, shown in the ANSI code page without
// its extended-length prefix: "cleanup: <what> <path><after>".
void TracePath(Trace &trace, const char *what, const wchar_t *path, const char *after)
{
    if (!trace.on()) return;
    if (wcsncmp(path, kExtendedPrefix, kExtendedPrefixLength) == 0) path += kExtendedPrefixLength;
    const int size = WideCharToMultiByte(CP_ACP, 0, path, -1, nullptr, 0, nullptr, nullptr);
    OwnedText shown(size > 0 ? static_cast<char *>(malloc(static_cast<size_t>(size))) : nullptr);
    if (!shown.valid() ||
        WideCharToMultiByte(CP_ACP, 0, path, -1, shown.get(), size, nullptr, nullptr) <= 0)
        return;
    trace.Line("cleanup: %s %s%s", what, shown.get(), after);
}

// A failed deletion in the trace, with the system's error.
void TraceFailure(Trace &trace, const char *what, const wchar_t *path)
{
    char error[32];
    snprintf(error, sizeof error, " (error %lu)", GetLastError());
    TracePath(trace, what, path, error);
}

// The paths a removal spares, in the walk's form.
struct KeepList {
    wchar_t **paths = nullptr;
    size_t count = 0;

    KeepList() = default;
    KeepList(const KeepList &) = delete;
    KeepList &operator=(const KeepList &) = delete;
    ~KeepList()
    {
        for (size_t i = 0; i < count; ++i) free(paths[i]);
        free(paths);
    }

    // False when a path could not be converted: nothing may then be removed,
    // since it might be one that must stay.
    bool Take(const char *const *keep)
    {
        if (keep == nullptr) return true;
        size_t total = 0;
        while (keep[total] != nullptr) ++total;
        paths = static_cast<wchar_t **>(malloc((total + 1) * sizeof(wchar_t *)));
        if (paths == nullptr) return false;
        for (; count < total; ++count) {
            paths[count] = NewExtendedLengthPath(keep[count]);
            if (paths[count] == nullptr) return false;
        }
        return true;
    }

    bool Holds(const wchar_t *path) const
    {
        for (size_t i = 0; i < count; ++i) {
            if (wcscmp(path, paths[i]) == 0) return true;
        }
        return false;
    }
};

// A directory left for the end of a parallel removal.
struct PendingDirectory {
    PendingDirectory *next;
    wchar_t path[1];
};

// What one removal shares. Without workers every deletion happens during
// the walk; with them, files go to the workers and the directories wait in
// the order the walk finished them (children before their parent).
struct Removal {
    const KeepList &keep;
    WorkerPool *workers;  // null: serial
    Trace &trace;
    PendingDirectory *first = nullptr;
    PendingDirectory *last = nullptr;
};

// Deletes the file `path`; a failure goes to the trace (one line a call, so
// the workers may write at once).
void DeleteOneFile(const wchar_t *path, Trace &trace)
{
    if (!DeleteFileW(path)) TraceFailure(trace, "could not delete", path);
}

// Removes the empty directory or the directory link `path`; a failure goes
// to the trace.
void RemoveOneDirectory(const wchar_t *path, Trace &trace)
{
    if (!RemoveDirectoryW(path)) TraceFailure(trace, "could not remove", path);
}

// A file handed to a worker, with the trace its failure goes to.
struct FileTask {
    Trace *trace;
    wchar_t path[1];
};

void DeleteFileTask(void *task)
{
    FileTask *file = static_cast<FileTask *>(task);
    DeleteOneFile(file->path, *file->trace);
    free(task);
}

void RemoveDirectoryLater(Removal &removal, const wchar_t *path)
{
    const size_t length = wcslen(path);
    PendingDirectory *pending = static_cast<PendingDirectory *>(
        malloc(sizeof(PendingDirectory) + length * sizeof(wchar_t)));
    if (pending == nullptr) return;  // it stays, as on any allocation failure
    wmemcpy(pending->path, path, length + 1);
    pending->next = nullptr;
    if (removal.last != nullptr)
        removal.last->next = pending;
    else
        removal.first = pending;
    removal.last = pending;
}

void RemoveEntry(const wchar_t *path, DWORD attributes, Removal &removal);

// Removes every name listed in `directory`, each as the listing describes
// it: the listing's own attributes decide, so an entry is never looked up
// again by a call that might follow a link.
void RemoveContents(const wchar_t *directory, Removal &removal)
{
    OwnedWideText prefix(WideConcat(directory, L"\\"));
    if (!prefix.valid()) return;
    OwnedWideText pattern(WideConcat(prefix.get(), L"*"));
    if (!pattern.valid()) return;

    WIN32_FIND_DATAW found;
    OwnedFind listing(FindFirstFileW(pattern.get(), &found));
    if (!listing.valid()) return;
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
        OwnedWideText entry(WideConcat(prefix.get(), found.cFileName));
        if (entry.valid() && !removal.keep.Holds(entry.get()))
            RemoveEntry(entry.get(), found.dwFileAttributes, removal);
    } while (FindNextFileW(listing.get(), &found));
}

// Removes `path` as `attributes` describe it.
void RemoveEntry(const wchar_t *path, DWORD attributes, Removal &removal)
{
    switch (ClassifyForRemoval(attributes)) {
    case RemovalAction::Leave:
        TracePath(removal.trace, "left", path, ": its attributes cannot be read");
        return;
    case RemovalAction::DeleteFile:
        // Read-only files are not made writable: they stay, as does every
        // directory above them.
        if (removal.workers != nullptr) {
            const size_t length = wcslen(path);
            FileTask *task =
                static_cast<FileTask *>(malloc(sizeof(FileTask) + length * sizeof(wchar_t)));
            if (task != nullptr) {
                task->trace = &removal.trace;
                wmemcpy(task->path, path, length + 1);
                removal.workers->Submit(DeleteFileTask, task);
                return;
            }
        }
        DeleteOneFile(path, removal.trace);
        return;
    case RemovalAction::RemoveLink:
        // The link itself goes; its target is never listed.
        RemoveOneDirectory(path, removal.trace);
        return;
    case RemovalAction::RemoveTree:
        RemoveContents(path, removal);
        if (removal.workers != nullptr)
            RemoveDirectoryLater(removal, path);
        else
            RemoveOneDirectory(path, removal.trace);
        return;
    }
}

// The walk from `path` with `workers` deleting the files (null: none).
void Remove(const wchar_t *path, const KeepList &keep, WorkerPool *workers, Trace &trace)
{
    Removal removal{keep, workers, trace};
    // The path's own attributes, which say whether it is a link; a path
    // whose attributes cannot be read is left alone.
    RemoveEntry(path, GetFileAttributesW(path), removal);
    if (workers != nullptr) workers->Wait();
    for (PendingDirectory *pending = removal.first; pending != nullptr;) {
        PendingDirectory *next = pending->next;
        RemoveOneDirectory(pending->path, trace);
        free(pending);
        pending = next;
    }
}

} // namespace

RemovalAction ClassifyForRemoval(DWORD attributes)
{
    // Unknown attributes may hide a link: nothing is removed on a guess.
    if (attributes == INVALID_FILE_ATTRIBUTES) return RemovalAction::Leave;
    bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return directory ? RemovalAction::RemoveLink : RemovalAction::DeleteFile;
    }
    return directory ? RemovalAction::RemoveTree : RemovalAction::DeleteFile;
}

void DeleteFilesAndDirectories(const char *path, const char *const *keep, int workers,
                               Trace &trace)
{
    if (path == nullptr || !IsAbsolutePath(path)) return;

    const char *lastSlash = _strrchr(path, '\\');
    if (lastSlash == nullptr) return;
    const char *lastComponent = lastSlash + 1;
    if (strcmp(lastComponent, ".") == 0 || strcmp(lastComponent, "..") == 0) return;

    if (*lastComponent == '\0') {
        // "dir\" names the same thing as "dir". Only that is removed: going
        // on with "dir\" itself would find nothing more for an ordinary
        // directory, but would empty a whole drive for "C:\" or "\".
        size_t length = static_cast<size_t>(lastSlash - path);
        char *trimmed = static_cast<char *>(malloc(length + 1));
        if (trimmed == nullptr) return;
        memcpy(trimmed, path, length);
        trimmed[length] = '\0';
        DeleteFilesAndDirectories(trimmed, keep, workers, trace);
        free(trimmed);
        return;
    }

    // The walk runs on the wide calls with extended-length paths: the
    // wizard may leave paths longer than MAX_PATH, or names the ANSI code
    // page cannot spell, which the 8-bit calls could neither list nor delete.
    OwnedWideText root(NewExtendedLengthPath(path));
    KeepList kept;
    if (!root.valid() || !kept.Take(keep) || kept.Holds(root.get())) return;

    if (workers <= 0) {
        Remove(root.get(), kept, nullptr, trace);
        return;
    }
    WorkerPool pool(workers, workers * 8);
    Remove(root.get(), kept, pool.Threads() > 0 ? &pool : nullptr, trace);
}

namespace {

// Removes the run's working directory `directory` (`workers` as for
// DeleteFilesAndDirectories), and says in the trace whether it went. The
// handle on it, which tells the sweep of later runs that this run is still
// going, is closed first: held open, it would keep the directory from going.
void RemoveWorkingDirectory(const char *directory, int workers)
{
    RunState &run = Run();
    HANDLE hold = run.workingDirectoryHold;
    run.workingDirectoryHold = nullptr;
    if (hold != nullptr) CloseHandle(hold);
    DeleteFilesAndDirectories(directory, nullptr, workers, run.trace);
    if (GetFileAttributesA(directory) == INVALID_FILE_ATTRIBUTES)
        run.trace.Line("cleanup: removed %s", directory);
    else
        run.trace.Line("cleanup: %s left behind", directory);
}

} // namespace

void DeleteWorkingDirectory()
{
    // Taken out of the run state before the removal starts, so that a fault
    // during the removal (which runs the exception filter, and so this
    // function, again) finds nothing left to do.
    char *directory = WorkingDirectory;
    WorkingDirectory = nullptr;
    if (directory == nullptr) return;
    RemoveWorkingDirectory(directory, WorkerCount(kMaxWorkers));
    free(directory);
}

namespace {

enum : LONG { CleanupNotStarted = 0, CleanupRunning = 1, CleanupDone = 2 };

// The cleanup of the run, run by the first caller only: the normal end of
// the run on the main thread, or the exception filter on whichever thread
// faulted first. A later caller on another thread waits until it is done
// (the process must not end under it); one on the same thread (a fault
// raised by the cleanup itself) returns at once. `fromFilter`: the working
// directory's path is not freed, because another thread (the main thread,
// while the status-window thread faults) may still be using it; the process
// is ending.
void RunCleanupOnce(bool fromFilter)
{
    RunState &run = Run();
    if (InterlockedCompareExchange(&run.cleanupState, CleanupRunning, CleanupNotStarted) !=
        CleanupNotStarted) {
        if (run.cleanupThread == GetCurrentThreadId()) return;
        while (InterlockedCompareExchange(&run.cleanupState, CleanupRunning, CleanupRunning) ==
               CleanupRunning)
            Sleep(10);
        return;
    }
    run.cleanupThread = GetCurrentThreadId();

    ReportStatus("performing_cleanup");

    // The application home is the current directory, and the working
    // directory whenever a payload was found: step out so it can go.
    SetCurrentDirectoryA("..");

    if (runCleanupHook) Cleanup();
    if (fromFilter) {
        if (WorkingDirectory != nullptr) RemoveWorkingDirectory(WorkingDirectory, 0);
    } else {
        DeleteWorkingDirectory();
    }
    InterlockedExchange(&run.cleanupState, CleanupDone);
}

} // namespace

void PrepareToExit()
{
    RunCleanupOnce(false);
}

LONG WINAPI HandleException(EXCEPTION_POINTERS *info)
{
    // A breakpoint belongs to a debugger; anything else is a crash, after
    // which the extracted payload should not stay behind.
    const EXCEPTION_RECORD *record = info != nullptr ? info->ExceptionRecord : nullptr;
    const DWORD code = record != nullptr ? record->ExceptionCode : 0;
    if (code != EXCEPTION_BREAKPOINT) {
        Run().trace.Line("fault: exception 0x%08lX; cleaning up", static_cast<unsigned long>(code));
        RunCleanupOnce(true);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

int InvokeUpgradeTool(const char *commandLine)
{
    if (commandLine == nullptr) return 1;

    // CreateProcessA may write into its command line: give it a copy sized
    // from the text, however long the temporary directory's path is.
    size_t length = strlen(commandLine);
    OwnedText copy(static_cast<char *>(malloc(length + 1)));
    if (!copy.valid()) return 1;
    memcpy(copy.get(), commandLine, length + 1);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);

    if (!CreateProcessA(nullptr, copy.get(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 1;
    }
    OwnedHandle processHandle(process.hProcess);
    OwnedHandle threadHandle(process.hThread);

    int exitCode = 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code;
    if (GetExitCodeProcess(process.hProcess, &code)) exitCode = static_cast<int>(code);
    return exitCode;
}
