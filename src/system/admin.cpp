#include "system/admin.h"

#include <memory>

#include "platform/handle.h"
#include "platform/security.h"
#include "platform/ui.h"
#include "system/errors.h"
#include "system/libraries.h"

namespace quellin::system {

namespace {
struct SidDeleter {
    void operator()(platform::SID* sid) const { platform::FreeSid(sid); }
};
}  // namespace

bool IsAdministrator() {
    if (platform::GetVersion() & 0x80000000) {
        return true;  // outside the NT family every user is an administrator
    }
    platform::UniqueHandle token;
    if (!platform::OpenThreadToken(platform::GetCurrentThread(), platform::TOKEN_QUERY, true,
                                   token.put())) {
        if (platform::GetLastError() != platform::ERROR_NO_TOKEN ||
            !platform::OpenProcessToken(platform::GetCurrentProcess(), platform::TOKEN_QUERY,
                                        token.put())) {
            return false;
        }
    }
    platform::SID* raw = nullptr;
    if (!platform::AllocateAndInitializeSid(
            platform::SECURITY_NT_AUTHORITY, 2, platform::SECURITY_BUILTIN_DOMAIN_RID,
            platform::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw)) {
        return false;
    }
    std::unique_ptr<platform::SID, SidDeleter> admins(raw);

    platform::DWORD size = 0;
    if (platform::GetTokenInformation(token.get(), platform::TokenGroups, nullptr, 0, &size) ||
        platform::GetLastError() != platform::ERROR_INSUFFICIENT_BUFFER) {
        RaiseLastOSError();
    }
    platform::TOKEN_GROUPS groups;
    if (!platform::GetTokenInformation(token.get(), platform::TokenGroups, &groups, size, &size)) {
        RaiseLastOSError();
    }
    for (const platform::SID_AND_ATTRIBUTES& group : groups.Groups) {
        if (platform::EqualSid(&group.Sid, admins.get()) &&
            (group.Attributes & platform::SE_GROUP_USE_FOR_DENY_ONLY) == 0) {
            return true;
        }
    }
    return false;
}

void ShowPermissionDenied(const std::string& caption) {
    platform::MessageBoxA(0, kPermissionDeniedText, caption, platform::MB_ICONERROR);
}

void EnablePrivilege(const std::string& name, platform::DWORD tokenAccess) {
    platform::UniqueHandle token;
    if (!platform::OpenProcessToken(platform::GetCurrentProcess(), tokenAccess, token.put())) {
        return;
    }
    platform::LUID luid;
    platform::LookupPrivilegeValueA("", name, &luid);
    platform::AdjustTokenPrivileges(token.get(), false, {{luid, platform::SE_PRIVILEGE_ENABLED}});
}

void EnableLoadDriverPrivilege() {
    EnablePrivilege(platform::SE_LOAD_DRIVER_NAME);
}

bool IsWow64() {
    auto isWow64Process = reinterpret_cast<platform::IsWow64ProcessFn>(
        LookupFunction("kernel32.dll", "IsWow64Process"));
    if (!isWow64Process) {
        platform::SetLastError(platform::ERROR_NOT_SUPPORTED);
        return false;
    }
    platform::BOOL wow64 = false;
    return isWow64Process(platform::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace quellin::system
