#include "zip/entry_name.h"

#include "base/mbcs.h"
#include "base/text.h"

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

bool IsDot(const char *part, size_t length)
{
    return length == 1 && part[0] == '.';
}

bool IsSafeComponent(const char *part, size_t length)
{
    if (length == 0 || IsDot(part, length)) return true;
    if (part[length - 1] == '.' || part[length - 1] == ' ') return false;
    return !IsDeviceName(part, length);
}

// Calls visit(part, length, last) for every component of `name`, in order,
// until it returns false; true when every call did. Components end at a
// separator that stands as a character of its own: Windows reads the name
// by characters, and a second byte of 0x5C is part of its character.
template <typename Visit>
bool ForEachComponent(const char *name, unsigned codePage, Visit visit)
{
    size_t start = 0;
    for (size_t i = 0;; ++i) {
        const bool end = name[i] == '\0';
        if (!end && !(IsSlash(name[i]) &&
                      IsMultiByteCharInCodePage(name, static_cast<int>(i), codePage)))
            continue;
        if (!visit(name + start, i - start, end)) return false;
        if (end) return true;
        start = i + 1;
    }
}

// True for the characters Windows does not take in a file name (besides the
// separators and the colon): control characters and < > " | ? *.
bool IsReserved(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || strchr("<>\"|?*", c) != nullptr;
}

// `c` in UTF-8, appended to *out.
void AppendUtf8(char32_t c, std::string *out)
{
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
        return;
    }
    const int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    const unsigned lead = (0xFF00u >> (more + 1)) & 0xFF;  // 110xxxxx, 1110xxxx, 11110xxx
    out->push_back(static_cast<char>(lead | (c >> (6 * more))));
    for (int k = more - 1; k >= 0; --k)
        out->push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
}

} // namespace

bool zipEntryNameUtf8(const char *name, uint16_t flags, unsigned codePage, std::string *out)
{
    if ((flags & kZipUtf8Flag) == 0) {
        *out = ToUtf8(name, codePage);
        return *name == '\0' || !out->empty();
    }
    // Valid only when it decodes, holds no surrogate nor anything beyond
    // U+10FFFF, and encodes again to the same bytes (no overlong forms).
    std::u32string characters;
    if (!DecodeUtf8(name, &characters)) return false;
    out->clear();
    for (char32_t c : characters) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
        AppendUtf8(c, out);
    }
    return *out == name;
}

bool zipIsSafeNameInCodePage(const char *name, unsigned codePage)
{
    if (IsSlash(name[0])) return false;
    if (strchr(name, ':') != nullptr) return false;
    // A reserved byte that is the second byte of a double-byte character
    // ("|" is one in code page 932) is part of that character.
    for (int i = 0; name[i] != '\0'; ++i) {
        if (IsReserved(name[i]) && IsMultiByteCharInCodePage(name, i, codePage)) return false;
    }
    return ForEachComponent(name, codePage, [](const char *part, size_t length, bool) {
        return IsSafeComponent(part, length);
    });
}

bool zipExtractionName(const char *name, unsigned codePage, std::string *out)
{
    if (!zipIsSafeNameInCodePage(name, codePage)) return false;
    out->clear();
    ForEachComponent(name, codePage, [out](const char *part, size_t length, bool last) {
        if (IsDot(part, length)) return true;
        out->append(part, length);
        if (!last) out->push_back('/');
        return true;
    });
    return true;
}

bool zipIsSafeName(const char *name)
{
    return zipIsSafeNameInCodePage(name, LauncherCodePage());
}

bool zipEntryExtractionName(const char *name, uint16_t flags, unsigned codePage,
                            std::string *out)
{
    const unsigned kUtf8CodePage = 65001;
    std::string utf8;
    return zipEntryNameUtf8(name, flags, codePage, &utf8) &&
           zipExtractionName(utf8.c_str(), kUtf8CodePage, out);
}
