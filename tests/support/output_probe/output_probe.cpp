// output_probe: a GUI program built from setup.exe's sources and resources
// that runs a script of outputs, so tests can drive the status window and the
// message boxes through every case.
//
//   output_probe <command>...        one command per argument
//   output_probe -f <file>           one command per line of <file>; its
//                                    bytes pass as they stand (texts in the
//                                    ANSI code page)
//
// In a command's text, \n \t \\ and \xHH stand for a line feed, a tab, a
// backslash and any byte. The text of a print command is the format, as a
// catalogue text is in the launcher.
//
//   status <text>      statusf(text)
//   error <text>       _fprintf(stderr, text)
//   notice <text>      _fprintf(stdout, text)
//   info <text>        _printf(text)
//   statuskey <key>    statusf with the catalogue text of <key>
//   errorkey <key>     _fprintf(stderr, ...) with the catalogue text of <key>
//   hide               statusf(NULL)
//   console            SetPrintToConsole(1)
//   noinstance         forgets the instance handle, as conrun never has one
//   load               LoadWindows()
//   waitwindow         waits until the window thread has created its window
//   waitshown          waits until the status window is visible
//   drain              waits until the window thread has taken every message
//                      posted to the window before this command
//   mark <path>        creates <path>: tells the test a point was reached
//   waitfile <path>    waits until <path> exists: the test lets the script on
//   failstart thread|priority|priority-late
//                      makes the next start of the window thread fail: no
//                      thread, or a thread whose priority cannot be raised
//                      (at once, or once it has created its window)
//   report             the channel state
//   progresstotal <n>  sets the total of the probe's measure
//   progressstep <key> starts a ProgressStep for the catalogue key
//   progressadd <n>    adds n bytes to the step's counter
//   progressend        ends the step
//
// The probe's own reports go to standard error, where the output channels
// never write: "<command> -> <result>" after each print or load, and the
// state lines of report. Exit status 0, or 3 when a wait timed out.
#include "base/memory.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "ui/output_internal.h"
#include "ui/progress.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const DWORD WaitLimitMs = 60000;
const DWORD PollMs = 10;

enum class StartFault { None, Thread, Priority, PriorityLate };
StartFault nextStartFault = StartFault::None;
ProgressMeasure measure;  // declared first: the step borrows it
std::unique_ptr<ProgressStep> step;

HANDLE WINAPI FailingCreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID,
                                  DWORD, LPDWORD)
{
    StartWindowThread = CreateThread;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// Fails the priority step. The late kind first lets the thread create its
// window and block in its message loop, the case where only a message for
// that window can make it look at its loop condition again.
BOOL WINAPI FailingSetThreadPriority(HANDLE, int)
{
    RaiseWindowThreadPriority = SetThreadPriority;
    if (nextStartFault == StartFault::PriorityLate) {
        for (DWORD waited = 0; StatusWindow == nullptr && waited < WaitLimitMs; waited += PollMs) {
            Sleep(PollMs);
        }
        Sleep(200);
    }
    nextStartFault = StartFault::None;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

std::string Unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char e = text[++i];
        if (e == 'n') {
            out += '\n';
        } else if (e == 't') {
            out += '\t';
        } else if (e == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += e;
        }
    }
    return out;
}

bool WaitUntil(bool (*ready)(const std::string &), const std::string &what)
{
    for (DWORD waited = 0; waited < WaitLimitMs; waited += PollMs) {
        if (ready(what)) return true;
        Sleep(PollMs);
    }
    fprintf(stderr, "timeout waiting for %s\n", what.c_str());
    fflush(stderr);
    return false;
}

bool WindowExists(const std::string &)
{
    return StatusWindow != nullptr;
}

