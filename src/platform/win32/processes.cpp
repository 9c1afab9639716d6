#include "platform/processes.h"

#include <vector>

#include "platform/win32/windows_api.h"
// After windows.h, which the layer includes lean.
#include <objbase.h>

namespace quellin::platform {

namespace {

void (*g_pump)() = nullptr;

// The layer's structure is the 32-bit one; the system's has its own size on each bitness.
constexpr DWORD kLayerShellExecuteInfoSize = 60;

}  // namespace

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    ::SHELLEXECUTEINFOA real{};
    real.cbSize = info->cbSize == kLayerShellExecuteInfoSize ? sizeof real : info->cbSize;
    real.fMask = info->fMask;
    real.hwnd = native::Native(info->hwnd);
    real.lpVerb = native::OrNull(info->lpVerb);
    real.lpFile = info->lpFile.c_str();
    real.lpParameters = native::OrNull(info->lpParameters);
    real.lpDirectory = native::OrNull(info->lpDirectory);
    real.nShow = info->nShow;
    BOOL ok = ::ShellExecuteExA(&real) != FALSE;
    info->hProcess = ok ? native::Layer(real.hProcess) : nullptr;
    return ok;
}

std::intptr_t ShellExecuteA(HWND owner, const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory, int show) {
    return reinterpret_cast<std::intptr_t>(
        ::ShellExecuteA(native::Native(owner), native::OrNull(verb), file.c_str(),
                        native::OrNull(parameters), native::OrNull(directory), show));
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return ::WaitForSingleObject(native::Native(handle), milliseconds);
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    ::DWORD code = 0;
    if (!::GetExitCodeProcess(native::Native(process), &code))
        return false;
    if (exitCode)
        *exitCode = code;
    return true;
}

std::string GetModuleFileNameA() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        ::DWORD length =
            ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<::DWORD>(buffer.size()));
        if (length == 0)
            return std::string();
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

DWORD GetCurrentProcessId() {
    return ::GetCurrentProcessId();
}

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
    return native::Layer(::OpenProcess(access, inherit, processId));
}

BOOL QueryFullProcessImageNameA(HANDLE process, DWORD flags, std::string* imageName) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        ::DWORD length = static_cast<::DWORD>(buffer.size());
        if (::QueryFullProcessImageNameA(native::Native(process), flags, buffer.data(), &length)) {
            if (imageName)
                *imageName = std::string(buffer.data(), length);
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 32768)
            return false;
        buffer.resize(buffer.size() * 2);
    }
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
    ::DWORD session = 0;
    if (!::ProcessIdToSessionId(processId, &session))
        return false;
    if (sessionId)
        *sessionId = session;
    return true;
}

int SHFileOperationA(SHFILEOPSTRUCTA* operation) {
    if (!operation)
        return ERROR_INVALID_PARAMETER;
    // Both lists end with two zeros, whether or not the caller's string carries them.
    std::string from = operation->pFrom + std::string(2, '\0');
    std::string to = operation->pTo + std::string(2, '\0');
    ::SHFILEOPSTRUCTA real{};
    real.hwnd = native::Native(operation->hwnd);
    real.wFunc = operation->wFunc;
    real.pFrom = from.c_str();
    real.pTo = operation->pTo.empty() ? nullptr : to.c_str();
    real.fFlags = operation->fFlags;
    int result = ::SHFileOperationA(&real);
    operation->fAnyOperationsAborted = real.fAnyOperationsAborted != FALSE;
    return result;
}

HRESULT CoInitializeEx(DWORD coInit) {
    return ::CoInitializeEx(nullptr, coInit);
}

void CoUninitialize() {
    ::CoUninitialize();
}

HRESULT CoCreateGuid(GUID* guid) {
    if (!guid)
        return E_INVALIDARG;
    ::GUID made{};
    const HRESULT result = ::CoCreateGuid(&made);
    if (result == S_OK) {
        guid->Data1 = made.Data1;
        guid->Data2 = made.Data2;
        guid->Data3 = made.Data3;
        for (int i = 0; i < 8; ++i)
            guid->Data4[i] = made.Data4[i];
    }
    return result;
}

void ProcessPendingMessages() {
    if (g_pump)
        g_pump();
}

void SetMessagePump(void (*pump)()) {
    g_pump = pump;
}

}  // namespace quellin::platform
