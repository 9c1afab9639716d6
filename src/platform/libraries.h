// Loading system libraries and looking up functions that older systems may lack.
#pragma once

#include <string>

#include "platform/types.h"

namespace quellin::platform {

// Null with ERROR_MOD_NOT_FOUND (126) when the library is missing.
HMODULE LoadLibraryA(const std::string& name);
BOOL FreeLibrary(HMODULE module);
// A library the process has loaded already (kernel32.dll always is); null with
// ERROR_MOD_NOT_FOUND otherwise. Nothing to free.
HMODULE GetModuleHandleA(const std::string& name);
// Null with ERROR_PROC_NOT_FOUND when the function is missing. Cast to the function's type
// (IsWow64ProcessFn, Wow64DisableWow64FsRedirectionFn, ...).
FARPROC GetProcAddress(HMODULE module, const std::string& name);

inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;

}  // namespace quellin::platform
