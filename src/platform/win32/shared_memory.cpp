#include "platform/shared_memory.h"

#include "platform/win32/windows_api.h"

#include <sddl.h>

#include <vector>

namespace quellin::platform {

namespace {

// A security descriptor made from the layer's string form, freed with LocalFree.
class Attributes {
  public:
    explicit Attributes(const SECURITY_ATTRIBUTES* attributes) {
        if (!attributes)
            return;
        native_.nLength = sizeof native_;
        native_.bInheritHandle = attributes->bInheritHandle;
        ok_ = ::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                  attributes->securityDescriptor.c_str(), SDDL_REVISION_1,
                  &native_.lpSecurityDescriptor, nullptr) != FALSE;
        given_ = true;
    }
    ~Attributes() {
        if (native_.lpSecurityDescriptor)
            ::LocalFree(native_.lpSecurityDescriptor);
    }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    bool ok() const { return ok_; }
    ::SECURITY_ATTRIBUTES* get() { return given_ ? &native_ : nullptr; }

  private:
    ::SECURITY_ATTRIBUTES native_{};
    bool given_ = false;
    bool ok_ = true;
};

// The namespace functions are looked up when first used: Wine exports some of them as stubs
// that end the process when called, and lacks the ANSI boundary call.
template <typename Function>
Function Kernel32(const char* name) {
    ::HMODULE module = ::GetModuleHandleA("kernel32.dll");
    return module
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
               : nullptr;
}

using CreateBoundaryFn = ::HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidFn = ::BOOL(WINAPI*)(::HANDLE*, PSID);
using DeleteBoundaryFn = VOID(WINAPI*)(::HANDLE);
using CreateNamespaceFn = ::HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCSTR);
using OpenNamespaceFn = ::HANDLE(WINAPI*)(LPVOID, LPCSTR);
using CloseNamespaceFn = BOOLEAN(WINAPI*)(::HANDLE, ULONG);

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

HANDLE CreateFileMappingA(HANDLE file, const SECURITY_ATTRIBUTES* attributes, DWORD protect,
                          DWORD sizeHigh, DWORD sizeLow, const std::string& name) {
    Attributes security(attributes);
    if (!security.ok())
        return nullptr;
    return native::Layer(::CreateFileMappingA(native::Native(file), security.get(), protect,
                                              sizeHigh, sizeLow, native::OrNull(name)));
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

HANDLE CreateMutexA(const SECURITY_ATTRIBUTES* attributes, const std::string& name) {
    Attributes security(attributes);
    if (!security.ok())
        return nullptr;
    return native::Layer(::CreateMutexA(security.get(), FALSE, name.c_str()));
}

DWORD WaitForMutex(HANDLE mutex, DWORD milliseconds) {
    return ::WaitForSingleObject(native::Native(mutex), milliseconds);
}

BOOL ReleaseMutex(HANDLE mutex) {
    return ::ReleaseMutex(native::Native(mutex)) != FALSE;
}

HANDLE CreateBoundaryDescriptorA(const std::string& name, DWORD flags) {
    auto create = Kernel32<CreateBoundaryFn>("CreateBoundaryDescriptorW");
    ::HANDLE boundary = create ? create(Wide(name).c_str(), flags) : nullptr;
    // Windows fails here only for want of memory; Wine's stub fails without saying why.
    if (!boundary && ::GetLastError() != ERROR_NOT_ENOUGH_MEMORY)
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return native::Layer(boundary);
}

BOOL AddSIDToBoundaryDescriptor(HANDLE* boundary, const SID& requiredSid) {
    auto add = Kernel32<AddSidFn>("AddSIDToBoundaryDescriptor");
    if (!boundary || !*boundary || !add || requiredSid.SubAuthority.empty() ||
        requiredSid.SubAuthority.size() > 8) {
        ::SetLastError(add ? ERROR_INVALID_PARAMETER : ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    ::SID_IDENTIFIER_AUTHORITY authority;
    for (std::size_t i = 0; i < 6; ++i)
        authority.Value[i] = requiredSid.IdentifierAuthority.Value[i];
    DWORD subs[8] = {};
    for (std::size_t i = 0; i < requiredSid.SubAuthority.size(); ++i)
        subs[i] = requiredSid.SubAuthority[i];
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&authority, static_cast<BYTE>(requiredSid.SubAuthority.size()),
                                    subs[0], subs[1], subs[2], subs[3], subs[4], subs[5], subs[6],
                                    subs[7], &sid))
        return false;
    ::HANDLE native = native::Native(*boundary);
    const bool added = add(&native, sid) != FALSE;
    {
        native::KeepLastError keep;
        ::FreeSid(sid);
    }
    *boundary = native::Layer(native);
    return added;
}

void DeleteBoundaryDescriptor(HANDLE boundary) {
    if (auto remove = Kernel32<DeleteBoundaryFn>("DeleteBoundaryDescriptor"); remove && boundary)
        remove(native::Native(boundary));
}

HANDLE CreatePrivateNamespaceA(const SECURITY_ATTRIBUTES* attributes, HANDLE boundary,
                               const std::string& aliasPrefix) {
    auto create = Kernel32<CreateNamespaceFn>("CreatePrivateNamespaceA");
    if (!create) {
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    Attributes security(attributes);
    if (!security.ok())
        return nullptr;
    return native::Layer(create(security.get(), native::Native(boundary), aliasPrefix.c_str()));
}

HANDLE OpenPrivateNamespaceA(HANDLE boundary, const std::string& aliasPrefix) {
    auto open = Kernel32<OpenNamespaceFn>("OpenPrivateNamespaceA");
    if (!open) {
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return native::Layer(open(native::Native(boundary), aliasPrefix.c_str()));
}

BOOL ClosePrivateNamespace(HANDLE privateNamespace, DWORD flags) {
    auto close = Kernel32<CloseNamespaceFn>("ClosePrivateNamespace");
    return close && close(native::Native(privateNamespace), flags) != FALSE;
}

}  // namespace quellin::platform
