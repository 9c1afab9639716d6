// The DISM API on the sandbox: the optional features' states as the servicing tool keeps them.
#include <atomic>
#include <optional>
#include <string>

#include "platform/dism.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/spool.h"

namespace quellin::platform {

namespace {

// Initialized once per process; a shutdown is final.
enum class ApiState { Fresh, Initialized, ShutDown };
std::atomic<ApiState> g_api{ApiState::Fresh};
std::atomic<DismSession> g_nextSession{1};
thread_local DismSession t_openSession = 0;

}  // namespace

HRESULT DismInitialize(DismLogLevel, const std::string&, const std::string&) {
    sim::EnsureSandbox();
    if (!sim::TokenIsElevated())
        return DISM_E_ELEVATION_REQUIRED;
    if (g_api == ApiState::Initialized)
        return DISMAPI_E_DISMAPI_ALREADY_INITIALIZED;
    if (g_api == ApiState::ShutDown)
        return DISMAPI_E_DISMAPI_NOT_INITIALIZED;
    g_api = ApiState::Initialized;
    return S_OK;
}

HRESULT DismShutdown() {
    if (g_api != ApiState::Initialized)
        return DISMAPI_E_DISMAPI_NOT_INITIALIZED;
    g_api = ApiState::ShutDown;
    return S_OK;
}

HRESULT DismOpenSession(const std::string& imagePath, const std::string&, const std::string&,
                        DismSession* session) {
    if (g_api != ApiState::Initialized)
        return DISMAPI_E_DISMAPI_NOT_INITIALIZED;
    // A sandbox's token stands for the process's, which an initialized API has already checked.
    if (!sim::TokenIsElevated())
        return DISM_E_ELEVATION_REQUIRED;
    if (sim::IsWow64Process())
        return DISM_E_WRONG_ARCHITECTURE;
    if (imagePath != DISM_ONLINE_IMAGE || !session)
        return static_cast<HRESULT>(0x80070057);  // E_INVALIDARG: only the running system
    *session = t_openSession = g_nextSession++;
    return S_OK;
}

HRESULT DismCloseSession(DismSession session) {
    if (session == 0 || session != t_openSession)
        return DISM_E_INVALID_HANDLE;
    t_openSession = 0;
    return S_OK;
}

HRESULT DismGetFeatureInfo(DismSession session, const std::string& featureName,
                           DismFeatureInfo* featureInfo) {
    if (session == 0 || session != t_openSession || !featureInfo)
        return DISM_E_INVALID_HANDLE;
    std::optional<std::string> state = sim::FeatureState(featureName);
    if (!state)
        return DISMAPI_E_UNKNOWN_FEATURE;
    featureInfo->FeatureName = featureName;
    featureInfo->DisplayName = featureName;
    if (*state == "Enabled")
        featureInfo->FeatureState = DismStateInstalled;
    else if (*state == "EnablePending")
        featureInfo->FeatureState = DismStateInstallPending;
    else if (*state == "DisablePending")
        featureInfo->FeatureState = DismStateUninstallPending;
    else if (*state == "DisabledWithPayloadRemoved")
        featureInfo->FeatureState = DismStateRemoved;
    else
        featureInfo->FeatureState = DismStateStaged;
    return S_OK;
}

}  // namespace quellin::platform
