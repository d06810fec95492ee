// Console-only output until the window channels land.
#include "ui/output.h"

HINSTANCE AppInstance;
HWND volatile StatusWindow;

namespace {
unsigned char printToConsole;
}

void SetPrintToConsole(int value)
{
    printToConsole = static_cast<unsigned char>(value);
}

int GetPrintToConsole()
{
    return printToConsole;
}

int statusf(const char *format, ...)
{
    if (format == nullptr) return 0;
    va_list args;
    va_start(args, format);
    int n = vprintf(format, args);
    va_end(args);
    return n;
}

int _fprintf(FILE *stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vprintf(format, args);
    va_end(args);
    fflush(stream);
    return n;
}

int _printf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vprintf(format, args);
    va_end(args);
    fflush(stdout);
    return n;
}
