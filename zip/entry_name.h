// Which entry names may be written below a destination directory. The
// launcher refuses a payload holding any other name, and the packer refuses
// to write one, so both ask this one function.
#ifndef ZIP_ENTRY_NAME_H
#define ZIP_ENTRY_NAME_H

#include <cstdint>
#include <string>

#include "zip/archive.h"

// True when `name`, joined to a directory, names a file or directory below
// it that Windows creates under exactly that name. False for a name that
// starts with "/" or "\\", holds a colon (drive letters, alternate data
// streams) or a character Windows does not take in a name (control
// characters, < > " | ? *), has a ".." component, a component that ends in a dot or a space
// ("a." and "a " both become "a"), or a component that is a device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$, in any
// case and with any extension). A "." component means "here", as in the
// "./" that tar puts in front of every name, and is allowed. Components are
// separated by "/" or "\\"; empty ones (a trailing "/" of a directory entry)
// are allowed. A byte of a separator's value that is the second byte of a
// double-byte character (0x5C in code page 932) separates nothing. Judged in
// the launcher's code page (LauncherCodePage).
bool zipIsSafeName(const char *name);

// zipIsSafeName judged in code page `codePage`.
bool zipIsSafeNameInCodePage(const char *name, unsigned codePage);

// The name a safe entry name is extracted under, in *out: every separator
// written as "/" and every "." component left out ("./package\\a.jar" is
// "package/a.jar"; "." and "./" are "", the destination itself). A name
// whose last component is "." names a directory and ends in "/". False, *out
// undefined, when zipIsSafeNameInCodePage refuses the name.
bool zipExtractionName(const char *name, unsigned codePage, std::string *out);

// An entry's name in UTF-8, in *out: as it stands when `flags` carry
// kZipUtf8Flag, else converted from code page `codePage` (natively: as it
// stands). False when a name flagged UTF-8 is not valid UTF-8 (a stray or
// cut-off byte, an overlong form, a surrogate), or when it cannot be
// converted.
bool zipEntryNameUtf8(const char *name, uint16_t flags, unsigned codePage, std::string *out);

// The name the launcher extracts entry `name` (general purpose flags
// `flags`) under, in *out: zipEntryNameUtf8 in code page `codePage`, then
// zipExtractionName. False when the launcher refuses the name. The
// extraction and the packer's --verify both judge names by this alone.
bool zipEntryExtractionName(const char *name, uint16_t flags, unsigned codePage,
                            std::string *out);

#endif
