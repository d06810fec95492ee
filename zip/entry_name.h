// Which entry names may be written below a destination directory. The
// launcher refuses a payload holding any other name, and the packer refuses
// to write one, so both ask this one function.
#ifndef ZIP_ENTRY_NAME_H
#define ZIP_ENTRY_NAME_H

#include <string>

// True when `name`, joined to a directory, names a file or directory below
// it that Windows creates under exactly that name. False for a name that
// starts with "/" or "\\", holds a colon (drive letters, alternate data
// streams), has a ".." component, a component that ends in a dot or a space
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

#endif
