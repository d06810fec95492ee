// The ownership and permissions are read through the Win32 security calls,
// on handles the handle-relative calls opened.
//
// Whether a run is elevated is judged by its token's linked half, not by
// TokenIsElevated alone: an administrator without UAC, or any process under
// Wine, holds a full token whose "unelevated" half is just as privileged, so
// nothing of lower rights exists to shut out there.
//
// The calls here are those of Windows Vista, the oldest system the
// programs' manifest names; the rest of the launcher is built for older
// headers.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "base/file_safety.h"

#include "base/owned.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

namespace {

// TrustedInstaller, the service account that owns what Windows installs.
const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// A token's record of kind `kind`.
std::vector<unsigned char> TokenRecord(HANDLE token, TOKEN_INFORMATION_CLASS kind)
{
    std::vector<unsigned char> record;
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0) return record;
    record.resize(size);
    if (!GetTokenInformation(token, kind, record.data(), size, &size)) record.clear();
    return record;
}

Sid CopySid(PSID sid)
{
    if (sid == nullptr || !IsValidSid(sid)) return {};
    const unsigned char *bytes = static_cast<const unsigned char *>(sid);
    return Sid(bytes, bytes + GetLengthSid(sid));
}

Sid SidFromText(const char *text)
{
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(text, &sid)) return {};
    OwnedLocal held(sid);
    return CopySid(sid);
}

Sid WellKnown(WELL_KNOWN_SID_TYPE type)
{
    unsigned char buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    if (!CreateWellKnownSid(type, nullptr, buffer, &size)) return {};
    return Sid(buffer, buffer + size);
}

// The token's integrity level (its mandatory label's last subauthority),
// or -1.
long IntegrityOf(HANDLE token)
{
    std::vector<unsigned char> record = TokenRecord(token, TokenIntegrityLevel);
    if (record.empty()) return -1;
    PSID label = reinterpret_cast<TOKEN_MANDATORY_LABEL *>(record.data())->Label.Sid;
    if (!IsValidSid(label) || *GetSidSubAuthorityCount(label) == 0) return -1;
    return static_cast<long>(*GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1u));
}

// True for the full half of a split token whose other half has less
// integrity.
bool HasLessPrivilegedHalf(HANDLE token)
{
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeFull)
        return false;
    TOKEN_LINKED_TOKEN linked = {};
    if (!GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size))
        return true;  // a full token whose other half cannot be seen: assume the worst
    OwnedHandle other(linked.LinkedToken);
    const long ours = IntegrityOf(token);
    const long theirs = IntegrityOf(other.get());
    return ours < 0 || theirs < 0 || theirs < ours;
}

bool SameSid(PSID sid, const Sid &other)
{
    return !other.empty() && sid != nullptr && IsValidSid(sid) &&
           EqualSid(sid, const_cast<unsigned char *>(other.data()));
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    return sid != nullptr && IsValidSid(sid) && IsWellKnownSid(sid, type);
}

bool IsTrustedInstaller(PSID sid)
{
    return SameSid(sid, SidFromText(kTrustedInstaller));
}

// The system's own accounts: whatever the run, they may own and change.
bool IsSystemsOwn(PSID sid)
{
    return IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
           IsTrustedInstaller(sid);
}

std::string TextOf(PSID sid)
{
    char *text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return "(unknown)";
    OwnedLocal owned(text);
    return text;
}

// The SID an entry that grants access names, and the rights it grants;
// null for an entry that grants nothing (deny, audit, label). Object
// entries carry one or two GUIDs before the SID, as their flags say.
PSID GrantOf(ACE_HEADER *header, ACCESS_MASK *mask)
{
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
        // The callback entry has the plain entry's layout, its condition after the SID.
        ACCESS_ALLOWED_ACE *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(header);
        *mask = ace->Mask;
        return &ace->SidStart;
    }
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
        ACCESS_ALLOWED_OBJECT_ACE *ace = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE *>(header);
        *mask = ace->Mask;
        unsigned char *sid = reinterpret_cast<unsigned char *>(&ace->ObjectType);
        if (ace->Flags & ACE_OBJECT_TYPE_PRESENT) sid += sizeof(GUID);
        if (ace->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) sid += sizeof(GUID);
        return sid;
    }
    default:
        return nullptr;
    }
}

// Whether `sid` is one of those a writer may be, for `account` (null: the
// system's own alone).
bool MayWrite(PSID sid, const RunAccount *account)
{
    if (IsSystemsOwn(sid)) return true;
    if (account == nullptr) return false;
    if (SameSid(sid, account->defaultOwner)) return true;
    return account->elevation == RunElevation::Limited && SameSid(sid, account->user);
}

