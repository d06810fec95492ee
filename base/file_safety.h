// Who this run is, and what that makes of the owners and permissions of
// what the launcher finds in a shared place; the descriptor of what it makes
// there. The handle-relative calls themselves are in base/file_below.h.
//
// An installer often runs with more rights than the person who started it:
// elevated (the full half of an administrator's split token) or as SYSTEM.
// Then every process of lower rights, the same user's own unelevated ones
// included, is another account: what it could have written must not steer
// the run. A RunAccount says which side this run is on; every judgement
// below takes it, so that the record the launch sequence keeps decides.
#ifndef BASE_FILE_SAFETY_H
#define BASE_FILE_SAFETY_H

#include <windows.h>

#include "base/file_below.h"

#include <cstdint>
#include <string>
#include <vector>

// A security identifier in binary form.
using Sid = std::vector<unsigned char>;

enum class RunElevation {
    Limited,   // a plain token, or one without a less privileged half
    Elevated,  // the full half of a split token: its unelevated half runs at lower integrity
    System,    // the local system account
};

struct RunAccount {
    RunElevation elevation = RunElevation::Limited;
    Sid user;          // the token's user
    Sid defaultOwner;  // the owner the token gives what it creates
};

// This process's account, read from its token: System when its user is the
// local system account; Elevated when the token is the full half of a split
// token whose linked half runs at a lower integrity level (under Wine both
// halves are High, so a run there is Limited); Limited otherwise, and when
// the token cannot be read (then with empty SIDs, which match nothing).
RunAccount ReadRunAccount();

// `account` as it would be for `elevation`: Elevated gets the
// administrators as its default owner, as Windows gives an elevated
// administrator; System gets the system account as user and owner. For the
// test builds, which judge a token under Wine as Windows would.
RunAccount RunAccountAs(const RunAccount &account, RunElevation elevation);

// "limited", "elevated" or "system".
const char *ElevationName(RunElevation elevation);

// The SID in its text form ("S-1-5-32-544"), or "(unknown)".
std::string SidText(const Sid &sid);

// A security descriptor for a directory only the run may enter, its
// entries inherited by everything made inside, nothing inherited from
// above:
// - Limited: owner the user; full control for the user, the system
//   account and the administrators;
// - Elevated: owner the default owner (the administrators); full control
//   for them and the system account; nothing for the user's unelevated
//   processes, which a High mandatory label with no-write-up keeps out even
//   where an entry would let them in;
// - System: owner and full control the system account and the
//   administrators, a System label with no-write-up.
// `sddl`, when not null, receives the descriptor's text. Null when the
// account's SIDs are unknown. Free with LocalFree (OwnedLocal).
PSECURITY_DESCRIPTOR NewPrivateDirectoryDescriptor(const RunAccount &account,
                                                   std::string *sddl = nullptr);

// The owner, entries and label of the object `handle` (opened with
// READ_CONTROL) holds, as text; "(unreadable)" when the system does not say.
std::string DescriptorText(HANDLE handle);

// Who owns the object `handle` (opened with READ_CONTROL) holds, as this
// run sees it.
enum class Ownership {
    Ours,       // Limited: the user or the default owner; Elevated: the default owner;
                // System: the system account, the administrators or TrustedInstaller
    Nobodys,    // a file system that records no owner (FAT)
    Others,     // another account (for an elevated run, the user's unelevated side too)
    Unknown,    // the system did not say
};
Ownership OwnershipOf(HANDLE handle, const RunAccount &account);

// True when the DACL of the object `handle` (opened with READ_CONTROL)
// lets an account other than the run's own change it: write or append its
// data, its attributes, its permissions or its owner, or delete it. The
// run's own are the system account, the administrators, TrustedInstaller,
// the default owner, and for a Limited run its user. Every kind of entry
// that grants (plain, object, callback and callback-object entries) is
// read. A missing DACL (everyone may do everything) counts; so does one
// that cannot be read. `who` receives the account's SID in text form.
bool WritableByOthers(HANDLE handle, const RunAccount &account, std::string *who);

// True when the file or directory `handle` holds was put there by the
// system's own: owned by the system account, the administrators or
// TrustedInstaller, and changeable by no other account (whatever the run's
// side). `why` receives what is wrong otherwise.
bool KeptBySystem(HANDLE handle, std::string *why);

#endif
