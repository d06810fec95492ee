// Handle-relative opening goes through NtCreateFile: the Win32 calls take
// whole paths only, and every lookup of a whole path walks its components
// again, each of which may have been swapped for a link since it was checked.
// ntdll.dll is part of every Windows; the call is documented for drivers and
// applications alike.
//
// Links are judged by the handle, which was opened with
// FILE_OPEN_REPARSE_POINT and so holds the link itself on Windows. Wine 8
// keeps no reparse points: a Unix symbolic link is opened as its target and
// the handle cannot tell. Callers that listed the directory first therefore
// also compare the file id the listing gave with the handle's: a name swapped
// for a link after the listing opens another object.
//
// The calls here are those of Windows Vista, the oldest system the
// programs' manifest names; the rest of the launcher is built for older
// headers.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "base/file_below.h"

#include "base/owned.h"

#include <winternl.h>

#include <cstring>
#include <string>
#include <cstddef>
#include <vector>

extern "C" {
NTSTATUS NTAPI NtCreateFile(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                            PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                    FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);
ULONG NTAPI RtlNtStatusToDosError(NTSTATUS);
NTSTATUS NTAPI NtSetInformationFile(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
}

namespace {

const size_t kMaxNameLength = 0x7FFF;  // a UNICODE_STRING counts bytes in 16 bits

UNICODE_STRING Counted(const wchar_t *name, size_t length)
{
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t *>(name);
    text.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    return text;
}

} // namespace

HANDLE OpenBelow(HANDLE parent, const wchar_t *name, size_t nameLength, ACCESS_MASK access,
                 ULONG disposition, ULONG options, ULONG share, PSECURITY_DESCRIPTOR descriptor,
                 DWORD *error, ULONG_PTR *outcome, uint64_t allocation)
{
    if (nameLength == 0 || nameLength > kMaxNameLength) {
        *error = ERROR_INVALID_NAME;
        return nullptr;
    }
    UNICODE_STRING text = Counted(name, nameLength);
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, parent, descriptor);
    IO_STATUS_BLOCK io = {};
    LARGE_INTEGER room;
    room.QuadPart = static_cast<LONGLONG>(allocation);
    HANDLE handle = nullptr;
    const NTSTATUS status = NtCreateFile(
        &handle, access | SYNCHRONIZE, &object, &io, allocation != 0 ? &room : nullptr,
        FILE_ATTRIBUTE_NORMAL, share, disposition,
        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        *error = RtlNtStatusToDosError(status);
        return nullptr;
    }
    *error = 0;
    if (outcome != nullptr) *outcome = io.Information;
    return handle;
}

bool ListedFactsOf(HANDLE parent, const wchar_t *name, size_t nameLength, HandleFacts *facts,
                   std::wstring *listedName)
{
    if (nameLength == 0 || nameLength > kMaxNameLength) return false;
    // A fresh handle on the directory itself (an empty name below it): the
    // name to look for is fixed by the first listing call of a handle.
    UNICODE_STRING none = Counted(L"", 0);
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &none, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io = {};
    OwnedHandle listing;
    if (NtCreateFile(listing.receive(), FILE_LIST_DIRECTORY | SYNCHRONIZE, &object, &io, nullptr,
                     0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                     FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0) < 0)
        return false;
    // One entry, with room for the longest name.
    union {
        FILE_ID_BOTH_DIR_INFO info;
        unsigned char bytes[sizeof(FILE_ID_BOTH_DIR_INFO) + kMaxNameLength * sizeof(wchar_t)];
    } entry;
    UNICODE_STRING mask = Counted(name, nameLength);
    if (NtQueryDirectoryFile(listing.get(), nullptr, nullptr, nullptr, &io, &entry, sizeof entry,
                             static_cast<FILE_INFORMATION_CLASS>(37 /* FileIdBothDirectoryInformation */),
                             TRUE, &mask, TRUE) < 0)
        return false;
    facts->attributes = entry.info.FileAttributes;
    facts->id = static_cast<uint64_t>(entry.info.FileId.QuadPart);
    if (listedName != nullptr)
        listedName->assign(entry.info.FileName, entry.info.FileNameLength / sizeof(wchar_t));
    return true;
}

bool RenameBelow(HANDLE handle, HANDLE parent, const wchar_t *name, size_t nameLength,
                 DWORD *error)
{
    if (nameLength == 0 || nameLength > kMaxNameLength) {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    // FILE_RENAME_INFORMATION. The name starts right behind the length, not
    // behind the padded size of the fixed part: in a 64-bit process those
    // differ by 4 bytes, and a name put there renames to something else.
    struct RenameInformation {
        BOOLEAN replaceIfExists;
        HANDLE rootDirectory;
        ULONG fileNameLength;
        WCHAR fileName[1];
    };
    const size_t nameAt = offsetof(RenameInformation, fileName);
    const size_t size = nameAt + (nameLength + 1) * sizeof(wchar_t);
    std::vector<unsigned char> info(size > sizeof(RenameInformation) ? size
                                                                      : sizeof(RenameInformation),
                                    0);
    RenameInformation head = {TRUE, parent, static_cast<ULONG>(nameLength * sizeof(wchar_t)), {0}};
    memcpy(info.data(), &head, nameAt);
    memcpy(info.data() + nameAt, name, nameLength * sizeof(wchar_t));
    IO_STATUS_BLOCK io = {};
    const NTSTATUS status =
        NtSetInformationFile(handle, &io, info.data(), static_cast<ULONG>(info.size()),
                             static_cast<FILE_INFORMATION_CLASS>(10 /* FileRenameInformation */));
    *error = status < 0 ? RtlNtStatusToDosError(status) : 0;
    return status >= 0;
}

bool IsPlainEntry(HANDLE parent, const wchar_t *name, size_t nameLength, HANDLE opened)
{
    HandleFacts held;
    HandleFacts listed;
    if (!FactsOf(opened, &held) || !ListedFactsOf(parent, name, nameLength, &listed)) return false;
    if ((held.attributes | listed.attributes) & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    return held.id == 0 || listed.id == 0 || held.id == listed.id;
}

bool FactsOf(HANDLE handle, HandleFacts *facts)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    facts->attributes = info.dwFileAttributes;
    facts->id = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool ReadListing(HANDLE directory, void *batch, size_t size, bool restart)
{
    return GetFileInformationByHandleEx(
               directory, restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
               batch, static_cast<DWORD>(size)) != 0;
}

size_t EntryAt(const void *batch, size_t offset, ListedEntry *entry)
{
    const FILE_ID_BOTH_DIR_INFO *listed = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO *>(
        static_cast<const unsigned char *>(batch) + offset);
    entry->name = listed->FileName;
    entry->length = listed->FileNameLength / sizeof(wchar_t);
    entry->attributes = listed->FileAttributes;
    entry->id = static_cast<uint64_t>(listed->FileId.QuadPart);
    return listed->NextEntryOffset != 0 ? offset + listed->NextEntryOffset : 0;
}

bool MarkForDeletion(HANDLE handle)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