bool Writable(HANDLE handle, const RunAccount *account, std::string *who)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        *who = "(the permissions cannot be read)";
        return true;
    }
    OwnedLocal held(descriptor);
    if (dacl == nullptr) {
        *who = "everyone (no access list)";
        return true;
    }
    const ACCESS_MASK changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER |
                                GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER *header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void **>(&header))) continue;
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        ACCESS_MASK mask = 0;
        PSID sid = GrantOf(header, &mask);
        if (sid == nullptr || (mask & changes) == 0 || MayWrite(sid, account)) continue;
        *who = TextOf(sid);
        return true;
    }
    return false;
}

} // namespace

RunAccount ReadRunAccount()
{
    RunAccount account;
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return account;
    std::vector<unsigned char> user = TokenRecord(token.get(), TokenUser);
    std::vector<unsigned char> owner = TokenRecord(token.get(), TokenOwner);
    if (!user.empty()) account.user = CopySid(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid);
    if (!owner.empty())
        account.defaultOwner = CopySid(reinterpret_cast<TOKEN_OWNER *>(owner.data())->Owner);
    if (!account.user.empty() && IsWellKnown(account.user.data(), WinLocalSystemSid))
        account.elevation = RunElevation::System;
    else if (HasLessPrivilegedHalf(token.get()))
        account.elevation = RunElevation::Elevated;
    return account;
}

RunAccount RunAccountAs(const RunAccount &account, RunElevation elevation)
{
    RunAccount as = account;
    as.elevation = elevation;
    if (elevation == RunElevation::Elevated) as.defaultOwner = WellKnown(WinBuiltinAdministratorsSid);
    if (elevation == RunElevation::System) as.user = as.defaultOwner = WellKnown(WinLocalSystemSid);
    return as;
}

const char *ElevationName(RunElevation elevation)
{
    switch (elevation) {
    case RunElevation::Elevated: return "elevated";
    case RunElevation::System: return "system";
    case RunElevation::Limited: break;
    }
    return "limited";
}

std::string SidText(const Sid &sid)
{
    return sid.empty() ? "(unknown)" : TextOf(const_cast<unsigned char *>(sid.data()));
}

PSECURITY_DESCRIPTOR NewPrivateDirectoryDescriptor(const RunAccount &account, std::string *sddl)
{
    // P: protected, nothing inherited from above; OICI: files and
    // directories made inside take the same entries. NW: a process of lower
    // integrity may not write, whatever an entry says.
    std::string text;
    switch (account.elevation) {
    case RunElevation::Limited: {
        if (account.user.empty()) return nullptr;
        const std::string user = SidText(account.user);
        text = "O:" + user + "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
        break;
    }
    case RunElevation::Elevated: {
        if (account.defaultOwner.empty()) return nullptr;
        const std::string owner = SidText(account.defaultOwner);
        text = "O:" + owner + "D:P(A;OICI;FA;;;" + owner +
               ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)S:(ML;OICI;NW;;;HI)";
        break;
    }
    case RunElevation::System:
        text = "O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)S:(ML;OICI;NW;;;SI)";
        break;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return nullptr;
    if (sddl != nullptr) *sddl = text;
    return descriptor;
}

std::string DescriptorText(HANDLE handle)
{
    const SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return "(unreadable)";
    OwnedLocal held(descriptor);
    char *text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, parts,
                                                              &text, nullptr))
        return "(unreadable)";
    OwnedLocal heldText(text);
    return text;
}

Ownership OwnershipOf(HANDLE handle, const RunAccount &account)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return Ownership::Unknown;
    OwnedLocal held(descriptor);
    if (owner == nullptr) return Ownership::Nobodys;
    switch (account.elevation) {
    case RunElevation::Limited:
        if (SameSid(owner, account.user) || SameSid(owner, account.defaultOwner))
            return Ownership::Ours;
        break;
    case RunElevation::Elevated:
        if (SameSid(owner, account.defaultOwner)) return Ownership::Ours;
        break;
    case RunElevation::System:
        if (IsSystemsOwn(owner)) return Ownership::Ours;
        break;
    }
    return Ownership::Others;
}

bool WritableByOthers(HANDLE handle, const RunAccount &account, std::string *who)
{
    return Writable(handle, &account, who);
}

bool KeptBySystem(HANDLE handle, std::string *why)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        *why = "its owner cannot be read";
        return false;
    }
    OwnedLocal held(descriptor);
    if (owner == nullptr || !IsSystemsOwn(owner)) {
        *why = "owned by " + (owner != nullptr ? TextOf(owner) : std::string("nobody"));
        return false;
    }
    std::string who;
    if (Writable(handle, nullptr, &who)) {
        *why = "writable by " + who;
        return false;
    }
    return true;
}
