#include "system/system_commands.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "platform/filesystem.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/text.h"
#include "system/admin.h"
#include "system/errors.h"

namespace quellin::system {

namespace {

constexpr platform::DWORD kProcessPollMs = 100;
constexpr platform::DWORD kReadOnly = platform::FILE_ATTRIBUTE_READONLY;
constexpr platform::DWORD kSystem = platform::FILE_ATTRIBUTE_SYSTEM;

void Repaint(const RepaintCallback& repaint) {
    if (repaint)
        repaint();
    platform::ProcessPendingMessages();
}

// Sleeps `total` in short slices, repainting and processing messages between them, so that a
// long wait hint (a stopping spooler hints 20 s) does not freeze the windows meanwhile.
void SleepRepainting(std::chrono::steady_clock::duration total, const RepaintCallback& repaint) {
    constexpr std::chrono::milliseconds kSlice{50};
    const auto end = std::chrono::steady_clock::now() + total;
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kSlice, end - now));
        if (std::chrono::steady_clock::now() < end)
            Repaint(repaint);
    }
}

// The common loop of StartServiceAndWait and StopServiceAndWait.
bool ChangeServiceAndWait(const std::string& machine, const std::string& name, bool start,
                          const RepaintCallback& repaint,
                          std::chrono::milliseconds noProgressLimit) {
    const platform::DWORD wanted = start ? platform::SERVICE_RUNNING : platform::SERVICE_STOPPED;
    platform::UniqueScHandle manager(
        platform::OpenSCManagerA(machine, "", platform::SC_MANAGER_CONNECT));
    if (!manager)
        return false;
    const platform::DWORD access =
        platform::SERVICE_QUERY_STATUS | (start ? platform::SERVICE_START : platform::SERVICE_STOP);
    platform::UniqueScHandle service(platform::OpenServiceA(manager.get(), name, access));
    if (!service)
        return false;

    platform::SERVICE_STATUS status;
    bool seen = false;
    bool requested =
        start ? platform::StartServiceA(service.get())
              : platform::ControlService(service.get(), platform::SERVICE_CONTROL_STOP, &status);
    if (requested && platform::QueryServiceStatus(service.get(), &status)) {
        seen = true;
        using Clock = std::chrono::steady_clock;
        Clock::time_point lastProgress = Clock::now();
        while (status.dwCurrentState != wanted) {
            const platform::DWORD checkPoint = status.dwCheckPoint;
            const platform::DWORD state = status.dwCurrentState;
            Repaint(repaint);
            // The service's own hint, unscaled: that is how long it asked to be left alone.
            // Only the no-progress limit cuts it short, so a hung service that hints hours
            // is still given up on in time.
            const auto giveUp = lastProgress + noProgressLimit;
            const auto now = Clock::now();
            SleepRepainting(std::min<std::chrono::steady_clock::duration>(
                                std::chrono::milliseconds(status.dwWaitHint),
                                giveUp > now ? giveUp - now : Clock::duration::zero()),
                            repaint);
            Repaint(repaint);
            if (!platform::QueryServiceStatus(service.get(), &status)) {
                seen = false;
                break;
            }
            Repaint(repaint);
            if (status.dwCheckPoint < checkPoint)
                break;
            if (status.dwCheckPoint > checkPoint || status.dwCurrentState != state)
                lastProgress = Clock::now();
            else if (Clock::now() - lastProgress >= noProgressLimit)
                break;
            Repaint(repaint);
        }
    }
    Repaint(repaint);
    return seen && status.dwCurrentState == wanted;
}

bool IsDotName(const std::string& name) {
    return !name.empty() && name[0] == '.';
}

}  // namespace

std::int32_t RunProcess(const std::string& verb, const std::string& file,
                        const std::string& parameters, const std::string& directory, int show,
                        bool wait) {
    platform::SHELLEXECUTEINFOA info;
    info.cbSize = 60;
    info.fMask = platform::SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = 0;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show & 0xFFFF;
    if (!platform::ShellExecuteExA(&info))
        return -1;
    platform::UniqueHandle process(info.hProcess);
    if (!wait)
        return 0;
    while (platform::WaitForSingleObject(process.get(), kProcessPollMs) == platform::WAIT_TIMEOUT)
        platform::ProcessPendingMessages();
    platform::DWORD exitCode = 0;
    if (!platform::GetExitCodeProcess(process.get(), &exitCode))
        return -1;
    return static_cast<std::int32_t>(exitCode);
}

