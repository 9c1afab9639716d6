// Named, page-file-backed shared memory. A mapping lives as long as any process holds a
// handle to it; a process that ends, however it ends, gives up its handles.
#pragma once

#include <cstddef>
#include <string>

#include "platform/handle.h"
#include "platform/types.h"

namespace quellin::platform {

inline constexpr DWORD PAGE_READWRITE = 0x04;
inline constexpr DWORD FILE_MAP_ALL_ACCESS = 0xF001F;

// `file` must be INVALID_HANDLE_VALUE (page-file backed). When the name exists already the
// existing mapping is returned and the last error is ERROR_ALREADY_EXISTS; otherwise it is 0.
HANDLE CreateFileMappingA(HANDLE file, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          const std::string& name);
HANDLE OpenFileMappingA(DWORD access, BOOL inherit, const std::string& name);
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                    std::size_t bytes);
BOOL UnmapViewOfFile(const void* view);
using UniqueMappedView = UniqueResource<void*, UnmapViewOfFile, NullOf<void*>>;

}  // namespace quellin::platform

namespace quellin::platform {

inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD ERROR_NOT_OWNER = 288;

// A named mutex without an initial owner (CreateMutexA with no security attributes). Names in
// the "Global\" namespace are one for the whole machine, whatever session a process runs in.
HANDLE CreateMutexA(const std::string& name);
// WaitForSingleObject on a mutex: WAIT_OBJECT_0 when the caller now owns it, WAIT_ABANDONED
// when it owns it after an owner ended without releasing it, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForMutex(HANDLE mutex, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);

}  // namespace quellin::platform
