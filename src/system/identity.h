// Acting with the user's own rights inside an elevated program.
//
// Quellin runs elevated, but some of its steps work in places that the user names or controls
// (the temp folder, the auto-save file, the restore's extraction folder), where any process of
// the user can swap a folder for a link between two calls. Done with the user's own identity,
// such a swap can only reach what the user could change anyway.
#pragma once

#include "platform/handle.h"

namespace quellin::system {

// For its life, the calling thread impersonates the user's unelevated identity: the linked
// token of the elevated process token, or where Windows gives that for identification only,
// the process token restricted to the same rights (Administrators deny-only, no privileges). When
// the process is not elevated (a standard user, a filtered administrator, SYSTEM, UAC off) there is
// no such twin and nothing changes: the step then runs with the rights the process has, which are
// the user's or the system's own. Reverts on every way out.
class UserRightsSpan {
  public:
    UserRightsSpan();
    UserRightsSpan(const UserRightsSpan&) = delete;
    UserRightsSpan& operator=(const UserRightsSpan&) = delete;
    ~UserRightsSpan();

    // True while the thread impersonates the user.
    bool Impersonating() const { return impersonating_; }

  private:
    win::UniqueHandle token_;  // the identity taken on
    bool impersonating_ = false;
};

}  // namespace quellin::system
