#include <map>

#include "platform/sim/handles.h"
#include "platform/types.h"

namespace quellin::platform {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD code) {
    t_lastError = code;
}

std::string FormatSystemMessage(DWORD code) {
    static const std::map<DWORD, const char*> texts = {
        {ERROR_SUCCESS, "The operation completed successfully."},
        {ERROR_INVALID_FUNCTION, "Incorrect function."},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NOT_ENOUGH_MEMORY,
         "Not enough memory resources are available to process this command."},
        {ERROR_INVALID_DATA, "The data is invalid."},
        {ERROR_NO_MORE_FILES, "There are no more files."},
        {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
        {ERROR_SHARING_VIOLATION,
         "The process cannot access the file because it is being used by another process."},
        {ERROR_HANDLE_EOF, "Reached the end of the file."},
        {ERROR_NOT_SUPPORTED, "The request is not supported."},
        {ERROR_FILE_EXISTS, "The file exists."},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
        {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
        {ERROR_INVALID_LEVEL, "The system call level is not correct."},
        {126, "The specified module could not be found."},
        {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."},
        {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application."},
        {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
        {203, "The system could not find the environment option that was entered."},
        {ERROR_MORE_DATA, "More data is available."},
        {ERROR_NO_MORE_ITEMS, "No more data is available."},
        {ERROR_ELEVATION_REQUIRED, "The requested operation requires elevation."},
        {ERROR_NO_TOKEN, "An attempt was made to reference a token that does not exist."},
        {ERROR_BADDB, "The configuration registry database is corrupt."},
        {ERROR_REGISTRY_CORRUPT,
         "The registry is corrupted. The structure of one of the files containing registry data "
         "is corrupted, or the system's memory image of the file is corrupted, or the file could "
         "not be recovered because the alternate copy or log was absent or corrupted."},
        {ERROR_KEY_DELETED,
         "Illegal operation attempted on a registry key that has been marked for deletion."},
        {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service."},
        {ERROR_SERVICE_REQUEST_TIMEOUT,
         "The service did not respond to the start or control request in a timely fashion."},
        {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
        {ERROR_DEPENDENT_SERVICES_RUNNING,
         "A stop control has been sent to a service that other running services are dependent "
         "on."},
        {ERROR_SERVICE_DOES_NOT_EXIST,
         "The specified service does not exist as an installed service."},
        {ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
         "The service cannot accept control messages at this time."},
        {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started."},
        {ERROR_CANCELLED, "The operation was canceled by the user."},
        {ERROR_NOT_ALL_ASSIGNED,
         "Not all privileges or groups referenced are assigned to the caller."},
        {ERROR_NO_SUCH_PRIVILEGE, "A specified privilege does not exist."},
        {ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client."},
        {1400, "Invalid window handle."},
        {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
        {ERROR_UNKNOWN_PORT, "The specified port is unknown."},
        {ERROR_UNKNOWN_PRINTER_DRIVER, "The printer driver is unknown."},
        {ERROR_INVALID_PRINTER_NAME, "The printer name is invalid."},
        {ERROR_PRINTER_ALREADY_EXISTS, "The printer already exists."},
        {ERROR_INVALID_PRINTER_COMMAND, "The printer command is invalid."},
        {ERROR_PRINTER_DRIVER_IN_USE, "The specified printer driver is currently in use."},
    };
    auto it = texts.find(code);
    if (it != texts.end()) {
        return it->second;
    }
    return "System Error.  Code: " + std::to_string(code) + ".";
}

BOOL CloseHandle(HANDLE handle) {
    if (sim::ReleaseObject(handle)) {
        return true;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

}  // namespace quellin::platform
