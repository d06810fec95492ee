#include "base/path.h"

#include "base/mbcs.h"

#include <windows.h>
#include <cstring>

bool IsAbsolutePath(const char *path)
{
    if (path == nullptr) return false;
    size_t length = strlen(path);
    if (length >= 1 && path[0] == '\\') return true;
    return length >= 2 && _strchr(path, ':') != nullptr;
}

bool EndsWithBackslash(const std::string &text)
{
    if (text.empty()) return false;
    const char *last = _strrchr(text.c_str(), '\\');
    return last == text.c_str() + text.size() - 1;
}

std::string JoinPath(const std::string &dir, const std::string &name)
{
    if (dir.empty() || EndsWithBackslash(dir)) return dir + name;
    return dir + "\\" + name;
}

namespace {

// `text` in the ANSI code page; *lossless tells whether every character
// had an ANSI form (no default character, no best-fit substitute).
std::string ToAnsi(const std::wstring &text, bool *lossless)
{
    *lossless = true;
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    // UTF-8 as the ANSI code page holds everything, and refuses the flags.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL *defaulted = utf8 ? nullptr : &usedDefault;
    int size = WideCharToMultiByte(CP_ACP, flags, text.c_str(), length, nullptr, 0, nullptr,
                                   defaulted);
    std::string ansi(static_cast<size_t>(size), '\0');
    if (size > 0)
        size = WideCharToMultiByte(CP_ACP, flags, text.c_str(), length, &ansi[0], size, nullptr,
                                   defaulted);
    ansi.resize(static_cast<size_t>(size > 0 ? size : 0));
    *lossless = size > 0 && !usedDefault;
    return ansi;
}

} // namespace

std::string AnsiPath(const std::wstring &path)
{
    bool lossless = true;
    const std::string ansi = ToAnsi(path, &lossless);
    if (lossless) return ansi;
    std::wstring shortPath(GetShortPathNameW(path.c_str(), nullptr, 0), L'\0');
    if (shortPath.empty()) return ansi;
    const DWORD length =
        GetShortPathNameW(path.c_str(), &shortPath[0], static_cast<DWORD>(shortPath.size()));
    if (length == 0 || length >= shortPath.size()) return ansi;
    shortPath.resize(length);
    const std::string shortAnsi = ToAnsi(shortPath, &lossless);
    return lossless ? shortAnsi : ansi;
}

namespace {

// `path` (in the ANSI code page) in UTF-16; empty when it cannot be
// converted.
std::wstring Widen(const char *path)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size) - 1);
    return wide;
}

// The full form of `wide`; empty when the system gives none.
std::wstring FullWidePath(const std::wstring &wide)
{
    // GetFullPathNameW has no length limit of its own; it answers a short
    // buffer with the size it needs.
    std::wstring full(wide.size() + MAX_PATH, L'\0');
    for (;;) {
        DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0) return std::wstring();
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.assign(length, L'\0');
    }
}

} // namespace

std::wstring ExtendedLengthPath(const char *path)
{
    const std::wstring wide = Widen(path);
    if (wide.empty()) return std::wstring();

    const std::wstring prefix = L"\\\\?\\";
    if (wide.compare(0, prefix.size(), prefix) == 0) return wide;
    const std::wstring full = FullWidePath(wide);
    if (full.empty()) return std::wstring();
    if (full.compare(0, 2, L"\\\\") == 0) return prefix + L"UNC" + full.substr(1);
    return prefix + full;
}

std::string CurrentDirectory()
{
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), &buffer[0]);
        if (length == 0) return std::string();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() + MAX_PATH);
    }
}

std::string FullPath(const char *path)
{
    if (*path == '\0') return CurrentDirectory();
    // Through the wide call, which takes paths of any length.
    const std::wstring full = FullWidePath(Widen(path));
    return full.empty() ? std::string() : AnsiPath(full);
}

bool RunInParentDirectory(void (*action)())
{
    const std::string current = CurrentDirectory();
    const bool stepOut = !current.empty() && SetCurrentDirectoryA("..");
    action();
    return !stepOut || SetCurrentDirectoryA(current.c_str());
}
