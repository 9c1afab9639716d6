#include <unistd.h>

#include <climits>

#include "platform/processes.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/strings.h"
#include "platform/ui.h"

namespace win {

namespace {
void (*g_pump)() = nullptr;

bool IsWebAddress(const std::string& file) {
    std::string lower = sim::ToLower(file.substr(0, 8));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}
}  // namespace

std::string GetModuleFileNameA() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string host = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "/quellin";
    // The program runs from the host drive, which the sandbox names Z:.
    std::string path = "Z:";
    for (char c : host)
        path += c == '/' ? '\\' : c;
    return path;
}

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info || info->cbSize != 60) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    sim::LogLaunch(info->lpVerb, info->lpFile, info->lpParameters, info->lpDirectory, info->nShow);
    if (IsWebAddress(info->lpFile)) {
        ui().OpenUrl(info->lpFile);
        info->hProcess = nullptr;
        return true;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

std::intptr_t ShellExecuteA(HWND owner, const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory, int show) {
    SHELLEXECUTEINFOA info;
    info.hwnd = owner;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show;
    if (ShellExecuteExA(&info)) {
        if (info.hProcess)
            CloseHandle(info.hProcess);
        return 42;
    }
    return GetLastError() == ERROR_FILE_NOT_FOUND ? 2 : 31;  // SE_ERR_NOASSOC
}

DWORD WaitForSingleObject(HANDLE, DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

BOOL GetExitCodeProcess(HANDLE, DWORD*) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

int SHFileOperationA(SHFILEOPSTRUCTA*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return static_cast<int>(ERROR_NOT_SUPPORTED);
}

void ProcessPendingMessages() {
    if (g_pump)
        g_pump();
}

void SetMessagePump(void (*pump)()) {
    g_pump = pump;
}

}  // namespace win
