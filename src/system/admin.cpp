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
    void operator()(win::SID* sid) const { win::FreeSid(sid); }
};
}  // namespace

bool RunsAsAdministrator() {
    try {
        return IsAdministrator();
    } catch (const SystemError&) {
        return false;
    }
}

bool IsAdministrator() {
    if (win::GetVersion() & 0x80000000) {
        return true;  // outside the NT family every user is an administrator
    }
    win::UniqueHandle token;
    if (!win::OpenThreadToken(win::GetCurrentThread(), win::TOKEN_QUERY, true, token.put())) {
        if (win::GetLastError() != win::ERROR_NO_TOKEN ||
            !win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_QUERY, token.put())) {
            return false;
        }
    }
    win::SID* raw = nullptr;
    if (!win::AllocateAndInitializeSid(win::SECURITY_NT_AUTHORITY, 2,
                                       win::SECURITY_BUILTIN_DOMAIN_RID,
                                       win::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw)) {
        return false;
    }
    std::unique_ptr<win::SID, SidDeleter> admins(raw);

    win::DWORD size = 0;
    if (win::GetTokenInformation(token.get(), win::TokenGroups, nullptr, 0, &size) ||
        win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER) {
        RaiseLastOSError();
    }
    win::TOKEN_GROUPS groups;
    if (!win::GetTokenInformation(token.get(), win::TokenGroups, &groups, size, &size)) {
        RaiseLastOSError();
    }
    for (const win::SID_AND_ATTRIBUTES& group : groups.Groups) {
        if (win::EqualSid(&group.Sid, admins.get()) &&
            (group.Attributes & win::SE_GROUP_USE_FOR_DENY_ONLY) == 0) {
            return true;
        }
    }
    return false;
}

void ShowPermissionDenied(const std::string& caption) {
    win::MessageBoxA(0, kPermissionDeniedText, caption, win::MB_ICONERROR);
}

void EnablePrivilege(const std::string& name, win::DWORD tokenAccess) {
    win::UniqueHandle token;
    if (!win::OpenProcessToken(win::GetCurrentProcess(), tokenAccess, token.put())) {
        return;
    }
    win::LUID luid;
    win::LookupPrivilegeValueA("", name, &luid);
    win::AdjustTokenPrivileges(token.get(), false, {{luid, win::SE_PRIVILEGE_ENABLED}});
}

void EnableLoadDriverPrivilege() {
    EnablePrivilege(win::SE_LOAD_DRIVER_NAME);
}

bool IsWow64() {
    auto isWow64Process =
        reinterpret_cast<win::IsWow64ProcessFn>(LookupFunction("kernel32.dll", "IsWow64Process"));
    if (!isWow64Process) {
        win::SetLastError(win::ERROR_NOT_SUPPORTED);
        return false;
    }
    win::BOOL wow64 = false;
    return isWow64Process(win::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace quellin::system
