// The window channels: the status window, run by a thread of its own, and
// message boxes.
//
// Implementation notes.
// - Nothing is locked. The main thread owns the pending texts and the two
//   loading flags; the window thread owns StatusText and writes
//   StatusWindow. A status text crosses between them only as the lParam of a
//   posted WM_USER, and the message queue orders that hand-over.
// - The window thread looks at WindowsLoaded only after it has taken a
//   message for its window. A start that fails after the thread exists
//   clears the flag and then wakes the thread with empty messages until it
//   has ended (see WaitForWindowThread), so that wait cannot hang.
// - Painting measures the text first and grows the window about its centre
//   when the text does not fit; it never shrinks, so a long text leaves the
//   window larger for every later one. Margins, and the progress bar, are
//   laid out in pixels at 96 dpi and scaled to the display's: the dialog and
//   the message font already scale with the system DPI the manifest declares.
// - The progress bar (ui/progress.h) follows a counter that the extraction's
//   workers add to. The window thread reads it on a timer and paints only the
//   bar's growth, straight into the window, so the text is not erased ten
//   times a second; a full paint draws both. A new progress line hides it.
#include "ui/output.h"
#include "ui/output_internal.h"

#include "base/memory.h"
#include "base/owned.h"
#include "ui/catalogue.h"
#include "ui/progress_measure.h"
#include "ui/window_code.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

HINSTANCE AppInstance;
HWND volatile StatusWindow;

HANDLE(WINAPI *StartWindowThread)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID,
                                  DWORD, LPDWORD) = CreateThread;
BOOL(WINAPI *RaiseWindowThreadPriority)(HANDLE, int) = SetThreadPriority;

