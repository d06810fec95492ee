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

// Called after each step of `done` bytes of file data out of `total`.
using Progress = std::function<void(uint64_t done, uint64_t total)>;

// Writes `stub` and the archive of `entries` to `out` (a new file open for
// binary writing; it is sought in). Files are deflated, or stored when
// deflating does not make them smaller. `*length` receives the installer's
// length: the caller cuts the file to it, as bytes beyond it may be left
// over. The length is a multiple of 8 bytes, so that signing appends its
// certificate table directly behind the archive. False with `*error` naming
// the file that cannot be read or changed while it was read, or saying why
// the archive cannot be written (too large or too many entries for the
// launcher).
bool WriteInstaller(std::FILE *out, const std::string &stub,
                    const std::vector<PayloadEntry> &entries, uint32_t dosTime,
                    const Progress &progress, uint64_t *length, std::string *error);

#endif
