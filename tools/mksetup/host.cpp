#include "host.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <vector>

#ifdef _WIN32

bool StderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

bool CodePageIsKnown(unsigned codePage)
{
    return IsValidCodePage(codePage) != 0;
}

bool ConvertFromUtf8(const std::string &utf8, unsigned codePage, std::string *out)
{
    out->clear();
    if (utf8.empty()) return true;
    int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                   static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0) return false;
    std::vector<wchar_t> text(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        text.data(), wide);
    // UTF-8 and UTF-7 take no default character; every other code page must
    // not have needed one.
    bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(codePage, flags, text.data(), wide, nullptr, 0, nullptr,
                                     utf ? nullptr : &usedDefault);
    if (length <= 0 || usedDefault) return false;
    out->resize(static_cast<size_t>(length));
    WideCharToMultiByte(codePage, flags, text.data(), wide, &(*out)[0], length, nullptr,
                        utf ? nullptr : &usedDefault);
    return !usedDefault;
}

std::string ArgumentAsUtf8(const std::string &argument)
{
    if (argument.empty()) return argument;
    const int wide = MultiByteToWideChar(CP_ACP, 0, argument.data(), static_cast<int>(argument.size()),
                                         nullptr, 0);
    if (wide <= 0) return argument;
    std::vector<wchar_t> text(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_ACP, 0, argument.data(), static_cast<int>(argument.size()), text.data(), wide);
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return argument;
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &out[0], length, nullptr, nullptr);
    return out;
}

unsigned long ProcessId()
{
    return GetCurrentProcessId();
}

std::FILE *CreateNewFile(const std::filesystem::path &path)
{
    HANDLE handle = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
}

#else

namespace {

std::string IconvName(unsigned codePage)
{
    return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
}

} // namespace

bool StderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}

bool CodePageIsKnown(unsigned codePage)
{
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

bool ConvertFromUtf8(const std::string &utf8, unsigned codePage, std::string *out)
{
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    // At most four bytes per input byte in any code page.
    std::vector<char> buffer(utf8.size() * 4 + 4);
    char *in = const_cast<char *>(utf8.data());
    size_t inLeft = utf8.size();
    char *outAt = buffer.data();
    size_t outLeft = buffer.size();
    bool ok = iconv(cd, &in, &inLeft, &outAt, &outLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &outAt, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (ok) out->assign(buffer.data(), static_cast<size_t>(outAt - buffer.data()));
    return ok;
}

std::string ArgumentAsUtf8(const std::string &argument)
{
    return argument;
}

unsigned long ProcessId()
{
    return static_cast<unsigned long>(getpid());
}

std::FILE *CreateNewFile(const std::filesystem::path &path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE *file = fdopen(fd, "wb");
    if (file == nullptr) close(fd);
    return file;
}

#endif
