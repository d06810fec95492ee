#include "ui/colour_depth.h"

#include "base/owned.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "ui/window_code.h"

#include <windows.h>

int ScreenColourDepthOfDisplay()
{
    // Windows 8 and later have no display mode below 8 bits per pixel (the
    // reduced colour modes kept for old programs have 8 or 16): only older
    // versions are asked, so that a run without a window never loads the
    // window code. Without a manifest Windows 8.1 and later say 6.2, which
    // is enough here.
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version) &&
        (version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2)))
        return MinimumColourDepth;
    HDC screen = User32().GetDC(nullptr);
    if (screen == nullptr) return 0;
    int depth = Gdi32().GetDeviceCaps(screen, PLANES) * Gdi32().GetDeviceCaps(screen, BITSPIXEL);
    User32().ReleaseDC(nullptr, screen);
    return depth;
}

bool AskForConsoleModeInMessageBox()
{
    OwnedText text(GetLocalizedMessage("need_more_colors"));
    const UINT style = MB_YESNO | MB_ICONWARNING;
    return User32().MessageBoxA(StatusWindow, text.get(), GetTitle(), style) == IDYES;
}
