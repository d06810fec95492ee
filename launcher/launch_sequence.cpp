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

#include "base/path.h"
#include "java/launch.h"
#include "java/runtime.h"
#include "java/version.h"
#include "launcher/build_variant.h"
#include "launcher/cleanup.h"
#include "launcher/instance.h"
#include "base/memory.h"
#include "launcher/options.h"
#include "product/product.h"
#include "base/mbcs.h"
#include "ui/output.h"
#include "ui/report.h"
#include "zip/archive.h"
#include "zip/extract.h"
#include "product_config.h"

#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

char *ProgramName;
char *WorkingDirectory;
bool runCleanupHook;

const char RequiredJavaVersion[] = "1.5";
const int64_t DiskSpaceMargin = 100000;

namespace {

// [F2]: the temporary directory cannot take the working directory.
int NoWritableTempDir(const char *tmpDir)
{
    ReportError("no_writable_system_tmpdir", Shown(tmpDir));
    ReportError("no_writable_system_tmpdir_usage", Shown(ProgramName));
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

// [F5] and [F6] end with the same hint: where to get a runtime, and how to
// name one.
int NoJava(const char *key, const char *javaHome)
{
    if (javaHome != nullptr)
        ReportError(key, javaHome);
    else
        ReportError(key);
    ReportError("no_find_java_usage", RequiredJavaVersion, PRODUCT_DOWNLOAD_URL,
               Shown(ProgramName));
    return 1;
}

// Hands a copy of `text` to the option list, which keeps it.
void AddOptionText(const std::string &text)
{
    AddOption(StrDup(text.c_str()));
}

} // namespace

std::string ClasspathOption(const char *home, const char *const *elements, int count,
                            const char *runtimePath, bool isJdk)
{
    std::string option = "-Djava.class.path=";
    if (isJdk) {
        // A development kit keeps tools.jar and classes beside its runtime
        // directory "...\jre", or inside any other runtime directory: the
        // same place IsJDK found tools.jar.
        const char *base = _strrchr(runtimePath, '\\');
        const bool inJre = base != nullptr && strcmp(base, "\\jre") == 0;
        const std::string kit = std::string(runtimePath) + (inJre ? "\\.." : "");
        option += kit + "\\lib\\tools.jar;";
        option += kit + "\\classes;";
    }
    option += home;
    for (int i = 0; i < count; ++i) {
        option += ';';
        option += home;
        option += elements[i];
    }
    return option;
}

bool FreeBytesAvailable(const char *directory, uint64_t *available)
{
    ULARGE_INTEGER freeToCaller;
    if (!GetDiskFreeSpaceExA(directory, &freeToCaller, nullptr, nullptr)) return false;
    *available = freeToCaller.QuadPart;
    TestFreeSpaceHook(available);
    return true;
}

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
        ReportError("no_resolve_exec_path");
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
    ReportStatus("checking_disk_space");

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

    // --- 11. the payload's size, from the archive directory alone ---------
    int64_t payloadBytes = 0;
    int ignoredError = 0;
    if (ZipArchive *zip = zipOpen(execPath, &ignoredError)) {
        for (int n = 0;; ++n) {
            ZipEntry *entry = zipGetNextEntry(zip, n);
            if (entry == nullptr) break;
            payloadBytes += static_cast<int64_t>(entry->uncompressedSize);
            zipFreeEntry(zip, entry);
        }
        zipClose(zip);
        // The payload goes into the working directory, which is therefore the
        // application home from here on.
        SetApplicationHome(StrDup(WorkingDirectory));
    }

    // --- 12, 13. room for the payload -------------------------------------
    const int64_t requiredBytes = payloadBytes + DiskSpaceMargin;
    uint64_t availableBytes = 0;
    if (!FreeBytesAvailable(WorkingDirectory, &availableBytes)) return NoWritableTempDir(tmpDir);
    if (static_cast<uint64_t>(requiredBytes) > availableBytes) {
        const std::string required = std::to_string(requiredBytes);
        const std::string available = std::to_string(static_cast<int64_t>(availableBytes));
        ReportError("no_space_system_tmpdir", tmpDir, required.c_str(), available.c_str());
        ReportError("no_writable_system_tmpdir_usage", Shown(ProgramName));
        return 1;
    }

    // --- 14, 15. the Java runtime -------------------------------------------
    ReportStatus("checking_java");
    char *javaRuntimePath = nullptr;
    if (javaHome != nullptr) {
        javaRuntimePath = GetJREPath(javaHome);
        if (javaRuntimePath == nullptr || !CheckJavaVersion(javaRuntimePath))
            return NoJava("no_find_specified_java", javaHome);
    } else {
        javaRuntimePath = GetPublicJREPath();
        if (javaRuntimePath == nullptr) return NoJava("no_find_java", nullptr);
    }

    // --- 16. the payload into the working directory ----------------------
    if (ZipArchive *zip = zipOpen(execPath, &ignoredError)) {
        ReportStatus("unzipping_files");
        if (!UnzipFiles(zip, WorkingDirectory, nullptr)) {
            ReportError("corrupted_zip_file", execPath);
            return 1;
        }
        zipClose(zip);
    }
    TestFaultHook("after-extraction");

    // --- 17, 18. temporary directories for the wizard ----------------------
    AddOptionText(std::string("-Djava.io.tmpdir=") + WorkingDirectory);
    AddOptionText(std::string("-Dtemp.dir=") + tmpDir);

    // --- 19, 20. the class path ---------------------------------------------
    const char *home = GetApplicationHome();
    if (home == nullptr) {
        ReportError("no_find_exec_dir");
        return 1;
    }
    const char *const *elements = nullptr;
    const int elementCount = GetJavaClasspathElements(&elements);
    AddOptionText(ClasspathOption(home, elements, elementCount, javaRuntimePath,
                                  IsJDK(javaRuntimePath)));

    // --- 21, 22. fixed options, then those the command line asked for ------
    AddOptionText("-Djava.endorsed.dirs=");
    AddOptionText("-Xmx256m");
    if (debug) AddOptionText("-Ddebug=true");
    if (noPortCheck) AddOptionText("-Dno.port.verification=true");
    if (noDomain) AddOptionText("-Dno.domain=true");
    if (passwordVisible) AddOptionText("-Dpassword.visible=true");

    // --- 23. the wizard runs in the application home ----------------------
    if (!SetCurrentDirectoryA(home)) {
        ReportError("no_set_specified_working_dir", home);
        return 1;
    }

    // --- 24-26. the wizard --------------------------------------------------
    if (consoleMode) SetPrintToConsole(1);
    ReportStatus("executing_java");
    exitStatus = ExecuteJava(javaRuntimePath, OptionCount, OptionList, argc, argv);

    // --- 27, 28. the upgrade the wizard asked for ---------------------------
    if (exitStatus == 10) {
        const std::string batchFile = JoinPath(tmpDir, "UpgradeInvoker.bat");
        const std::string upgradeBatchPath = "\"" + batchFile + "\"";
        InvokeUpgradeTool(upgradeBatchPath.c_str());
        remove(batchFile.c_str());
    }

    // --- 29, 30. cleanup and the exit status ------------------------------
    runCleanupHook = true;
    PrepareToExit();
    free(javaRuntimePath);
    if (exitStatus == 72 || exitStatus == 73) return 0;
    return exitStatus;
}
