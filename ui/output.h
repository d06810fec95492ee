// Output channels: the console, the status window and message boxes.
//
// statusf prints progress lines, _fprintf errors and usage texts, _printf
// information. With PrintToConsole set, or without windows (conrun never has
// an instance handle), everything goes to standard output. Otherwise status
// lines go to the status window, run by a thread of its own, and errors to
// modal message boxes.
//
// Threads: every print function, LoadWindows, HideStatusWindow and every
// message box run on the main thread. The window thread creates the status
// window, runs its message loop and paints. A status text crosses to it only
// as the lParam of a posted WM_USER, which hands the text over.
#ifndef UI_OUTPUT_H
#define UI_OUTPUT_H

#include <windows.h>
#include <cstdarg>
#include <cstdio>

// The module that holds dialog 103; set by WinMain only, before any output.
// Null (conrun) disables every window.
extern HINSTANCE AppInstance;

// The status window, or null before the window thread has created it and
// after it has destroyed it. Written by the window thread only.
extern HWND volatile StatusWindow;

// Caption of every window and message box: the catalogue text "setup_title",
// fetched once in the language current at the first call. Safe when the main
// thread and the status-window thread ask for it first at the same moment:
// both get the same complete text. Do not free.
const char *GetTitle();

// Stores the low byte of `value` in PrintToConsole. Nothing clears it again.
// Turning it on calls UseParentConsole, so that setup started from a script
// with -silent or -console prints into the script's console.
void SetPrintToConsole(int value);

// Attaches a process that has no console to the console of the process that
// started it, when that one has one (a script run in a console window); the
// first call decides, later ones give the same answer. Standard output and
// error then lead to that console, unless they already lead somewhere (the
// script redirected them). True when this process uses its parent's
// console; false when it has a console of its own (conrun) or its parent has
// none (started from the desktop), where the wizard gets a new one as before.
bool UseParentConsole();

// PrintToConsole: nonzero when every output goes to the console.
int GetPrintToConsole();

// Prints one progress text (a line, ending with a line feed). A null format
// hides the status window. Returns the characters written or handed to the
// window, 0 when the text is held for the next one. Never flushes.
int statusf(const char *format, ...);

// Prints an error (stream stderr: error icon) or another text (information
// icon). On the console every text goes to standard output, whatever the
// stream; `stream` is flushed afterwards either way. Returns the characters
// written or shown, 0 when the text is held for the next one.
int _fprintf(FILE *stream, const char *format, ...);

// Prints an information text, routed like _fprintf; flushes standard output.
int _printf(const char *format, ...);

// True when the window channels are in use, starting the window thread on
// first use (it returns once the thread has created its window or failed
// to, waiting a few seconds at most); false when windows are not available: no instance handle, a start
// already under way (a nested call), or a start that failed. A failed start
// leaves nothing running, and the next call tries again. A started thread
// is ended by an exit handler, which takes its window down before the
// process exits; output after that goes to the console.
bool LoadWindows();

// True when a status text now would start the window thread: the window
// channels are chosen and not started yet. (The exception filter starts no
// thread.)
bool StatusWouldStartWindow();

// Hides the status window when the window channels are in use and the
// window exists, after every status text printed before (the window thread
// carries it out in turn; the call returns once it has, waiting a few
// seconds at most). Starts the window thread if need be, whose window then
// stays hidden until the next status text.
void HideStatusWindow();

// The window channels behind the print functions: format the text behind
// the channel's pending text, hold it while it does not end with a line
// feed, and show it without that line feed. PrintToStatusWindow returns the
// length handed to the window (or written to standard output when there is
// no window); PrintToMessageBox blocks until the user closes the box
// (icon MB_ICONERROR or MB_ICONINFORMATION) and returns the characters that
// this call formatted. Both return 0 when the text is held.
int PrintToStatusWindow(const char *format, va_list args);
int PrintToMessageBox(UINT icon, const char *format, va_list args);

// The window thread's procedure (its parameter is ignored) and the status
// window's dialog procedure.
DWORD WINAPI DispatchWindowsEvents(LPVOID);
INT_PTR CALLBACK StatusCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
