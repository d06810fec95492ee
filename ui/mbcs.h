// Character searches that respect the ANSI code page: in a double-byte code
// page (932, 936, ...) the second byte of a character may equal '\\' or '/',
// and must never be taken for a separator.
#ifndef UI_MBCS_H
#define UI_MBCS_H

// The code page every 8-bit text of the launcher is in: the ANSI code page,
// or UTF-8 where the system reports none.
unsigned LauncherCodePage();

// True when the byte at `pos` of `text` adds exactly one character to the
// text before it, i.e. it is not the second byte of a double-byte character.
bool IsMultiByteChar(const char *text, int pos);

// First (last) occurrence of the ASCII character `ch` in `text` that stands
// as a character of its own. Null when there is none or `text` is null.
char *_strchr(const char *text, int ch);
char *_strrchr(const char *text, int ch);

#endif
