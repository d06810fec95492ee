// The status window's pieces that need no window of its own: its texts
// composed behind what is pending, where the text and the bar go, how the
// window grows, and the bar drawn on a device context. The window thread
// (ui/status_window.cpp) calls them; the tests reach the first three
// directly.
#include "ui/output_internal.h"

#include "base/memory.h"
#include "ui/window_code.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const size_t FormatStep = 1024;
// The layout at 96 dpi (100 %), in pixels.
const int BaseDpi = 96;
const int TextMargin = 10;
const int BarGap = 8;       // between the text and the bar
const int BarHeight = 12;
const int BarInset = 2 * TextMargin;  // the bar's distance from either side

} // namespace

char *ComposeWindowText(const char *pending, const char *format, va_list args, int *formatted)
{
    size_t pendingLength = pending != nullptr ? strlen(pending) : 0;
    for (size_t size = FormatStep;; size += FormatStep) {
        char *buffer = static_cast<char *>(MemAlloc(pendingLength + size));
        if (pendingLength > 0) memcpy(buffer, pending, pendingLength);
        va_list copy;
        va_copy(copy, args);
        int written = _vsnprintf(buffer + pendingLength, size, format, copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < size) {
            *formatted = written;
            return buffer;
        }
        // _vsnprintf gives -1 both when the buffer is too small and when the
        // text cannot be formatted at all (a wide argument without a
        // multibyte form); no size cures the second. The text then adds
        // nothing to the pending one.
        va_copy(copy, args);
        int needed = _vscprintf(format, copy);
        va_end(copy);
        if (needed < 0) {
            buffer[pendingLength] = '\0';
            *formatted = -1;
            return buffer;
        }
        free(buffer);
    }
}

bool GrowStatusWindowRect(RECT *window, const RECT &measured, const RECT &layout)
{
    bool grew = false;
    int wider = measured.right - layout.right;
    if (wider > 0) {
        int side = (wider + 1) / 2;
        window->left -= side;
        window->right += side;
        grew = true;
    }
    int taller = measured.bottom - layout.bottom;
    if (taller > 0) {
        int side = (taller + 1) / 2;
        window->top -= side;
        window->bottom += side;
        grew = true;
    }
    return grew;
}

StatusLayout LayOutStatusWindow(int width, int height, int textHeight, int dpi, bool withBar)
{
    auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, BaseDpi); };
    const int margin = scaled(TextMargin);
    const int below = withBar ? scaled(BarGap) + scaled(BarHeight) : 0;
    StatusLayout layout;
    layout.room = RECT{margin, margin, width - margin, height - margin - below};
    // Integer division truncates toward zero, also for a block taller than
    // the window.
    const int top = margin + (height - 2 * margin - textHeight - below) / 2;
    layout.text = RECT{margin, top, width - margin, top + textHeight};
    if (withBar) {
        const int barTop = top + textHeight + scaled(BarGap);
        layout.bar = RECT{scaled(BarInset), barTop, width - scaled(BarInset),
                          barTop + scaled(BarHeight)};
    } else {
        layout.bar = RECT{0, 0, 0, 0};
    }
    return layout;
}

// The bar at `permille`: a frame, the done part in the selection colour and
// the rest in the window colour. Drawn off screen and copied in one step, so
// the screen never shows a bar half drawn (a frame around the erased
// background, or the done part without the rest).
void PaintStatusBar(HDC dc, const RECT &bar, int permille)
{
    const int width = bar.right - bar.left;
    const int height = bar.bottom - bar.top;
    if (width <= 2 || height <= 2) return;
    const User32Functions &user32 = User32();
    const Gdi32Functions &gdi32 = Gdi32();
    HDC memory = gdi32.CreateCompatibleDC(dc);
    HBITMAP bitmap = memory != nullptr ? gdi32.CreateCompatibleBitmap(dc, width, height) : nullptr;
    HGDIOBJ previous = bitmap != nullptr ? gdi32.SelectObject(memory, bitmap) : nullptr;
    // Without an off-screen bitmap the bar is drawn straight on the window.
    HDC target = previous != nullptr ? memory : dc;
    const int x = target == dc ? bar.left : 0;
    const int y = target == dc ? bar.top : 0;
    const RECT frame = {x, y, x + width, y + height};
    user32.FrameRect(target, &frame, user32.GetSysColorBrush(COLOR_BTNSHADOW));
    RECT done = {x + 1, y + 1, x + width - 1, y + height - 1};
    RECT rest = done;
    done.right = done.left + MulDiv(done.right - done.left, permille, 1000);
    rest.left = done.right;
    if (done.right > done.left)
        user32.FillRect(target, &done, user32.GetSysColorBrush(COLOR_HIGHLIGHT));
    if (rest.right > rest.left) user32.FillRect(target, &rest, user32.GetSysColorBrush(COLOR_WINDOW));
    if (target == memory) gdi32.BitBlt(dc, bar.left, bar.top, width, height, memory, 0, 0, SRCCOPY);
    if (previous != nullptr) gdi32.SelectObject(memory, previous);
    if (bitmap != nullptr) gdi32.DeleteObject(bitmap);
    if (memory != nullptr) gdi32.DeleteDC(memory);
}
