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
    // Asked with too small a buffer, the call answers with the size it needs.
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetFullPathNameA(path, static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
        if (length == 0) return std::string();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);
    }
}

bool RunInParentDirectory(void (*action)())
{
    const std::string current = CurrentDirectory();
    const bool stepOut = !current.empty() && SetCurrentDirectoryA("..");
    action();
    return !stepOut || SetCurrentDirectoryA(current.c_str());
}
