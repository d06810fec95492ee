// Writing an installer: the stub, then the payload as a ZIP archive whose
// offsets count from the start of the file.
#ifndef MKSETUP_ARCHIVE_WRITER_H
#define MKSETUP_ARCHIVE_WRITER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "payload.h"

// MS-DOS time (low half) and date (high half) of every entry: from
// SOURCE_DATE_EPOCH when that is set (UTC; clamped to 1980..2107), else a
// fixed 2000-01-01 00:00. False with `*error` when the variable is not a
// number of seconds.
bool EntryTime(const char *sourceDateEpoch, uint32_t *dosTime, std::string *error);

// How file data is compressed: `method` 8 (deflate, levels 1 to 9) or 93
// (Zstandard, levels 1 to 22), or 0 (everything stored).
struct Compression {
    uint16_t method = 93;
    int level = 19;
};

// The levels `method` takes; false for a method the packer does not write.
bool CompressionLevels(uint16_t method, int *lowest, int *highest);

// Called after each step of `done` bytes of file data out of `total`.
using Progress = std::function<void(uint64_t done, uint64_t total)>;

// Writes `stub` and the archive of `entries` to `out` (a new file open for
// binary writing; it is sought in). Files are compressed as `compression`
// says, or stored when that does not make them smaller. Zstandard data is
// one frame per 64 MiB of a file, each with a window of at most 8 MiB (what
// the launcher streams), the frames' contents cut by the file alone, so the
// bytes are the same whatever the number of threads. `*length` receives the installer's
// length: the caller cuts the file to it, as bytes beyond it may be left
// over. The length is a multiple of 8 bytes, so that signing appends its
// certificate table directly behind the archive. False with `*error` naming
// the file that cannot be read or changed while it was read, or saying why
// the archive cannot be written (too large or too many entries for the
// launcher).
bool WriteInstaller(std::FILE *out, const std::string &stub,
                    const std::vector<PayloadEntry> &entries, uint32_t dosTime,
                    const Compression &compression, const Progress &progress, uint64_t *length,
                    std::string *error);

#endif
