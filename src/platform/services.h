// Service control manager.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/handle.h"
#include "platform/types.h"

namespace quellin::platform {

struct ScHandleTag;
using SC_HANDLE = ScHandleTag*;

inline constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
inline constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
inline constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
inline constexpr DWORD SERVICE_START = 0x0010;
inline constexpr DWORD SERVICE_STOP = 0x0020;
inline constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

inline constexpr DWORD SERVICE_CONTROL_STOP = 1;

inline constexpr DWORD SERVICE_STOPPED = 1;
inline constexpr DWORD SERVICE_START_PENDING = 2;
inline constexpr DWORD SERVICE_STOP_PENDING = 3;
inline constexpr DWORD SERVICE_RUNNING = 4;

struct SERVICE_STATUS {
    DWORD dwServiceType = 0;
    DWORD dwCurrentState = 0;
    DWORD dwControlsAccepted = 0;
    DWORD dwWin32ExitCode = 0;
    DWORD dwServiceSpecificExitCode = 0;
    DWORD dwCheckPoint = 0;
    DWORD dwWaitHint = 0;
};

inline constexpr DWORD SERVICE_ACTIVE = 0x1;  // for EnumDependentServicesA: not stopped

struct ENUM_SERVICE_STATUSA {
    std::string lpServiceName;
    std::string lpDisplayName;
    SERVICE_STATUS ServiceStatus;
};

// `machine` empty means the local computer.
SC_HANDLE OpenSCManagerA(const std::string& machine, const std::string& database, DWORD access);
// Service names compare without regard to case. ERROR_SERVICE_DOES_NOT_EXIST when unknown.
SC_HANDLE OpenServiceA(SC_HANDLE manager, const std::string& name, DWORD access);
// ERROR_SERVICE_ALREADY_RUNNING when not stopped; ERROR_ACCESS_DENIED without SERVICE_START.
BOOL StartServiceA(SC_HANDLE service);
// ERROR_SERVICE_NOT_ACTIVE when stopped; ERROR_DEPENDENT_SERVICES_RUNNING while a service that
// depends on it is not stopped; ERROR_ACCESS_DENIED without SERVICE_STOP.
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
// The services that depend on `service`, directly or not, in the order to stop them (the
// reverse of their start order), as many as `bufferSize` bytes of Windows' records hold;
// ERROR_MORE_DATA and `*needed` when they do not. Needs SERVICE_ENUMERATE_DEPENDENTS.
BOOL EnumDependentServicesA(SC_HANDLE service, DWORD serviceState,
                            std::vector<ENUM_SERVICE_STATUSA>* services, DWORD bufferSize,
                            DWORD* needed, DWORD* returned);
BOOL CloseServiceHandle(SC_HANDLE handle);
using UniqueScHandle = UniqueResource<SC_HANDLE, CloseServiceHandle, NullOf<SC_HANDLE>>;

}  // namespace quellin::platform
