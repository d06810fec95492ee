// The run's phase is the only state the handler shares with the main thread:
// it is this file's own, since the system calls the handler without context.
// Both change it with one compare-and-exchange from "preparing": the handler
// to "stopping", the main thread to "wizard".
// Whichever comes first decides, so an event can neither stop a wizard that
// has already been started nor be lost just before the start.
#include "launcher/console_control.h"

#include "base/owned.h"
#include "ui/output.h"
#include "ui/window_code.h"

namespace {

enum : LONG { Preparing = 0, Stopping = 1, Wizard = 2 };
volatile LONG controlPhase = Preparing;

} // namespace

void (*ConsoleEventSeen)(unsigned long event) = nullptr;
void (*EndSessionSeen)() = nullptr;

namespace {

// The longest the start waits for the end-session window to be made.
const DWORD kEndSessionWindowWaitMs = 5000;

} // namespace

namespace {

LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The session may end as soon as this returns: it does not.
        if (wParam) {
            if (EndSessionSeen != nullptr) EndSessionSeen();
            OnConsoleControl((lParam & ENDSESSION_LOGOFF) ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT);
        }
        return 0;
    default:
        return User32().DefWindowProcW(window, message, wParam, lParam);
    }
}

// Makes the window, says so on the event `ready` (whether or not the window
// came), and serves its messages.
DWORD WINAPI EndSessionWindowThread(void *ready)
{
    const wchar_t className[] = L"LauncherEndSession";
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = OnSessionMessage;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    // Top-level (a message-only window hears no broadcast), never shown.
    const User32Functions &user32 = User32();
    const bool made = user32.RegisterClassW(&windowClass) &&
                      user32.CreateWindowExW(0, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                             nullptr, windowClass.hInstance, nullptr) != nullptr;
    SetEvent(static_cast<HANDLE>(ready));
    if (!made) return 1;
    MSG message;
    while (user32.GetMessageW(&message, nullptr, 0, 0) > 0) user32.DispatchMessageW(&message);
    return 0;
}

} // namespace

void InstallConsoleControlHandler()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void StartEndSessionWindow()
{
    // conrun, and setup printing into the console of the script that
    // started it, hear the session's end as console events, as long as they
    // never load the window code: they need no window.
    if (AppInstance == nullptr || (GetPrintToConsole() && UseParentConsole())) return;
    // Waited for until the window is made: a process that ends while the
    // thread is still making it would end that thread in the middle of a
    // system call (Wine then writes an error on the standard error).
    OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready.valid()) return;
    OwnedHandle thread(CreateThread(nullptr, 0, EndSessionWindowThread, ready.get(), 0, nullptr));
    if (!thread.valid()) return;
    const HANDLE either[] = {ready.get(), thread.get()};
    // A thread that has not said yet may still set the event: it stays.
    if (WaitForMultipleObjects(2, either, FALSE, kEndSessionWindowWaitMs) == WAIT_TIMEOUT)
        ready.release();
}

bool StopRequested()
{
    return InterlockedCompareExchange(&controlPhase, Preparing, Preparing) == Stopping;
}

bool StartingWizard()
{
    return InterlockedCompareExchange(&controlPhase, Wizard, Preparing) != Stopping;
}

BOOL WINAPI OnConsoleControl(DWORD event)
{
    InterlockedCompareExchange(&controlPhase, Stopping, Preparing);
    if (ConsoleEventSeen != nullptr) ConsoleEventSeen(event);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // Closing, logoff, shutdown: returning would end the process at once,
    // leaving the working directory behind. The main thread ends the
    // process when it has stopped or cleaned up; the system's own time
    // limit is the outer bound.
    Sleep(INFINITE);
    return TRUE;
}

void ResetConsoleControl()
{
    InterlockedExchange(&controlPhase, Preparing);
}
