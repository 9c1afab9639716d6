// The contract on Windows (and under Wine): each test in a fresh scratch folder under the
// user's temp folder and a fresh key under HKEY_CURRENT_USER; the helper is started through
// the shell from the folder of the test program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "contract_env.h"
#include "platform/dates.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/libraries.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/text.h"
#include "platform/window.h"

namespace quellin::platform::contract {

namespace {

std::string g_scratch;
std::string g_key;
int g_counter = 0;

void RemoveTree(const std::string& folder) {
    win::WIN32_FIND_DATAA data;
    {
        win::UniqueFindHandle find(win::FindFirstFileA(folder + "\\*", &data));
        for (bool more = find.valid(); more; more = win::FindNextFileA(find.get(), &data)) {
            if (data.cFileName == "." || data.cFileName == "..")
                continue;
            const std::string path = folder + "\\" + data.cFileName;
            win::SetFileAttributesA(path, win::FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                win::DeleteFileA(path);
        }
    }
    win::RemoveDirectoryA(folder);
}

std::string OwnFolder() {
    std::string self = win::GetModuleFileNameA();
    return self.substr(0, self.rfind('\\'));
}

}  // namespace

void SetUpSystem() {
    std::string temp;
    win::GetTempPathA(win::GetTempPathA(0, &temp), &temp);
    const std::string unique = std::to_string(static_cast<unsigned long>(win::GetTickCount())) +
                               "-" + std::to_string(++g_counter);
    g_scratch = temp + "quellin-contract-" + unique;
    win::CreateDirectoryA(g_scratch);
    g_key = "Software\\QuellinContract\\" + unique;
}

void TearDownSystem() {
    RemoveTree(g_scratch);
    win::RegDeleteTreeA(win::HKEY_CURRENT_USER, g_key);
    win::RegDeleteKeyExA(win::HKEY_CURRENT_USER, g_key, 0);
}

std::string ScratchFolder() {
    return g_scratch;
}

std::string ScratchKey() {
    return g_key;
}

bool Is32BitOn64BitWindows() {
    using Fn = win::IsWow64ProcessFn;
    auto isWow64 = reinterpret_cast<Fn>(
        win::GetProcAddress(win::GetModuleHandleA("kernel32.dll"), "IsWow64Process"));
    win::BOOL wow64 = false;
    return isWow64 && isWow64(win::GetCurrentProcess(), &wow64) && wow64;
}

ExitingProgram ProgramWithExitCode() {
    // The command processor ends with the code its "exit" names.
    std::string windir;
    win::GetEnvironmentVariableA("windir", &windir);
    return {windir + "\\System32\\cmd.exe", "/c exit 42", 42};
}

win::DWORD RunHelper(const std::string& arguments) {
    win::SHELLEXECUTEINFOA info;
    info.fMask = win::SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = OwnFolder() + "\\quellin-contract-helper.exe";
    info.lpParameters = arguments.substr(0, arguments.find(' ')) + " \"" +
                        arguments.substr(arguments.find(' ') + 1) + "\"";
    info.nShow = win::SW_HIDE;
    if (!win::ShellExecuteExA(&info))
        return 0xFFFFFFFF;
    win::UniqueHandle process(info.hProcess);
    win::WaitForSingleObject(process.get(), win::INFINITE);
    win::DWORD code = 0xFFFFFFFF;
    win::GetExitCodeProcess(process.get(), &code);
    return code;
}

bool UnderWine() {
    static const bool wine =
        win::GetProcAddress(win::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool ReportWineDifference(const char* what) {
    if (!UnderWine())
        return false;
    std::printf("[ WINE     ] check skipped, Wine differs from Windows: %s\n", what);
    ::testing::Test::RecordProperty("wine_differs", what);
    return true;
}

}  // namespace quellin::platform::contract

// Last: the macros of <windows.h> would rewrite the layer's names above.
#include "platform/win32/windows_api.h"

namespace quellin::platform::contract {

void PutFileNamedInUtf8(const std::string& folder, const std::string& utf8Name) {
    const std::u16string wide = win::Utf8ToWide(win::AnsiToUtf8(folder) + "\\" + utf8Name);
    const std::wstring path(wide.begin(), wide.end());
    ::CloseHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace quellin::platform::contract
