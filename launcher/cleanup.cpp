// Cleanup and exit.
//
// The recursive removal runs at the end of every run and from the exception
// filter, possibly after memory or the stack has been damaged, so it keeps to
// plain malloc (a failed allocation skips one entry instead of ending the
// process) and the owners of base/owned.h, which cannot throw.
//
// A directory junction or symbolic link inside the working directory (the
// wizard may leave one) is removed as a link and never listed: following it
// would delete whatever it points at, outside the working directory.
#include "launcher/cleanup.h"
#include "launcher/cleanup_internal.h"

#include "base/mbcs.h"
#include "base/owned.h"
#include "base/path.h"
#include "launcher/run_state.h"
#include "product/product.h"
#include "ui/report.h"

#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>
#include <cstring>

namespace {

// `head` followed by `tail` in a fresh malloc'd text; null when out of memory.
char *Concat(const char *head, const char *tail)
{
    size_t headLength = strlen(head);
    size_t tailLength = strlen(tail);
    char *text = static_cast<char *>(malloc(headLength + tailLength + 1));
    if (text == nullptr) return nullptr;
    memcpy(text, head, headLength);
    memcpy(text + headLength, tail, tailLength + 1);
    return text;
}

bool IsKept(const char *path, const char *const *keep)
{
    if (keep == nullptr) return false;
    for (; *keep != nullptr; ++keep) {
        if (strcmp(path, *keep) == 0) return true;
    }
    return false;
}

// Applies DeleteFilesAndDirectories to every name listed in `directory`.
void RemoveContents(const char *directory, const char *const *keep)
{
    OwnedText prefix(Concat(directory, "\\"));
    if (!prefix.valid()) return;
    OwnedText pattern(Concat(prefix.get(), "*.*"));
    if (!pattern.valid()) return;

    struct _finddata_t found;
    OwnedFind listing(_findfirst(pattern.get(), &found));
    if (!listing.valid()) return;
    do {
        // "." and ".." come back too; the removal itself skips them.
        OwnedText entry(Concat(prefix.get(), found.name));
        if (entry.valid()) DeleteFilesAndDirectories(entry.get(), keep);
    } while (_findnext(listing.get(), &found) == 0);
}

} // namespace

RemovalAction ClassifyForRemoval(DWORD attributes)
{
    bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return directory ? RemovalAction::RemoveLink : RemovalAction::DeleteFile;
    }
    return directory ? RemovalAction::RemoveTree : RemovalAction::DeleteFile;
}

void DeleteFilesAndDirectories(const char *path, const char *const *keep)
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
        DeleteFilesAndDirectories(trimmed, keep);
        free(trimmed);
        return;
    }

    if (IsKept(path, keep)) return;

    // A link is judged by its own attributes, before _stat (which follows
    // it) gets a say: it goes away as a link, its target stays.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (ClassifyForRemoval(attributes) == RemovalAction::RemoveLink) {
            RemoveDirectoryA(path);
        } else {
            DeleteFileA(path);
        }
        return;
    }

    struct _stat info;
    if (_stat(path, &info) != 0) return;
    if ((info.st_mode & _S_IFDIR) == 0) {
        // Read-only files are not made writable: they stay, as does every
        // directory above them.
        DeleteFileA(path);
        return;
    }
    RemoveContents(path, keep);
    RemoveDirectoryA(path);
}

void DeleteWorkingDirectory()
{
    // Taken out of the run state before the removal starts, so that a fault
    // during the removal (which runs the exception filter, and so this
    // function, again) finds nothing left to do.
    char *directory = WorkingDirectory;
    WorkingDirectory = nullptr;
    if (directory == nullptr) return;
    DeleteFilesAndDirectories(directory, nullptr);
    free(directory);
}

void PrepareToExit()
{
    ReportStatus("performing_cleanup");

    // The application home is the current directory, and the working
    // directory whenever a payload was found: step out so it can go.
    SetCurrentDirectoryA("..");

    if (runCleanupHook) Cleanup();
    DeleteWorkingDirectory();
}

LONG WINAPI HandleException(EXCEPTION_POINTERS *info)
{
    // A breakpoint belongs to a debugger; anything else is a crash, after
    // which the extracted payload should not stay behind.
    bool breakpoint = info != nullptr && info->ExceptionRecord != nullptr &&
                      info->ExceptionRecord->ExceptionCode == EXCEPTION_BREAKPOINT;
    if (!breakpoint) PrepareToExit();
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
