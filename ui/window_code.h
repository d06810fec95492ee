// The window code, user32 and gdi32, loaded at its first use.
//
// The programs do not import these DLLs: importing them loads them into
// every run before the first line of it, and under Wine that costs about as
// much as the rest of a start. conrun, and a setup that shows no window,
// never load them. Everything that draws, shows a box or handles window
// messages calls through User32() and Gdi32() instead, which load the DLL
// on the first call and hand out its functions with their own declared
// types (no signature is written here twice).
#ifndef UI_WINDOW_CODE_H
#define UI_WINDOW_CODE_H

#include <windows.h>

#define LAUNCHER_USER32_FUNCTIONS(F)                                                          \
    F(BeginPaint) F(CreateDialogParamA) F(CreateWindowExW) F(DefWindowProcW) F(DestroyWindow) \
    F(DispatchMessageA) F(DispatchMessageW) F(DrawTextA) F(EndPaint) F(FillRect)               \
    F(FrameRect) F(GetDC) F(GetMessageA) F(GetMessageW) F(GetSysColorBrush) F(GetWindowRect)  \
    F(GetWindowThreadProcessId) F(InvalidateRect) F(IsIconic) F(KillTimer) F(MessageBoxA)     \
    F(PostMessageA) F(RegisterClassW) F(ReleaseDC) F(SetForegroundWindow) F(SetRectEmpty)     \
    F(SetTimer) F(SetWindowPos) F(SetWindowTextA) F(ShowWindow) F(SystemParametersInfoA)      \
    F(TranslateMessage) F(UpdateWindow)

#define LAUNCHER_GDI32_FUNCTIONS(F)                                                            \
    F(BitBlt) F(CreateCompatibleBitmap) F(CreateCompatibleDC) F(CreateFontIndirectA) F(DeleteDC) \
    F(DeleteObject) F(GetDeviceCaps) F(SelectObject) F(TranslateCharsetInfo)

#define LAUNCHER_WINDOW_FUNCTION(name) decltype(&::name) name;
struct User32Functions {
    LAUNCHER_USER32_FUNCTIONS(LAUNCHER_WINDOW_FUNCTION)
};
struct Gdi32Functions {
    LAUNCHER_GDI32_FUNCTIONS(LAUNCHER_WINDOW_FUNCTION)
};
#undef LAUNCHER_WINDOW_FUNCTION

// The functions of user32 and of gdi32, every one of them set. The first
// call loads the DLL (by name: both are known DLLs of Windows, always taken
// from the system directory); calls from several threads at once load it
// once. A DLL or a function that cannot be had ends the process with status
// 1 after naming it on standard error, as an allocation that fails does:
// every Windows version the launcher runs on has them all.
const User32Functions &User32();
const Gdi32Functions &Gdi32();

#endif
