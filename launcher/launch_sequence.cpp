// The launch sequence. Every step that fails prints its localized messages on
// the standard error stream and ends the run with status 1.
//
// The working directory is named here rather than by the C runtime's
// _tempnam: that function prefers TMP over the directory it is given and
// shortens prefixes on some runtimes, while the directory must lie in the
// chosen temporary directory and begin with the program's file name. Only a
// name that already exists is worth another try; any other failure to create
// the directory (no write access, a path too long) would fail for every name.
#include "launcher/launch_sequence.h"

#include "launcher/cleanup.h"
#include "launcher/instance.h"
#include "launcher/memory.h"
#include "launcher/options.h"
#include "launcher/product.h"
#include "ui/catalogue.h"
#include "ui/mbcs.h"
#include "ui/output.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>

char *ProgramName;
char *WorkingDirectory;
bool runCleanupHook;

const char RequiredJavaVersion[] = "1.5";

namespace {

// A %s argument is never a null pointer.
const char *Shown(const char *text)
{
    return text != nullptr ? text : "(null)";
}

// Prints the catalogue text of `key` as an error, with its arguments.
template <typename... Args> void PrintError(const char *key, Args... args)
{
    char *text = GetLocalizedMessage(key);
    _fprintf(stderr, text, args...);
    free(text);
}

// A progress line: fetch, print, free.
void PrintStatus(const char *key)
{
    char *text = GetLocalizedMessage(key);
    statusf("%s", text);
    free(text);
}

// [F2]: the temporary directory cannot take the working directory.
int NoWritableTempDir(const char *tmpDir)
{
    PrintError("no_writable_system_tmpdir", Shown(tmpDir));
    PrintError("no_writable_system_tmpdir_usage", Shown(ProgramName));
    return 1;
}

// Creates a fresh directory in `dir` whose name begins with `prefix`.
// Null when every name tried exists already, or at the first failure of
// another kind.
char *CreateWorkingDirectory(const char *dir, const char *prefix)
{
    const unsigned long unique = GetCurrentProcessId();
    for (int serial = 0; serial < WorkingDirectoryAttempts; ++serial) {
        std::string name =
            WorkingDirectoryName(dir, prefix, unique, static_cast<unsigned>(serial));
        if (CreateDirectoryA(name.c_str(), nullptr)) return StrDup(name.c_str());
        if (GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
}

} // namespace

std::string WorkingDirectoryName(const std::string &dir, const std::string &prefix,
                                 unsigned long unique, unsigned serial)
{
    const char *format = "%lX_%X";
    int length = snprintf(nullptr, 0, format, unique, serial);
    std::string suffix(static_cast<size_t>(length) + 1, '\0');
    snprintf(&suffix[0], suffix.size(), format, unique, serial);
    suffix.resize(static_cast<size_t>(length));
    return JoinPath(dir, prefix + suffix);
}

int _main(int argc, char **argv)
{
    // --- 1. the executable's own path ---------------------------------------
    char *execPath = SetExecName(argc > 0 ? argv[0] : nullptr);
    if (execPath == nullptr) {
        PrintError("no_resolve_exec_path");
        return 1;
    }

    // --- 2. one running instance per executable file ------------------------
    ExitIfNotOnlyInstance();

    // --- 3. the program's file name -----------------------------------------
    char *slash = _strrchr(execPath, '\\');
    ProgramName = slash != nullptr ? slash + 1 : execPath;

    // --- 4. the user's arguments only ---------------------------------------
    --argc;
    ++argv;

    // --- 5. a crash still removes what this run created ---------------------
    SetUnhandledExceptionFilter(HandleException);

    // --- 6. the command line ------------------------------------------------
    char *javaHome = nullptr;
    char *tmpDir = nullptr;
    char consoleMode = 0;
    int exitStatus = 1;
    if (!ParseArguments(&argc, &argv, &javaHome, &tmpDir, &consoleMode, &exitStatus))
        return exitStatus;

    // --- 7. ------------------------------------------------------------------
    PrintStatus("checking_disk_space");

    if (tmpDir != nullptr) {
        // --- 8. TMP names the chosen directory for this run and its children.
        // _putenv may keep the text it is given, so it stays allocated.
        std::string assignment = std::string("TMP=") + tmpDir;
        _putenv(StrDup(assignment.c_str()));
    } else {
        // --- 9. the system's temporary directory ------------------------------
        tmpDir = GetTempDir();
    }

    // --- 10. the working directory ------------------------------------------
    if (tmpDir == nullptr) return NoWritableTempDir(nullptr);
    WorkingDirectory = CreateWorkingDirectory(tmpDir, Shown(ProgramName));
    if (WorkingDirectory == nullptr) return NoWritableTempDir(tmpDir);

    // The steps from the space check on arrive with their subsystems; until
    // then the run cannot succeed and says so through its status.
    (void)javaHome;
    (void)consoleMode;
    return 1;
}
