#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "platform/libraries.h"
#include "platform/security.h"
#include "platform/sim/handles.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"

namespace quellin::platform::sim {

namespace {

// Which identity a token carries: the administrator's elevated one, or the user's own
// (a standard user, or the filtered twin of an administrator).
enum class TokenKind { Elevated, User };

struct TokenObject : Object {
    win::DWORD access = 0;
    TokenKind kind = TokenKind::User;
    // Impersonation tokens only; Windows hands out an administrator's linked token at
    // identification level to callers without the TCB privilege, as here.
    std::optional<win::SECURITY_IMPERSONATION_LEVEL> level;
};

thread_local std::optional<TokenKind> t_impersonating;

TokenKind ProcessKind() {
    return ReadConfig().user == "admin" ? TokenKind::Elevated : TokenKind::User;
}

const char* const kPrivileges[] = {win::SE_LOAD_DRIVER_NAME, win::SE_BACKUP_NAME,
                                   win::SE_RESTORE_NAME, "SeShutdownPrivilege",
                                   "SeChangeNotifyPrivilege"};

std::mutex g_mutex;
std::set<std::string>& Enabled() {
    static auto* enabled = new std::set<std::string>();
    return *enabled;
}

win::SID MakeSid(std::vector<win::DWORD> subs) {
    return win::SID{win::SECURITY_NT_AUTHORITY, std::move(subs)};
}

std::vector<win::SID_AND_ATTRIBUTES> Groups(const std::string& user) {
    constexpr win::DWORD kOn = 0x7;  // mandatory, enabled by default, enabled
    std::vector<win::SID_AND_ATTRIBUTES> groups;
    groups.push_back({win::SID{{{0, 0, 0, 0, 0, 1}}, {0}}, kOn});  // Everyone
    if (user == "admin" || user == "system") {
        groups.push_back({MakeSid({32, 544}), kOn | 0x8});  // Administrators, owner
    } else if (user == "filtered-admin") {
        groups.push_back({MakeSid({32, 544}), win::SE_GROUP_USE_FOR_DENY_ONLY});
    }
    groups.push_back({MakeSid({32, 545}), kOn});  // Users
    groups.push_back({MakeSid({4}), kOn});        // Interactive
    groups.push_back({MakeSid({11}), kOn});       // Authenticated Users
    return groups;
}

// Byte size as Windows lays TOKEN_GROUPS out on a 32-bit system: a count, one pointer and
// attributes pair per group, then the identifiers.
win::DWORD GroupsSize(const std::vector<win::SID_AND_ATTRIBUTES>& groups) {
    win::DWORD size = 4;
    for (const auto& g : groups) {
        size += 8 + 8 + 4 * static_cast<win::DWORD>(g.Sid.SubAuthority.size());
    }
    return size;
}

bool HasPrivilege(const std::string& user, const std::string& name) {
    if (name == "SeShutdownPrivilege" || name == "SeChangeNotifyPrivilege") {
        return true;
    }
    return user == "admin" || user == "system";
}

}  // namespace

bool TokenIsElevated() {
    const std::string user = ReadConfig().user;
    return user == "admin" || user == "system";
}

bool ThreadIsElevated() {
    // SYSTEM holds every right an elevated administrator holds.
    return t_impersonating ? *t_impersonating == TokenKind::Elevated
                           : ProcessKind() == TokenKind::Elevated || ReadConfig().user == "system";
}

bool PrivilegeEnabled(const std::string& name) {
    std::lock_guard lock(g_mutex);
    return Enabled().count(name) > 0;
}

void DisableAllPrivileges() {
    std::lock_guard lock(g_mutex);
    Enabled().clear();
}

}  // namespace quellin::platform::sim

