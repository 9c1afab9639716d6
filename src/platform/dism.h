// The Deployment Image Servicing and Management API (dismapi.dll), as far as the program reads
// the state of an optional feature of the running system. Changing a feature goes through the
// servicing tool dism.exe instead (run elevated and waited for).
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace quellin::platform {

using HRESULT = std::int32_t;
using DismSession = std::uint32_t;

inline constexpr HRESULT S_OK = 0;
// HRESULT_FROM_WIN32(ERROR_ELEVATION_REQUIRED): the API serves elevated callers only.
inline constexpr HRESULT DISM_E_ELEVATION_REQUIRED = static_cast<HRESULT>(0x800702E4);
inline constexpr HRESULT DISMAPI_E_DISMAPI_NOT_INITIALIZED = static_cast<HRESULT>(0xC0040001);
inline constexpr HRESULT DISMAPI_E_DISMAPI_ALREADY_INITIALIZED = static_cast<HRESULT>(0xC0040002);
// HRESULT_FROM_WIN32(ERROR_BAD_FORMAT): the API's architecture must be the system's, so a 32-bit
// program on 64-bit Windows cannot open a session.
inline constexpr HRESULT DISM_E_WRONG_ARCHITECTURE = static_cast<HRESULT>(0x8007000B);
inline constexpr HRESULT DISMAPI_E_UNKNOWN_FEATURE = static_cast<HRESULT>(0x800F080C);
inline constexpr HRESULT DISM_E_INVALID_HANDLE = static_cast<HRESULT>(0x80070006);

inline constexpr const char* DISM_ONLINE_IMAGE = "DISM_{53BFAE52-B167-4E2F-A258-0A37B57FF845}";

enum DismLogLevel { DismLogErrors = 0, DismLogErrorsWarnings = 1, DismLogErrorsWarningsInfo = 2 };

enum DismPackageFeatureState {
    DismStateNotPresent = 0,
    DismStateUninstallPending = 1,
    DismStateStaged = 2,   // disabled, payload kept
    DismStateRemoved = 3,  // disabled with its payload removed
    DismStateInstalled = 4,
    DismStateInstallPending = 5,
    DismStateSuperseded = 6,
    DismStatePartiallyInstalled = 7,
};

// The fields of DismFeatureInfo the program reads; filled in place rather than allocated, so
// there is no DismDelete.
struct DismFeatureInfo {
    std::string FeatureName;
    DismPackageFeatureState FeatureState = DismStateNotPresent;
    std::string DisplayName;
};

// Once per process each: after DismShutdown every call of the API fails.
HRESULT DismInitialize(DismLogLevel logLevel, const std::string& logFilePath,
                       const std::string& scratchDirectory);
HRESULT DismShutdown();
// `imagePath` DISM_ONLINE_IMAGE names the running system, the only image the program opens.
HRESULT DismOpenSession(const std::string& imagePath, const std::string& windowsDirectory,
                        const std::string& systemDrive, DismSession* session);
HRESULT DismCloseSession(DismSession session);
HRESULT DismGetFeatureInfo(DismSession session, const std::string& featureName,
                           DismFeatureInfo* featureInfo);

}  // namespace quellin::platform
