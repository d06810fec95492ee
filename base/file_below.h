// Files opened one name at a time below a directory handle, the way the
// launcher makes and removes what lies in a directory other accounts may
// reach: no path is looked up again after it was checked, so a component
// swapped for a link in between redirects nothing. Windows only.
#ifndef BASE_FILE_BELOW_H
#define BASE_FILE_BELOW_H

#include <windows.h>

#include <cstdint>
#include <string>

// Opens (or creates, as `disposition` says: FILE_OPEN, FILE_CREATE, ...) the
// single component `name` in the directory `parent`, never following a link
// (FILE_OPEN_REPARSE_POINT is always added), with synchronous I/O. `options`
// are the NtCreateFile options (FILE_DIRECTORY_FILE, FILE_DELETE_ON_CLOSE,
// ...); `descriptor`, when given, secures a created object. `outcome`, when
// given, receives what the system did (FILE_CREATED, FILE_OPENED, ...);
// `allocation` is the size a created file is given room for at once.
// Returns the handle, or null with *error set to the Win32 error.
HANDLE OpenBelow(HANDLE parent, const wchar_t *name, size_t nameLength, ACCESS_MASK access,
                 ULONG disposition, ULONG options, ULONG share, PSECURITY_DESCRIPTOR descriptor,
                 DWORD *error, ULONG_PTR *outcome = nullptr, uint64_t allocation = 0);

// What a handle says of the object it holds: its attributes (with
// FILE_ATTRIBUTE_REPARSE_POINT where the handle holds a link itself) and its
// file id. False when the system does not answer.
struct HandleFacts {
    DWORD attributes = 0;
    uint64_t id = 0;
};
bool FactsOf(HANDLE handle, HandleFacts *facts);

// What the listing of `parent` says of its entry `name`: the entry's own
// attributes (FILE_ATTRIBUTE_REPARSE_POINT for a link, even where a handle
// opened on the name holds the link's target) and its file id. Read through
// a handle of its own, so `parent`'s listing position is left alone.
// `listedName`, when given, receives the entry's name as the directory
// holds it (its case may differ from `name`'s). False when there is no
// such entry or the listing cannot be read.
bool ListedFactsOf(HANDLE parent, const wchar_t *name, size_t nameLength, HandleFacts *facts,
                   std::wstring *listedName = nullptr);

// Gives the object `handle` holds (opened with DELETE) the name `name` in
// the directory `parent`, replacing whatever non-directory entry stands
// there: the entry itself, a link included, never what a link points to.
// False with *error set (a directory there, an entry in use).
bool RenameBelow(HANDLE handle, HANDLE parent, const wchar_t *name, size_t nameLength,
                 DWORD *error);

// True when `opened`, a handle just opened on the existing entry `name` of
// `parent`, holds that entry itself and no link: neither the handle nor the
// listing says reparse point, and both name the same file id (where the
// file system has ids). The handle alone is not enough: Wine opens a Unix
// link as its target.
bool IsPlainEntry(HANDLE parent, const wchar_t *name, size_t nameLength, HANDLE opened);

// One entry of a directory listing read through the directory's handle.
struct ListedEntry {
    const wchar_t *name;  // not terminated
    size_t length;        // in characters
    DWORD attributes;     // as the listing reports them (FILE_ATTRIBUTE_REPARSE_POINT for a link)
    uint64_t id;          // the file id, 0 where the file system has none
};

// Reads the next part of the listing of `directory` (opened with
// FILE_LIST_DIRECTORY) into `batch` of `size` bytes; `restart`: from its
// first entry. False at the end of the listing, or when it cannot be read.
bool ReadListing(HANDLE directory, void *batch, size_t size, bool restart);

// The entry at `offset` of a batch ReadListing filled; returns the offset of
// the next entry, or 0 after the last.
size_t EntryAt(const void *batch, size_t offset, ListedEntry *entry);

// Marks the object `handle` holds (opened with DELETE) for deletion when its
// last handle closes. False, with the system's error, when it cannot be (a
// directory that is not empty, a read-only file).
bool MarkForDeletion(HANDLE handle);

#endif
