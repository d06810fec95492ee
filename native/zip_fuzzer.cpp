// Fuzz target for the payload archive code: the input is served as an
// archive file from memory through the file seam; every entry is listed,
// looked up by name, read in pieces and written to a sink, and the whole
// archive is extracted for real, into a scratch directory of the process:
// what the extraction makes there is removed after each input, and anything
// it made beside its destination is a finding (the process aborts).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

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
const char kSink[] = "out";
// Descriptors no real file gets: everything else goes to the system.
const int kArchiveFd = 1 << 24;
const int kSinkFd = kArchiveFd + 1;

const uint8_t *data;
size_t dataSize;
int64_t position;

SEAM int MemOpen(const char *path, int flags, int permission)
{
    if (strcmp(path, kArchive) == 0) return (flags & 3) == FILEIO_RDONLY ? kArchiveFd : -1;
    if (strcmp(path, kSink) == 0) return (flags & 3) == FILEIO_WRONLY ? kSinkFd : -1;
    return fileioSystem()->open(path, flags, permission);
}

SEAM int64_t MemSeek(int fd, int64_t offset, int whence)
{
    if (fd != kArchiveFd) return fileioSystem()->seek(fd, offset, whence);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_END ? static_cast<int64_t>(dataSize) : position;
    // Offsets come from the archive: no sum may overflow.
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
    position = base + offset;
    return position;
}

SEAM int MemRead(int fd, void *buffer, unsigned count)
{
    if (fd != kArchiveFd) return fileioSystem()->read(fd, buffer, count);
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
    if (fd != kArchiveFd) return fileioSystem()->readAt(fd, buffer, count, at);
    if (at < 0) return -1;
    if (at >= static_cast<int64_t>(dataSize)) return 0;
    size_t n = dataSize - static_cast<size_t>(at);
    if (n > count) n = count;
    memcpy(buffer, data + at, n);
    return static_cast<int>(n);
}

SEAM int MemWrite(int fd, const void *buffer, unsigned count)
{
    if (fd == kSinkFd) return static_cast<int>(count);
    return fd == kArchiveFd ? -1 : fileioSystem()->write(fd, buffer, count);
}

SEAM int MemClose(int fd)
{
    return fd == kArchiveFd || fd == kSinkFd ? 0 : fileioSystem()->close(fd);
}

SEAM int SystemOpenDirectory(int parent, const char *name)
{
    return fileioSystem()->openDirectory(parent, name);
}

SEAM int SystemCreateFile(int directory, const char *name, int64_t size)
{
    return fileioSystem()->createFile(directory, name, size);
}

// The archive's views are the input itself (read-only, and never past its
// end, as the system's are); the files' are the system's.
SEAM int MemMapView(int fd, int64_t at, size_t length, bool writable, FileView *view)
{
    if (fd == kSinkFd) return -1;
    if (fd != kArchiveFd) return fileioSystem()->mapView(fd, at, length, writable, view);
    if (writable || at < 0 || length == 0 || static_cast<uint64_t>(at) > dataSize ||
        length > dataSize - static_cast<size_t>(at))
        return -1;
    *view = {const_cast<unsigned char *>(data) + at, length, nullptr, 0};
    return 0;
}

SEAM void MemUnmapView(FileView *view)
{
    if (view->base != nullptr) fileioSystem()->unmapView(view);
    *view = {};
}

const FileIo kMemory = {MemOpen,  MemSeek,  MemRead,             MemReadAt,
                        MemWrite, MemClose, SystemOpenDirectory, SystemCreateFile,
                        MemMapView, MemUnmapView};

// The process's scratch directory; the extraction's destination is "dest"
// inside it.
int RemoveOne(const char *path, const struct stat *, int kind, struct FTW *)
{
    return kind == FTW_DP ? rmdir(path) : unlink(path);
}

void RemoveScratch();

const std::string &Scratch()
{
    static const std::string root = [] {
        const char *tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/zip_fuzz_XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) abort();
        atexit(RemoveScratch);
        return pattern;
    }();
    return root;
}

// The scratch directory goes with the process.
void RemoveScratch()
{
    nftw(Scratch().c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

// Empties the scratch directory; aborts when the extraction made anything
// there but its destination.
void ClearScratch()
{
    DIR *listing = opendir(Scratch().c_str());
    if (listing == nullptr) abort();
    while (dirent *item = readdir(listing)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        if (name != "dest") {
            fprintf(stderr, "the extraction made %s beside its destination\n", name.c_str());
            abort();
        }
    }
    closedir(listing);
    nftw((Scratch() + "/dest").c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

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
        zipReadEntry(zip, entry, kSink);

        // Look the same name up again; the entry just released is cached.
        char name[256];
        snprintf(name, sizeof name, "%s", entry->entryName);
        zipFreeEntry(zip, entry);
        int entrySize = 0, nameLength = 0;
        ZipEntry *found = zipFindEntry(zip, name, &entrySize, &nameLength);
        zipFreeEntry(zip, found);
        zipFreeEntry(zip, zipGetEntry(zip, "META-INF/MANIFEST.MF"));
    }
    const std::string destination = Scratch() + "/dest";
    UnzipFiles(zip, destination.c_str(), nullptr);
    UnzipFiles(zip, destination.c_str(), "a/");
    ClearScratch();

    zipClose(again);
    zipClose(zip);
    return 0;
}
