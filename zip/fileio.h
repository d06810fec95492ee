// The thin seam over the C runtime's descriptor calls that the archive code
// uses. Its paths are UTF-8 (see fileSeamPath). Callers speak the Windows C
// runtime's flag values; the Linux build translates them, so the reader,
// entry access and extraction build natively too (fuzzing, benchmarks). The operations go through a replaceable table so
// that tests can count calls and a fuzzer can serve files from memory.
#ifndef ZIP_FILEIO_H
#define ZIP_FILEIO_H

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

// What a path names, as fileKind reports it.
enum FileKind { FILE_KIND_MISSING = 0, FILE_KIND_FILE = 1, FILE_KIND_DIRECTORY = 2 };

// The operations. Results follow the C runtime: descriptors >= 0 or -1;
// seek gives the new position or -1;
// read/write give the count or -1; close/unlink/makeDirectory give 0 or -1.
// readAt reads at a file position without a seek of its own: several threads
// may read one descriptor at once through it, and the position that seek and
// read use is left undefined.
struct FileIo {
    int (*open)(const char *path, int flags, int permission);
    int64_t (*seek)(int fd, int64_t offset, int whence);
    int (*read)(int fd, void *buffer, unsigned count);
    int (*readAt)(int fd, void *buffer, unsigned count, int64_t position);
    int (*write)(int fd, const void *buffer, unsigned count);
    int (*close)(int fd);
    FileKind (*kind)(const char *path);
    int (*unlink)(const char *path);
    int (*makeDirectory)(const char *path);
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
FileKind fileKind(const char *path);
int fileUnlink(const char *path);
int fileMakeDirectory(const char *path);

// The full path of `path` as the system resolves it: on Windows as
// GetFullPathName does (relative, drive- and root-relative forms, "." and
// "..", forward slashes made backslashes); elsewhere the same resolution
// done on the text, against the current directory. Nothing is looked up on
// disk. Empty when it cannot be made.
std::string fileFullPath(const char *path);

// The seam's form of `path`, a path in the ANSI code page (as the rest of
// the launcher keeps them): UTF-8 on Windows, `path` itself elsewhere. The
// archive functions that take a path convert it so; a caller of the seam's
// own operations converts it first.
std::string fileSeamPath(const char *path);

#endif
