// Output channels: the console, the status window and message boxes.
//
// statusf prints progress lines, _fprintf errors and usage texts, _printf
// information. With PrintToConsole set, or without windows (conrun never has
// an instance handle), everything goes to standard output. Otherwise status
// lines go to the status window, run by a thread of its own, and errors to
// modal message boxes.
#ifndef UI_OUTPUT_H
#define UI_OUTPUT_H

#include <windows.h>
#include <cstdarg>
#include <cstdio>

// The module that holds dialog 103; set by WinMain only, before any output.
// Null (conrun) disables every window.
extern HINSTANCE AppInstance;

// The status window, or null before the window thread has created it.
extern HWND volatile StatusWindow;

// Stores the low byte of `value` in PrintToConsole. Nothing clears it again.
void SetPrintToConsole(int value);
int GetPrintToConsole();

// Prints one progress text. A null format hides the status window.
int statusf(const char *format, ...);

// Prints an error (stream stderr) or information text. On the console every
// text goes to standard output, whatever the stream.
int _fprintf(FILE *stream, const char *format, ...);
int _printf(const char *format, ...);

// True when the window channels are in use, starting the window thread on
// first use; false when windows are not available.
bool LoadWindows();

// Hides the status window, when there is one.
void HideStatusWindow();

// The window channels behind the print functions. A text that does not end
// with a line feed is held and joined to the next text on the same channel.
int PrintToStatusWindow(const char *format, va_list args);
int PrintToMessageBox(UINT icon, const char *format, va_list args);

// The window thread's procedure and the status window's dialog procedure.
DWORD WINAPI DispatchWindowsEvents(LPVOID);
INT_PTR CALLBACK StatusCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
