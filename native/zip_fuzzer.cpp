// Fuzz target for the payload archive code: the input is served as an
// archive file from memory through the file seam; every entry is listed,
// looked up by name, read in pieces and written to a sink, and the whole
// archive is extracted into a directory that exists only in the seam.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "zip/archive.h"
#include "zip/entry_data.h"
#include "zip/extract.h"
#include "zip/fileio.h"

// The seam runs on the extraction's workers too: no coverage counters there,
// which threads would bump without synchronisation.
#if defined(__clang__)
#define SEAM __attribute__((no_sanitize("coverage")))
#else
#define SEAM
#endif

namespace {

const char kArchive[] = "input.zip";
const int kArchiveFd = 3;
const int kSinkFd = 4;

const uint8_t *data;
size_t dataSize;
int64_t position;

SEAM int MemOpen(const char *path, int flags, int)
{
    if (strcmp(path, kArchive) == 0) return (flags & 3) == FILEIO_RDONLY ? kArchiveFd : -1;
    return (flags & 3) == FILEIO_WRONLY ? kSinkFd : -1;
}

SEAM int64_t MemSeek(int fd, int64_t offset, int whence)
{
    if (fd != kArchiveFd) return -1;
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_END ? static_cast<int64_t>(dataSize) : position;
    // Offsets come from the archive: no sum may overflow.
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
    position = base + offset;
    return position;
}

SEAM int MemRead(int fd, void *buffer, unsigned count)
{
    if (fd != kArchiveFd) return -1;
    if (position >= static_cast<int64_t>(dataSize)) return 0;
    size_t n = dataSize - static_cast<size_t>(position);
    if (n > count) n = count;
    memcpy(buffer, data + position, n);
    position += static_cast<int64_t>(n);
    return static_cast<int>(n);
}

// Positioned reads come from the extraction's workers at once: no shared
// position.
SEAM int MemReadAt(int fd, void *buffer, unsigned count, int64_t at)
{
    if (fd != kArchiveFd || at < 0) return -1;
    if (at >= static_cast<int64_t>(dataSize)) return 0;
    size_t n = dataSize - static_cast<size_t>(at);
    if (n > count) n = count;
    memcpy(buffer, data + at, n);
    return static_cast<int>(n);
}

SEAM int MemWrite(int fd, const void *, unsigned count)
{
    return fd == kSinkFd ? static_cast<int>(count) : -1;
}

SEAM int MemClose(int fd)
{
    return fd == kArchiveFd || fd == kSinkFd ? 0 : -1;
}

SEAM FileKind MemKind(const char *)
{
    return FILE_KIND_MISSING;
}

SEAM int MemOk(const char *)
{
    return 0;
}

const FileIo kMemory = {MemOpen, MemSeek, MemRead, MemReadAt, MemWrite, MemClose, MemKind, MemOk, MemOk};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    data = bytes;
    dataSize = size;
    position = 0;
    fileioInstall(&kMemory);

    int error = 0;
    ZipArchive *zip = zipOpen(kArchive, &error);
    if (zip == nullptr) return 0;
    ZipArchive *again = zipOpen(kArchive, &error);

    for (int n = 0;; ++n) {
        ZipEntry *entry = zipGetNextEntry(zip, n);
        if (entry == nullptr) {
            if (n >= zip->entryCount) break;
            continue;
        }
        char piece[64];
        zipRead(zip, entry, 0, piece, sizeof piece);
        zipRead(zip, entry, entry->compressedSize / 2, piece, sizeof piece);
        zipReadEntry(zip, entry, "out");

        // Look the same name up again; the entry just released is cached.
        char name[256];
        snprintf(name, sizeof name, "%s", entry->entryName);
        zipFreeEntry(zip, entry);
        int entrySize = 0, nameLength = 0;
        ZipEntry *found = zipFindEntry(zip, name, &entrySize, &nameLength);
        zipFreeEntry(zip, found);
        zipFreeEntry(zip, zipGetEntry(zip, "META-INF/MANIFEST.MF"));
    }
    UnzipFiles(zip, "dest", nullptr);
    UnzipFiles(zip, "dest", "a/");

    zipClose(again);
    zipClose(zip);
    return 0;
}
