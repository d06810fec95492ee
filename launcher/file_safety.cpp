// The ownership and permissions are read through the Win32 security calls,
// on handles the handle-relative calls opened.
//
// The calls here are those of Windows Vista, the oldest system the
// programs' manifest names; the rest of the launcher is built for older
// headers.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "launcher/file_safety.h"

#include "base/owned.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstring>

namespace {

// The token's TOKEN_USER or TOKEN_OWNER record.
std::vector<unsigned char> TokenRecord(TOKEN_INFORMATION_CLASS kind)
{
    std::vector<unsigned char> record;
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return record;
    DWORD size = 0;
    GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    if (size == 0) return record;
    record.resize(size);
    if (!GetTokenInformation(token.get(), kind, record.data(), size, &size)) record.clear();
    return record;
}

std::vector<unsigned char> CopySid(PSID sid)
{
    if (sid == nullptr || !IsValidSid(sid)) return {};
    const unsigned char *bytes = static_cast<const unsigned char *>(sid);
    return std::vector<unsigned char>(bytes, bytes + GetLengthSid(sid));
}

// The token's default owner: the user, or for an elevated administrator the
// administrators' group.
std::vector<unsigned char> DefaultOwnerSid()
{
    std::vector<unsigned char> record = TokenRecord(TokenOwner);
    if (record.empty()) return record;
    return CopySid(reinterpret_cast<TOKEN_OWNER *>(record.data())->Owner);
}

bool SameSid(PSID sid, const std::vector<unsigned char> &other)
{
    return !other.empty() && sid != nullptr && IsValidSid(sid) &&
           EqualSid(sid, const_cast<unsigned char *>(other.data()));
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    return sid != nullptr && IsValidSid(sid) && IsWellKnownSid(sid, type);
}

std::string SidText(PSID sid)
{
    char *text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return "(unknown)";
    OwnedLocal owned(text);
    return text;
}

} // namespace

std::vector<unsigned char> CurrentUserSid()
{
    std::vector<unsigned char> record = TokenRecord(TokenUser);
    if (record.empty()) return record;
    return CopySid(reinterpret_cast<TOKEN_USER *>(record.data())->User.Sid);
}

bool RunsAsLocalSystem()
{
    std::vector<unsigned char> user = CurrentUserSid();
    return !user.empty() && IsWellKnown(user.data(), WinLocalSystemSid);
}

PSECURITY_DESCRIPTOR NewPrivateDirectoryDescriptor()
{
    std::vector<unsigned char> user = CurrentUserSid();
    if (user.empty()) return nullptr;
    const std::string userText = SidText(user.data());
    // P: protected, nothing inherited from above; OICI: files and
    // directories made inside take the same entries.
    const std::string text = "O:" + userText + "D:P(A;OICI;FA;;;" + userText +
                             ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

Ownership OwnershipOf(HANDLE handle)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return Ownership::Unknown;
    OwnedLocal held(descriptor);
    if (owner == nullptr) return Ownership::Nobodys;
    if (SameSid(owner, CurrentUserSid()) || SameSid(owner, DefaultOwnerSid()))
        return Ownership::Ours;
    return Ownership::Others;
}

bool WritableByOthers(HANDLE handle, std::string *who)
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
    const std::vector<unsigned char> user = CurrentUserSid();
    const std::vector<unsigned char> owner = DefaultOwnerSid();
    const ACCESS_MASK changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER |
                                GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER *header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void **>(&header))) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        ACCESS_ALLOWED_ACE *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(header);
        if ((ace->Mask & changes) == 0) continue;
        PSID sid = &ace->SidStart;
        if (SameSid(sid, user) || SameSid(sid, owner) || IsWellKnown(sid, WinLocalSystemSid) ||
            IsWellKnown(sid, WinBuiltinAdministratorsSid))
            continue;
        *who = SidText(sid);
        return true;
    }
    return false;
}