bool WindowShown(const std::string &)
{
    HWND window = StatusWindow;
    return window != nullptr && IsWindowVisible(window);
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The drain's marker: posted behind whatever the window holds, and seen by a
// hook on the window thread when that thread takes it, so after everything
// posted before it has been handled.
const UINT kDrainMessage = WM_APP + 0x100;
HANDLE drained;

LRESULT CALLBACK SeeDrainMarker(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0 && reinterpret_cast<const MSG *>(lParam)->message == kDrainMessage)
        SetEvent(drained);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool Drain()
{
    HWND window = StatusWindow;
    if (window == nullptr) return true;
    drained = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, SeeDrainMarker, nullptr,
                                   GetWindowThreadProcessId(window, nullptr));
    const bool done = drained != nullptr && hook != nullptr &&
                      PostMessageA(window, kDrainMessage, 0, 0) &&
                      WaitForSingleObject(drained, WaitLimitMs) == WAIT_OBJECT_0;
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    if (drained != nullptr) CloseHandle(drained);
    if (!done) {
        fprintf(stderr, "timeout waiting for the window thread's messages\n");
        fflush(stderr);
    }
    return done;
}

void Report(const std::string &command, int result)
{
    fprintf(stderr, "%s -> %d\n", command.c_str(), result);
    fflush(stderr);
}

void ReportState()
{
    HWND window = StatusWindow;
    RECT rect = {0, 0, 0, 0};
    if (window != nullptr) GetWindowRect(window, &rect);
    fprintf(stderr, "window=%d visible=%d console=%d rect=%ld,%ld,%ld,%ld\n", window != nullptr,
            window != nullptr && IsWindowVisible(window), GetPrintToConsole(), rect.left, rect.top,
            rect.right, rect.bottom);
    fflush(stderr);
}

// Runs one command; false ends the script with status 3.
bool Run(const std::string &line)
{
    size_t space = line.find(' ');
    std::string command = line.substr(0, space);
    std::string text = space == std::string::npos ? "" : Unescape(line.substr(space + 1));
    const char *format = text.c_str();

    if (command == "status") {
        Report(command, statusf(format));
    } else if (command == "error") {
        Report(command, _fprintf(stderr, format));
    } else if (command == "notice") {
        Report(command, _fprintf(stdout, format));
    } else if (command == "info") {
        Report(command, _printf(format));
    } else if (command == "statuskey" || command == "errorkey") {
        char *message = GetLocalizedMessage(text.c_str());
        Report(command, command == "statuskey" ? statusf(message) : _fprintf(stderr, message));
        free(message);
    } else if (command == "hide") {
        Report(command, statusf(nullptr));
    } else if (command == "console") {
        SetPrintToConsole(1);
    } else if (command == "noinstance") {
        AppInstance = nullptr;
    } else if (command == "load") {
        Report(command, LoadWindows());
    } else if (command == "waitwindow") {
        return WaitUntil(WindowExists, "the status window");
    } else if (command == "waitshown") {
        return WaitUntil(WindowShown, "the status window to show");
    } else if (command == "drain") {
        return Drain();
    } else if (command == "mark") {
        FILE *file = fopen(format, "w");
        if (file != nullptr) fclose(file);
    } else if (command == "waitfile") {
        return WaitUntil(FileExists, text);
    } else if (command == "failstart") {
        if (text == "thread") {
            StartWindowThread = FailingCreateThread;
        } else {
            nextStartFault = text == "priority-late" ? StartFault::PriorityLate : StartFault::Priority;
            RaiseWindowThreadPriority = FailingSetThreadPriority;
        }
    } else if (command == "report") {
        ReportState();
    } else if (command == "progresstotal") {
        measure.total = strtoull(format, nullptr, 10);
    } else if (command == "progressstep") {
        step.reset(new ProgressStep(format, &measure));
    } else if (command == "progressadd" && step) {
        step->written()->fetch_add(strtoull(format, nullptr, 10));
    } else if (command == "progressend") {
        step.reset();
    } else if (!command.empty()) {
        fprintf(stderr, "unknown command %s\n", command.c_str());
    }
    return true;
}

std::vector<std::string> ReadScript(const char *path)
{
    std::vector<std::string> lines;
    FILE *file = fopen(path, "rb");
    if (file == nullptr) return lines;
    std::string content;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
    fclose(file);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    AppInstance = instance;
    std::vector<std::string> script;
    if (__argc == 3 && strcmp(__argv[1], "-f") == 0) {
        script = ReadScript(__argv[2]);
    } else {
        for (int i = 1; i < __argc; ++i) script.push_back(__argv[i]);
    }
    for (const std::string &line : script) {
        if (!Run(line)) return 3;
    }
    fflush(stdout);
    return 0;
}
