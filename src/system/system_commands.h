// The system commands through which the repair, uninstall, configuration and backup commands
// change the system: running programs, stopping and starting services, deleting folders,
// printers and drivers, and making sure a port exists. Each is a thin, synchronous layer over
// the Windows calls; none shows a message of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/types.h"

namespace quellin::system {

// Whether the shell may show its own error boxes for RunProcess and EmptyFolder: yes for the
// window, whose user answers them; no for unattended runs (quellin-cli, perhaps as SYSTEM in
// session 0, where a box nobody sees never returns): errors then come back as codes only.
void SetShellErrorUi(bool allowed);
bool ShellErrorUi();

// Starts `file` through the shell and, when `wait` is set, waits for it in 100 ms steps,
// processing pending window messages between them. Returns the exit code (as a signed 32-bit
// number), 0 when not waiting, -1 when the launch or the exit-code query fails.
std::int32_t RunProcess(const std::string& verb, const std::string& file,
                        const std::string& parameters, const std::string& directory, int show,
                        bool wait);

// Called between service polls, and every 50 ms while sleeping a wait hint, to repaint the
// caller's progress; pending window messages are processed after it.
using RepaintCallback = std::function<void()>;

// A pending service that shows no progress (same state, check point not rising) for this long
// is given up on, so that a hung service cannot freeze the program.
inline constexpr std::chrono::milliseconds kServiceNoProgressLimit{60000};

// Starts (stops) the service and polls it, sleeping the wait hint it reports, until it runs
// (is stopped), its status cannot be read, its check point goes backwards, or it makes no
// progress within `noProgressLimit`. True when the last status read shows the wanted state.
// A stop first stops the active services that depend on it, as "net stop /y" does, and the
// service's next start in this process starts them again (true only when all of them run).
bool StartServiceAndWait(const std::string& machine, const std::string& service,
                         const RepaintCallback& repaint = {},
                         std::chrono::milliseconds noProgressLimit = kServiceNoProgressLimit);
bool StopServiceAndWait(const std::string& machine, const std::string& service,
                        const RepaintCallback& repaint = {},
                        std::chrono::milliseconds noProgressLimit = kServiceNoProgressLimit);

// Deletes what `folder`\`mask` matches through one silent shell delete, without
// confirmation; folders too unless `includeSubfolders` is false. A missing folder is left
// alone. `owner` owns the shell's own error boxes.
void EmptyFolder(const std::string& folder, const std::string& mask, bool includeSubfolders,
                 win::HWND owner = 0);

// Deletes the folder's files and subfolders (read-only and system bits cleared first), then
// the folder. Names that begin with "." are left, and so is every folder that still holds
// something or that another process holds open without sharing deletion (a current
// directory): such a folder is emptied and stays. Links to folders are removed as links,
// never followed.
void DeleteFolderTree(const std::string& folder);

// A file's bytes through to its end. Nothing when it cannot be opened or read: GetLastError
// then tells why, and `*opened` which of the two failed.
std::optional<std::string> ReadWholeFile(const std::string& path, bool* opened = nullptr);

// Clears the read-only and system bits, keeping the others.
void ClearFileAttributes(const std::string& path);

// The Windows folder as the system knows it (GetSystemWindowsDirectoryA), never the "windir"
// variable: a user's own environment may set that for the elevated programs they start.
std::string GetWindowsFolder();

// The user's temp folder without its trailing backslash, and as the system gives it.
std::string GetTempFolder();
std::string GetTempPathText();

// Opens the printer with full access, deletes it and closes it; outcomes are not examined.
void DeletePrinterByName(const std::string& printerName);

// Enables the load-driver privilege, then deletes the driver (all versions, unused files) in
// the environments "Windows x64", "Windows IA64" and "Windows NT x86", in that order.
void DeletePrinterDrivers(const std::string& driverName);

// True when no port has exactly this name (letter case counts). Raises SystemError when the
// port list cannot be read.
bool IsPortMissing(const std::string& portName);

// Adds a "Local Port" port of this name when IsPortMissing says so.
void AddPortIfMissing(const std::string& portName);

}  // namespace quellin::system
