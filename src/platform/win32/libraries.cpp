// The layer gives function pointers of its own types (IsWow64ProcessFn, ...), whose calling
// convention and BOOL differ from the system's. For the functions the layer names it hands out
// an adapter that calls the system's function found here; any other name comes back as the
// system's own address, to be cast to its Windows type.
#include "platform/libraries.h"

#include <atomic>

#include "platform/filesystem.h"
#include "platform/security.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

namespace {

using RealIsWow64Process = ::BOOL(WINAPI*)(::HANDLE, ::PBOOL);
using RealDisableRedirection = ::BOOL(WINAPI*)(::PVOID*);
using RealRevertRedirection = ::BOOL(WINAPI*)(::PVOID);

std::atomic<RealIsWow64Process> g_isWow64Process{nullptr};
std::atomic<RealDisableRedirection> g_disableRedirection{nullptr};
std::atomic<RealRevertRedirection> g_revertRedirection{nullptr};

BOOL AdaptIsWow64Process(HANDLE process, BOOL* wow64) {
    ::BOOL value = FALSE;
    if (!g_isWow64Process.load()(native::Native(process), &value))
        return false;
    if (wow64)
        *wow64 = value != FALSE;
    return true;
}

BOOL AdaptDisableRedirection(void** oldValue) {
    return g_disableRedirection.load()(oldValue) != FALSE;
}

BOOL AdaptRevertRedirection(void* oldValue) {
    return g_revertRedirection.load()(oldValue) != FALSE;
}

// Function pointers change type through an untyped pointer, as GetProcAddress's callers do.
template <typename To, typename From>
To FunctionCast(From function) {
    return reinterpret_cast<To>(reinterpret_cast<void*>(function));
}

}  // namespace

HMODULE LoadLibraryA(const std::string& name) {
    return reinterpret_cast<HMODULE>(::LoadLibraryA(name.c_str()));
}

HMODULE GetModuleHandleA(const std::string& name) {
    return reinterpret_cast<HMODULE>(::GetModuleHandleA(native::OrNull(name)));
}

BOOL FreeLibrary(HMODULE module) {
    return ::FreeLibrary(reinterpret_cast<::HMODULE>(module)) != FALSE;
}

FARPROC GetProcAddress(HMODULE module, const std::string& name) {
    ::FARPROC address = ::GetProcAddress(reinterpret_cast<::HMODULE>(module), name.c_str());
    if (!address)
        return nullptr;
    if (name == "IsWow64Process") {
        g_isWow64Process = FunctionCast<RealIsWow64Process>(address);
        return reinterpret_cast<FARPROC>(&AdaptIsWow64Process);
    }
    if (name == "Wow64DisableWow64FsRedirection") {
        g_disableRedirection = FunctionCast<RealDisableRedirection>(address);
        return reinterpret_cast<FARPROC>(&AdaptDisableRedirection);
    }
    if (name == "Wow64RevertWow64FsRedirection") {
        g_revertRedirection = FunctionCast<RealRevertRedirection>(address);
        return reinterpret_cast<FARPROC>(&AdaptRevertRedirection);
    }
    return FunctionCast<FARPROC>(address);
}

}  // namespace quellin::platform
