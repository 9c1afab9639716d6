// Security: access tokens, group identifiers and privileges.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/types.h"

namespace quellin::platform {

inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr DWORD TOKEN_ALL_ACCESS_NT4 = 0xF00FF;

inline constexpr DWORD SE_GROUP_ENABLED = 0x4;
inline constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x10;
inline constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;
inline constexpr const char* SE_LOAD_DRIVER_NAME = "SeLoadDriverPrivilege";
inline constexpr const char* SE_BACKUP_NAME = "SeBackupPrivilege";
inline constexpr const char* SE_RESTORE_NAME = "SeRestorePrivilege";

inline constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
inline constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;

struct SID_IDENTIFIER_AUTHORITY {
    std::array<BYTE, 6> Value{};
    friend bool operator==(const SID_IDENTIFIER_AUTHORITY&,
                           const SID_IDENTIFIER_AUTHORITY&) = default;
};
inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY{{0, 0, 0, 0, 0, 5}};

struct SID {
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    std::vector<DWORD> SubAuthority;
    friend bool operator==(const SID&, const SID&) = default;
};

struct SID_AND_ATTRIBUTES {
    SID Sid;
    DWORD Attributes = 0;
};

struct TOKEN_GROUPS {
    std::vector<SID_AND_ATTRIBUTES> Groups;
};

struct LUID {
    DWORD LowPart = 0;
    LONG HighPart = 0;
    friend bool operator==(const LUID&, const LUID&) = default;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes = 0;
};

enum TOKEN_INFORMATION_CLASS : DWORD {
    TokenUser = 1,
    TokenGroups = 2,
    TokenPrivileges = 3,
    TokenImpersonationLevel = 9,
    TokenElevationType = 18,
    TokenLinkedToken = 19,
};

// How a token of an administrator relates to its twin: Full is the elevated one, Limited the
// filtered one the user works with; Default has no twin (a standard user, UAC off, SYSTEM).
enum TOKEN_ELEVATION_TYPE : DWORD {
    TokenElevationTypeDefault = 1,
    TokenElevationTypeFull = 2,
    TokenElevationTypeLimited = 3,
};

enum SECURITY_IMPERSONATION_LEVEL : DWORD {
    SecurityAnonymous = 0,
    SecurityIdentification = 1,
    SecurityImpersonation = 2,
    SecurityDelegation = 3,
};

struct TOKEN_LINKED_TOKEN {
    HANDLE LinkedToken = nullptr;  // the caller closes it
};

inline constexpr DWORD TOKEN_DUPLICATE = 0x0002;
inline constexpr DWORD TOKEN_IMPERSONATE = 0x0004;
inline constexpr DWORD TOKEN_ASSIGN_PRIMARY = 0x0001;
inline constexpr DWORD DISABLE_MAX_PRIVILEGE = 0x1;
inline constexpr DWORD ERROR_NO_SUCH_LOGON_SESSION = 1312;
inline constexpr DWORD ERROR_BAD_IMPERSONATION_LEVEL = 1346;

// Pseudo handles of the calling thread and process.
HANDLE GetCurrentThread();
HANDLE GetCurrentProcess();

// The version word; its high bit is set on systems outside the NT family.
DWORD GetVersion();

// Fails with ERROR_NO_TOKEN when the thread does not impersonate.
BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE* token);
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY& authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, SID** sid);
void* FreeSid(SID* sid);
BOOL EqualSid(const SID* a, const SID* b);

// Two-call pattern for TokenGroups: `length` is the byte size the caller allotted, as Windows
// counts it; too small fails with ERROR_INSUFFICIENT_BUFFER and `*returnLength` set to the size
// needed. The groups come in the token's order.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, TOKEN_GROUPS* info,
                         DWORD length, DWORD* returnLength);

// TokenElevationType. ERROR_INSUFFICIENT_BUFFER when `length` is below 4.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass,
                         TOKEN_ELEVATION_TYPE* info, DWORD length, DWORD* returnLength);
