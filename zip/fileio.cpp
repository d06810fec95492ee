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
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <string>

#include "base/file_below.h"
#include "base/mbcs.h"
#include "base/owned.h"
#include "base/path.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
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

// A read at a position is a seek and a read under one lock, so threads may
// share a descriptor. A positioned ReadFile would move a synchronous
// handle's position all the same, and under Wine it takes as long as a
// round trip to the server (about 90 us), where the seek and the read are
// plain calls within the process.
int SystemReadAt(int fd, void *buffer, unsigned count, int64_t position)
{
    static struct ReadLock {
        ReadLock() { InitializeCriticalSection(&section); }
        CRITICAL_SECTION section;
    } lock;
    if (position < 0) return -1;
    EnterCriticalSection(&lock.section);
    const int got = _lseeki64(fd, position, SEEK_SET) == position ? _read(fd, buffer, count) : -1;
    LeaveCriticalSection(&lock.section);
    return got;
}

int SystemWrite(int fd, const void *buffer, unsigned count)
{
    return _write(fd, buffer, count);
}

int SystemClose(int fd)
{
    return _close(fd);
}

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// The descriptor that owns `handle` from now on; -1 (and the handle closed)
// when the C runtime has no descriptor left.
int DescriptorOf(HANDLE handle, int flags)
{
    if (handle == nullptr) return -1;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) CloseHandle(handle);
    return fd;
}

