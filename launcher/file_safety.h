// The file calls that do not let another account steer the launcher: names
// opened one component at a time below a directory handle, links recognised
// by the handle rather than by a name looked up again, and the ownership and
// permissions of what the launcher finds in a shared directory.
#ifndef LAUNCHER_FILE_SAFETY_H
#define LAUNCHER_FILE_SAFETY_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Opens (or creates, as `disposition` says: FILE_OPEN, FILE_CREATE, ...) the
// single component `name` in the directory `parent`, never following a link
// (FILE_OPEN_REPARSE_POINT is always added), with synchronous I/O. `options`
// are the NtCreateFile options (FILE_DIRECTORY_FILE, FILE_DELETE_ON_CLOSE,
// ...); `descriptor`, when given, secures a created object. Returns the
// handle, or null with *error set to the Win32 error.
HANDLE OpenBelow(HANDLE parent, const wchar_t *name, size_t nameLength, ACCESS_MASK access,
                 ULONG disposition, ULONG options, ULONG share, PSECURITY_DESCRIPTOR descriptor,
                 DWORD *error);

// What a handle says of the object it holds: its attributes (with
// FILE_ATTRIBUTE_REPARSE_POINT where the handle holds a link itself) and its
// file id. False when the system does not answer.
struct HandleFacts {
    DWORD attributes = 0;
    uint64_t id = 0;
};
bool FactsOf(HANDLE handle, HandleFacts *facts);

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

// The account this process runs as (its token's user), in binary form;
// empty when the token cannot be read.
std::vector<unsigned char> CurrentUserSid();

// True when this process runs as the local system account.
bool RunsAsLocalSystem();

// A security descriptor for a directory only this run's user, the system
// account and the administrators may enter: owner the user, a protected
// DACL (nothing inherited from the directory above) granting those three
// full control, inherited by everything made inside. Null when the token
// cannot be read. Free with LocalFree (OwnedLocal).
PSECURITY_DESCRIPTOR NewPrivateDirectoryDescriptor();

// Who owns the object `handle` (opened with READ_CONTROL) holds, as this
// run sees it.
enum class Ownership {
    Ours,       // this user, or this token's default owner (elevated: the administrators)
    Nobodys,    // a file system that records no owner (FAT)
    Others,     // another account
    Unknown,    // the system did not say
};
Ownership OwnershipOf(HANDLE handle);

// True when the DACL of the object `handle` (opened with READ_CONTROL)
// lets an account other than this user, the token's default owner, the
// system account or the administrators change it: write or append its
// data, its attributes, its permissions or its owner, or delete it. A
// missing DACL (everyone may do everything) counts; so does one that
// cannot be read. `who` receives the account's SID in text form.
bool WritableByOthers(HANDLE handle, std::string *who);

#endif
