// Path helpers shared by every module.
//
// Encodings, the rule at every module boundary:
// - a `char *` or `std::string` path is in the ANSI code page
//   (LauncherCodePage) unless its contract says UTF-8: the archive code's
//   file seam (zip/fileio.h) and names ending in Utf8;
// - a `wchar_t *` or `std::wstring` path is UTF-16, as the system takes it.
// Paths reach the system through the wide calls, converted where they are
// made (WidenAnsi, ExtendedLengthPath); the narrow calls are left to the
// Java command line and the registry's runtime entries, which are ANSI on
// the other side too (scripts/check-includes holds the line).
//
// An 8-bit path is searched for separators with the code-page-aware
// searches of base/mbcs.h: the second byte of a double-byte character may be
// 0x5C without being a backslash.
#ifndef BASE_PATH_H
#define BASE_PATH_H

#include <string>

// True when `path` starts with a backslash, or has two or more characters and
// holds a colon anywhere (drive letters; found with the multibyte-aware
// _strchr). Everything else, a leading '/' included, is relative.
bool IsAbsolutePath(const char *path);

// True when the last character of `text` is a backslash standing as a
// character of its own in the ANSI code page.
bool EndsWithBackslash(const std::string &text);

// `dir` and `name` joined by one backslash; no second one is added when `dir`
// already ends with one (a root such as "D:\"). Multibyte-aware: the second
// byte of a double-byte character is not taken for a backslash.
std::string JoinPath(const std::string &dir, const std::string &name);

// The full path the system makes of `path` (GetFullPathName, of any
// length): a relative path, a drive-relative one ("C:dir", against the
// current directory of that drive) and a root-relative one ("\dir", on the
// current drive) all become full paths that keep their meaning when the
// current directory changes; "." and ".." are resolved. An empty path is the
// current directory. Empty when the system gives no answer.
std::string FullPath(const char *path);

// `text` in the ANSI code page; *lossless tells whether every character
// had an ANSI form (no default character, no best-fit substitute).
std::string ToAnsi(const std::wstring &text, bool *lossless);

// `path`, a path the system gave in UTF-16, in the ANSI code page. When a
// character of it has no ANSI form (a Thai folder name on a Western
// system), the path's short (8.3) form is converted instead, which the file
// system gives in plain ASCII wherever it keeps short names; without one the
// lossy ANSI form is all there is, and is returned.
std::string AnsiPath(const std::wstring &path);

// The 8-bit file calls take paths shorter than MAX_PATH (260 characters
// with the terminating NUL, 12 fewer for a directory to be created); a path
// at least this long goes through the wide calls as an extended-length path.
const size_t LongPathLength = 260 - 12;

// `path` (in the ANSI code page) as the wide calls take it whatever its
// length: made absolute against the current directory, "/" turned into
// "\", "." and ".." resolved, and given the extended-length prefix "\\?\"
// ("\\?\UNC\" for a "\\server\share" path). Empty when it cannot be
// converted.
std::wstring ExtendedLengthPath(const char *path);

// The same, malloc'd (release with free()); null when it cannot be converted
// or memory runs out. For code that must neither throw nor end the process,
// such as the removal that also runs inside the crash filter.
wchar_t *NewExtendedLengthPath(const char *path);

// The same for a path already in UTF-16, and the full path the system
// makes of one (empty when it gives none).
wchar_t *NewExtendedLengthWidePath(const wchar_t *path);
std::wstring ExtendedLengthWidePath(const std::wstring &path);
std::wstring FullPathWide(const std::wstring &path);

// `head` followed by `tail`, malloc'd (release with free()); null when memory
// runs out.
wchar_t *WideConcat(const wchar_t *head, const wchar_t *tail);

// The process's current directory in the ANSI code page (see AnsiPath for a
// name it cannot spell). Empty when the system gives none.
std::string CurrentDirectory();

// Runs `action` with the parent of the current directory as the current
// directory, then changes back. When the parent cannot be entered, `action`
// runs where it is. False when the way back fails: the current directory is
// then not what it was, and the caller must not go on as if it were.
bool RunInParentDirectory(void (*action)());

#endif
