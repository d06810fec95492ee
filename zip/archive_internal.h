// The reader's steps, shared by zip/archive.cpp (the record, opening,
// entries) and zip/central_directory.cpp (the end record, the index), and
// reached by the tests; callers use zip/archive.h.
#ifndef ZIP_ARCHIVE_INTERNAL_H
#define ZIP_ARCHIVE_INTERNAL_H

#include "zip/archive.h"

#include <cstddef>
#include <cstdint>

// The fixed part of a central directory header, in bytes (both files read
// the central headers: the index builder and the local-header check).
const int kCenHeader = 46;

// A zero-filled archive record holding a copy of `path` (fd -1), or null
// when memory runs out.
ZipArchive *allocZip(const char *path);

// Frees a record and everything it owns (not its descriptor).
void freeZip(ZipArchive *zip);

// Builds the entry for index record `ze` from its local header; null with
// lastError set on failure.
ZipEntry *readLOC(ZipArchive *zip, ZipIndexEntry *ze);

// Reads and checks the central directory and builds the index. Returns the
// file position of the central directory (> 0), 0 when no end record was
// found, -1 on failure: lastError is set whenever an end record was found
// (the directory it describes is damaged), null when the search itself
// failed.
int64_t readCEN(ZipArchive *zip);

// Finds the end-of-central-directory record within the last 65535 bytes and
// copies its 22 bytes to `endbuf`. The file ends, for this search, where the
// certificate table of a signed program begins when that table is the
// file's tail (zipSignedImageEnd); otherwise at its last byte. In a signed
// file the record and its comment may stop up to 7 zero bytes short of the
// table (the signer's alignment). Returns its file position, 0 when none is
// found, -1 on an I/O or allocation failure, and -1 with lastError set when
// the only record found in a signed file is followed by bytes that are not
// such padding. Also reads the archive comment.
int64_t findEND(ZipArchive *zip, unsigned char *endbuf);

// A malloc'd copy of the `length` bytes at `text`, NUL-terminated; null
// when memory runs out.
char *copyText(const char *text, size_t length);

// Reads exactly `len` bytes; 0 on success, -1 as soon as a read yields none.
int readFully(int fd, void *buffer, int32_t len);

// The name hash of the index: h = 31*h + (signed char)byte, wrapping.
uint32_t hash(const char *name);

// True when `name` begins with "META-INF/", ignoring ASCII case.
bool isMetaName(const char *name);

#endif
