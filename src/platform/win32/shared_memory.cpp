#include "platform/shared_memory.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

HANDLE CreateFileMappingA(HANDLE file, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          const std::string& name) {
    return native::Layer(::CreateFileMappingA(native::Native(file), nullptr, protect, sizeHigh,
                                              sizeLow, native::OrNull(name)));
}

HANDLE OpenFileMappingA(DWORD access, BOOL inherit, const std::string& name) {
    return native::Layer(::OpenFileMappingA(access, inherit, name.c_str()));
}

void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                    std::size_t bytes) {
    return ::MapViewOfFile(native::Native(mapping), access, offsetHigh, offsetLow, bytes);
}

BOOL UnmapViewOfFile(const void* view) {
    return ::UnmapViewOfFile(view) != FALSE;
}

}  // namespace quellin::platform

namespace quellin::platform {

HANDLE CreateMutexA(const std::string& name) {
    return native::Layer(::CreateMutexA(nullptr, FALSE, name.c_str()));
}

DWORD WaitForMutex(HANDLE mutex, DWORD milliseconds) {
    return ::WaitForSingleObject(native::Native(mutex), milliseconds);
}

BOOL ReleaseMutex(HANDLE mutex) {
    return ::ReleaseMutex(native::Native(mutex)) != FALSE;
}

}  // namespace quellin::platform