// Directories are held without FILE_SHARE_DELETE: while the extraction
// holds one, nobody can rename it away and put something else in its place.
const ACCESS_MASK kDirectoryAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
const ULONG kDirectoryShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
const ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Deletes the non-directory `name` in `parent` (the link itself, where one
// stands there).
bool RemoveFileBelow(HANDLE parent, const std::wstring &name)
{
    DWORD error = 0;
    OwnedHandle held(OpenBelow(parent, name.c_str(), name.size(), DELETE, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE, kShareAll, nullptr, &error));
    return held.get() != nullptr && MarkForDeletion(held.get());
}

int SystemOpenDirectory(int parent, const char *name)
{
    if (parent < 0) {
        const std::wstring path = SystemPath(name);
        if (path.empty()) return -1;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            CreateDirectoryW(path.c_str(), nullptr);
        HANDLE handle = CreateFileW(path.c_str(), kDirectoryAccess, kDirectoryShare, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        return DescriptorOf(handle == INVALID_HANDLE_VALUE ? nullptr : handle, _O_RDONLY);
    }
    const HANDLE above = HandleOf(parent);
    const std::wstring wide = WidenUtf8(name);
    if (above == INVALID_HANDLE_VALUE || wide.empty()) return -1;
    DWORD error = 0;
    ULONG_PTR outcome = 0;
    auto open = [&](ULONG disposition) {
        return OpenBelow(above, wide.c_str(), wide.size(), kDirectoryAccess, disposition,
                         FILE_DIRECTORY_FILE, kDirectoryShare, nullptr, &error, &outcome);
    };
    HANDLE handle = open(FILE_OPEN_IF);
    if (handle == nullptr && error == ERROR_DIRECTORY) {
        // A file stands where the directory goes.
        if (!RemoveFileBelow(above, wide)) return -1;
        handle = open(FILE_CREATE);
    }
    if (handle != nullptr && outcome != FILE_CREATED && !IsPlainEntry(above, wide.c_str(), wide.size(), handle)) {
        CloseHandle(handle);
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return -1;
    }
    return DescriptorOf(handle, _O_RDONLY);
}

// Read access too: a writable view of a file needs both.
const ACCESS_MASK kCreatedAccess = GENERIC_READ | GENERIC_WRITE;

int SystemCreateFile(int directory, const char *name, int64_t size)
{
    const HANDLE above = HandleOf(directory);
    const std::wstring wide = WidenUtf8(name);
    if (above == INVALID_HANDLE_VALUE || wide.empty() || size < 0) return -1;
    const ULONG options = FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY;
    DWORD error = 0;
    auto createNew = [&] {
        return OpenBelow(above, wide.c_str(), wide.size(), kCreatedAccess, FILE_CREATE, options,
                         FILE_SHARE_READ, nullptr, &error, nullptr, static_cast<uint64_t>(size));
    };
    HANDLE handle = createNew();
    if (handle == nullptr && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
        // Never written into: the file is made afresh under a name of its
        // own and renamed over the entry standing there, which replaces
        // that entry itself. A link is replaced, never followed: under Wine
        // a Unix link to a file looks like the file to a handle and to the
        // listing alike, and opening it would open its target. The name
        // keeps the case the directory holds it in, as it was written first.
        HandleFacts facts;
        std::wstring listed;
        if (!ListedFactsOf(above, wide.c_str(), wide.size(), &facts, &listed)) listed = wide;
        if (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
        const std::wstring fresh =
            L"~" + wide + L".replacing-" + std::to_wstring(GetCurrentThreadId());
        handle = OpenBelow(above, fresh.c_str(), fresh.size(), kCreatedAccess | DELETE, FILE_CREATE,
                           options, FILE_SHARE_READ, nullptr, &error, nullptr,
                           static_cast<uint64_t>(size));
        if (handle != nullptr && !RenameBelow(handle, above, listed.c_str(), listed.size(), &error)) {
            MarkForDeletion(handle);
            CloseHandle(handle);
            handle = nullptr;
        }
    }
    return DescriptorOf(handle, 0);
}

int SystemMapView(int fd, int64_t position, size_t length, bool writable, FileView *view)
{
    static const DWORD granularity = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwAllocationGranularity;
    }();
    const HANDLE file = HandleOf(fd);
    if (file == INVALID_HANDLE_VALUE || position < 0 || length == 0) return -1;
    const uint64_t end = static_cast<uint64_t>(position) + length;
    const uint64_t start = static_cast<uint64_t>(position) - position % granularity;
    const uint64_t mapped = end - start;
    if (mapped > SIZE_MAX) return -1;
    // The mapping object lives on in the view; a writable one of a shorter
    // file makes the file that long.
    OwnedHandle mapping(CreateFileMappingW(file, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY,
                                           static_cast<DWORD>(end >> 32), static_cast<DWORD>(end),
                                           nullptr));
    if (!mapping.valid()) return -1;
    void *base = MapViewOfFile(mapping.get(), writable ? FILE_MAP_WRITE : FILE_MAP_READ,
                               static_cast<DWORD>(start >> 32), static_cast<DWORD>(start),
                               static_cast<SIZE_T>(mapped));
    if (base == nullptr) return -1;
    *view = {static_cast<unsigned char *>(base) + (position - start), length, base,
             static_cast<size_t>(mapped)};
    return 0;
}

void SystemUnmapView(FileView *view)
{
    if (view->base != nullptr) UnmapViewOfFile(view->base);
    *view = {};
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

int OpenDirectoryBelow(int parent, const char *name)
{
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int SystemOpenDirectory(int parent, const char *name)
{
    if (parent < 0) {
        struct stat info;
        if (lstat(name, &info) == 0 && !S_ISDIR(info.st_mode)) unlink(name);
        mkdir(name, 0777);
        return open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (mkdirat(parent, name, 0777) != 0 && errno != EEXIST) return -1;
    const int fd = OpenDirectoryBelow(parent, name);
    if (fd >= 0 || errno != ENOTDIR) return fd;  // ELOOP: a link stands there
    // A file stands where the directory goes.
    if (unlinkat(parent, name, 0) != 0 || mkdirat(parent, name, 0777) != 0) return -1;
    return OpenDirectoryBelow(parent, name);
}

int SystemCreateFile(int directory, const char *name, int64_t size)
{
    if (size < 0) return -1;
    // Read access too: a writable view of a file needs both.
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(directory, name, flags, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
    // Never written through: a file standing there is emptied (keeping its
    // name), a link replaced.
    fd = openat(directory, name, O_RDWR | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP && unlinkat(directory, name, 0) == 0)
        fd = openat(directory, name, flags, 0666);
    return fd;
}

int SystemMapView(int fd, int64_t position, size_t length, bool writable, FileView *view)
{
    static const long page = sysconf(_SC_PAGESIZE);
    if (position < 0 || length == 0 || page <= 0) return -1;
    const uint64_t end = static_cast<uint64_t>(position) + length;
    const uint64_t start = static_cast<uint64_t>(position) - position % page;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    if (static_cast<uint64_t>(info.st_size) < end) {
        if (!writable || ftruncate(fd, static_cast<off_t>(end)) != 0) return -1;
    }
    const size_t mapped = static_cast<size_t>(end - start);
    void *base = mmap(nullptr, mapped, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED,
                      fd, static_cast<off_t>(start));
    if (base == MAP_FAILED) return -1;
    *view = {static_cast<unsigned char *>(base) + (position - start), length, base, mapped};
    return 0;
}

void SystemUnmapView(FileView *view)
{
    if (view->base != nullptr) munmap(view->base, view->mapped);
    *view = {};
}
#endif

const FileIo kSystem = {SystemOpen,     SystemSeek,          SystemRead,       SystemReadAt,
                        SystemWrite,    SystemClose,         SystemOpenDirectory, SystemCreateFile,
                        SystemMapView,  SystemUnmapView};

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

int fileOpenDirectory(int parent, const char *name)
{
    return current->openDirectory(parent, name);
}

int fileCreateFile(int directory, const char *name, int64_t size)
{
    return current->createFile(directory, name, size);
}

int fileMapView(int fd, int64_t position, size_t length, bool writable, FileView *view)
{
    if (current->mapView == nullptr) return -1;
    return current->mapView(fd, position, length, writable, view);
}

void fileUnmapView(FileView *view)
{
    if (current->unmapView != nullptr) current->unmapView(view);
}

#ifdef _WIN32
std::string fileSeamPath(const char *path)
{
    return ToUtf8(path, CP_ACP);
}
#else
std::string fileSeamPath(const char *path)
{
    return path;
}
#endif
