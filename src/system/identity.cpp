#include "system/identity.h"

#include <vector>

#include "platform/security.h"

namespace quellin::system {

namespace {

// The process token with the Administrators group made deny-only and its privileges removed:
// the rights of the administrator's filtered, unelevated token.
win::HANDLE RestrictedTwin() {
    win::UniqueHandle process;
    if (!win::OpenProcessToken(win::GetCurrentProcess(),
                               win::TOKEN_QUERY | win::TOKEN_DUPLICATE | win::TOKEN_ASSIGN_PRIMARY,
                               process.put())) {
        return nullptr;
    }
    win::SID* admins = nullptr;
    if (!win::AllocateAndInitializeSid(win::SECURITY_NT_AUTHORITY, 2,
                                       win::SECURITY_BUILTIN_DOMAIN_RID,
                                       win::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins)) {
        return nullptr;
    }
    const std::vector<win::SID> disabled{*admins};
    win::FreeSid(admins);
    win::HANDLE restricted = nullptr;
    return win::CreateRestrictedToken(process.get(), win::DISABLE_MAX_PRIVILEGE, disabled,
                                      &restricted)
               ? restricted
               : nullptr;
}

}  // namespace

UserRightsSpan::UserRightsSpan() {
    win::UniqueHandle process;
    if (!win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_QUERY, process.put()))
        return;
    win::TOKEN_ELEVATION_TYPE type = win::TokenElevationTypeDefault;
    win::DWORD length = 0;
    // Only the elevated half of a pair has a twin with fewer rights; a filtered token's twin
    // is the elevated one, which must never be taken on here.
    if (!win::GetTokenInformation(process.get(), win::TokenElevationType, &type, sizeof type,
                                  &length) ||
        type != win::TokenElevationTypeFull) {
        return;
    }
    win::TOKEN_LINKED_TOKEN linked;
    if (win::GetTokenInformation(process.get(), win::TokenLinkedToken, &linked, sizeof(void*),
                                 &length)) {
        token_.reset(linked.LinkedToken);
    }
    // Without the TCB privilege Windows hands out the linked token for identification only:
    // impersonated, it would make every file call fail. The restricted twin has the same
    // rights.
    win::SECURITY_IMPERSONATION_LEVEL level = win::SecurityAnonymous;
    if (!token_ ||
        !win::GetTokenInformation(token_.get(), win::TokenImpersonationLevel, &level, sizeof level,
                                  &length) ||
        level < win::SecurityImpersonation) {
        token_.reset(RestrictedTwin());
    }
    impersonating_ = token_ && win::ImpersonateLoggedOnUser(token_.get());
}

UserRightsSpan::~UserRightsSpan() {
    if (impersonating_)
        win::RevertToSelf();
}

}  // namespace quellin::system
