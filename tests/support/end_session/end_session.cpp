// end_session <program>: sends WM_QUERYENDSESSION and then WM_ENDSESSION (the
// session ends, at logoff) to the launcher's end-session windows that belong
// to a process started from <program> (a Windows path), in that order, as
// Windows sends them to every top-level window. Other launchers that happen
// to run at the same time are left alone.
//
// The window is looked for until it is there (up to the limit): a loaded
// machine may make it well after the launcher printed its first lines. The
// second send returns once the window's process has ended (its handler does
// not return before), or after the limit. Prints how many windows it
// reached; exit status 0 when it reached one, else 1.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

const DWORD kLimitMs = 60000;

bool StartedFrom(HWND window, const wchar_t *program)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return false;
    wchar_t image[MAX_PATH * 4];
    DWORD length = sizeof image / sizeof image[0];
    const bool named = QueryFullProcessImageNameW(process, 0, image, &length) != 0;
    CloseHandle(process);
    return named && _wcsicmp(image, program) == 0;
}

int SendToAll(const wchar_t *program)
{
    int reached = 0;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, L"LauncherEndSession", nullptr)) != nullptr;) {
        if (!StartedFrom(window, program)) continue;
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                            kLimitMs, &answer);
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kLimitMs,
                            &answer);
        ++reached;
    }
    return reached;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: end_session <program>\n");
        return 2;
    }
    const DWORD start = GetTickCount();
    int reached = 0;
    while ((reached = SendToAll(argv[1])) == 0 && GetTickCount() - start < kLimitMs) Sleep(50);
    printf("%d\n", reached);
    return reached > 0 ? 0 : 1;
}
