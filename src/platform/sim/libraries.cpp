#include "platform/libraries.h"
#include "platform/filesystem.h"
#include "platform/security.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/strings.h"

namespace quellin::platform {

namespace {

HMODULE const kKernel32 = reinterpret_cast<HMODULE>(std::uintptr_t{0x7C800000});
HMODULE const kShell32 = reinterpret_cast<HMODULE>(std::uintptr_t{0x7CA00000});

BOOL SimIsWow64Process(HANDLE process, BOOL* wow64) {
    if (process != GetCurrentProcess() || !wow64) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    *wow64 = sim::IsWow64Process();
    return true;
}

BOOL SimDisableRedirection(void** oldValue) {
    if (!sim::IsWow64Process()) {
        // 32-bit Windows and a 64-bit program have nothing to redirect.
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    if (oldValue)
        *oldValue = reinterpret_cast<void*>(sim::RedirectionEnabled() ? 1 : 2);
    sim::SetRedirectionEnabled(false);
    return true;
}

BOOL SimRevertRedirection(void* oldValue) {
    if (!sim::IsWow64Process()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    auto saved = reinterpret_cast<std::uintptr_t>(oldValue);
    if (saved != 1 && saved != 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    sim::SetRedirectionEnabled(saved == 1);
    return true;
}

}  // namespace

HMODULE LoadLibraryA(const std::string& name) {
    if (win::SameName(name, "kernel32.dll") || win::SameName(name, "kernel32"))
        return kKernel32;
    if (win::SameName(name, "shell32.dll") || win::SameName(name, "shell32"))
        return kShell32;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HMODULE GetModuleHandleA(const std::string& name) {
    // Both of the sandbox's libraries count as loaded in every process.
    return LoadLibraryA(name);
}

BOOL FreeLibrary(HMODULE module) {
    return module == kKernel32 || module == kShell32;
}

FARPROC GetProcAddress(HMODULE module, const std::string& name) {
    if (module == kKernel32 && !sim::ReadConfig().legacyKernel) {
        if (name == "IsWow64Process")
            return reinterpret_cast<FARPROC>(&SimIsWow64Process);
        if (name == "Wow64DisableWow64FsRedirection")
            return reinterpret_cast<FARPROC>(&SimDisableRedirection);
        if (name == "Wow64RevertWow64FsRedirection")
            return reinterpret_cast<FARPROC>(&SimRevertRedirection);
    }
    SetLastError(module == kKernel32 || module == kShell32 ? ERROR_PROC_NOT_FOUND
                                                           : ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace quellin::platform
