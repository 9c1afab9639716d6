// Processes and the shell. Web addresses go to the user interface's browser; the system tools
// of the sandbox are marker files ("quellin-sim:dism") that the shell maps to the project's
// emulator executables and starts as real child processes. A process handle is waited on
// through a thread that reaps the child and reads its 32-bit exit code from a pipe.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "platform/filesystem.h"
#include "platform/processes.h"
#include "platform/sim/control.h"
#include "platform/sim/emulator.h"
#include "platform/sim/handles.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/spool.h"
#include "platform/sim/strings.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/window.h"

extern char** environ;

namespace quellin::platform {

namespace {

namespace fs = std::filesystem;

constexpr DWORD ERROR_NO_ASSOCIATION = 1155;
constexpr DWORD ERROR_NOACCESS = 998;

void (*g_pump)() = nullptr;

struct ExitState {
    std::mutex mutex;
    std::condition_variable done;
    bool exited = false;
    DWORD code = STILL_ACTIVE;
};

struct ProcessObject : sim::Object {
    pid_t pid = 0;
    std::shared_ptr<ExitState> state;
};

bool IsWebAddress(const std::string& file) {
    std::string lower = win::LowerAnsi(file.substr(0, 8));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

bool IsAbsolute(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

// Where a test says the program was started from, for the sandbox it was said in.
struct ProgramPath {
    fs::path root;
    std::string path;
};
std::mutex g_programPathMutex;
ProgramPath g_programPath;

// Finds a program as the shell does: an absolute path as given, else the program's own folder
// (a zip unpacked in Downloads holds whatever else was downloaded there), the working folder,
// the system folder (as redirection shows it) and the Windows folder, adding ".exe" when the
// name has no extension.
std::optional<std::string> FindProgram(const std::string& file, const std::string& directory) {
    std::vector<std::string> names{file};
    if (file.find('.') == std::string::npos)
        names.push_back(file + ".exe");
    std::vector<std::string> candidates;
    for (const std::string& name : names) {
        if (IsAbsolute(name)) {
            candidates.push_back(name);
            continue;
        }
        candidates.push_back(win::FolderOf(GetModuleFileNameA()) + "\\" + name);
        if (IsAbsolute(directory))
            candidates.push_back(directory + "\\" + name);
        candidates.push_back("C:\\Windows\\System32\\" + name);
        candidates.push_back("C:\\Windows\\" + name);
    }
    for (const std::string& candidate : candidates) {
        DWORD attributes = GetFileAttributesA(candidate);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return candidate;
    }
    return std::nullopt;
}

std::string Marker(const std::string& windowsPath) {
    std::ifstream in(sim::HostPath(windowsPath), std::ios::binary);
    std::string line;
    std::getline(in, line);
    return line.rfind("quellin-sim:", 0) == 0 ? line.substr(12) : std::string();
}

fs::path EmulatorFolder() {
    if (const char* dir = std::getenv("QUELLIN_BIN_DIR"); dir && *dir)
        return dir;
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? fs::path(std::string(buffer, static_cast<std::size_t>(n))).parent_path()
                 : fs::path();
}

// Windows exit codes of a child that a signal ended.
DWORD SignalExitCode(int signal) {
    return signal == SIGSEGV ? 0xC0000005 : 0xC000013A;
}

void Reap(pid_t pid, int pipeRead, std::shared_ptr<ExitState> state) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::uint32_t reported = 0;
    ssize_t got = 0;
    while ((got = ::read(pipeRead, &reported, sizeof reported)) < 0 && errno == EINTR) {
    }
    ::close(pipeRead);
    DWORD code = got == sizeof reported ? reported
                 : WIFEXITED(status)    ? static_cast<DWORD>(WEXITSTATUS(status))
                                        : SignalExitCode(WTERMSIG(status));
    std::lock_guard lock(state->mutex);
    state->code = code;
    state->exited = true;
    state->done.notify_all();
}

// Starts an emulator; the child sees the sandbox, its Windows command line and where to
// report its exit code. Hidden tools write their console to the sandbox's console log.
HANDLE Spawn(const fs::path& program, const std::string& parameters, bool is32Bit, int show,
             std::int64_t launch) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    constexpr int kExitFd = 3;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], kExitFd);
    std::string console = (sim::SandboxRoot() / "console.log").string();
    if (show == SW_HIDE) {
        posix_spawn_file_actions_addopen(&actions, 1, console.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("QUELLIN_SANDBOX=", 0) != 0 && entry.rfind("QUELLIN_EXIT_FD=", 0) != 0 &&
            entry.rfind("QUELLIN_WOW64=", 0) != 0 && entry.rfind("QUELLIN_LAUNCH_ID=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("QUELLIN_SANDBOX=" + sim::SandboxRoot().string());
    env.push_back("QUELLIN_EXIT_FD=" + std::to_string(kExitFd));
    if (is32Bit)
        env.push_back("QUELLIN_WOW64=1");
    env.push_back("QUELLIN_LAUNCH_ID=" + std::to_string(launch));
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string path = program.string();
    std::string flag = "--cmdline";
    std::string commandLine = parameters;
    char* argv[] = {path.data(), flag.data(), commandLine.data(), nullptr};
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto process = std::make_unique<ProcessObject>();
    process->pid = pid;
    process->state = std::make_shared<ExitState>();
    std::thread(Reap, pid, fds[0], process->state).detach();
    return static_cast<HANDLE>(sim::RegisterObject(std::move(process)));
}

}  // namespace

namespace {

// The Windows path of a process's executable; the programs run from the host drive, which the
// sandbox names Z:.
std::string ImageOf(pid_t pid) {
    char buffer[PATH_MAX];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path = "Z:";
    for (char c : win::Utf8ToAnsi(std::string(buffer, static_cast<std::size_t>(n))))
        path += c == '/' ? '\\' : c;
    return path;
}

struct OpenedProcess : sim::Object {
    pid_t pid = 0;
};

}  // namespace

std::string GetModuleFileNameA() {
    {
        const std::lock_guard lock(g_programPathMutex);
        if (!g_programPath.path.empty() && sim::SandboxIsOpen() &&
            g_programPath.root == sim::SandboxRoot())
            return g_programPath.path;
    }
    const std::string path = ImageOf(::getpid());
    return path.empty() ? "Z:\\quellin" : path;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
    if (access == 0 || processId == 0 || ImageOf(static_cast<pid_t>(processId)).empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto process = std::make_unique<OpenedProcess>();
    process->pid = static_cast<pid_t>(processId);
    return static_cast<HANDLE>(sim::RegisterObject(std::move(process)));
}

BOOL QueryFullProcessImageNameA(HANDLE process, DWORD flags, std::string* imageName) {
    auto* opened = sim::Lookup<OpenedProcess>(process);
    auto* started = sim::Lookup<ProcessObject>(process);
    const std::string image = opened    ? ImageOf(opened->pid)
                              : started ? ImageOf(started->pid)
                                        : std::string();
    if ((!opened && !started) || flags != 0 || !imageName) {
        SetLastError(opened || started ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return false;
    }
    if (image.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);  // the process has ended
        return false;
    }
    *imageName = image;
    return true;
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
    if (!sessionId || ImageOf(static_cast<pid_t>(processId)).empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    *sessionId = 1;  // the sandbox's one interactive session
    return true;
}

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info || info->cbSize != 60) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    info->hProcess = nullptr;
    const std::int64_t launch = sim::LogLaunch(info->lpVerb, info->lpFile, info->lpParameters,
                                               info->lpDirectory, info->nShow);
    if (sim::LoaderRefuses("ShellExecuteEx")) {
        sim::LogLaunchStart(launch, "", false, ERROR_BAD_EXE_FORMAT);
        return false;
    }
    std::string verb = win::LowerAnsi(info->lpVerb);
    if (IsWebAddress(info->lpFile)) {
        if (!verb.empty() && verb != "open") {
            SetLastError(ERROR_NO_ASSOCIATION);
            return false;
        }
        ui().OpenUrl(info->lpFile);
        return true;
    }
    if (!verb.empty() && verb != "open" && verb != "runas") {
        SetLastError(ERROR_NO_ASSOCIATION);
        return false;
    }
    std::optional<std::string> program = FindProgram(info->lpFile, info->lpDirectory);
    if (!program) {
        sim::LogLaunchStart(launch, "", false, ERROR_FILE_NOT_FOUND);
        // The shell's own box says so unless the caller asked for none.
        if ((info->fMask & SEE_MASK_FLAG_NO_UI) == 0)
            sim::ShellErrorBox(info->hwnd, "Windows cannot find '" + info->lpFile + "'.",
                               info->lpFile);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const std::string image = WindowsPathFromDialog(sim::HostPath(*program).string());
    const bool elevated = sim::TokenIsElevated();
    // An elevated administrator runs "runas" at once; anyone else would meet the consent
    // prompt, which the sandbox always answers with a refusal.
    if (verb == "runas" && !elevated) {
        sim::LogLaunchStart(launch, image, false, ERROR_CANCELLED);
        SetLastError(ERROR_CANCELLED);
        return false;
    }
    std::string marker = Marker(*program);
    const char* emulator = marker == "dism" || marker == "dism32" ? sim::kDismEmulator
                           : marker == "rundll32"                 ? sim::kRundll32Emulator
                                                                  : nullptr;
    if (!emulator) {
        std::cerr << "quellin sandbox: " << *program << " is not one of the sandbox's programs\n";
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    fs::path executable = EmulatorFolder() / emulator;
    if (::access(executable.c_str(), X_OK) != 0) {
        std::cerr << "quellin sandbox: emulator " << executable.string()
                  << " is missing; set QUELLIN_BIN_DIR to the build's bin folder\n";
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // Logged before the start, so that a quick tool's exit finds its entry.
    sim::LogLaunchStart(launch, image, elevated, ERROR_SUCCESS);
    HANDLE process = Spawn(executable, info->lpParameters, marker == "dism32", info->nShow, launch);
    if (!process) {
        sim::LogLaunchStart(launch, image, elevated, GetLastError());
        return false;
    }
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
        info->hProcess = process;
    else
        CloseHandle(process);
    SetLastError(ERROR_SUCCESS);
    return true;
}

HRESULT CoInitializeEx(DWORD) {
    // The sandbox's shell hands nothing to extensions; each thread's first call is S_OK.
    thread_local bool initialized = false;
    return std::exchange(initialized, true) ? 1 /* S_FALSE */ : 0;
}

void CoUninitialize() {}

HRESULT CoCreateGuid(GUID* guid) {
    if (!guid)
        return static_cast<HRESULT>(0x80070057);  // E_INVALIDARG
    // Random, with the version and variant bits of UuidCreate's random kind.
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t high, low;
    {
        std::lock_guard<std::mutex> lock(mutex);
        high = generator();
        low = generator();
    }
    guid->Data1 = static_cast<DWORD>(high >> 32);
    guid->Data2 = static_cast<WORD>(high >> 16);
    guid->Data3 = static_cast<WORD>((high & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = static_cast<BYTE>(low >> (56 - 8 * i));
    guid->Data4[0] = static_cast<BYTE>((guid->Data4[0] & 0x3F) | 0x80);
    return 0;
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
    if (ShellExecuteExA(&info))
        return 42;
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
            return 2;  // SE_ERR_FNF
        case ERROR_CANCELLED:
        case ERROR_ACCESS_DENIED:
            return 5;  // SE_ERR_ACCESSDENIED
        default:
            return 31;  // SE_ERR_NOASSOC
    }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* process = sim::Lookup<ProcessObject>(handle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::shared_ptr<ExitState> state = process->state;
    std::unique_lock lock(state->mutex);
    if (milliseconds == INFINITE) {
        state->done.wait(lock, [&] { return state->exited; });
        return WAIT_OBJECT_0;
    }
    bool exited = state->done.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                       [&] { return state->exited; });
    return exited ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL GetExitCodeProcess(HANDLE handle, DWORD* exitCode) {
    auto* process = sim::Lookup<ProcessObject>(handle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!exitCode) {
        SetLastError(ERROR_NOACCESS);
        return false;
    }
    std::lock_guard lock(process->state->mutex);
    *exitCode = process->state->code;
    return true;
}

void ProcessPendingMessages() {
    if (sim::LoaderRefuses("message pump"))
        return;
    if (g_pump)
        g_pump();
}

void SetMessagePump(void (*pump)()) {
    g_pump = pump;
}

namespace sim {

void SetProgramPath(const std::string& windowsPath) {
    const std::lock_guard lock(g_programPathMutex);
    g_programPath = {SandboxRoot(), windowsPath};
}

}  // namespace sim

}  // namespace quellin::platform
