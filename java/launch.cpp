// The wizard's start. The command line is built as text first (see
// command_line.h) and sized from what was built; each element is escaped by
// the C runtime's rules so a -tmpdir ending in a backslash, or an argument
// holding a quote, cannot merge with or split its neighbours.
#include "java/launch.h"

#include "base/owned.h"
#include "base/path.h"
#include "java/command_line.h"
#include "java/runtime.h"
#include "java/version.h"
#include "product/product.h"
#include "ui/output.h"
#include "ui/report.h"
#include "ui/window_code.h"

#include <windows.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Gives the wizard a console. A script's console that setup attached to
// (UseParentConsole) is the wizard's too, left as it is. Otherwise the
// console gets a window the user sees: AllocConsole keeps a console the
// process already has (conrun's, where the user started it); a console it
// makes is restored and brought to the front. Only that case needs the
// window code, so conrun never loads it.
//
// A console host that AllocConsole starts may inherit the current directory
// (the working directory) and hold it open for as long as the console lives,
// which is past the cleanup: the working directory could then not be
// removed. The host is therefore started from the directory above. False
// when the launcher cannot return to the application home: the wizard would
// start in the wrong directory.
bool consoleMade;

bool PrepareConsole()
{
    if (UseParentConsole()) return true;
    if (!RunInParentDirectory([] { consoleMade = AllocConsole() != FALSE; })) return false;
    SetConsoleTitleA("");
    // The console's own window: a search by its empty title could find
    // another untitled window of this process first.
    HWND console = consoleMade ? GetConsoleWindow() : nullptr;
    if (console == nullptr) return true;
    if (User32().IsIconic(console)) User32().ShowWindow(console, SW_RESTORE);
    User32().SetForegroundWindow(console);
    return true;
}

} // namespace

int ExecuteJava(const char *runtimePath, int optionCount, OptionEntry *options, int argc,
                char **argv, Trace &trace, WizardLink *wizard)
{
    const bool console = GetPrintToConsole() != 0;
    const char *mainClass = GetJavaClassName();
    const char *libraryDir = GetBundledLibraryPath();
    const char *previousPath = getenv("PATH");
    // getenv's text changes with _putenv below; keep the value read now.
    const bool hadPath = previousPath != nullptr;
    const std::string oldPath = hadPath ? previousPath : "";
    int status = 1;

    if (!CheckJavaClassFile()) {
        trace.Line("java: not started: the main class file %s.class is not in %s", mainClass,
                   Traced(GetApplicationHome()));
        OwnedText key(GetMessageKeyPrefix("no_files"));
        ReportErrorText(key.get());
        return 1;
    }

    const std::string javaExecutable =
        std::string(runtimePath) + (console ? "\\bin\\java.exe" : "\\bin\\javaw.exe");
    if (_access(javaExecutable.c_str(), 4) != 0) {
        trace.Line("java: not started: %s is not readable", javaExecutable.c_str());
        ReportErrorText("java_aborted");
        return 1;
    }

    const std::string command = BuildJavaCommandLine(javaExecutable.c_str(), optionCount,
                                                     options, mainClass, argc, argv);
    std::vector<char> writable(command.begin(), command.end());  // CreateProcessA may write
    writable.push_back('\0');

    // msvcrt's _putenv keeps its own copy of the assignment.
    const std::string assignment =
        ComposePathAssignment(libraryDir, hadPath ? oldPath.c_str() : nullptr);
    _putenv(assignment.c_str());
    trace.Line("java: environment: %s", assignment.c_str());
    trace.Line("java: command line: %s", command.c_str());

    if (console && !PrepareConsole()) {
        ReportError("no_set_specified_working_dir", Shown(GetApplicationHome()));
        return 1;
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Held until the lent handle is in place, so the wizard never runs
    // without it.
    const bool lending = wizard != nullptr && wizard->lend != nullptr;
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE,
                        lending ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, &process)) {
        trace.Line("java: could not be started (error %lu)", GetLastError());
        ReportErrorText("java_aborted");
        return 1;
    }

    OwnedHandle child(process.hProcess);
    OwnedHandle thread(process.hThread);
    if (wizard != nullptr) {
        wizard->process = child.get();
        HANDLE lent = nullptr;
        if (wizard->lend != nullptr &&
            !DuplicateHandle(GetCurrentProcess(), wizard->lend, child.get(), &lent, 0, TRUE,
                             DUPLICATE_SAME_ACCESS))
            trace.Line("java: the working directory's handle could not be lent (error %lu)",
                       GetLastError());
        if (lending) ResumeThread(thread.get());
    }

    // The status window stays up while the runtime starts its own window.
    Sleep(GetJavaStartDelayMs());
    HideStatusWindow();
    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 0;
    if (GetExitCodeProcess(child.get(), &exitCode)) status = static_cast<int>(exitCode);
    if (wizard != nullptr) wizard->process = nullptr;
    trace.Line("java: the wizard ended with exit code %d", status);
    return status;
}
