// Output channels: where each print goes. With PrintToConsole set, or
// without windows, everything goes to standard output; otherwise status
// lines go to the status window and other texts to message boxes
// (ui/status_window.cpp).
#include "ui/output.h"
#include "ui/output_internal.h"

#include <io.h>

#include <cstdio>

namespace {

unsigned char PrintToConsole;

// Points `stream` at the console this process is attached to, unless it
// already leads to a file, a pipe or a console.
void LeadToConsole(FILE *stream)
{
    const int descriptor = _fileno(stream);
    const intptr_t handle = descriptor >= 0 ? _get_osfhandle(descriptor) : -1;
    if (handle != -1 && handle != -2 && handle != 0 &&
        GetFileType(reinterpret_cast<HANDLE>(handle)) != FILE_TYPE_UNKNOWN)
        return;
    freopen("CONOUT$", "w", stream);
}

bool UseWindows()
{
    return PrintToConsole == 0 && LoadWindows();
}

} // namespace

void SetPrintToConsole(int value)
{
    PrintToConsole = static_cast<unsigned char>(value);
    if (PrintToConsole != 0) UseParentConsole();
}

bool UseParentConsole()
{
    static enum { Untried, Attached, NotAttached } state = Untried;
    if (state == Untried) {
        // Fails for a process that has a console already, and when the
        // parent has none.
        state = AttachConsole(ATTACH_PARENT_PROCESS) ? Attached : NotAttached;
        if (state == Attached) {
            LeadToConsole(stdout);
            LeadToConsole(stderr);
        }
    }
    return state == Attached;
}

int GetPrintToConsole()
{
    return PrintToConsole;
}

bool StatusWouldStartWindow()
{
    return PrintToConsole == 0 && AppInstance != nullptr && !WindowChannelsStarted();
}

bool StatusGoesToWindow()
{
    return UseWindows() && WindowChannelsStarted() && StatusWindow != nullptr;
}

int statusf(const char *format, ...)
{
    if (format == nullptr) {
        HideStatusWindow();
        return 0;
    }
    va_list args;
    va_start(args, format);
    int result = UseWindows() ? PrintToStatusWindow(format, args) : vprintf(format, args);
    va_end(args);
    return result;
}

int _fprintf(FILE *stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = UseWindows()
                     ? PrintToMessageBox(stream == stderr ? MB_ICONERROR : MB_ICONINFORMATION,
                                         format, args)
                     : vprintf(format, args);
    va_end(args);
    fflush(stream);
    return result;
}

int _printf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = UseWindows() ? PrintToMessageBox(MB_ICONINFORMATION, format, args)
                              : vprintf(format, args);
    va_end(args);
    fflush(stdout);
    return result;
}

void ResetOutputChannels()
{
    ResetWindowChannels();
    PrintToConsole = 0;
}
