#include "system/identity.h"

#include "platform/security.h"

namespace quellin::system {

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
    if (!win::GetTokenInformation(process.get(), win::TokenLinkedToken, &linked, sizeof(void*),
                                  &length)) {
        return;
    }
    linked_.reset(linked.LinkedToken);
    impersonating_ = win::ImpersonateLoggedOnUser(linked_.get());
}

UserRightsSpan::~UserRightsSpan() {
    if (impersonating_)
        win::RevertToSelf();
}

}  // namespace quellin::system
