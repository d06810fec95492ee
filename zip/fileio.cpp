// The system table maps each operation onto the C runtime: on Windows the
// flag values pass through unchanged; on Linux they are translated to the
// POSIX ones, and the Windows-only _O_BINARY is dropped.
//
// On Windows the seam's paths are UTF-8 and every call is a wide one, so
// that an entry's Unicode name is written as it is whatever the ANSI code
// page; a path too long for the plain calls (a deep payload in a long
// temporary directory) goes as an extended-length path.
#include "zip/fileio.h"

#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "base/mbcs.h"
#include "base/path.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32
// `path` (UTF-8) as the wide calls take it.
std::wstring SystemPath(const char *path)
{
    const std::wstring wide = WidenUtf8(path);
    return wide.size() >= LongPathLength ? ExtendedLengthWidePath(wide) : wide;
}

int SystemOpen(const char *path, int flags, int permission)
{
    const std::wstring wide = SystemPath(path);
    if (wide.empty()) return -1;
    return _wopen(wide.c_str(), flags, permission);
}

int64_t SystemSeek(int fd, int64_t offset, int whence)
{
    return _lseeki64(fd, offset, whence);
}

int SystemRead(int fd, void *buffer, unsigned count)
{
    return _read(fd, buffer, count);
}

int SystemReadAt(int fd, void *buffer, unsigned count, int64_t position)
{
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE || position < 0) return -1;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!ReadFile(file, buffer, count, &got, &at)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<int>(got);
}

int SystemWrite(int fd, const void *buffer, unsigned count)
{
    return _write(fd, buffer, count);
}

int SystemClose(int fd)
{
    return _close(fd);
}

FileKind SystemKind(const char *path)
{
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FILE_KIND_MISSING;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_KIND_DIRECTORY : FILE_KIND_FILE;
}

int SystemUnlink(const char *path)
{
    return DeleteFileW(SystemPath(path).c_str()) ? 0 : -1;
}

int SystemMakeDirectory(const char *path)
{
    return CreateDirectoryW(SystemPath(path).c_str(), nullptr) ? 0 : -1;
}
#else
int SystemOpen(const char *path, int flags, int permission)
{
    int posix = 0;
    switch (flags & 3) {
    case FILEIO_WRONLY: posix = O_WRONLY; break;
    case FILEIO_RDWR: posix = O_RDWR; break;
    default: posix = O_RDONLY; break;
    }
    if (flags & FILEIO_APPEND) posix |= O_APPEND;
    if (flags & FILEIO_CREAT) posix |= O_CREAT;
    if (flags & FILEIO_TRUNC) posix |= O_TRUNC;
    if (flags & FILEIO_EXCL) posix |= O_EXCL;
    mode_t mode = 0;
    if (permission & FILEIO_S_IREAD) mode |= S_IRUSR | S_IRGRP | S_IROTH;
    if (permission & FILEIO_S_IWRITE) mode |= S_IWUSR | S_IWGRP | S_IWOTH;
    return open(path, posix | O_CLOEXEC, mode);
}

int64_t SystemSeek(int fd, int64_t offset, int whence)
{
    static_assert(sizeof(off_t) == 8, "64-bit file positions");
    return lseek(fd, static_cast<off_t>(offset), whence);
}

int SystemRead(int fd, void *buffer, unsigned count)
{
    return static_cast<int>(read(fd, buffer, count));
}

int SystemReadAt(int fd, void *buffer, unsigned count, int64_t position)
{
    if (position < 0) return -1;
    return static_cast<int>(pread(fd, buffer, count, static_cast<off_t>(position)));
}

int SystemWrite(int fd, const void *buffer, unsigned count)
{
    return static_cast<int>(write(fd, buffer, count));
}

int SystemClose(int fd)
{
    return close(fd);
}

FileKind SystemKind(const char *path)
{
    struct stat info;
    if (stat(path, &info) != 0) return FILE_KIND_MISSING;
    return S_ISDIR(info.st_mode) ? FILE_KIND_DIRECTORY : FILE_KIND_FILE;
}

int SystemUnlink(const char *path)
{
    return unlink(path);
}

int SystemMakeDirectory(const char *path)
{
    return mkdir(path, 0777);
}
#endif

const FileIo kSystem = {SystemOpen,  SystemSeek, SystemRead,   SystemReadAt,       SystemWrite,
                        SystemClose, SystemKind, SystemUnlink, SystemMakeDirectory};

const FileIo *current = &kSystem;

} // namespace

const FileIo *fileioSystem()
{
    return &kSystem;
}

const FileIo *fileioInstall(const FileIo *io)
{
    const FileIo *before = current;
    current = io != nullptr ? io : &kSystem;
    return before;
}

int fileOpen(const char *path, int flags, int permission)
{
    return current->open(path, flags, permission);
}

int64_t fileSeek(int fd, int64_t offset, int whence)
{
    return current->seek(fd, offset, whence);
}

int fileRead(int fd, void *buffer, unsigned count)
{
    return current->read(fd, buffer, count);
}

int fileReadAt(int fd, void *buffer, unsigned count, int64_t position)
{
    return current->readAt(fd, buffer, count, position);
}

int fileWrite(int fd, const void *buffer, unsigned count)
{
    return current->write(fd, buffer, count);
}

int fileClose(int fd)
{
    return current->close(fd);
}

FileKind fileKind(const char *path)
{
    return current->kind(path);
}

int fileUnlink(const char *path)
{
    return current->unlink(path);
}

int fileMakeDirectory(const char *path)
{
    return current->makeDirectory(path);
}

#ifdef _WIN32
std::string fileFullPath(const char *path)
{
    const std::wstring wide = WidenUtf8(path);
    return wide.empty() ? std::string() : NarrowToUtf8(FullPathWide(wide));
}

std::string fileSeamPath(const char *path)
{
    return ToUtf8(path, CP_ACP);
}
#else
std::string fileSeamPath(const char *path)
{
    return path;
}

std::string fileFullPath(const char *path)
{
    std::string text = path;
    if (text.empty() || text[0] != '/') {
        char *current = getcwd(nullptr, 0);
        if (current == nullptr) return std::string();
        text = std::string(current) + "/" + text;
        free(current);
    }
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '/') continue;
        const std::string part = text.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string full;
    for (const std::string &part : parts) full += "/" + part;
    return full.empty() ? std::string("/") : full;
}
#endif
