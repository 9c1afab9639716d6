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
#include "platform/window.h"

namespace quellin::platform::contract {

namespace {

std::string g_scratch;
std::string g_key;
int g_counter = 0;

void RemoveTree(const std::string& folder) {
    platform::WIN32_FIND_DATAA data;
    {
        platform::UniqueFindHandle find(platform::FindFirstFileA(folder + "\\*", &data));
        for (bool more = find.valid(); more; more = platform::FindNextFileA(find.get(), &data)) {
            if (data.cFileName == "." || data.cFileName == "..")
                continue;
            const std::string path = folder + "\\" + data.cFileName;
            platform::SetFileAttributesA(path, platform::FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                platform::DeleteFileA(path);
        }
    }
    platform::RemoveDirectoryA(folder);
}

std::string OwnFolder() {
    std::string self = platform::GetModuleFileNameA();
    return self.substr(0, self.rfind('\\'));
}

}  // namespace

void SetUpSystem() {
    std::string temp;
    platform::GetTempPathA(platform::GetTempPathA(0, &temp), &temp);
    const std::string unique =
        std::to_string(static_cast<unsigned long>(platform::GetTickCount())) + "-" +
        std::to_string(++g_counter);
    g_scratch = temp + "quellin-contract-" + unique;
    platform::CreateDirectoryA(g_scratch);
    g_key = "Software\\QuellinContract\\" + unique;
}

void TearDownSystem() {
    RemoveTree(g_scratch);
    platform::RegDeleteTreeA(platform::HKEY_CURRENT_USER, g_key);
    platform::RegDeleteKeyExA(platform::HKEY_CURRENT_USER, g_key, 0);
}

std::string ScratchFolder() {
    return g_scratch;
}

std::string ScratchKey() {
    return g_key;
}

bool Is32BitOn64BitWindows() {
    using Fn = platform::IsWow64ProcessFn;
    auto isWow64 = reinterpret_cast<Fn>(
        platform::GetProcAddress(platform::GetModuleHandleA("kernel32.dll"), "IsWow64Process"));
    platform::BOOL wow64 = false;
    return isWow64 && isWow64(platform::GetCurrentProcess(), &wow64) && wow64;
}

ExitingProgram ProgramWithExitCode() {
    // The command processor ends with the code its "exit" names.
    std::string windir;
    platform::GetEnvironmentVariableA("windir", &windir);
    return {windir + "\\System32\\cmd.exe", "/c exit 42", 42};
}

platform::DWORD RunHelper(const std::string& arguments) {
    platform::SHELLEXECUTEINFOA info;
    info.fMask = platform::SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = OwnFolder() + "\\quellin-contract-helper.exe";
    info.lpParameters = arguments.substr(0, arguments.find(' ')) + " \"" +
                        arguments.substr(arguments.find(' ') + 1) + "\"";
    info.nShow = platform::SW_HIDE;
    if (!platform::ShellExecuteExA(&info))
        return 0xFFFFFFFF;
    platform::UniqueHandle process(info.hProcess);
    platform::WaitForSingleObject(process.get(), platform::INFINITE);
    platform::DWORD code = 0xFFFFFFFF;
    platform::GetExitCodeProcess(process.get(), &code);
    return code;
}

bool UnderWine() {
    static const bool wine = platform::GetProcAddress(platform::GetModuleHandleA("ntdll.dll"),
                                                      "wine_get_version") != nullptr;
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
