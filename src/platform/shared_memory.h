// Named kernel objects: page-file-backed shared memory, mutexes, and the private namespaces
// that keep such names out of other users' reach. An object lives as long as any process holds
// a handle to it; a process that ends, however it ends, gives up its handles.
//
// Names: "Global\N" is one for the whole machine, "Local\N" or a bare "N" one for the caller's
// session, and "P\N" lies in the private namespace this process created or opened under the
// alias prefix P. Any other prefix fails with ERROR_PATH_NOT_FOUND.
#pragma once

#include <cstddef>
#include <string>

#include "platform/handle.h"
#include "platform/security.h"
#include "platform/types.h"

namespace quellin::platform {

inline constexpr DWORD PAGE_READWRITE = 0x04;
inline constexpr DWORD FILE_MAP_ALL_ACCESS = 0xF001F;
inline constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;

// The security of a new object: its access list in the security descriptor string format,
// such as "D:P(A;;GA;;;BA)(A;;GA;;;SY)" (full access for Administrators and SYSTEM only). A
// null SECURITY_ATTRIBUTES pointer gives the creator token's default access list: for an
// elevated administrator Administrators and SYSTEM, for anyone else the user and SYSTEM. An
// existing object keeps its own; opening it checks the caller against that list.
struct SECURITY_ATTRIBUTES {
    std::string securityDescriptor;
    BOOL bInheritHandle = false;
};

// `file` must be INVALID_HANDLE_VALUE (page-file backed). When the name exists already the
// existing mapping is returned and the last error is ERROR_ALREADY_EXISTS; otherwise it is 0.
// ERROR_ACCESS_DENIED when the existing one's access list refuses the caller full access,
// ERROR_INVALID_HANDLE when the name belongs to an object of another kind.
HANDLE CreateFileMappingA(HANDLE file, const SECURITY_ATTRIBUTES* attributes, DWORD protect,
                          DWORD sizeHigh, DWORD sizeLow, const std::string& name);
HANDLE OpenFileMappingA(DWORD access, BOOL inherit, const std::string& name);
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                    std::size_t bytes);
BOOL UnmapViewOfFile(const void* view);
using UniqueMappedView = UniqueResource<void*, UnmapViewOfFile, NullOf<void*>>;

}  // namespace quellin::platform

namespace quellin::platform {

inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD ERROR_NOT_OWNER = 288;

// A named mutex without an initial owner. As for a mapping, an existing one is returned with
// ERROR_ALREADY_EXISTS, and fails with ERROR_ACCESS_DENIED when its access list refuses the
// caller MUTEX_ALL_ACCESS.
HANDLE CreateMutexA(const SECURITY_ATTRIBUTES* attributes, const std::string& name);
// WaitForSingleObject on a mutex: WAIT_OBJECT_0 when the caller now owns it, WAIT_ABANDONED
// when it owns it after an owner ended without releasing it, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForMutex(HANDLE mutex, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);

}  // namespace quellin::platform

namespace quellin::platform {

// Private namespaces. A boundary descriptor names a namespace and lists the groups a creator
// must hold enabled; the namespace's own access list says who may open it. Each namespace is
// one per name and boundary. CreatePrivateNamespaceA fails with ERROR_ALREADY_EXISTS when it
// exists (the caller then opens it) and with ERROR_ACCESS_DENIED when the caller is outside the
// boundary; OpenPrivateNamespaceA fails with ERROR_ACCESS_DENIED when the access list refuses
// the caller. A system without private namespaces fails both with ERROR_CALL_NOT_IMPLEMENTED.
inline constexpr DWORD PRIVATE_NAMESPACE_FLAG_DESTROY = 0x1;

HANDLE CreateBoundaryDescriptorA(const std::string& name, DWORD flags);
// Adds a group the namespace's creator must hold; `boundary` may be replaced.
BOOL AddSIDToBoundaryDescriptor(HANDLE* boundary, const SID& requiredSid);
void DeleteBoundaryDescriptor(HANDLE boundary);
using UniqueBoundaryDescriptor = UniqueResource<HANDLE, DeleteBoundaryDescriptor, NullOf<HANDLE>>;

HANDLE CreatePrivateNamespaceA(const SECURITY_ATTRIBUTES* attributes, HANDLE boundary,
                               const std::string& aliasPrefix);
HANDLE OpenPrivateNamespaceA(HANDLE boundary, const std::string& aliasPrefix);
BOOL ClosePrivateNamespace(HANDLE privateNamespace, DWORD flags);
inline void CloseNamespaceHandle(HANDLE privateNamespace) {
    ClosePrivateNamespace(privateNamespace, 0);
}
using UniqueNamespace = UniqueResource<HANDLE, CloseNamespaceHandle, NullOf<HANDLE>>;

}  // namespace quellin::platform
