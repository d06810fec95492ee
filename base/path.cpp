#include "base/path.h"

#include "base/mbcs.h"
#include "base/owned.h"

#include <windows.h>
#include <cstdlib>
#include <cstring>
#include <cwchar>

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

const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const size_t kExtendedPrefixLength = sizeof kExtendedPrefix / sizeof kExtendedPrefix[0] - 1;

// `path` (in the ANSI code page) in UTF-16, malloc'd; null when it cannot be
// converted.
wchar_t *NewWidePath(const char *path)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (size <= 0) return nullptr;
    OwnedWideText wide(static_cast<wchar_t *>(malloc(static_cast<size_t>(size) * sizeof(wchar_t))));
    if (!wide.valid() || MultiByteToWideChar(CP_ACP, 0, path, -1, wide.get(), size) <= 0)
        return nullptr;
    return wide.release();
}

// `path` in UTF-16; empty when it cannot be converted.
std::wstring Widen(const char *path)
{
    OwnedWideText wide(NewWidePath(path));
    return wide.valid() ? std::wstring(wide.get()) : std::wstring();
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

wchar_t *WideConcat(const wchar_t *head, const wchar_t *tail)
{
    const size_t headLength = wcslen(head);
    const size_t tailLength = wcslen(tail);
    wchar_t *text = static_cast<wchar_t *>(malloc((headLength + tailLength + 1) * sizeof(wchar_t)));
    if (text == nullptr) return nullptr;
    wmemcpy(text, head, headLength);
    wmemcpy(text + headLength, tail, tailLength + 1);
    return text;
}

wchar_t *NewExtendedLengthWidePath(const wchar_t *wide)
{
    if (wide[0] == L'\0') return nullptr;
    if (wcsncmp(wide, kExtendedPrefix, kExtendedPrefixLength) == 0) return WideConcat(wide, L"");

    const DWORD needed = GetFullPathNameW(wide, 0, nullptr, nullptr);
    if (needed == 0) return nullptr;
    OwnedWideText full(static_cast<wchar_t *>(malloc(needed * sizeof(wchar_t))));
    if (!full.valid()) return nullptr;
    const DWORD length = GetFullPathNameW(wide, needed, full.get(), nullptr);
    if (length == 0 || length >= needed) return nullptr;
    if (wcsncmp(full.get(), L"\\\\", 2) == 0) return WideConcat(L"\\\\?\\UNC", full.get() + 1);
    return WideConcat(kExtendedPrefix, full.get());
}

wchar_t *NewExtendedLengthPath(const char *path)
{
    OwnedWideText wide(NewWidePath(path));
    return wide.valid() ? NewExtendedLengthWidePath(wide.get()) : nullptr;
}

std::wstring ExtendedLengthPath(const char *path)
{
    OwnedWideText extended(NewExtendedLengthPath(path));
    return extended.valid() ? std::wstring(extended.get()) : std::wstring();
}

std::wstring ExtendedLengthWidePath(const std::wstring &path)
{
    OwnedWideText extended(NewExtendedLengthWidePath(path.c_str()));
    return extended.valid() ? std::wstring(extended.get()) : std::wstring();
}

std::wstring FullPathWide(const std::wstring &path)
{
    return FullWidePath(path);
}

namespace {

// The current directory as the system keeps it, in UTF-16; empty when it
// gives none.
std::wstring CurrentDirectoryWide()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), &buffer[0]);
        if (length == 0) return std::wstring();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);  // the size it asks for, with the NUL
    }
}

} // namespace

std::string CurrentDirectory()
{
    const std::wstring current = CurrentDirectoryWide();
    return current.empty() ? std::string() : AnsiPath(current);
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
    // The way back is the directory as the system names it, whatever the
    // ANSI code page can spell of it.
    const std::wstring current = CurrentDirectoryWide();
    const bool stepOut = !current.empty() && SetCurrentDirectoryW(L"..");
    action();
    return !stepOut || SetCurrentDirectoryW(current.c_str());
}
