// Print spooler: printers, drivers, ports and jobs.
//
// The enumeration calls keep the two-call sizing pattern of Windows: `bufferSize` is the byte
// size the caller allotted; too small fails with ERROR_INSUFFICIENT_BUFFER and `*needed` set.
// Records come back in `*records`, in the spooler's order. While the Spooler service is not
// running every call fails with RPC_S_SERVER_UNAVAILABLE.
#pragma once

#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/types.h"

namespace quellin::platform {

inline constexpr DWORD PRINTER_ENUM_DEFAULT = 0x1;
inline constexpr DWORD PRINTER_ENUM_LOCAL = 0x2;
inline constexpr DWORD PRINTER_ENUM_CONNECTIONS = 0x4;
inline constexpr DWORD PRINTER_ENUM_NAME = 0x8;
inline constexpr DWORD PRINTER_ENUM_SHARED = 0x20;

inline constexpr DWORD PRINTER_ATTRIBUTE_DEFAULT = 0x4;
inline constexpr DWORD PRINTER_ATTRIBUTE_SHARED = 0x8;
inline constexpr DWORD PRINTER_ATTRIBUTE_NETWORK = 0x10;
inline constexpr DWORD PRINTER_ATTRIBUTE_LOCAL = 0x40;

inline constexpr DWORD PRINTER_ALL_ACCESS = 0xF000C;
inline constexpr DWORD PRINTER_ACCESS_USE = 0x8;

inline constexpr DWORD DPD_DELETE_UNUSED_FILES = 0x1;

inline constexpr DWORD JOB_CONTROL_PAUSE = 1;
inline constexpr DWORD JOB_CONTROL_RESUME = 2;
inline constexpr DWORD JOB_CONTROL_CANCEL = 3;
inline constexpr DWORD JOB_CONTROL_RESTART = 4;
inline constexpr DWORD JOB_CONTROL_DELETE = 5;

inline constexpr DWORD JOB_STATUS_PAUSED = 0x1;
inline constexpr DWORD JOB_STATUS_ERROR = 0x2;
inline constexpr DWORD JOB_STATUS_DELETING = 0x4;
inline constexpr DWORD JOB_STATUS_SPOOLING = 0x8;
inline constexpr DWORD JOB_STATUS_PRINTING = 0x10;
inline constexpr DWORD JOB_STATUS_OFFLINE = 0x20;
inline constexpr DWORD JOB_STATUS_PAPEROUT = 0x40;
inline constexpr DWORD JOB_STATUS_PRINTED = 0x80;
inline constexpr DWORD JOB_STATUS_DELETED = 0x100;
inline constexpr DWORD JOB_STATUS_BLOCKED_DEVQ = 0x200;
inline constexpr DWORD JOB_STATUS_USER_INTERVENTION = 0x400;
inline constexpr DWORD JOB_STATUS_RESTART = 0x800;
inline constexpr DWORD JOB_STATUS_COMPLETE = 0x1000;

// The fields of PRINTER_INFO levels 1, 2, 4 and 5; a call fills those of its level.
struct PRINTER_INFO_A {
    std::string pServerName;
    std::string pPrinterName;
    std::string pShareName;
    std::string pPortName;
    std::string pDriverName;
    std::string pComment;
    std::string pLocation;
    DWORD Attributes = 0;
    DWORD Status = 0;
    DWORD cJobs = 0;
};

struct PORT_INFO_1A {
    std::string pName;
};

struct JOB_INFO_2A {
    DWORD JobId = 0;
    std::string pPrinterName;
    std::string pMachineName;
    std::string pUserName;
    std::string pDocument;
    std::string pNotifyName;
    std::string pDatatype;
    std::string pPrintProcessor;
    std::string pDriverName;
    std::string pStatus;
    DWORD Status = 0;
    DWORD Priority = 0;
    DWORD Position = 0;
    DWORD StartTime = 0;
    DWORD UntilTime = 0;
    DWORD TotalPages = 0;
    DWORD Size = 0;
    SYSTEMTIME Submitted;
    DWORD Time = 0;
    DWORD PagesPrinted = 0;
};

struct PRINTER_DEFAULTSA {
    std::string pDatatype;
    bool hasDevMode = false;
    DWORD DesiredAccess = 0;
};

BOOL EnumPrintersA(DWORD flags, const std::string& name, DWORD level,
                   std::vector<PRINTER_INFO_A>* records, DWORD bufferSize, DWORD* needed,
                   DWORD* returned);
BOOL OpenPrinterA(const std::string& name, HANDLE* printer, const PRINTER_DEFAULTSA* defaults);
BOOL ClosePrinter(HANDLE printer);
using UniquePrinter = UniqueResource<HANDLE, ClosePrinter, NullHandle>;
// Needs PRINTER_ALL_ACCESS on the handle.
BOOL DeletePrinter(HANDLE printer);
// `server` empty means the local server; ERROR_PRINTER_DRIVER_IN_USE while a printer uses it,
// ERROR_UNKNOWN_PRINTER_DRIVER when none is installed, ERROR_INVALID_ENVIRONMENT for an
// environment the system does not know.
inline constexpr DWORD ERROR_INVALID_ENVIRONMENT = 1805;
BOOL DeletePrinterDriverExA(const std::string& server, const std::string& environment,
                            const std::string& driverName, DWORD deleteFlags, DWORD versionFlag);
BOOL EnumPortsA(const std::string& server, DWORD level, std::vector<PORT_INFO_1A>* records,
                DWORD bufferSize, DWORD* needed, DWORD* returned);
BOOL AddPortExA(const std::string& server, DWORD level, const PORT_INFO_1A& port,
                const std::string& monitorName);
BOOL EnumJobsA(HANDLE printer, DWORD firstJob, DWORD count, DWORD level,
               std::vector<JOB_INFO_2A>* records, DWORD bufferSize, DWORD* needed, DWORD* returned);
BOOL SetJobA(HANDLE printer, DWORD jobId, DWORD level, DWORD command);
// The current user's default printer. `*size` is the buffer's length in characters with the
// terminating zero; too short fails with ERROR_INSUFFICIENT_BUFFER and `*size` set to the
// length needed. No default printer: ERROR_FILE_NOT_FOUND.
BOOL GetDefaultPrinterA(std::string* buffer, DWORD* size);

}  // namespace quellin::platform
