// The contract on the sandbox: each test in a fresh temporary sandbox (a 32-bit program on
// 64-bit Windows, as the program usually runs); the helper is a child process of the host.
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "contract_env.h"
#include "platform/filesystem.h"
#include "platform/sim/sandbox.h"
#include "sandbox_fixture.h"

extern char** environ;

namespace quellin::platform::contract {

namespace {
std::unique_ptr<testsupport::ScopedSandbox> g_sandbox;
constexpr const char* kScratch = "C:\\Users\\User\\AppData\\Local\\Temp\\contract";
}  // namespace

// QUELLIN_CONTRACT_CODEPAGE=932 runs the contract in sandboxes of the Japanese code page.
void SetUpSystem() {
    sim::InitOptions options;
    const char* codePage = std::getenv("QUELLIN_CONTRACT_CODEPAGE");
    options.config.codePage = codePage && std::string(codePage) == "932" ? 932 : 1252;
    g_sandbox = std::make_unique<testsupport::ScopedSandbox>(options);
    win::CreateDirectoryA(kScratch);
}

void TearDownSystem() {
    g_sandbox.reset();
}

std::string ScratchFolder() {
    return kScratch;
}

std::string ScratchKey() {
    return "Software\\QuellinContract";
}

void PutFileNamedInUtf8(const std::string& folder, const std::string& utf8Name) {
    testsupport::WriteHostFile(g_sandbox->HostPath(folder) / utf8Name, "");
}

bool Is32BitOn64BitWindows() {
    return sim::Is64BitWindows();
}

ExitingProgram ProgramWithExitCode() {
    // The servicing tool refuses a command line it does not know with "bad syntax".
    return {"dism.exe", "/Quellin-No-Such-Option", 87};
}

win::DWORD RunHelper(const std::string& arguments) {
    const char* dir = std::getenv("QUELLIN_BIN_DIR");
    std::string program =
        (std::filesystem::path(dir ? dir : ".") / "quellin-contract-helper").string();
    std::string word = arguments.substr(0, arguments.find(' '));
    std::string rest = arguments.substr(arguments.find(' ') + 1);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("QUELLIN_SANDBOX=", 0) != 0)
            env.push_back(*e);
    }
    env.push_back("QUELLIN_SANDBOX=" + g_sandbox->root().string());
    std::vector<char*> envp;
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    char* argv[] = {program.data(), word.data(), rest.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return 0xFFFFFFFF;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? static_cast<win::DWORD>(WEXITSTATUS(status)) : 0xFFFFFFFF;
}

bool UnderWine() {
    return false;
}

bool ReportWineDifference(const char*) {
    return false;
}

}  // namespace quellin::platform::contract
