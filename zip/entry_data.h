// Reading an entry's data and writing its uncompressed contents to a file.
// Data is decoded whole (in buffers of at most 1 MiB, or in views of the
// files) or streamed through fixed buffers, and always checked against the
// entry's size and CRC-32.
#ifndef ZIP_ENTRY_DATA_H
#define ZIP_ENTRY_DATA_H

#include "zip/archive.h"

#include <atomic>
#include <cstdint>

// Fixed buffer sizes: the copy of stored entries reads in steps of
// ZIP_COPY_BUFFER_SIZE; inflation reads ZIP_INFLATE_INPUT_SIZE compressed
// bytes at a time and writes up to ZIP_INFLATE_OUTPUT_SIZE bytes per call.
// They can be set at build time for tuning; memory per call stays fixed.
// Every read is one positioned read: large steps cost few calls, and no
// seek comes before them.
#ifndef ZIP_COPY_BUFFER_SIZE
#define ZIP_COPY_BUFFER_SIZE 65536
#endif
#ifndef ZIP_INFLATE_INPUT_SIZE
#define ZIP_INFLATE_INPUT_SIZE 65536
#endif
#ifndef ZIP_INFLATE_OUTPUT_SIZE
#define ZIP_INFLATE_OUTPUT_SIZE 65536
#endif

// Reads up to `length` bytes of the entry's stored data (compressed or not)
// starting `offset` bytes into it. Returns the count read (0 at the end of the
// file or when length <= 0), or -1 on failure; an offset outside the data sets
// lastError to "zipRead: specified offset out of range".
int zipRead(ZipArchive *zip, ZipEntry *entry, int offset, void *buffer, int length);

// Inflates a deflated entry into the open descriptor `fd`. True when exactly
// uncompressedSize bytes were produced and their CRC-32 matches the entry's;
// otherwise false with `*message` a static text or null. Corrupt data ends
// the inflation at once, and nothing beyond uncompressedSize is written.
bool inflateFully(ZipArchive *zip, ZipEntry *entry, int fd, const char **message);

// Writes the entry's uncompressed contents to a file at `path` (in the ANSI
// code page; created, or truncated when it exists). True only when exactly
// uncompressedSize bytes were written and their CRC-32 matches the entry's.
// A partly written file is left in place on failure.
bool zipReadEntry(ZipArchive *zip, ZipEntry *entry, const char *path);

// Writes the entry's uncompressed contents to `fd`, a descriptor open for
// writing at the start of an empty file (a large entry may be written
// through a view of the file rather than by the descriptor), which stays
// open; the archive is read through `archiveFd`, a
// descriptor of the archive's file, by positioned reads alone, and nothing
// of the archive record is touched: several threads may write entries at
// once, each with an entry of its own (the numbers of an entry are all that
// is used). True only when exactly uncompressedSize bytes were written and
// their CRC-32 matches the entry's. When `written` is given, every block
// written is added to it as it goes (a relaxed atomic add, no lock), so
// another thread can watch the bytes grow.
bool zipWriteEntryTo(int archiveFd, const ZipEntry *entry, int fd,
                     std::atomic<uint64_t> *written = nullptr);

// Frees the decoders and buffers that writing entries keeps for the next
// entry (those lent to an entry being written go when it ends). The
// extraction calls it at its end, so a run waiting for its wizard holds none.
void zipReleaseDecoders();

#endif