namespace quellin::platform {

namespace {
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(~std::uintptr_t{1});

HANDLE NewToken(DWORD access, sim::TokenKind kind = sim::ProcessKind()) {
    auto token = std::make_unique<sim::TokenObject>();
    token->access = access;
    token->kind = kind;
    return static_cast<HANDLE>(sim::RegisterObject(std::move(token)));
}
}  // namespace

HANDLE GetCurrentThread() {
    return kCurrentThread;
}
HANDLE GetCurrentProcess() {
    return kCurrentProcess;
}

DWORD GetVersion() {
    // Windows 10 reports 6.2 to programs without a compatibility manifest; the high bit is
    // clear on the NT family.
    return 0x23F00206;
}

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL, HANDLE* token) {
    if (thread != kCurrentThread || !token) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (sim::t_impersonating) {
        *token = NewToken(access, *sim::t_impersonating);
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    SetLastError(ERROR_NO_TOKEN);
    return false;
}

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    if (process != kCurrentProcess || !token) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    *token = NewToken(access);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY& authority, BYTE count, DWORD s0,
                              DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                              SID** sid) {
    if (count == 0 || count > 8 || !sid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    *sid = new SID{authority, std::vector<DWORD>(subs, subs + count)};
    return true;
}

void* FreeSid(SID* sid) {
    delete sid;
    return nullptr;
}

BOOL EqualSid(const SID* a, const SID* b) {
    return a && b && *a == *b;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, TOKEN_GROUPS* info,
                         DWORD length, DWORD* returnLength) {
    auto* object = sim::Lookup<sim::TokenObject>(token);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((object->access & TOKEN_QUERY) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (infoClass != TokenGroups) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    std::string user = sim::ReadConfig().user;
    if (user == "admin" && object->kind == sim::TokenKind::User)
        user = "filtered-admin";  // the filtered twin of the administrator's token
    auto groups = sim::Groups(user);
    DWORD needed = sim::GroupsSize(groups);
    if (returnLength)
        *returnLength = needed;
    if (!info || length < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    info->Groups = std::move(groups);
    SetLastError(ERROR_SUCCESS);
    return true;
}

namespace {

sim::TokenObject* QueryableToken(HANDLE token) {
    auto* object = sim::Lookup<sim::TokenObject>(token);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if ((object->access & TOKEN_QUERY) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return object;
}

// The checks of a query whose answer has a fixed size, in Windows' order: the token, the class
// asked for (the impersonation level only of an impersonation token), then the caller's buffer.
// The token when `size` bytes may be written to `info`.
sim::TokenObject* FixedSizeQuery(HANDLE token, TOKEN_INFORMATION_CLASS asked,
                                 TOKEN_INFORMATION_CLASS answered, const void* info, DWORD length,
                                 DWORD size, DWORD* returnLength) {
    sim::TokenObject* object = QueryableToken(token);
    if (!object)
        return nullptr;
    if (asked != answered || (asked == TokenImpersonationLevel && !object->level)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (returnLength)
        *returnLength = size;
    if (!info || length < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nullptr;
    }
    return object;
}

}  // namespace

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass,
                         TOKEN_ELEVATION_TYPE* info, DWORD length, DWORD* returnLength) {
    const sim::TokenObject* object =
        FixedSizeQuery(token, infoClass, TokenElevationType, info, length, 4, returnLength);
    if (!object)
        return false;
    const std::string user = sim::ReadConfig().user;
    *info = user == "standard"                         ? TokenElevationTypeDefault
            : object->kind == sim::TokenKind::Elevated ? TokenElevationTypeFull
                                                       : TokenElevationTypeLimited;
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, TOKEN_LINKED_TOKEN* info,
                         DWORD length, DWORD* returnLength) {
    const sim::TokenObject* object = FixedSizeQuery(token, infoClass, TokenLinkedToken, info,
                                                    length, sizeof(void*), returnLength);
    if (!object)
        return false;
    if (sim::ReadConfig().user == "standard") {
        SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
        return false;
    }
    info->LinkedToken = NewToken(
        TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE,
        object->kind == sim::TokenKind::Elevated ? sim::TokenKind::User : sim::TokenKind::Elevated);
    sim::Lookup<sim::TokenObject>(info->LinkedToken)->level = SecurityIdentification;
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass,
                         SECURITY_IMPERSONATION_LEVEL* info, DWORD length, DWORD* returnLength) {
    const sim::TokenObject* object =
        FixedSizeQuery(token, infoClass, TokenImpersonationLevel, info, length, 4, returnLength);
    if (!object)
        return false;
    *info = *object->level;
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL CreateRestrictedToken(HANDLE existing, DWORD, const std::vector<SID>& sidsToDisable,
                           HANDLE* newToken) {
    auto* object = sim::Lookup<sim::TokenObject>(existing);
    if (!object || !newToken) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((object->access & TOKEN_DUPLICATE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const SID admins = sim::MakeSid({32, 544});
    bool dropsAdmins = false;
    for (const SID& sid : sidsToDisable)
        dropsAdmins = dropsAdmins || sid == admins;
    *newToken = NewToken(TOKEN_ALL_ACCESS_NT4, dropsAdmins ? sim::TokenKind::User : object->kind);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL ImpersonateLoggedOnUser(HANDLE token) {
    auto* object = sim::Lookup<sim::TokenObject>(token);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((object->access & (TOKEN_QUERY | TOKEN_DUPLICATE)) != (TOKEN_QUERY | TOKEN_DUPLICATE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // Taking on more rights than the process has needs privileges nobody here holds; Windows
    // then grants an identification-only impersonation, which the sandbox treats as none.
    if (object->kind == sim::TokenKind::Elevated && sim::ProcessKind() != object->kind) {
        sim::t_impersonating = sim::ProcessKind();
    } else {
        sim::t_impersonating = object->kind;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL RevertToSelf() {
    sim::t_impersonating.reset();
    return true;
}

BOOL LookupPrivilegeValueA(const std::string& systemName, const std::string& name, LUID* luid) {
    if (!systemName.empty()) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return false;
    }
    DWORD index = 0;
    for (const char* known : sim::kPrivileges) {
        ++index;
        if (name == known) {
            if (luid)
                *luid = LUID{index + 9, 0};
            return true;
        }
    }
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return false;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                           const std::vector<LUID_AND_ATTRIBUTES>& newState) {
    auto* object = sim::Lookup<sim::TokenObject>(token);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((object->access & TOKEN_ADJUST_PRIVILEGES) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string user = sim::ReadConfig().user;
    std::lock_guard lock(sim::g_mutex);
    if (disableAll) {
        sim::Enabled().clear();
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    bool all = true;
    for (const auto& entry : newState) {
        DWORD index = entry.Luid.LowPart - 10;
        if (index >= std::size(sim::kPrivileges)) {
            all = false;
            continue;
        }
        std::string name = sim::kPrivileges[index];
        if (!sim::HasPrivilege(user, name)) {
            all = false;
            continue;
        }
        if (entry.Attributes & SE_PRIVILEGE_ENABLED) {
            sim::Enabled().insert(name);
        } else {
            sim::Enabled().erase(name);
        }
    }
    SetLastError(all ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return true;
}

BOOL GetUserNameA(std::string* name) {
    const std::string user = sim::ReadConfig().user;
    if (name)
        *name = user == "system" ? "SYSTEM" : user == "standard" ? "User" : "Admin";
    return true;
}

BOOL GetComputerNameA(std::string* name) {
    if (name)
        *name = sim::kComputerName;
    return true;
}

BOOL IsLocalSystemAccount() {
    return sim::ReadConfig().user == "system";
}

namespace sim {

bool HasInteractiveDesktop() {
    return ReadConfig().user != "system";
}

}  // namespace sim

}  // namespace quellin::platform
