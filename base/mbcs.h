// Character searches that respect the ANSI code page: in a double-byte code
// page (932, 936, ...) the second byte of a character may equal '\\' or '/',
// and must never be taken for a separator.
#ifndef BASE_MBCS_H
#define BASE_MBCS_H

#include <string>

// The code page every 8-bit text of the launcher is in: the ANSI code page,
// or UTF-8 where the system reports none.
unsigned LauncherCodePage();

// True when the byte at `pos` of `text` adds exactly one character to the
// text before it, i.e. it is not the second byte of a double-byte character.
// `text` must hold at least pos + 1 bytes. Judged in LauncherCodePage().
bool IsMultiByteChar(const char *text, int pos);

// First (last) occurrence of the ASCII character `ch` (never NUL) in `text`
// that stands as a character of its own. Null when there is none or `text` is
// null. The result points into `text`.
char *_strchr(const char *text, int ch);
char *_strrchr(const char *text, int ch);

// The same three, judged in an explicit code page instead of the ANSI one
// (the launcher's own calls go through the functions above; these let a
// caller, or a test, name the code page).
bool IsMultiByteCharInCodePage(const char *text, int pos, unsigned codePage);
char *FindFirstCharInCodePage(const char *text, int ch, unsigned codePage);
char *FindLastCharInCodePage(const char *text, int ch, unsigned codePage);

// The key under which Windows takes two file names for one: `text` (in
// code page `codePage`) as wide characters, upper-cased by the system's own
// table, the one file systems compare names with, and "\\" written as "/".
// "Łódź.txt" and "łódź.TXT" have one key; so have full-width "Ａ" and "ａ".
// Native builds read `text` as UTF-8 and use the C library's Unicode case
// mapping.
std::wstring FileNameKey(const char *text, unsigned codePage);

// `text`, in code page `codePage`, as UTF-8; empty when it cannot be
// converted. Native builds take texts as UTF-8 already and return a copy.
std::string ToUtf8(const char *text, unsigned codePage);

#ifdef _WIN32
// The UTF-8 text `text` in UTF-16; empty when it is not UTF-8. And back.
std::wstring WidenUtf8(const char *text);
// The text `text` in the ANSI code page in UTF-16; empty when it cannot be
// converted.
std::wstring WidenAnsi(const char *text);
std::string NarrowToUtf8(const std::wstring &wide);
#endif

#endif
