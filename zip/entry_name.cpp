#include "zip/entry_name.h"

#include <cctype>
#include <cstring>

namespace {

bool IsSlash(char c)
{
    return c == '/' || c == '\\';
}

// Windows opens a device for these base names whatever the extension.
bool IsDeviceName(const char *part, size_t length)
{
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t base = 0;
    while (base < length && part[base] != '.') ++base;
    char upper[8];
    if (base >= sizeof upper) return false;
    for (size_t i = 0; i < base; ++i)
        upper[i] = static_cast<char>(toupper(static_cast<unsigned char>(part[i])));
    upper[base] = '\0';
    for (const char *device : kDevices)
        if (strcmp(upper, device) == 0) return true;
    return base == 4 && (strncmp(upper, "COM", 3) == 0 || strncmp(upper, "LPT", 3) == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

bool IsSafeComponent(const char *part, size_t length)
{
    if (length == 0) return true;
    if (part[length - 1] == '.' || part[length - 1] == ' ') return false;
    return !IsDeviceName(part, length);
}

} // namespace

bool zipIsSafeName(const char *name)
{
    if (IsSlash(name[0])) return false;
    if (strchr(name, ':') != nullptr) return false;
    const char *part = name;
    for (;;) {
        const char *end = part;
        while (*end != '\0' && !IsSlash(*end)) ++end;
        if (!IsSafeComponent(part, static_cast<size_t>(end - part))) return false;
        if (*end == '\0') return true;
        part = end + 1;
    }
}
