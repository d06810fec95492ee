// The output channels' pieces without any window, and the seams through which
// tests make the window thread's start fail; the programs use ui/output.h.
#ifndef UI_OUTPUT_INTERNAL_H
#define UI_OUTPUT_INTERNAL_H

#include "ui/output.h"

// The pending text (may be null) followed by `format` formatted with `args`:
// a fresh MemAlloc'd text the caller frees. The formatting buffer starts at
// 1024 bytes beyond the pending text and grows by 1024 until the text fits.
// Stores the number of characters this call formatted in *formatted; a text
// that cannot be formatted at all adds nothing and stores -1.
char *ComposeWindowText(const char *pending, const char *format, va_list args,
                        int *formatted);

// Grows the window rectangle `window` symmetrically about its centre by what
// the measured text rectangle `measured` overhangs the layout rectangle
// `layout` on the right and at the bottom (half on each side, rounded up).
// True when it grew. Never shrinks.
bool GrowStatusWindowRect(RECT *window, const RECT &measured, const RECT &layout);

// Where things go in a status window of `width` by `height` at `dpi` (96 is
// 100 %): margins of 10 pixels at 96 dpi, scaled; the text block
// `textHeight` high and, `withBar`, the progress bar under it, centred
// vertically as one block.
struct StatusLayout {
    RECT room;  // where the text may go: the window less the margins and the bar
    RECT text;  // the text block
    RECT bar;   // the bar, narrower than the text; empty without one
};
StatusLayout LayOutStatusWindow(int width, int height, int textHeight, int dpi, bool withBar);

// Paints the progress bar `bar` at `permille` (0 to 1000) on `dc`: a frame,
// the done part in the selection colour and the rest in the window colour,
// drawn off screen and copied in one step where a bitmap can be had.
void PaintStatusBar(HDC dc, const RECT &bar, int permille);

// True when progress lines go to the status window, which exists (starting
// the window thread when need be, as a print does).
bool StatusGoesToWindow();

// Hands `measure` to the status window, whose bar then follows it under the
// current text until EndProgressInStatusWindow, which returns once the window
// thread has let it go (or has not answered in 5 s): the measure must live
// until then. False when there is no window to show it.
struct ProgressMeasure;
bool ShowProgressInStatusWindow(const ProgressMeasure *measure);
void EndProgressInStatusWindow();

// True while the window thread runs (started by LoadWindows, not ended).
bool WindowChannelsStarted();

// Ends the window thread and drops the pending texts (ResetOutputChannels).
void ResetWindowChannels();

// --- Test seams ----------------------------------------------------------

// How LoadWindows starts the window thread and raises its priority. Tests
// replace them to make a start fail; the programs never touch them.
extern HANDLE(WINAPI *StartWindowThread)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                         LPVOID, DWORD, LPDWORD);
extern BOOL(WINAPI *RaiseWindowThreadPriority)(HANDLE, int);

// Takes the output channels back to where a process starts them: the window
// thread ended, no text pending, console output off. For tests that run one
// after another in one process.
void ResetOutputChannels();

#endif
