#include "zip/entry_name.h"

#include <cctype>
#include <cstring>

namespace {

bool IsSlash(char c)
{
    return c == '/' || c == '\\';
}

// True when the `length` bytes at `text` spell `word`, ignoring ASCII case.
bool SpellsIgnoringCase(const char *text, size_t length, const char *word)
{
    if (strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return true;
}

// Windows opens a device for these base names whatever the extension.
bool IsDeviceName(const char *part, size_t length)
{
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t base = 0;
    while (base < length && part[base] != '.') ++base;
    for (const char *device : kDevices)
        if (SpellsIgnoringCase(part, base, device)) return true;
    // COM1 to COM9 and LPT1 to LPT9.
    const size_t numbered = strlen("COM") + 1;
    return base == numbered && part[base - 1] >= '1' && part[base - 1] <= '9' &&
           (SpellsIgnoringCase(part, base - 1, "COM") || SpellsIgnoringCase(part, base - 1, "LPT"));
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
