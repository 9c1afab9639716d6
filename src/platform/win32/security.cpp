#include "platform/security.h"

#include <vector>

#include "platform/win32/windows_api.h"

#include <aclapi.h>

namespace quellin::platform {

namespace {

SID LayerSid(::PSID sid) {
    SID result;
    const ::SID_IDENTIFIER_AUTHORITY* authority = ::GetSidIdentifierAuthority(sid);
    for (std::size_t i = 0; i < result.IdentifierAuthority.Value.size(); ++i)
        result.IdentifierAuthority.Value[i] = authority->Value[i];
    BYTE count = *::GetSidSubAuthorityCount(sid);
    for (BYTE i = 0; i < count; ++i)
        result.SubAuthority.push_back(*::GetSidSubAuthority(sid, i));
    return result;
}

}  // namespace

HANDLE GetCurrentThread() {
    return native::Layer(::GetCurrentThread());
}

HANDLE GetCurrentProcess() {
    return native::Layer(::GetCurrentProcess());
}

DWORD GetVersion() {
    return ::GetVersion();
}

DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, DWORD securityInfo, SID* owner) {
    ::PSID ownerSid = nullptr;
    ::PSECURITY_DESCRIPTOR descriptor = nullptr;
    const ::DWORD rc =
        ::GetSecurityInfo(native::Native(handle), static_cast<::SE_OBJECT_TYPE>(objectType),
                          securityInfo, &ownerSid, nullptr, nullptr, nullptr, &descriptor);
    if (rc == ERROR_SUCCESS && owner && ownerSid)
        *owner = LayerSid(ownerSid);
    if (descriptor)
        ::LocalFree(descriptor);
    return rc;
}

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE* token) {
    ::HANDLE opened = nullptr;
    BOOL ok = ::OpenThreadToken(native::Native(thread), access, openAsSelf, &opened) != FALSE;
    if (token)
        *token = ok ? native::Layer(opened) : nullptr;
    return ok;
}

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    ::HANDLE opened = nullptr;
    BOOL ok = ::OpenProcessToken(native::Native(process), access, &opened) != FALSE;
    if (token)
        *token = ok ? native::Layer(opened) : nullptr;
    return ok;
}

// The system builds and checks the identifier; the caller gets the layer's copy to free.
BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY& authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, SID** sid) {
    ::SID_IDENTIFIER_AUTHORITY real{};
    for (std::size_t i = 0; i < authority.Value.size(); ++i)
        real.Value[i] = authority.Value[i];
    ::PSID built = nullptr;
    if (!::AllocateAndInitializeSid(&real, subAuthorityCount, sub0, sub1, sub2, sub3, sub4, sub5,
                                    sub6, sub7, &built))
        return false;
    native::KeepLastError keep;
    if (sid)
        *sid = new SID(LayerSid(built));
    ::FreeSid(built);
    return true;
}

void* FreeSid(SID* sid) {
    delete sid;
    return nullptr;
}

BOOL EqualSid(const SID* a, const SID* b) {
    if (!a || !b) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return *a == *b;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, TOKEN_GROUPS* info,
                         DWORD length, DWORD* returnLength) {
    // Pointer-aligned storage of the byte size the caller allotted.
    std::vector<void*> buffer(length / sizeof(void*) + 1);
    ::DWORD needed = 0;
    BOOL ok = ::GetTokenInformation(
                  native::Native(token), static_cast<::TOKEN_INFORMATION_CLASS>(infoClass),
                  info ? buffer.data() : nullptr, info ? length : 0, &needed) != FALSE;
    native::KeepLastError keep;
    if (returnLength)
        *returnLength = needed;
    if (ok && info && infoClass == TokenGroups) {
        const auto* groups = reinterpret_cast<const ::TOKEN_GROUPS*>(buffer.data());
        info->Groups.clear();
        for (::DWORD i = 0; i < groups->GroupCount; ++i)
            info->Groups.push_back({LayerSid(groups->Groups[i].Sid), groups->Groups[i].Attributes});
    }
    return ok;
}

BOOL LookupPrivilegeValueA(const std::string& systemName, const std::string& name, LUID* luid) {
    ::LUID value{};
    if (!::LookupPrivilegeValueA(native::OrNull(systemName), name.c_str(), &value))
        return false;
    if (luid) {
        luid->LowPart = value.LowPart;
        luid->HighPart = value.HighPart;
    }
    return true;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                           const std::vector<LUID_AND_ATTRIBUTES>& newState) {
    // TOKEN_PRIVILEGES ends in a one-element array that really holds PrivilegeCount entries.
    std::size_t bytes = sizeof(::TOKEN_PRIVILEGES) + (newState.empty() ? 0 : newState.size() - 1) *
                                                         sizeof(::LUID_AND_ATTRIBUTES);
    std::vector<void*> storage(bytes / sizeof(void*) + 1);
    auto* privileges = reinterpret_cast<::TOKEN_PRIVILEGES*>(storage.data());
    privileges->PrivilegeCount = static_cast<::DWORD>(newState.size());
    for (std::size_t i = 0; i < newState.size(); ++i) {
        privileges->Privileges[i].Luid.LowPart = newState[i].Luid.LowPart;
        privileges->Privileges[i].Luid.HighPart = newState[i].Luid.HighPart;
        privileges->Privileges[i].Attributes = newState[i].Attributes;
    }
    return ::AdjustTokenPrivileges(native::Native(token), disableAll,
                                   newState.empty() ? nullptr : privileges, 0, nullptr,
                                   nullptr) != FALSE;
}

