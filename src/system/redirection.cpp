#include "system/redirection.h"

#include "platform/filesystem.h"
#include "system/libraries.h"

namespace quellin::system {

bool DisableFsRedirection(void** oldValue) {
    auto disable = reinterpret_cast<win::Wow64DisableWow64FsRedirectionFn>(
        LookupFunction("kernel32.dll", "Wow64DisableWow64FsRedirection"));
    return disable && disable(oldValue);
}

bool RevertFsRedirection(void* oldValue) {
    auto revert = reinterpret_cast<win::Wow64RevertWow64FsRedirectionFn>(
        LookupFunction("kernel32.dll", "Wow64RevertWow64FsRedirection"));
    return revert && revert(oldValue);
}

FsRedirectionSpan::FsRedirectionSpan(bool active) {
    if (active) {
        active_ = DisableFsRedirection(&oldValue_);
    }
}

FsRedirectionSpan::~FsRedirectionSpan() {
    if (active_) {
        RevertFsRedirection(oldValue_);
    }
}

void FsRedirectionSpan::WithRedirectionOn(const std::function<void()>& work) {
    if (!active_) {
        work();
        return;
    }
    active_ = false;
    RevertFsRedirection(oldValue_);
    struct Again {
        FsRedirectionSpan& span;
        ~Again() { span.active_ = DisableFsRedirection(&span.oldValue_); }
    } again{*this};
    work();
}

}  // namespace quellin::system
