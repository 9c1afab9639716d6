#include "platform/services.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

namespace {

::SC_HANDLE Native(SC_HANDLE h) {
    return reinterpret_cast<::SC_HANDLE>(h);
}
SC_HANDLE Layer(::SC_HANDLE h) {
    return reinterpret_cast<SC_HANDLE>(h);
}

void Copy(const ::SERVICE_STATUS& from, SERVICE_STATUS* to) {
    to->dwServiceType = from.dwServiceType;
    to->dwCurrentState = from.dwCurrentState;
    to->dwControlsAccepted = from.dwControlsAccepted;
    to->dwWin32ExitCode = from.dwWin32ExitCode;
    to->dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
    to->dwCheckPoint = from.dwCheckPoint;
    to->dwWaitHint = from.dwWaitHint;
}

}  // namespace

SC_HANDLE OpenSCManagerA(const std::string& machine, const std::string& database, DWORD access) {
    return Layer(::OpenSCManagerA(native::OrNull(machine), native::OrNull(database), access));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, const std::string& name, DWORD access) {
    return Layer(::OpenServiceA(Native(manager), name.c_str(), access));
}

BOOL StartServiceA(SC_HANDLE service) {
    return ::StartServiceA(Native(service), 0, nullptr) != FALSE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    ::SERVICE_STATUS real{};
    BOOL ok = ::ControlService(Native(service), control, &real) != FALSE;
    // Windows fills the status on some failures too (a service that cannot accept the control).
    if (status)
        Copy(real, status);
    return ok;
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    ::SERVICE_STATUS real{};
    if (!::QueryServiceStatus(Native(service), &real))
        return false;
    if (status)
        Copy(real, status);
    return true;
}

BOOL EnumDependentServicesA(SC_HANDLE service, DWORD serviceState,
                            std::vector<ENUM_SERVICE_STATUSA>* services, DWORD bufferSize,
                            DWORD* needed, DWORD* returned) {
    // Records, then the strings they point at, in one buffer aligned for the records.
    std::vector<::ENUM_SERVICE_STATUSA> buffer(bufferSize / sizeof(::ENUM_SERVICE_STATUSA) + 1);
    ::DWORD size = 0, count = 0;
    const BOOL ok = ::EnumDependentServicesA(Native(service), serviceState,
                                             bufferSize ? buffer.data() : nullptr, bufferSize,
                                             &size, &count) != FALSE;
    native::KeepLastError keep;
    if (needed)
        *needed = size;
    if (returned)
        *returned = ok ? count : 0;
    if (services) {
        services->clear();
        for (::DWORD i = 0; ok && i < count; ++i) {
            ENUM_SERVICE_STATUSA record;
            record.lpServiceName = native::Text(buffer[i].lpServiceName);
            record.lpDisplayName = native::Text(buffer[i].lpDisplayName);
            Copy(buffer[i].ServiceStatus, &record.ServiceStatus);
            services->push_back(std::move(record));
        }
    }
    return ok;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    return ::CloseServiceHandle(Native(handle)) != FALSE;
}

}  // namespace quellin::platform