BOOL GetUserNameA(std::string* name) {
    char buffer[257] = {};
    ::DWORD size = sizeof buffer;
    if (!::GetUserNameA(buffer, &size))
        return false;
    if (name)
        *name = buffer;
    return true;
}

BOOL GetComputerNameA(std::string* name) {
    // A cluster's virtual name may be longer than a computer's own.
    std::string buffer(MAX_COMPUTERNAME_LENGTH + 1, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        ::DWORD size = static_cast<::DWORD>(buffer.size());
        if (::GetComputerNameA(buffer.data(), &size)) {
            if (name)
                *name = buffer.substr(0, size);
            return true;
        }
        if (::GetLastError() != ERROR_BUFFER_OVERFLOW || size <= buffer.size())
            return false;
        buffer.assign(size, '\0');
    }
    return false;
}

BOOL IsLocalSystemAccount() {
    ::HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    alignas(::TOKEN_USER) unsigned char buffer[256];
    ::DWORD size = 0;
    BOOL system = false;
    if (::GetTokenInformation(token, ::TokenUser, buffer, sizeof buffer, &size))
        system = ::IsWellKnownSid(reinterpret_cast<::TOKEN_USER*>(buffer)->User.Sid,
                                  ::WinLocalSystemSid) != FALSE;
    ::CloseHandle(token);
    return system;
}

}  // namespace quellin::platform

namespace quellin::platform {

namespace {

// Asks the system for one fixed-size token record `Raw`; `take` turns it into the layer's own.
template <typename Raw, typename Take>
BOOL QueryToken(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, bool fits, DWORD* returnLength,
                Take take) {
    Raw raw{};
    ::DWORD needed = 0;
    BOOL ok = ::GetTokenInformation(native::Native(token),
                                    static_cast<::TOKEN_INFORMATION_CLASS>(infoClass),
                                    fits ? &raw : nullptr, fits ? sizeof raw : 0, &needed) != FALSE;
    native::KeepLastError keep;
    if (returnLength)
        *returnLength = needed;
    if (ok && fits)
        take(raw);
    return ok;
}

}  // namespace

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass,
                         TOKEN_ELEVATION_TYPE* info, DWORD length, DWORD* returnLength) {
    return QueryToken<::TOKEN_ELEVATION_TYPE>(
        token, infoClass, info && length >= sizeof(::TOKEN_ELEVATION_TYPE), returnLength,
        [&](::TOKEN_ELEVATION_TYPE raw) { *info = static_cast<TOKEN_ELEVATION_TYPE>(raw); });
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, TOKEN_LINKED_TOKEN* info,
                         DWORD length, DWORD* returnLength) {
    return QueryToken<::TOKEN_LINKED_TOKEN>(token, infoClass, info && length >= sizeof(void*),
                                            returnLength, [&](const ::TOKEN_LINKED_TOKEN& raw) {
                                                info->LinkedToken = native::Layer(raw.LinkedToken);
                                            });
}

BOOL ImpersonateLoggedOnUser(HANDLE token) {
    return ::ImpersonateLoggedOnUser(native::Native(token)) != FALSE;
}

BOOL RevertToSelf() {
    return ::RevertToSelf() != FALSE;
}

}  // namespace quellin::platform

namespace quellin::platform {

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass,
                         SECURITY_IMPERSONATION_LEVEL* info, DWORD length, DWORD* returnLength) {
    return QueryToken<::SECURITY_IMPERSONATION_LEVEL>(
        token, infoClass, info && length >= sizeof(::SECURITY_IMPERSONATION_LEVEL), returnLength,
        [&](::SECURITY_IMPERSONATION_LEVEL raw) {
            *info = static_cast<SECURITY_IMPERSONATION_LEVEL>(raw);
        });
}

// The system builds the identifiers from the layer's copies, and frees them again.
BOOL CreateRestrictedToken(HANDLE existing, DWORD flags, const std::vector<SID>& sidsToDisable,
                           HANDLE* newToken) {
    std::vector<::PSID> built;
    std::vector<::SID_AND_ATTRIBUTES> disabled;
    bool ok = true;
    for (const SID& sid : sidsToDisable) {
        ::SID_IDENTIFIER_AUTHORITY authority{};
        for (std::size_t i = 0; i < sid.IdentifierAuthority.Value.size(); ++i)
            authority.Value[i] = sid.IdentifierAuthority.Value[i];
        ::DWORD subs[8] = {};
        for (std::size_t i = 0; i < sid.SubAuthority.size() && i < 8; ++i)
            subs[i] = sid.SubAuthority[i];
        ::PSID native = nullptr;
        if (sid.SubAuthority.empty() || sid.SubAuthority.size() > 8 ||
            !::AllocateAndInitializeSid(&authority, static_cast<BYTE>(sid.SubAuthority.size()),
                                        subs[0], subs[1], subs[2], subs[3], subs[4], subs[5],
                                        subs[6], subs[7], &native)) {
            ok = false;
            break;
        }
        built.push_back(native);
        disabled.push_back({native, 0});
    }
    ::HANDLE created = nullptr;
    if (ok) {
        ok = ::CreateRestrictedToken(native::Native(existing), flags,
                                     static_cast<::DWORD>(disabled.size()),
                                     disabled.empty() ? nullptr : disabled.data(), 0, nullptr, 0,
                                     nullptr, &created) != FALSE;
    }
    native::KeepLastError keep;
    for (::PSID sid : built)
        ::FreeSid(sid);
    if (newToken)
        *newToken = ok ? native::Layer(created) : nullptr;
    return ok;
}

}  // namespace quellin::platform