bool StartServiceAndWait(const std::string& machine, const std::string& service,
                         const RepaintCallback& repaint,
                         std::chrono::milliseconds noProgressLimit) {
    return ChangeServiceAndWait(machine, service, true, repaint, noProgressLimit);
}

bool StopServiceAndWait(const std::string& machine, const std::string& service,
                        const RepaintCallback& repaint, std::chrono::milliseconds noProgressLimit) {
    return ChangeServiceAndWait(machine, service, false, repaint, noProgressLimit);
}

void EmptyFolder(const std::string& folder, const std::string& mask, bool includeSubfolders,
                 platform::HWND owner) {
    platform::DWORD attributes = platform::GetFileAttributesA(folder);
    if (attributes == platform::INVALID_FILE_ATTRIBUTES ||
        (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return;
    }
    platform::SHFILEOPSTRUCTA operation;
    operation.hwnd = owner;
    operation.wFunc = platform::FO_DELETE;
    operation.pFrom = folder + "\\" + mask;
    operation.pFrom.append(2, '\0');
    operation.fFlags = platform::FOF_NOCONFIRMATION | platform::FOF_SILENT;
    if (!includeSubfolders)
        operation.fFlags |= platform::FOF_FILESONLY;
    platform::SHFileOperationA(&operation);
}

namespace {

constexpr platform::DWORD kOpenItself =
    platform::FILE_FLAG_BACKUP_SEMANTICS | platform::FILE_FLAG_OPEN_REPARSE_POINT;
constexpr platform::DWORD kShareAll =
    platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE;

// Opens what `path` names itself, never what a link there leads to.
platform::UniqueFileHandle OpenItself(const std::string& path, platform::DWORD access) {
    return platform::UniqueFileHandle(
        platform::CreateFileA(path, access | platform::FILE_READ_ATTRIBUTES | platform::SYNCHRONIZE,
                              kShareAll, platform::OPEN_EXISTING, kOpenItself));
}

// Read-only and system bits off, through the handle.
void ClearAttributesOf(platform::HANDLE item, platform::DWORD attributes) {
    if ((attributes & (kReadOnly | kSystem)) == 0)
        return;
    platform::FILE_BASIC_INFO basic;
    basic.FileAttributes = attributes & ~(kReadOnly | kSystem);
    if (basic.FileAttributes == 0)
        basic.FileAttributes = platform::FILE_ATTRIBUTE_NORMAL;
    platform::SetFileInformationByHandle(item, basic);
}

bool MarkForDeletion(platform::HANDLE item) {
    platform::FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = true;
    return platform::SetFileInformationByHandle(item, disposition);
}

std::vector<platform::FILE_ID_BOTH_DIR_INFO> ListThrough(platform::HANDLE folder) {
    std::vector<platform::FILE_ID_BOTH_DIR_INFO> all, batch;
    for (auto infoClass = platform::FileIdBothDirectoryRestartInfo;
         platform::GetFileInformationByHandleEx(folder, infoClass, &batch);
         infoClass = platform::FileIdBothDirectoryInfo) {
        all.insert(all.end(), batch.begin(), batch.end());
    }
    return all;
}

// Deletes what the open folder `folder` (whose path is `base`, ending in a backslash) holds.
// Each entry is listed through the folder's handle, then opened by path as itself and acted on
// only when it is the object that was listed: a folder or file swapped for a link in between
// (or a parent swapped, so that the path leads elsewhere) shows another identity and is left.
// A link is deleted as a link; only real folders are descended into.
void DeleteContents(platform::HANDLE folder, const std::string& base, platform::DWORD volume) {
    for (const platform::FILE_ID_BOTH_DIR_INFO& entry : ListThrough(folder)) {
        if (IsDotName(entry.FileName))
            continue;
        const std::string path = base + entry.FileName;
        const bool isFolder = (entry.FileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
        platform::UniqueFileHandle item =
            OpenItself(path, platform::DELETE | platform::FILE_WRITE_ATTRIBUTES |
                                 (isFolder ? platform::FILE_LIST_DIRECTORY : 0));
        platform::BY_HANDLE_FILE_INFORMATION info;
        if (!item || !platform::GetFileInformationByHandle(item.get(), &info) ||
            info.nFileIndex != entry.FileId || info.dwVolumeSerialNumber != volume) {
            continue;
        }
        const bool link = (info.dwFileAttributes & platform::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if ((info.dwFileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0 && !link)
            DeleteContents(item.get(), path + "\\", volume);
        ClearAttributesOf(item.get(), info.dwFileAttributes);
        MarkForDeletion(item.get());
    }
}

}  // namespace

void DeleteFolderTree(const std::string& folder) {
    const std::string base = platform::EndsWithBackslash(folder) ? folder : folder + "\\";
    platform::UniqueFileHandle root = OpenItself(base.substr(0, base.size() - 1),
                                                 platform::DELETE | platform::FILE_LIST_DIRECTORY);
    platform::BY_HANDLE_FILE_INFORMATION info;
    if (!root || !platform::GetFileInformationByHandle(root.get(), &info) ||
        (info.dwFileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return;
    }
    // A link in the folder's place is removed as a link: what it leads to is not this tree.
    if ((info.dwFileAttributes & platform::FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        DeleteContents(root.get(), base, info.dwVolumeSerialNumber);
    MarkForDeletion(root.get());
}

std::optional<std::string> ReadWholeFile(const std::string& path, bool* opened) {
    platform::UniqueFileHandle file(
        platform::CreateFileA(path, platform::GENERIC_READ, platform::FILE_SHARE_READ,
                              platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL));
    if (opened)
        *opened = static_cast<bool>(file);
    if (!file)
        return std::nullopt;
    std::string bytes;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        platform::DWORD read = 0;
        if (!platform::ReadFile(file.get(), buffer.data(),
                                static_cast<platform::DWORD>(buffer.size()), &read)) {
            // Closing the handle must not hide why the read failed.
            const platform::DWORD error = platform::GetLastError();
            file.reset();
            platform::SetLastError(error);
            return std::nullopt;
        }
        if (read == 0)
            return bytes;
        bytes.append(buffer.data(), read);
    }
}

void ClearFileAttributes(const std::string& path) {
    platform::DWORD attributes = platform::GetFileAttributesA(path);
    if (attributes == platform::INVALID_FILE_ATTRIBUTES)
        return;
    platform::SetFileAttributesA(path, attributes & ~(kReadOnly | kSystem));
}

std::string GetWindowsFolder() {
    constexpr platform::DWORD kBuffer = 260;
    std::string path;
    const platform::DWORD length = platform::GetSystemWindowsDirectoryA(&path, kBuffer);
    return length > 0 && length < kBuffer ? path : std::string();
}

std::string GetTempPathText() {
    std::string path;
    platform::DWORD length = platform::GetTempPathA(255, &path);
    return length > 0 && length < 255 ? path : std::string();
}

std::string GetTempFolder() {
    std::string path = GetTempPathText();
    if (platform::EndsWithBackslash(path))
        path.pop_back();
    return path;
}

void DeletePrinterByName(const std::string& printerName) {
    platform::PRINTER_DEFAULTSA defaults;
    defaults.DesiredAccess = platform::PRINTER_ALL_ACCESS;
    platform::UniquePrinter printer;
    if (!platform::OpenPrinterA(printerName, printer.put(), &defaults))
        return;
    platform::DeletePrinter(printer.get());
}

void DeletePrinterDrivers(const std::string& driverName) {
    EnableLoadDriverPrivilege();
    for (const char* environment : {"Windows x64", "Windows IA64", "Windows NT x86"}) {
        platform::DeletePrinterDriverExA("", environment, driverName,
                                         platform::DPD_DELETE_UNUSED_FILES, 3);
    }
}

bool IsPortMissing(const std::string& portName) {
    platform::DWORD needed = 0, returned = 0;
    platform::EnumPortsA("", 1, nullptr, 0, &needed, &returned);
    std::vector<platform::PORT_INFO_1A> ports;
    if (!platform::EnumPortsA("", 1, &ports, needed, &needed, &returned))
        RaiseLastOSError();
    for (platform::DWORD i = 0; i < returned && i < ports.size(); ++i) {
        if (ports[i].pName == portName)
            return false;
    }
    return true;
}

void AddPortIfMissing(const std::string& portName) {
    if (!IsPortMissing(portName))
        return;
    platform::PORT_INFO_1A port;
    port.pName = portName;
    platform::AddPortExA("", 1, port, "Local Port");
}

}  // namespace quellin::system
