// The thin seam over the C runtime's descriptor calls that the archive code
// uses. Its paths are UTF-8 (see fileSeamPath). Callers speak the Windows C
// runtime's flag values; the Linux build translates them, so the reader,
// entry access and extraction build natively too (fuzzing, benchmarks). The operations go through a replaceable table so
// that tests can count calls and a fuzzer can serve files from memory.
#ifndef ZIP_FILEIO_H
#define ZIP_FILEIO_H

#include <cstddef>
#include <cstdint>
#include <string>

// Open flags and permissions, in the Windows C runtime's values.
enum : int {
    FILEIO_RDONLY = 0x0000,
    FILEIO_WRONLY = 0x0001,
    FILEIO_RDWR = 0x0002,
    FILEIO_APPEND = 0x0008,
    FILEIO_CREAT = 0x0100,
    FILEIO_TRUNC = 0x0200,
    FILEIO_EXCL = 0x0400,
    FILEIO_BINARY = 0x8000,
    FILEIO_S_IREAD = 0x0100,
    FILEIO_S_IWRITE = 0x0080,
};

// The operations. Results follow the C runtime: descriptors >= 0 or -1;
// seek gives the new position or -1;
// read/write give the count or -1; close gives 0 or -1.
// readAt reads at a file position without a seek of its own: several threads
// may read one descriptor at once through it, and the position that seek and
// read use is left undefined.
//
// openDirectory and createFile make a tree one name at a time below a
// directory descriptor, never through a link, so that a component swapped
// for a link at any moment redirects no write:
// - openDirectory(-1, path) opens the directory `path` (the caller's own,
//   reached as the system resolves it), making it when missing and
//   replacing a file standing there;
// - openDirectory(parent, name) opens the directory `name`, a single
//   component, in the directory `parent`, making it when missing and
//   replacing a file (or a link to one) standing there; a link standing
//   where the directory goes is refused, and nothing is done to it;
// - createFile(directory, name, size) creates the file `name` in
//   `directory` for writing, with room for `size` bytes made at once; a file
//   or a link standing there is replaced (the link itself, never what it
//   points to), a directory there is refused.
// Both give a descriptor that close closes, or -1.
//
// mapView maps `length` (> 0) bytes of the file from `position` into memory,
// for reading or (on a descriptor that createFile made) for writing, in which
// case a shorter file first grows to position + length; it gives 0, or -1
// with nothing mapped. unmapView releases what mapView mapped. A view lets a
// decoder work on an entry whole without a buffer of the run's own memory:
// the pages are the file's, which the system writes back and drops at will.
// A table may leave both null (a view is then never made, and the callers
// read and write instead).
struct FileView {
    unsigned char *data;  // the byte at `position`
    size_t length;
    void *base;           // where the system's mapping starts (aligned down)
    size_t mapped;
};

struct FileIo {
    int (*open)(const char *path, int flags, int permission);
    int64_t (*seek)(int fd, int64_t offset, int whence);
    int (*read)(int fd, void *buffer, unsigned count);
    int (*readAt)(int fd, void *buffer, unsigned count, int64_t position);
    int (*write)(int fd, const void *buffer, unsigned count);
    int (*close)(int fd);
    int (*openDirectory)(int parent, const char *name);
    int (*createFile)(int directory, const char *name, int64_t size);
    int (*mapView)(int fd, int64_t position, size_t length, bool writable, FileView *view);
    void (*unmapView)(FileView *view);
};

// The C runtime's own operations.
const FileIo *fileioSystem();

// Installs `io` (null restores the system's) and returns the table in use
// before. The table must outlive its use.
const FileIo *fileioInstall(const FileIo *io);

// The operations in use.
int fileOpen(const char *path, int flags, int permission);
int64_t fileSeek(int fd, int64_t offset, int whence);
int fileRead(int fd, void *buffer, unsigned count);
int fileReadAt(int fd, void *buffer, unsigned count, int64_t position);
int fileWrite(int fd, const void *buffer, unsigned count);
int fileClose(int fd);
int fileOpenDirectory(int parent, const char *name);
int fileCreateFile(int directory, const char *name, int64_t size);
int fileMapView(int fd, int64_t position, size_t length, bool writable, FileView *view);
void fileUnmapView(FileView *view);

// The seam's form of `path`, a path in the ANSI code page (as the rest of
// the launcher keeps them): UTF-8 on Windows, `path` itself elsewhere. The
// archive functions that take a path convert it so; a caller of the seam's
// own operations converts it first.
std::string fileSeamPath(const char *path);

#endif
