// Extracting an open archive below a directory.
#ifndef ZIP_EXTRACT_H
#define ZIP_EXTRACT_H

#include "zip/archive.h"

// Extracts every entry of `zip` whose name begins with `prefix` (all when
// prefix is null) below `destination`, re-creating the directories the names
// describe; a file standing where a directory must go is replaced. Returns
// true when every entry up to the archive's entry count was handled, false as
// soon as one cannot be read or written, or a name is not safe (zipIsSafeName:
// it would land outside the destination or under another name), and when
// zip or destination is null. Nothing extracted is
// removed on failure; the archive stays open.
bool UnzipFiles(ZipArchive *zip, const char *destination, const char *prefix);

#endif
