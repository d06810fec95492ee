// The trace file is opened with the Win32 call rather than the C runtime so
// that its handle is not inheritable (the runtimes and the wizard started
// while it is open must not hold it) and so that several processes may
// append to one file at once: FILE_APPEND_DATA makes every write land at the
// end as one piece.
#include "base/trace.h"

#include "base/mbcs.h"

#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>

namespace {

// `format` with `args`, however long the result.
std::string Formatted(const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int length = vsnprintf(nullptr, 0, format, args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

} // namespace

void Trace::Open(const char *variable, const char *title)
{
    OpenFile(getenv(variable), title);
}

void Trace::OpenFile(const char *path, const char *title)
{
    if (path == nullptr || *path == '\0') return;
    // A plain file only, never what a link points at, nor a device (the
    // name may be "CON", a pipe or "\\.\PhysicalDrive0" just as well),
    // in elevated runs too.
    if (strncmp(path, "\\\\.\\", 4) == 0 || strncmp(path, "\\\\?\\", 4) == 0) return;
    file_.reset(CreateFileW(WidenAnsi(path).c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!on()) return;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file_.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file_.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        file_.reset();
        return;
    }
    startTicks_ = GetTickCount();
    SYSTEMTIME now;
    GetLocalTime(&now);
    Line("%04u-%02u-%02u %02u:%02u:%02u %s", now.wYear, now.wMonth, now.wDay, now.wHour,
         now.wMinute, now.wSecond, title);
}

void Trace::Line(const char *format, ...)
{
    if (!on()) return;
    va_list args;
    va_start(args, format);
    std::string line = Formatted(format, args);
    va_end(args);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%6lu ms  ", GetTickCount() - startTicks_);
    line = stamp + line + "\r\n";
    DWORD written = 0;
    WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

Trace &NoTrace()
{
    static Trace off;
    return off;
}