// TokenLinkedToken: the other token of an administrator's pair (the filtered one for an
// elevated token). ERROR_NO_SUCH_LOGON_SESSION when the token has none.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, TOKEN_LINKED_TOKEN* info,
                         DWORD length, DWORD* returnLength);

// TokenImpersonationLevel of an impersonation token; a primary token has none
// (ERROR_INVALID_PARAMETER).
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass,
                         SECURITY_IMPERSONATION_LEVEL* info, DWORD length, DWORD* returnLength);

// A new primary token like `existing` (opened with TOKEN_DUPLICATE and TOKEN_QUERY) in which
// the groups `sidsToDisable` only deny and, with DISABLE_MAX_PRIVILEGE, no privilege but the
// change-notify one is left: an administrator's token so made has the rights of the user's
// filtered one.
BOOL CreateRestrictedToken(HANDLE existing, DWORD flags, const std::vector<SID>& sidsToDisable,
                           HANDLE* newToken);

// The size query of the two-call pattern, for whichever class is named.
inline BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, std::nullptr_t,
                                DWORD length, DWORD* returnLength) {
    switch (infoClass) {
        case TokenElevationType:
            return GetTokenInformation(token, infoClass,
                                       static_cast<TOKEN_ELEVATION_TYPE*>(nullptr), length,
                                       returnLength);
        case TokenLinkedToken:
            return GetTokenInformation(token, infoClass, static_cast<TOKEN_LINKED_TOKEN*>(nullptr),
                                       length, returnLength);
        case TokenImpersonationLevel:
            return GetTokenInformation(token, infoClass,
                                       static_cast<SECURITY_IMPERSONATION_LEVEL*>(nullptr), length,
                                       returnLength);
        default:
            return GetTokenInformation(token, infoClass, static_cast<TOKEN_GROUPS*>(nullptr),
                                       length, returnLength);
    }
}

// The calling thread acts with `token`'s identity and rights until RevertToSelf. A token that
// allows only identification (Windows hands out a linked token so to callers without the TCB
// privilege) makes later access checks fail with ERROR_BAD_IMPERSONATION_LEVEL.
BOOL ImpersonateLoggedOnUser(HANDLE token);
BOOL RevertToSelf();

// `systemName` empty means the local system; ERROR_NO_SUCH_PRIVILEGE for an unknown name.
BOOL LookupPrivilegeValueA(const std::string& systemName, const std::string& name, LUID* luid);
// Needs TOKEN_ADJUST_PRIVILEGES. Succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks a
// privilege (a standard user's token has no load-driver or backup privilege).
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                           const std::vector<LUID_AND_ATTRIBUTES>& newState);

// The owner of the object a handle names, as GetSecurityInfo with OWNER_SECURITY_INFORMATION
// reads it. The handle needs READ_CONTROL. Returns ERROR_SUCCESS or the error itself (not
// through GetLastError): ERROR_ACCESS_DENIED without READ_CONTROL, ERROR_INVALID_HANDLE.
inline constexpr DWORD READ_CONTROL = 0x20000;
inline constexpr DWORD OWNER_SECURITY_INFORMATION = 0x1;
enum SE_OBJECT_TYPE : DWORD { SE_FILE_OBJECT = 1 };
DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, DWORD securityInfo, SID* owner);

// Well-known owners: LocalSystem (S-1-5-18) and the Administrators group (S-1-5-32-544).
inline constexpr DWORD SECURITY_LOCAL_SYSTEM_RID = 18;

using IsWow64ProcessFn = BOOL (*)(HANDLE process, BOOL* wow64);

// The name of the account the calling thread runs as.
BOOL GetUserNameA(std::string* name);
// This computer's NetBIOS name ("DESK-0042"), as set at its last start.
BOOL GetComputerNameA(std::string* name);
// True when the process runs as the LocalSystem account (its token's user is S-1-5-18), as
// services, Intune scripts and startup scripts do.
BOOL IsLocalSystemAccount();

}  // namespace quellin::platform
