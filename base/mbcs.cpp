// The boundary test converts the text up to and including the candidate byte
// and compares the character counts: the byte starts a character of its own
// exactly when it adds one UTF-16 unit. For a second byte the shorter copy
// ends in a lone first byte, which the conversion turns into one default
// character, so both copies count the same and the byte is rejected. The
// test runs only at bytes equal to the sought character, so a text without
// it costs one plain scan.
#include "base/mbcs.h"

#include <cstring>
#include <string>

#include "base/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

unsigned LauncherCodePage()
{
#ifdef _WIN32
    UINT acp = GetACP();
    return acp == 0 ? CP_UTF8 : acp;
#else
    return 65001;
#endif
}

#ifdef _WIN32
namespace {

int CountUnits(const std::string &text, unsigned codePage)
{
    // Includes the terminating NUL; a failed conversion counts as zero.
    return MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
}

} // namespace

bool IsMultiByteCharInCodePage(const char *text, int pos, unsigned codePage)
{
    // In UTF-8 a byte below 0x80 is always a character of its own; the
    // extraction asks this of every separator of every entry name.
    if (codePage == CP_UTF8 && static_cast<unsigned char>(text[pos]) < 0x80) return true;
    std::string prefix(text, static_cast<size_t>(pos) + 1);
    int withByte = CountUnits(prefix, codePage);
    prefix.resize(static_cast<size_t>(pos));
    int without = CountUnits(prefix, codePage);
    return withByte == without + 1;
}
#else
// Native builds (fuzzing, benchmarks) treat texts as UTF-8, where an ASCII
// byte is always a character of its own.
bool IsMultiByteCharInCodePage(const char *, int, unsigned)
{
    return true;
}
#endif

bool IsMultiByteChar(const char *text, int pos)
{
    return IsMultiByteCharInCodePage(text, pos, LauncherCodePage());
}

char *FindFirstCharInCodePage(const char *text, int ch, unsigned codePage)
{
    if (text == nullptr) return nullptr;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p == static_cast<char>(ch) &&
            IsMultiByteCharInCodePage(text, static_cast<int>(p - text), codePage))
            return const_cast<char *>(p);
    }
    return nullptr;
}

char *FindLastCharInCodePage(const char *text, int ch, unsigned codePage)
{
    if (text == nullptr) return nullptr;
    for (const char *p = text + strlen(text); p != text;) {
        --p;
        if (*p == static_cast<char>(ch) &&
            IsMultiByteCharInCodePage(text, static_cast<int>(p - text), codePage))
            return const_cast<char *>(p);
    }
    return nullptr;
}

char *_strchr(const char *text, int ch)
{
    return FindFirstCharInCodePage(text, ch, LauncherCodePage());
}

char *_strrchr(const char *text, int ch)
{
    return FindLastCharInCodePage(text, ch, LauncherCodePage());
}

#ifdef _WIN32
namespace {

// `text` in code page `codePage` as UTF-16, without its terminator; empty
// when it cannot be converted (with MB_ERR_INVALID_CHARS in `flags`: when
// it holds a byte that is not of the code page).
std::wstring WidenIn(const char *text, unsigned codePage, DWORD flags)
{
    const int units = MultiByteToWideChar(codePage, flags, text, -1, nullptr, 0);
    if (units <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, flags, text, -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units) - 1);
    return wide;
}

} // namespace

std::wstring FileNameKey(const char *text, unsigned codePage)
{
    const std::wstring wide = WidenIn(text, codePage, 0);
    const int units = static_cast<int>(wide.size());
    if (units == 0) return std::wstring();
    // Upper case without a language's rules is what NTFS and the system's
    // name comparisons use (LCMAP_LINGUISTIC_CASING would bring them in);
    // it maps one unit to one unit.
    std::wstring key(wide.size(), L'\0');
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), units, &key[0], units);
    for (wchar_t &c : key)
        if (c == L'\\') c = L'/';
    return key;
}
#else
std::wstring FileNameKey(const char *text, unsigned)
{
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    // Bytes that are not UTF-8 stand for themselves, away from real
    // characters: two such names still have two keys.
    std::u32string characters;
    DecodeUtf8(text, &characters);
    std::wstring key;
    for (char32_t character : characters) {
        wchar_t c = static_cast<wchar_t>(character);
        if (c == L'\\') c = L'/';
        key.push_back(unicode != static_cast<locale_t>(0) ? static_cast<wchar_t>(towupper_l(c, unicode))
                                                         : static_cast<wchar_t>(towupper(c)));
    }
    return key;
}
#endif

#ifdef _WIN32
std::string NarrowToUtf8(const std::wstring &wide)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return std::string();
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(bytes) - 1);
    return utf8;
}

std::string ToUtf8(const char *text, unsigned codePage)
{
    // ASCII is spelt alike in UTF-8 and in every ANSI code page: most names
    // need no conversion.
    if (codePage == CP_ACP || codePage == CP_UTF8 || codePage == GetACP()) {
        const char *p = text;
        while (*p != '\0' && static_cast<unsigned char>(*p) < 0x80) ++p;
        if (*p == '\0') return text;
    }
    return NarrowToUtf8(WidenIn(text, codePage, 0));
}

std::wstring WidenUtf8(const char *text)
{
    return WidenIn(text, CP_UTF8, MB_ERR_INVALID_CHARS);
}

std::wstring WidenAnsi(const char *text)
{
    return WidenIn(text, CP_ACP, 0);
}
#else
std::string ToUtf8(const char *text, unsigned)
{
    return text;
}
#endif
