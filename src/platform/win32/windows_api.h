// The Windows headers and the few conversions every forwarder needs.
//
// Include this after the platform headers: <windows.h> defines ERROR_*, KEY_*, DELETE and the
// other constants as macros, which would rewrite the layer's own declarations. Below this
// include a forwarder names only the Windows macros (their values are the layer's), calls the
// real functions as ::Name, and reaches the layer's types unqualified from inside namespace win.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the others need its types.
#include <shellapi.h>
#include <winspool.h>
#include <winsvc.h>

#include <cstdint>
#include <string>

// winspool.drv exports AddPortExA, but MinGW-w64's headers do not declare it.
extern "C" __declspec(dllimport) BOOL WINAPI
    AddPortExA(LPSTR pName, DWORD Level, LPBYTE lpBuffer, LPSTR lpMonitorName);

namespace quellin::platform::native {

// An optional string argument: Windows takes a null pointer where the layer passes "".
inline const char* OrNull(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}
inline char* OrNullMutable(const std::string& s) {
    return s.empty() ? nullptr : const_cast<char*>(s.c_str());
}

inline ::HANDLE Native(win::HANDLE h) {
    return reinterpret_cast<::HANDLE>(h);
}
inline win::HANDLE Layer(::HANDLE h) {
    return reinterpret_cast<win::HANDLE>(h);
}

// Window handles are 32-bit values on every Windows; they widen with their sign.
inline ::HWND Native(win::HWND h) {
    return reinterpret_cast<::HWND>(static_cast<LONG_PTR>(static_cast<LONG>(h)));
}
inline win::HWND LayerWindow(::HWND h) {
    return static_cast<win::HWND>(reinterpret_cast<ULONG_PTR>(h));
}

inline win::FILETIME Layer(const ::FILETIME& t) {
    return {(static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime};
}
inline ::FILETIME Native(const win::FILETIME& t) {
    return {static_cast<::DWORD>(t.ticks), static_cast<::DWORD>(t.ticks >> 32)};
}

inline win::SYSTEMTIME Layer(const ::SYSTEMTIME& t) {
    return {t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
            t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
}
inline ::SYSTEMTIME Native(const win::SYSTEMTIME& t) {
    return {t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
            t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
}

inline std::string Text(const char* s) {
    return s ? std::string(s) : std::string();
}

// Conversions after a call allocate; they must not disturb the call's last error.
class KeepLastError {
  public:
    KeepLastError() : code_(::GetLastError()) {}
    ~KeepLastError() { ::SetLastError(code_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

  private:
    ::DWORD code_;
};

}  // namespace quellin::platform::native
