// The administrator gate and the other start-up checks of the process's rights.
#pragma once

#include <string>

#include "platform/security.h"

namespace quellin::system {

// True when the process runs with the Administrators group enabled; an administrator who did
// not elevate gets false. Raises SystemError when the token's group list behaves unexpectedly.
bool IsAdministrator();

// IsAdministrator for deciding who may take part: a token that cannot be read is no
// administrator's.
bool RunsAsAdministrator();

// The refusal every system-changing command shows when IsAdministrator is false.
void ShowPermissionDenied(const std::string& caption);

inline constexpr const char* kPermissionDeniedText =
    "Permission denied.\r\nAdministrator privilege is required to run this program.\r\n"
    "Right-click the icon of this program, and choose 'Run As Administrator'.";

// Enables a privilege in the process token, opened with `tokenAccess`; the outcome is not
// examined.
void EnablePrivilege(const std::string& name, win::DWORD tokenAccess = win::TOKEN_ALL_ACCESS_NT4);
void EnableLoadDriverPrivilege();

// True when the 32-bit program runs on 64-bit Windows.
bool IsWow64();

}  // namespace quellin::system
