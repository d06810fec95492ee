// The ownership and permissions of what the launcher finds in a shared
// directory, and the descriptor of what it makes there. The handle-relative
// calls themselves are in base/file_below.h.
#ifndef LAUNCHER_FILE_SAFETY_H
#define LAUNCHER_FILE_SAFETY_H

#include <windows.h>

#include "base/file_below.h"

#include <cstdint>
#include <string>
#include <vector>

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
