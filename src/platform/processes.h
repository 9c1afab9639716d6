// Processes and the shell: starting programs and addresses, waiting for them, shell deletes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace quellin::platform {

inline constexpr DWORD SEE_MASK_NOCLOSEPROCESS = 0x40;
inline constexpr DWORD SEE_MASK_FLAG_NO_UI = 0x400;  // errors are returned, never shown
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 0x102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD STILL_ACTIVE = 259;

struct SHELLEXECUTEINFOA {
    DWORD cbSize = 60;
    DWORD fMask = 0;
    HWND hwnd = 0;
    std::string lpVerb;
    std::string lpFile;
    std::string lpParameters;
    std::string lpDirectory;
    int nShow = 0;
    HANDLE hProcess = nullptr;  // out, with SEE_MASK_NOCLOSEPROCESS
};

// Starts a program or opens a document or web address. Fails (last error ERROR_CANCELLED)
// when the user refuses the elevation that the verb "runas" asks for.
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);

// Returns a value greater than 32 on success, as the HINSTANCE of ShellExecuteA.
std::intptr_t ShellExecuteA(HWND owner, const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory, int show);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);

// Full path of the running executable, as GetModuleFileNameA(nullptr, ...): the path it was
// started through, which may hold 8.3 aliases or another letter case than the file's own.
std::string GetModuleFileNameA();

inline constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;

DWORD GetCurrentProcessId();
// A handle to another process; ERROR_INVALID_PARAMETER when there is no such process.
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
// The full Win32 path of the process's executable (flags 0).
BOOL QueryFullProcessImageNameA(HANDLE process, DWORD flags, std::string* imageName);
// The Remote Desktop session the process runs in.
BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId);

inline constexpr DWORD FO_DELETE = 3;
inline constexpr WORD FOF_SILENT = 0x4;
inline constexpr WORD FOF_NOCONFIRMATION = 0x10;
inline constexpr WORD FOF_ALLOWUNDO = 0x40;
inline constexpr WORD FOF_FILESONLY = 0x80;
inline constexpr WORD FOF_NOERRORUI = 0x400;

struct SHFILEOPSTRUCTA {
    HWND hwnd = 0;
    DWORD wFunc = 0;
    std::string pFrom;  // one or more paths, each ended by a zero, the list by a second zero
    std::string pTo;
    WORD fFlags = 0;
    BOOL fAnyOperationsAborted = false;
};

// Returns 0 on success, else an error code.
int SHFileOperationA(SHFILEOPSTRUCTA* operation);

// COM on the calling thread, which ShellExecuteEx needs when it hands a start to a shell
// extension. S_OK, S_FALSE (already so) or RPC_E_CHANGED_MODE (another apartment kind).
using HRESULT = std::int32_t;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
HRESULT CoInitializeEx(DWORD coInit);
// Once for each CoInitializeEx that returned S_OK or S_FALSE.
void CoUninitialize();

// A 128-bit id that no other call, here or on another computer, returns (UuidCreate's random
// kind); needs no CoInitializeEx. S_OK, or the error of UuidCreate as an HRESULT;
// E_INVALIDARG (0x80070057) for no GUID to fill.
struct GUID {
    DWORD Data1 = 0;
    WORD Data2 = 0, Data3 = 0;
    BYTE Data4[8] = {};
};
HRESULT CoCreateGuid(GUID* guid);

// Dispatches the calling thread's pending window messages (what a wait loop does between
// polls). The program installs its own pump; without one this does nothing.
void ProcessPendingMessages();
void SetMessagePump(void (*pump)());

}  // namespace quellin::platform
