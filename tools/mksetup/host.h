// What the packer needs of the system it runs on, behind one small seam so
// that the rest of it builds unchanged on Linux and on Windows.
#ifndef MKSETUP_HOST_H
#define MKSETUP_HOST_H

#include <cstdio>
#include <filesystem>
#include <string>

// True when standard error is a terminal (the progress bar goes there).
bool StderrIsTerminal();

// True when the system can convert names into code page `codePage`.
bool CodePageIsKnown(unsigned codePage);

// Converts the UTF-8 text `utf8` into code page `codePage`. False, leaving
// `out` undefined, when a character has no exact equivalent there (no
// best-fit substitutes) or the text is not valid UTF-8.
bool ConvertFromUtf8(const std::string &utf8, unsigned codePage, std::string *out);

// A text given on the command line, in UTF-8: on Windows the arguments come
// in the ANSI code page, elsewhere they are UTF-8 already. Texts that
// cannot be converted come back as they are.
std::string ArgumentAsUtf8(const std::string &argument);

// An id of the running process, for names of temporary files.
unsigned long ProcessId();

// Creates the file `path` for writing, only when nothing stands at that
// name (a file, or a link, which is never followed); null with errno set
// otherwise.
std::FILE *CreateNewFile(const std::filesystem::path &path);

#endif
