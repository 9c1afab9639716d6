// The DISM API of dismapi.dll. MinGW-w64 has neither its header nor its import library, so the
// functions are looked up when first needed; a system without the library answers every call
// with HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND).
#include "platform/dism.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace quellin::platform {

namespace {

// dismapi.h's declarations: UTF-16 strings, structures packed to one byte.
using NativeSession = ::UINT;
#pragma pack(push, 1)
struct NativeFeatureInfo {
    PCWSTR FeatureName;
    int FeatureState;
    PCWSTR DisplayName;
    PCWSTR Description;
    int RestartRequired;
    void* CustomProperty;
    ::UINT CustomPropertyCount;
};
#pragma pack(pop)

using InitializeFn = ::HRESULT(WINAPI*)(int, PCWSTR, PCWSTR);
using ShutdownFn = ::HRESULT(WINAPI*)();
using OpenSessionFn = ::HRESULT(WINAPI*)(PCWSTR, PCWSTR, PCWSTR, NativeSession*);
using CloseSessionFn = ::HRESULT(WINAPI*)(NativeSession);
using GetFeatureInfoFn = ::HRESULT(WINAPI*)(NativeSession, PCWSTR, PCWSTR, int,
                                            NativeFeatureInfo**);
using DeleteFn = ::HRESULT(WINAPI*)(void*);

struct DismApi {
    InitializeFn initialize = nullptr;
    ShutdownFn shutdown = nullptr;
    OpenSessionFn openSession = nullptr;
    CloseSessionFn closeSession = nullptr;
    GetFeatureInfoFn getFeatureInfo = nullptr;
    DeleteFn deleteStructure = nullptr;
    bool complete() const {
        return initialize && shutdown && openSession && closeSession && getFeatureInfo &&
               deleteStructure;
    }
};

template <typename Function>
Function Lookup(::HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const DismApi& Api() {
    static const DismApi api = [] {
        DismApi found;
        // From the system folder only, never from the current folder.
        ::HMODULE module = ::LoadLibraryExA("dismapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module)
            return found;
        found.initialize = Lookup<InitializeFn>(module, "DismInitialize");
        found.shutdown = Lookup<ShutdownFn>(module, "DismShutdown");
        found.openSession = Lookup<OpenSessionFn>(module, "DismOpenSession");
        found.closeSession = Lookup<CloseSessionFn>(module, "DismCloseSession");
        found.getFeatureInfo = Lookup<GetFeatureInfoFn>(module, "DismGetFeatureInfo");
        found.deleteStructure = Lookup<DeleteFn>(module, "DismDelete");
        return found;
    }();
    return api;
}

constexpr HRESULT kModuleNotFound = static_cast<HRESULT>(0x8007007E);

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return {};
    const int length =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}

std::string Ansi(PCWSTR text) {
    if (!text || !*text)
        return {};
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), length, nullptr, nullptr);
    ansi.resize(ansi.find('\0'));
    return ansi;
}

PCWSTR OrNull(const std::wstring& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

HRESULT DismInitialize(DismLogLevel logLevel, const std::string& logFilePath,
                       const std::string& scratchDirectory) {
    if (!Api().complete())
        return kModuleNotFound;
    const std::wstring log = Wide(logFilePath), scratch = Wide(scratchDirectory);
    return Api().initialize(logLevel, OrNull(log), OrNull(scratch));
}

HRESULT DismShutdown() {
    return Api().complete() ? Api().shutdown() : kModuleNotFound;
}

HRESULT DismOpenSession(const std::string& imagePath, const std::string& windowsDirectory,
                        const std::string& systemDrive, DismSession* session) {
    if (!Api().complete())
        return kModuleNotFound;
    const std::wstring image = Wide(imagePath), windows = Wide(windowsDirectory),
                       drive = Wide(systemDrive);
    NativeSession opened = 0;
    const HRESULT result =
        Api().openSession(image.c_str(), OrNull(windows), OrNull(drive), &opened);
    if (session)
        *session = opened;
    return result;
}

HRESULT DismCloseSession(DismSession session) {
    return Api().complete() ? Api().closeSession(session) : kModuleNotFound;
}

HRESULT DismGetFeatureInfo(DismSession session, const std::string& featureName,
                           DismFeatureInfo* featureInfo) {
    if (!Api().complete())
        return kModuleNotFound;
    const std::wstring name = Wide(featureName);
    NativeFeatureInfo* info = nullptr;
    const HRESULT result = Api().getFeatureInfo(session, name.c_str(), nullptr, 0, &info);
    if (result == S_OK && info && featureInfo) {
        featureInfo->FeatureName = Ansi(info->FeatureName);
        featureInfo->FeatureState = static_cast<DismPackageFeatureState>(info->FeatureState);
        featureInfo->DisplayName = Ansi(info->DisplayName);
    }
    if (info)
        Api().deleteStructure(info);
    return result;
}

}  // namespace quellin::platform
