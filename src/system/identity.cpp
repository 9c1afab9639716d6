#include "system/identity.h"

#include <vector>

#include "platform/security.h"

namespace quellin::system {

namespace {

// The process token with the Administrators group made deny-only and its privileges removed:
// the rights of the administrator's filtered, unelevated token.
platform::HANDLE RestrictedTwin() {
    platform::UniqueHandle process;
    if (!platform::OpenProcessToken(
            platform::GetCurrentProcess(),
            platform::TOKEN_QUERY | platform::TOKEN_DUPLICATE | platform::TOKEN_ASSIGN_PRIMARY,
            process.put())) {
        return nullptr;
    }
    platform::SID* admins = nullptr;
    if (!platform::AllocateAndInitializeSid(
            platform::SECURITY_NT_AUTHORITY, 2, platform::SECURITY_BUILTIN_DOMAIN_RID,
            platform::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins)) {
        return nullptr;
    }
    const std::vector<platform::SID> disabled{*admins};
    platform::FreeSid(admins);
    platform::HANDLE restricted = nullptr;
    return platform::CreateRestrictedToken(process.get(), platform::DISABLE_MAX_PRIVILEGE, disabled,
                                           &restricted)
               ? restricted
               : nullptr;
}

}  // namespace

UserRightsSpan::UserRightsSpan() {
    platform::UniqueHandle process;
    if (!platform::OpenProcessToken(platform::GetCurrentProcess(), platform::TOKEN_QUERY,
                                    process.put()))
        return;
    platform::TOKEN_ELEVATION_TYPE type = platform::TokenElevationTypeDefault;
    platform::DWORD length = 0;
    // Only the elevated half of a pair has a twin with fewer rights; a filtered token's twin
    // is the elevated one, which must never be taken on here.
    if (!platform::GetTokenInformation(process.get(), platform::TokenElevationType, &type,
                                       sizeof type, &length) ||
        type != platform::TokenElevationTypeFull) {
        return;
    }
    platform::TOKEN_LINKED_TOKEN linked;
    if (platform::GetTokenInformation(process.get(), platform::TokenLinkedToken, &linked,
                                      sizeof(void*), &length)) {
        token_.reset(linked.LinkedToken);
    }
    // Without the TCB privilege Windows hands out the linked token for identification only:
    // impersonated, it would make every file call fail. The restricted twin has the same
    // rights.
    platform::SECURITY_IMPERSONATION_LEVEL level = platform::SecurityAnonymous;
    if (!token_ ||
        !platform::GetTokenInformation(token_.get(), platform::TokenImpersonationLevel, &level,
                                       sizeof level, &length) ||
        level < platform::SecurityImpersonation) {
        token_.reset(RestrictedTwin());
    }
    impersonating_ = token_ && platform::ImpersonateLoggedOnUser(token_.get());
}

UserRightsSpan::~UserRightsSpan() {
    if (impersonating_)
        platform::RevertToSelf();
}

}  // namespace quellin::system
