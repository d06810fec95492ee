// The lock handle is opened with read sharing only and never closed by the
// launcher: while a launcher runs, nobody can open its executable for writing,
// and the system closes the handle (dropping the lock) when the process ends,
// however it ends. The atexit handler only makes the release prompt on the
// ordinary exits.
//
// Paths are examined with the multibyte-aware searches of base/mbcs.h: in a
// double-byte code page the last byte of a directory name may be 0x5C without
// being a backslash, and cutting it would break the name.
#include "launcher/instance.h"
#include "base/file_safety.h"
#include "launcher/instance_internal.h"

#include "base/mbcs.h"
#include "base/memory.h"
#include "base/owned.h"
#include "base/path.h"
#include "launcher/run_state.h"
#include "product/product.h"
#include "ui/report.h"

#include <windows.h>
#include <io.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The handle whose byte DeleteLockFile unlocks at exit.
HANDLE lockedFile;

// A root keeps its backslash: "D:" names the current directory of drive D,
// not its root, and "" names nothing.
bool IsRoot(const std::string &path)
{
    if (path == "\\") return true;
    return path.size() == 3 && path[1] == ':' && path[2] == '\\' &&
           IsMultiByteChar(path.c_str(), 0);
}

// Readable and writable (_access mode 6), and a directory. The directory
// test asks the file system rather than the C runtime's _stat: some runtimes
// take a final 0x5C byte for a trailing backslash even when it is the second
// byte of a double-byte character, and then fail for a directory that exists.
bool IsUsableDirectory(const std::string &path)
{
    const std::wstring wide = WidenAnsi(path.c_str());
    if (_waccess(wide.c_str(), 6) != 0) return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

extern "C" NTSTATUS NTAPI NtAreMappedFilesTheSame(PVOID image, PVOID mapped);

namespace {

// True when `file` holds the file this process's image was mapped from:
// the system compares the two mappings' files themselves, whatever their
// names say now.
bool IsImageFile(HANDLE file)
{
    OwnedHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.valid()) return false;
    void *view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 1);
    if (view == nullptr) return false;
    const bool same = NtAreMappedFilesTheSame(GetModuleHandleW(nullptr), view) >= 0;
    UnmapViewOfFile(view);
    return same;
}

// Opens `path` (a Win32 path, or an NT path such as \Device\...) for
// reading, sharing only reading: from then on nobody can write, rename or
// delete the file while the handle lives.
HANDLE OpenForReading(const std::wstring &path, bool ntPath)
{
    if (!ntPath) {
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }
    UNICODE_STRING name;
    name.Buffer = const_cast<wchar_t *>(path.c_str());
    name.Length = static_cast<USHORT>(path.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    if (NtCreateFile(&handle, GENERIC_READ | SYNCHRONIZE, &object, &io, nullptr, 0,
                     FILE_SHARE_READ, FILE_OPEN,
                     FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0) < 0)
        return nullptr;
    return handle;
}

// The name the system gives the file the image was mapped from now (an NT
// path: it follows a rename), or empty.
std::wstring MappedImageName()
{
    // Looked up: kernel32 has it from Windows 7 on, and psapi.dll is not
    // imported.
    using MappedFileName = DWORD(WINAPI *)(HANDLE, LPVOID, LPWSTR, DWORD);
    const auto mappedFileName = reinterpret_cast<MappedFileName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetMappedFileNameW")));
    if (mappedFileName == nullptr) return std::wstring();
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = mappedFileName(GetCurrentProcess(), GetModuleHandleW(nullptr),
                                            &name[0], static_cast<DWORD>(name.size()));
        if (length == 0) return std::wstring();
        if (length < name.size() - 1) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

} // namespace

bool OpenOwnProgramFile(RunState &run, std::string *why)
{
    if (run.instanceLock != nullptr) return true;
    const char *exec = GetExecName();
    if (exec == nullptr) {
        *why = "its path is not known";
        return false;
    }
    OwnedHandle file(OpenForReading(WidenAnsi(exec), false));
    if (file.valid() && IsImageFile(file.get())) {
        run.instanceLock = file.release();
        return true;
    }
    // Renamed since the start, and something else put at its name: the
    // system's name for the mapping follows the rename.
    const std::wstring mapped = MappedImageName();
    if (!mapped.empty()) file.reset(OpenForReading(mapped, true));
    if (file.valid() && IsImageFile(file.get())) {
        run.instanceLock = file.release();
        return true;
    }
    *why = "the file at its path is not the one it runs from, and that one cannot be opened";
    return false;
}

void ExitIfNotOnlyInstance(RunState &run)
{
    std::string why;
    if (!OpenOwnProgramFile(run, &why)) return;
    HANDLE lock = run.instanceLock;

    if (!LockFile(lock, 0, 0, 1, 0)) {
        // A file system without byte-range locks refuses every lock: that
        // says nothing about another instance, so the run goes on unlocked.
        if (!LockHeldByAnotherInstance(GetLastError())) return;
        OwnedText key(GetMessageKeyPrefix("already_started"));
        ReportErrorText(key.get());
        exit(1);
    }
    lockedFile = lock;
    atexit(DeleteLockFile);
}

bool LockHeldByAnotherInstance(DWORD lockError)
{
    return lockError == ERROR_LOCK_VIOLATION;
}

void DeleteLockFile()
{
    if (lockedFile != nullptr) UnlockFile(lockedFile, 0, 0, 1, 0);
}

bool SetTempDir(RunState &run, const char *path)
{
    // The full path: "C:tmp" and "\tmp" would name another directory once the
    // launcher has changed its current directory.
    std::string candidate = FullPath(path);
    if (candidate.empty()) return false;
    if (EndsWithBackslash(candidate) && !IsRoot(candidate))
        candidate.erase(candidate.size() - 1);

    if (!IsUsableDirectory(candidate)) return false;

    free(run.temporaryDirectory);
    run.temporaryDirectory = StrDup(candidate.c_str());
    return true;
}

char *GetTempDir(RunState &run)
{
    if (run.temporaryDirectory != nullptr) return run.temporaryDirectory;

    // GetTempPathW answers a too small buffer with the size it needs. Asked
    // in UTF-16 so that a profile folder the ANSI code page cannot spell
    // still gives a directory that opens (its short form).
    // As SYSTEM the usual answer is the Windows directory's Temp, where
    // every user may create; Windows versions that have GetTempPath2 give
    // SYSTEM its protected SystemTemp instead, which is taken where it
    // exists even without the call.
    typedef DWORD(WINAPI * TempPathFn)(DWORD, LPWSTR);
    TempPathFn query = GetTempPathW;
    if (run.account.elevation == RunElevation::System) {
        TempPathFn second = reinterpret_cast<TempPathFn>(reinterpret_cast<void *>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
        if (second != nullptr) {
            query = second;
        } else {
            std::wstring windows(MAX_PATH, L'\0');
            const UINT length = GetSystemWindowsDirectoryW(&windows[0], MAX_PATH);
            if (length > 0 && length < MAX_PATH) {
                windows.resize(length);
                const std::wstring protectedTemp = windows + L"\\SystemTemp";
                const DWORD attributes = GetFileAttributesW(protectedTemp.c_str());
                if (attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    SetTempDir(run, AnsiPath(protectedTemp).c_str()))
                    return run.temporaryDirectory;
            }
        }
    }
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = query(static_cast<DWORD>(buffer.size()), &buffer[0]);
        if (length == 0) return nullptr;
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(length);
    }
    if (!SetTempDir(run, AnsiPath(buffer).c_str())) return nullptr;
    return run.temporaryDirectory;
}