namespace {

const int StatusDialogId = 103;
// The window messages of the progress bar: the measure to show under the
// text (lParam, a ProgressMeasure the step lends), and its end, after which
// the bar keeps its last figure until the next text and the measure is not
// read again (signalled with BarEndedEvent: the step waits for it, then the
// measure's owner may let it go).
const UINT ProgressBeginMessage = WM_APP;
const UINT ProgressEndMessage = WM_APP + 1;
// Hides the window in the order of the texts posted before it (see
// HideStatusWindow); signals HiddenEvent once done.
const UINT HideMessage = WM_APP + 2;
// How long a hide waits for the window thread to carry it out.
const DWORD HideLimitMs = 5000;
const UINT_PTR ProgressTimerId = 1;
// Lines break at line feeds only (no DT_WORDBREAK); tabs expand and '&' is
// an ordinary character.
const UINT MeasureFlags = DT_CALCRECT | DT_CENTER | DT_EXPANDTABS | DT_NOPREFIX;
const UINT DrawFlags = DT_CENTER | DT_EXPANDTABS | DT_NOPREFIX;
static_assert(MeasureFlags == 0x0C41 && DrawFlags == 0x0841, "status text flags");
// How often a failed start wakes the window thread while waiting for it.
const DWORD WakeIntervalMs = 10;

volatile bool WindowsLoaded;  // also the window thread's loop condition
bool WindowsLoading;
HANDLE WindowThread;  // the running window thread, until CloseWindows ends it at exit
HANDLE HiddenEvent;   // set by the window thread when it has carried out a HideMessage
HANDLE BarEndedEvent; // set by the window thread when it has let a step's measure go

char *volatile title;         // see GetTitle; published once with a CAS
char *StatusText;             // window thread only
// The bar, window thread only: whether there is one, the measure it follows
// (null once its step has ended), the figure painted last and where it was
// painted (empty before a paint).
bool BarShown;
const ProgressMeasure *BarMeasure;
int BarPermille;
RECT BarRect;
char *PendingStatusText;      // main thread only
char *PendingMessageBoxText;  // main thread only

// BeginPaint ... EndPaint.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(User32().BeginPaint(window, &paint_)) {}
    ~PaintScope()
    {
        if (dc_ != nullptr) User32().EndPaint(window_, &paint_);
    }
    PaintScope(const PaintScope &) = delete;
    PaintScope &operator=(const PaintScope &) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// The system's message-box font, selected into a device context for the
// life of the object. When the metrics or the font cannot be had, the
// context keeps its current font.
class MessageFont {
public:
    explicit MessageFont(HDC dc) : dc_(dc)
    {
        // The 8-bit record as this build declares it: with _WIN32_WINNT below
        // 0x0600 it ends with lfMessageFont (340 bytes), the size every
        // Windows version accepts; the later iPaddedBorderWidth member would
        // make the call fail on the oldest ones.
        NONCLIENTMETRICSA metrics{};
        metrics.cbSize = sizeof metrics;
        static_assert(sizeof metrics == 340, "NONCLIENTMETRICSA without iPaddedBorderWidth");
        if (!User32().SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            return;
        LOGFONTA font = metrics.lfMessageFont;
        // DrawTextA reads the text in the code page of the font's character
        // set, and the text is in the ANSI code page. Some systems (Wine)
        // report the message font with ANSI_CHARSET whatever the locale,
        // which would garble every double-byte text: then let the font
        // mapper take the system's own character set.
        CHARSETINFO charset;
        DWORD *source = reinterpret_cast<DWORD *>(static_cast<UINT_PTR>(font.lfCharSet));
        if (!Gdi32().TranslateCharsetInfo(source, &charset, TCI_SRCCHARSET) ||
            charset.ciACP != GetACP()) {
            font.lfCharSet = DEFAULT_CHARSET;
        }
        font_ = Gdi32().CreateFontIndirectA(&font);
        if (font_ != nullptr) previous_ = Gdi32().SelectObject(dc_, font_);
    }
    ~MessageFont()
    {
        if (font_ == nullptr) return;
        if (previous_ != nullptr && previous_ != HGDI_ERROR) Gdi32().SelectObject(dc_, previous_);
        Gdi32().DeleteObject(font_);
    }
    MessageFont(const MessageFont &) = delete;
    MessageFont &operator=(const MessageFont &) = delete;

private:
    HDC dc_;
    HFONT font_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// Writes `text` to standard output as it stands (never as a format).
int WriteVerbatim(const char *text)
{
    return static_cast<int>(fwrite(text, 1, strlen(text), stdout));
}

// The steps both window channels share: compose behind the pending text,
// fall back to the console without windows, hold a text that does not end
// with a line feed, and strip that line feed. Returns the text to show, or
// null with *result set when there is nothing more to do.
OwnedText CompleteWindowText(char *&pending, const char *format, va_list args, int *formatted,
                        int *result)
{
    OwnedText text(ComposeWindowText(pending, format, args, formatted));
    free(pending);
    pending = nullptr;

    if (!LoadWindows() || !WindowsLoaded) {
        *result = WriteVerbatim(text.get());
        return OwnedText();
    }
    size_t length = strlen(text.get());
    if (length == 0 || text.get()[length - 1] != '\n') {
        pending = text.release();
        *result = 0;
        return OwnedText();
    }
    text.get()[length - 1] = '\0';
    return text;
}

// Waits for a window thread after WindowsLoaded was cleared, at most
// `limitMs` (INFINITE for no limit). The thread tests the flag only after
// each message for its window, and it may not have created that window yet:
// post it an empty message every interval until it has ended. A single post
// could come before the window exists, or be taken before the cleared flag
// reaches the thread. True when the thread has ended.
bool WaitForWindowThread(HANDLE thread, DWORD limitMs)
{
    for (DWORD waited = 0; WaitForSingleObject(thread, WakeIntervalMs) == WAIT_TIMEOUT;
         waited += WakeIntervalMs) {
        if (limitMs != INFINITE && waited >= limitMs) return false;
        HWND window = StatusWindow;
        if (window != nullptr) User32().PostMessageA(window, WM_NULL, 0, 0);
    }
    return true;
}

// How long a start waits for the window thread to create its window.
const DWORD WindowCreationLimitMs = 10000;

// Waits until the window thread has created the status window or has ended
// (the dialog could not be made), at most WindowCreationLimitMs. Without
// this wait every progress line printed before the window exists would go
// to standard output, which nobody sees in a GUI program, and a message box
// would race the window thread's first use of the window system.
void WaitForWindow(HANDLE thread)
{
    for (DWORD waited = 0; StatusWindow == nullptr && waited < WindowCreationLimitMs;
         waited += WakeIntervalMs) {
        if (WaitForSingleObject(thread, WakeIntervalMs) != WAIT_TIMEOUT) return;
    }
}

// How long the exit waits for the window thread to take its window down.
const DWORD CloseWindowsLimitMs = 5000;

// Ends the window thread before the process exits (an exit handler). A
// process that exits while another of its threads still owns a window
// leaves that thread and its window to be torn down by the system during
// the exit; under Wine a loaded machine can then take long enough that the
// whole process is killed (ending by signal 9 instead of with its status).
// Taking the window down on its own thread first leaves nothing to tear
// down. WindowsLoading stays set, so no later output (nor the thread's own
// HideStatusWindow on its way out) starts another thread: what is printed
// from here on goes to the console.
void CloseWindows()
{
    OwnedHandle thread(WindowThread);
    if (!thread.valid()) return;
    WindowThread = nullptr;
    WindowsLoading = true;
    WindowsLoaded = false;
    WaitForWindowThread(thread.get(), CloseWindowsLimitMs);
}

void PaintStatusText(HWND window, HDC dc, const char *text)
{
    MessageFont font(dc);
    const int dpi = Gdi32().GetDeviceCaps(dc, LOGPIXELSY);
    const bool withBar = BarShown;

    RECT frame;
    User32().GetWindowRect(window, &frame);
    const RECT room = LayOutStatusWindow(frame.right - frame.left, frame.bottom - frame.top, 0,
                                         dpi, withBar).room;
    RECT measured = room;
    int textHeight = User32().DrawTextA(dc, text, -1, &measured, MeasureFlags);

    if (GrowStatusWindowRect(&frame, measured, room)) {
        User32().SetWindowPos(window, nullptr, frame.left, frame.top, frame.right - frame.left,
                     frame.bottom - frame.top, 0);
        User32().GetWindowRect(window, &frame);
    }
    StatusLayout layout = LayOutStatusWindow(frame.right - frame.left, frame.bottom - frame.top,
                                             textHeight, dpi, withBar);
    User32().DrawTextA(dc, text, -1, &layout.text, DrawFlags);
    BarRect = layout.bar;
    PaintStatusBar(dc, BarRect, BarPermille);
}

// Paints the bar's growth since the last figure, when the counter moved.
void FollowProgress(HWND window)
{
    if (BarMeasure == nullptr) return;
    const int permille = ProgressPermille(BarMeasure->written.load(std::memory_order_relaxed),
                                          BarMeasure->total.load());
    if (permille <= BarPermille) return;
    BarPermille = permille;
    HDC dc = User32().GetDC(window);
    if (dc == nullptr) return;
    PaintStatusBar(dc, BarRect, BarPermille);
    User32().ReleaseDC(window, dc);
}

void HideBar(HWND window)
{
    User32().KillTimer(window, ProgressTimerId);
    BarShown = false;
    BarMeasure = nullptr;
    BarPermille = 0;
    User32().SetRectEmpty(&BarRect);
}

} // namespace

bool WindowChannelsStarted()
{
    return WindowsLoaded;
}

void ResetWindowChannels()
{
    CloseWindows();
    WindowsLoading = false;
    WindowsLoaded = false;
    free(PendingStatusText);
    free(PendingMessageBoxText);
    PendingStatusText = nullptr;
    PendingMessageBoxText = nullptr;
}

const char *GetTitle()
{
    // Two threads may ask first at the same moment (the main thread and the
    // status-window thread). Each may fetch a text; only the first to publish
    // wins, the other frees its copy, and both return the published one.
    char *current = title;
    if (current != nullptr) return current;
    char *fetched = GetLocalizedMessage("setup_title");
    PVOID previous = InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile *>(&title), fetched, nullptr);
    if (previous != nullptr) {
        free(fetched);
        return static_cast<char *>(previous);
    }
    return fetched;
}

bool ShowProgressInStatusWindow(const ProgressMeasure *measure)
{
    HWND window = StatusWindow;
    return window != nullptr && User32().PostMessageA(window, ProgressBeginMessage, 0,
                                                      reinterpret_cast<LPARAM>(measure));
}

void EndProgressInStatusWindow()
{
    HWND window = StatusWindow;
    if (window == nullptr) return;
    if (BarEndedEvent == nullptr) BarEndedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (BarEndedEvent != nullptr && ResetEvent(BarEndedEvent) &&
        User32().PostMessageA(window, ProgressEndMessage, 0, 0))
        WaitForSingleObject(BarEndedEvent, HideLimitMs);
}

bool LoadWindows()
{
    if (AppInstance == nullptr) return false;
    if (WindowsLoading) return false;
    if (WindowsLoaded) return true;

    WindowsLoading = true;
    WindowsLoaded = true;
    DWORD threadId = 0;
    OwnedHandle thread(StartWindowThread(nullptr, 0, DispatchWindowsEvents, nullptr, 0, &threadId));
    if (thread.valid() &&
        RaiseWindowThreadPriority(thread.get(), THREAD_PRIORITY_HIGHEST)) {
        WindowThread = thread.release();
        WaitForWindow(WindowThread);
        WindowsLoading = false;
        static bool closeAtExit = (atexit(CloseWindows), true);
        (void)closeAtExit;
        return true;
    }

    WindowsLoaded = false;
    if (thread.valid()) WaitForWindowThread(thread.get(), INFINITE);
    WindowsLoading = false;
    return false;
}

void HideStatusWindow()
{
    if (!LoadWindows() || !WindowsLoaded) return;
    HWND window = StatusWindow;
    if (window == nullptr) return;
    // A text posted just before (the wizard's "executing_java") shows the
    // window when the window thread takes it. Hiding at once from here is a
    // message sent to that thread, which it takes before anything posted:
    // the text would show the window again for as long as the wizard runs.
    // So the hide is posted behind the texts, and waited for.
    if (HiddenEvent == nullptr) HiddenEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (User32().GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId() &&
        HiddenEvent != nullptr && ResetEvent(HiddenEvent) &&
        User32().PostMessageA(window, HideMessage, 0, 0)) {
        WaitForSingleObject(HiddenEvent, HideLimitMs);
        return;
    }
    User32().ShowWindow(window, SW_HIDE);
}

int PrintToStatusWindow(const char *format, va_list args)
{
    int formatted = 0;
    int result = 0;
    OwnedText text = CompleteWindowText(PendingStatusText, format, args, &formatted, &result);
    if (!text.valid()) return result;

    HWND window = StatusWindow;
    if (window == nullptr) return WriteVerbatim(text.get());
    int length = static_cast<int>(strlen(text.get()));
    if (!User32().PostMessageA(window, WM_USER, 0, reinterpret_cast<LPARAM>(text.get()))) {
        return WriteVerbatim(text.get());
    }
    text.release();  // the window thread owns it now
    return length;
}

int PrintToMessageBox(UINT icon, const char *format, va_list args)
{
    int formatted = 0;
    int result = 0;
    OwnedText text = CompleteWindowText(PendingMessageBoxText, format, args, &formatted, &result);
    if (!text.valid()) return result;

    UINT style = MB_OK | (icon == MB_ICONINFORMATION ? MB_ICONINFORMATION : MB_ICONERROR);
    // A box that cannot be shown must not swallow its text.
    if (User32().MessageBoxA(StatusWindow, text.get(), GetTitle(), style) == 0) {
        WriteVerbatim(text.get());
        fputc('\n', stdout);
    }
    return formatted;
}

DWORD WINAPI DispatchWindowsEvents(LPVOID)
{
    HWND window = User32().CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(StatusDialogId),
                                              nullptr, StatusCallback, 0);
    if (window == nullptr) return 1;
    StatusWindow = window;
    User32().SetWindowTextA(window, GetTitle());

