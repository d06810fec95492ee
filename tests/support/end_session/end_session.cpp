// Sends WM_QUERYENDSESSION and then WM_ENDSESSION (the session ends, at
// logoff) to every top-level window of the launcher's end-session class, in
// that order, as Windows sends them to every top-level window. The second
// send returns once the window's process has ended (its handler does not
// return before), or after the limit. Prints how many windows it reached;
// exit status 0 when it reached one, else 1.
#include <windows.h>

#include <cstdio>

int main()
{
    const DWORD limitMs = 60000;
    int reached = 0;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, L"LauncherEndSession", nullptr)) != nullptr;) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, limitMs,
                            &answer);
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, limitMs,
                            &answer);
        ++reached;
    }
    printf("%d\n", reached);
    return reached > 0 ? 0 : 1;
}
