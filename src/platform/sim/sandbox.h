// The simulated Windows: a folder holding drive C: as real files and, in SQLite, the registry,
// the spooler, the services and the settings of the machine. This is the control surface that
// tests and the sandbox tool use; the program itself only sees the win:: functions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/sim/db.h"
#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

struct Config {
    std::string arch = "x64-wow64";      // "x64-wow64": 32-bit program on 64-bit Windows; "x86"
    std::string user = "admin";          // "admin", "filtered-admin", "standard",
                                         // "system" (an administrator: LocalSystem)
    std::string date;                    // "YYYY-MM-DD", or empty for the real date
    std::string serviceTiming = "fast";  // "fast" or "realistic"
    bool legacyKernel = false;  // kernel32 without IsWow64Process and the redirection calls
    // The servicing tool leaves a feature's change pending until a restart, and exits 3010.
    bool servicingRestart = false;
    unsigned codePage = 1252;  // the ANSI code page: 1252 (Western) or 932 (Japanese)
};

struct InitOptions {
    Config config;
    bool pdfPrinter = true;  // seed "Microsoft Print to PDF" and its optional feature
};

// $QUELLIN_SANDBOX, else the user's data folder (~/.local/share/quellin/sandbox).
std::filesystem::path DefaultSandboxRoot();

// Makes `root` this process's sandbox, creating and seeding it first when it does not exist.
void OpenSandbox(const std::filesystem::path& root);
// Opens the default sandbox unless one is open already.
void EnsureSandbox();
// Arguments are in the code page of the machine a program runs on: opens the sandbox that a
// leading "--sandbox DIR" names, else the default one, when it exists and none is open.
void OpenSandboxOfCommandLine(int argc, char** argv);
// Creates or resets `root` and makes it this process's sandbox.
void InitSandbox(const std::filesystem::path& root, const InitOptions& options);
void CloseSandbox();
bool SandboxIsOpen();

const std::filesystem::path& SandboxRoot();
Db& db();

Config ReadConfig();
void WriteConfig(const Config& config);
bool Is64BitWindows();
// This process's image: 32-bit unless it declares itself a 64-bit program. A 32-bit image on
// 64-bit Windows runs under WOW64, which redirects System32 and HKLM\SOFTWARE.
void SetProcessImage64Bit(bool is64Bit);
bool IsWow64Process();

// The host file that a Windows path names, as the calling thread sees it now (redirection
// applied). Drive C: lives in the sandbox; drive Z: is the host's root, as in Wine. Throws
// std::invalid_argument for a path that names no drive.
std::filesystem::path HostPath(const std::string& windowsPath);
// The same without redirection, for the sandbox's own bookkeeping.
std::filesystem::path HostPathNative(const std::string& windowsPath);

// Counts the sandboxes this process has opened and closed: a handle kept from an earlier one
// takes no part in the open one's sharing.
std::uint64_t SandboxGeneration();

// The ANSI code page the text functions of platform/text.h use: the open sandbox's, else 1252.
void SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();

// Per-thread redirection state (true: a 32-bit program's System32 names SysWOW64).
bool RedirectionEnabled();
void SetRedirectionEnabled(bool enabled);

// The launch log: every program started and address opened through the shell. Returns the
// entry's number.
std::int64_t LogLaunch(const std::string& verb, const std::string& file,
                       const std::string& parameters, const std::string& directory, int show);
// What became of a launch: the program file the shell found (its Windows path as the system
// folder really is, so a redirected run names SysWOW64), whether it ran elevated, the error
// when it did not start (0 when it did); and, when it ends, the program's exit code.
void LogLaunchStart(std::int64_t launch, const std::string& image, bool elevated,
                    std::uint32_t error);
void LogLaunchExit(std::int64_t launch, std::uint32_t exitCode);

inline constexpr const char* kUserName = "User";
inline constexpr const char* kComputerName = "QUELLIN-PC";
inline constexpr const char* kTempFolder = "C:\\Users\\User\\AppData\\Local\\Temp";
// LocalSystem's own profile, and the temp folder its environment names.
inline constexpr const char* kSystemProfileFolder = "C:\\Windows\\System32\\config\\systemprofile";
inline constexpr const char* kSystemTempFolder = "C:\\Windows\\Temp";
// The temp folder of the account the sandbox runs as: the user's, or SYSTEM's.
const char* TempFolderOfAccount();

}  // namespace quellin::platform::sim