    while (WindowsLoaded) {
        MSG message;
        if (User32().GetMessageA(&message, window, 0, 0) != -1) {
            User32().TranslateMessage(&message);
            User32().DispatchMessageA(&message);
        }
        Sleep(0);
    }

    HideStatusWindow();
    User32().DestroyWindow(window);
    StatusWindow = nullptr;
    free(StatusText);
    StatusText = nullptr;
    BarShown = false;
    BarMeasure = nullptr;
    BarPermille = 0;
    User32().SetRectEmpty(&BarRect);
    return 0;
}

INT_PTR CALLBACK StatusCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_USER:
        if (lParam != 0) {
            free(StatusText);
            StatusText = reinterpret_cast<char *>(lParam);
            HideBar(window);
            User32().ShowWindow(window, SW_SHOW);
            User32().InvalidateRect(window, nullptr, TRUE);
            User32().SetForegroundWindow(window);
            User32().UpdateWindow(window);
        }
        return TRUE;
    case ProgressBeginMessage:
        BarMeasure = reinterpret_cast<const ProgressMeasure *>(lParam);
        BarShown = true;
        BarPermille = ProgressPermille(BarMeasure->written.load(), BarMeasure->total.load());
        User32().SetTimer(window, ProgressTimerId, ProgressTickMs, nullptr);
        User32().InvalidateRect(window, nullptr, TRUE);
        User32().UpdateWindow(window);
        return TRUE;
    case WM_TIMER:
        if (wParam == ProgressTimerId) FollowProgress(window);
        return TRUE;
    case ProgressEndMessage:
        User32().KillTimer(window, ProgressTimerId);
        FollowProgress(window);
        BarMeasure = nullptr;
        SetEvent(BarEndedEvent);
        return TRUE;
    case HideMessage:
        User32().ShowWindow(window, SW_HIDE);
        SetEvent(HiddenEvent);
        return TRUE;
    case WM_PAINT: {
        // Every paint starts from an erased window, so no earlier text stays.
        User32().InvalidateRect(window, nullptr, TRUE);
        PaintScope paint(window);
        if (paint.dc() != nullptr && StatusText != nullptr) {
            PaintStatusText(window, paint.dc(), StatusText);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}
