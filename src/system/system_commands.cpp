#include "system/system_commands.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "audit/audit.h"
#include "platform/filesystem.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/text.h"
#include "system/admin.h"
#include "system/errors.h"

namespace quellin::system {

namespace {

constexpr win::DWORD kProcessPollMs = 100;
constexpr win::DWORD kReadOnly = win::FILE_ATTRIBUTE_READONLY;
constexpr win::DWORD kSystem = win::FILE_ATTRIBUTE_SYSTEM;

void Repaint(const RepaintCallback& repaint) {
    if (repaint)
        repaint();
    win::ProcessPendingMessages();
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
    const win::DWORD wanted = start ? win::SERVICE_RUNNING : win::SERVICE_STOPPED;
    win::UniqueScHandle manager(win::OpenSCManagerA(machine, "", win::SC_MANAGER_CONNECT));
    if (!manager)
        return false;
    const win::DWORD access =
        win::SERVICE_QUERY_STATUS | (start ? win::SERVICE_START : win::SERVICE_STOP);
    win::UniqueScHandle service(win::OpenServiceA(manager.get(), name, access));
    if (!service)
        return false;

    win::SERVICE_STATUS status;
    bool seen = false;
    bool requested = start ? win::StartServiceA(service.get())
                           : win::ControlService(service.get(), win::SERVICE_CONTROL_STOP, &status);
    const win::DWORD refusal = requested ? win::ERROR_SUCCESS : win::GetLastError();
    if (requested && win::QueryServiceStatus(service.get(), &status)) {
        seen = true;
        using Clock = std::chrono::steady_clock;
        Clock::time_point lastProgress = Clock::now();
        while (status.dwCurrentState != wanted) {
            const win::DWORD checkPoint = status.dwCheckPoint;
            const win::DWORD state = status.dwCurrentState;
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
            if (!win::QueryServiceStatus(service.get(), &status)) {
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
    const bool reached = seen && status.dwCurrentState == wanted;
    // A service already in the state asked for was not changed.
    if (reached)
        audit::Record(
            start ? audit::kServiceStarted : audit::kServiceStopped,
            (start ? "started the service " : "stopped the service ") + audit::Quoted(name));
    else if (refusal != win::ERROR_SERVICE_ALREADY_RUNNING &&
             refusal != win::ERROR_SERVICE_NOT_ACTIVE)
        audit::Record(audit::kServiceFailed,
                      std::string(start ? "could not start" : "could not stop") + " the service " +
                          audit::Quoted(name) +
                          (refusal ? ": " + win::FormatSystemMessage(refusal) : std::string()));
    return reached;
}

// The active services that depend on `service`, in the order to stop them. Nothing when there
// are none; nothing either when they cannot be listed, and the stop then meets Windows' own
// refusal (ERROR_DEPENDENT_SERVICES_RUNNING).
std::vector<std::string> ActiveDependents(const std::string& machine, const std::string& name) {
    win::UniqueScHandle manager(win::OpenSCManagerA(machine, "", win::SC_MANAGER_CONNECT));
    win::UniqueScHandle service(
        manager ? win::OpenServiceA(manager.get(), name, win::SERVICE_ENUMERATE_DEPENDENTS)
                : nullptr);
    std::vector<win::ENUM_SERVICE_STATUSA> records;
    win::DWORD needed = 0, returned = 0;
    if (!service || (!win::EnumDependentServicesA(service.get(), win::SERVICE_ACTIVE, &records, 0,
                                                  &needed, &returned) &&
                     (win::GetLastError() != win::ERROR_MORE_DATA ||
                      !win::EnumDependentServicesA(service.get(), win::SERVICE_ACTIVE, &records,
                                                   needed, &needed, &returned))))
        return {};
    std::vector<std::string> names;
    for (const win::ENUM_SERVICE_STATUSA& record : records)
        names.push_back(record.lpServiceName);
    return names;
}

// The dependents a stop took down, per service, for its next start to bring back.
std::mutex g_dependentsMutex;
std::map<std::string, std::vector<std::string>> g_stoppedDependents;

std::string DependentsKey(const std::string& machine, const std::string& service) {
    return win::UpperAnsi(machine) + "\\" + win::UpperAnsi(service);
}

bool IsDotName(const std::string& name) {
    return !name.empty() && name[0] == '.';
}

std::atomic<bool> g_shellErrorUi{true};

}  // namespace

void SetShellErrorUi(bool allowed) {
    g_shellErrorUi = allowed;
}

bool ShellErrorUi() {
    return g_shellErrorUi;
}

std::int32_t RunProcess(const std::string& verb, const std::string& file,
                        const std::string& parameters, const std::string& directory, int show,
                        bool wait) {
    win::SHELLEXECUTEINFOA info;
    info.cbSize = 60;
    info.fMask = win::SEE_MASK_NOCLOSEPROCESS | (ShellErrorUi() ? 0 : win::SEE_MASK_FLAG_NO_UI);
    info.hwnd = 0;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show & 0xFFFF;
    // The program runs with this process's administrator rights (the verb asks for them).
    const std::string what = audit::Quoted(file) + (parameters.empty() ? "" : " " + parameters);
    if (!win::ShellExecuteExA(&info)) {
        audit::Record(audit::kProgramFailed, "could not start " + what + ": " +
                                                 win::FormatSystemMessage(win::GetLastError()));
        return -1;
    }
    win::UniqueHandle process(info.hProcess);
    if (!wait) {
        audit::Record(audit::kProgramRun, "started " + what);
        return 0;
    }
    while (win::WaitForSingleObject(process.get(), kProcessPollMs) == win::WAIT_TIMEOUT)
        win::ProcessPendingMessages();
    win::DWORD exitCode = 0;
    if (!win::GetExitCodeProcess(process.get(), &exitCode)) {
        audit::Record(audit::kProgramRun, "ran " + what + ", its exit code unknown");
        return -1;
    }
    audit::Record(audit::kProgramRun, "ran " + what + ", exit code " +
                                          std::to_string(static_cast<std::int32_t>(exitCode)));
    return static_cast<std::int32_t>(exitCode);
}

bool StartServiceAndWait(const std::string& machine, const std::string& service,
                         const RepaintCallback& repaint,
                         std::chrono::milliseconds noProgressLimit) {
    if (!ChangeServiceAndWait(machine, service, true, repaint, noProgressLimit))
        return false;
    std::vector<std::string> dependents;
    {
        const std::lock_guard lock(g_dependentsMutex);
        dependents = std::move(g_stoppedDependents[DependentsKey(machine, service)]);
        g_stoppedDependents.erase(DependentsKey(machine, service));
    }
    // Started in the reverse order of their stop: what they depend on runs first.
    bool all = true;
    for (auto it = dependents.rbegin(); it != dependents.rend(); ++it)
        all = ChangeServiceAndWait(machine, *it, true, repaint, noProgressLimit) && all;
    return all;
}

bool StopServiceAndWait(const std::string& machine, const std::string& service,
                        const RepaintCallback& repaint, std::chrono::milliseconds noProgressLimit) {
    // As "net stop /y": the services that depend on it stop first, and its next start brings
    // them back.
    for (const std::string& dependent : ActiveDependents(machine, service)) {
        if (!ChangeServiceAndWait(machine, dependent, false, repaint, noProgressLimit))
            return false;
        const std::lock_guard lock(g_dependentsMutex);
        g_stoppedDependents[DependentsKey(machine, service)].push_back(dependent);
    }
    return ChangeServiceAndWait(machine, service, false, repaint, noProgressLimit);
}

void EmptyFolder(const std::string& folder, const std::string& mask, bool includeSubfolders,
                 win::HWND owner) {
    win::DWORD attributes = win::GetFileAttributesA(folder);
    if (attributes == win::INVALID_FILE_ATTRIBUTES ||
        (attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return;
    }
    win::SHFILEOPSTRUCTA operation;
    operation.hwnd = owner;
    operation.wFunc = win::FO_DELETE;
    operation.pFrom = folder + "\\" + mask;
    operation.pFrom.append(2, '\0');
    operation.fFlags = win::FOF_NOCONFIRMATION | win::FOF_SILENT;
    if (!ShellErrorUi())
        operation.fFlags |= win::FOF_NOERRORUI;
    if (!includeSubfolders)
        operation.fFlags |= win::FOF_FILESONLY;
    const int failed = win::SHFileOperationA(&operation);
    audit::Record(failed ? audit::kFileFailed : audit::kFolderEmptied,
                  (failed ? "could not empty " : "emptied ") + audit::Quoted(folder) +
                      (failed ? ", error " + std::to_string(failed) : std::string()));
}

namespace {

constexpr win::DWORD kOpenItself =
    win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT;
constexpr win::DWORD kShareAll =
    win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE;

// Opens what `path` names itself, never what a link there leads to.
win::UniqueFileHandle OpenItself(const std::string& path, win::DWORD access) {
    return win::UniqueFileHandle(
        win::CreateFileA(path, access | win::FILE_READ_ATTRIBUTES | win::SYNCHRONIZE, kShareAll,
                         win::OPEN_EXISTING, kOpenItself));
}

// Read-only and system bits off, through the handle.
void ClearAttributesOf(win::HANDLE item, win::DWORD attributes) {
    if ((attributes & (kReadOnly | kSystem)) == 0)
        return;
    win::FILE_BASIC_INFO basic;
    basic.FileAttributes = attributes & ~(kReadOnly | kSystem);
    if (basic.FileAttributes == 0)
        basic.FileAttributes = win::FILE_ATTRIBUTE_NORMAL;
    win::SetFileInformationByHandle(item, basic);
}

// With POSIX semantics the name goes at once, even while another program still holds the
// file, so that its folder can go too. Windows before 10 1709 and FAT volumes refuse the class
// with ERROR_INVALID_PARAMETER; the deletion then waits for the last handle.
bool MarkForDeletion(win::HANDLE item) {
    win::FILE_DISPOSITION_INFO_EX posix;
    posix.Flags = win::FILE_DISPOSITION_FLAG_DELETE | win::FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
    if (win::SetFileInformationByHandle(item, posix))
        return true;
    if (win::GetLastError() != win::ERROR_INVALID_PARAMETER)
        return false;
    win::FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = true;
    return win::SetFileInformationByHandle(item, disposition);
}

// Whether the handle names the object `id` on `volume`, and what it is.
bool IsObject(win::HANDLE item, std::uint64_t id, win::DWORD volume,
              win::BY_HANDLE_FILE_INFORMATION* info) {
    return item != win::INVALID_HANDLE_VALUE && win::GetFileInformationByHandle(item, info) &&
           info->nFileIndex == id && info->dwVolumeSerialNumber == volume;
}

// Removes what `path` names when it is still the object `id`. DELETE is asked for only here: a
// folder that another process holds open without sharing deletion (its current directory,
// say) refuses such an open, and stays.
void RemoveItself(const std::string& path, std::uint64_t id, win::DWORD volume) {
    win::UniqueFileHandle item = OpenItself(path, win::DELETE | win::FILE_WRITE_ATTRIBUTES);
    win::BY_HANDLE_FILE_INFORMATION info;
    if (!IsObject(item.get(), id, volume, &info))
        return;
    ClearAttributesOf(item.get(), info.dwFileAttributes);
    MarkForDeletion(item.get());
}

std::vector<win::FILE_ID_BOTH_DIR_INFO> ListThrough(win::HANDLE folder) {
    std::vector<win::FILE_ID_BOTH_DIR_INFO> all, batch;
    for (auto infoClass = win::FileIdBothDirectoryRestartInfo;
         win::GetFileInformationByHandleEx(folder, infoClass, &batch);
         infoClass = win::FileIdBothDirectoryInfo) {
        all.insert(all.end(), batch.begin(), batch.end());
    }
    return all;
}

// Deletes what the open folder `folder` (whose path is `base`, ending in a backslash) holds.
// Each entry is listed through the folder's handle, then opened by path as itself and acted on
// only when it is the object that was listed: a folder or file swapped for a link in between
// (or a parent swapped, so that the path leads elsewhere) shows another identity and is left.
// A link is deleted as a link; only real folders are descended into.
void DeleteContents(win::HANDLE folder, const std::string& base, win::DWORD volume) {
    for (const win::FILE_ID_BOTH_DIR_INFO& entry : ListThrough(folder)) {
        if (IsDotName(entry.FileName))
            continue;
        const std::string path = win::JoinPath(base, entry.FileName);
        constexpr win::DWORD kFolderNotLink =
            win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_REPARSE_POINT;
        if ((entry.FileAttributes & kFolderNotLink) == win::FILE_ATTRIBUTE_DIRECTORY) {
            win::UniqueFileHandle folderItem = OpenItself(path, win::FILE_LIST_DIRECTORY);
            win::BY_HANDLE_FILE_INFORMATION info;
            if (!IsObject(folderItem.get(), entry.FileId, volume, &info))
                continue;
            if ((info.dwFileAttributes & kFolderNotLink) == win::FILE_ATTRIBUTE_DIRECTORY)
                DeleteContents(folderItem.get(), path + "\\", volume);
        }
        RemoveItself(path, entry.FileId, volume);
    }
}

}  // namespace

void DeleteFolderTree(const std::string& folder) {
    const std::string base = win::EndsWithBackslash(folder) ? folder : folder + "\\";
    const std::string path = base.substr(0, base.size() - 1);
    win::UniqueFileHandle root = OpenItself(path, win::FILE_LIST_DIRECTORY);
    win::BY_HANDLE_FILE_INFORMATION info;
    if (!root || !win::GetFileInformationByHandle(root.get(), &info) ||
        (info.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return;
    }
    // A link in the folder's place is removed as a link: what it leads to is not this tree.
    if ((info.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        DeleteContents(root.get(), base, info.dwVolumeSerialNumber);
    RemoveItself(path, info.nFileIndex, info.dwVolumeSerialNumber);
}

std::optional<std::string> ReadWholeFile(const std::string& path, bool* opened) {
    win::UniqueFileHandle file(win::CreateFileA(path, win::GENERIC_READ, win::FILE_SHARE_READ,
                                                win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL));
    if (opened)
        *opened = static_cast<bool>(file);
    if (!file)
        return std::nullopt;
    std::string bytes;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        win::DWORD read = 0;
        if (!win::ReadFile(file.get(), buffer.data(), static_cast<win::DWORD>(buffer.size()),
                           &read)) {
            // Closing the handle must not hide why the read failed.
            const win::DWORD error = win::GetLastError();
            file.reset();
            win::SetLastError(error);
            return std::nullopt;
        }
        if (read == 0)
            return bytes;
        bytes.append(buffer.data(), read);
    }
}

void ClearFileAttributes(const std::string& path) {
    win::DWORD attributes = win::GetFileAttributesA(path);
    if (attributes == win::INVALID_FILE_ATTRIBUTES)
        return;
    win::SetFileAttributesA(path, attributes & ~(kReadOnly | kSystem));
}

std::string GetWindowsFolder() {
    constexpr win::DWORD kBuffer = 260;
    std::string path;
    const win::DWORD length = win::GetSystemWindowsDirectoryA(&path, kBuffer);
    return length > 0 && length < kBuffer ? path : std::string();
}

std::string GetTempPathText() {
    std::string path;
    win::DWORD length = win::GetTempPathA(255, &path);
    return length > 0 && length < 255 ? path : std::string();
}

std::string GetTempFolder() {
    std::string path = GetTempPathText();
    if (win::EndsWithBackslash(path))
        path.pop_back();
    return path;
}

void DeletePrinterByName(const std::string& printerName) {
    win::PRINTER_DEFAULTSA defaults;
    defaults.DesiredAccess = win::PRINTER_ALL_ACCESS;
    win::UniquePrinter printer;
    if (!win::OpenPrinterA(printerName, printer.put(), &defaults))
        return;
    if (win::DeletePrinter(printer.get()))
        audit::Record(audit::kPrinterRemoved, "removed the printer " + audit::Quoted(printerName));
    else
        audit::Record(audit::kPrinterFailed, "could not remove the printer " +
                                                 audit::Quoted(printerName) + ": " +
                                                 win::FormatSystemMessage(win::GetLastError()));
}

void DeletePrinterDrivers(const std::string& driverName) {
    EnableLoadDriverPrivilege();
    for (const char* environment : {"Windows x64", "Windows IA64", "Windows NT x86"}) {
        const std::string what = audit::Quoted(driverName) + " (" + environment + ")";
        if (win::DeletePrinterDriverExA("", environment, driverName, win::DPD_DELETE_UNUSED_FILES,
                                        3))
            audit::Record(audit::kDriverRemoved, "removed the driver " + what);
        else if (win::GetLastError() != win::ERROR_UNKNOWN_PRINTER_DRIVER &&
                 win::GetLastError() != win::ERROR_INVALID_ENVIRONMENT)
            audit::Record(audit::kPrinterFailed, "could not remove the driver " + what + ": " +
                                                     win::FormatSystemMessage(win::GetLastError()));
    }
}

bool IsPortMissing(const std::string& portName) {
    win::DWORD needed = 0, returned = 0;
    win::EnumPortsA("", 1, nullptr, 0, &needed, &returned);
    std::vector<win::PORT_INFO_1A> ports;
    if (!win::EnumPortsA("", 1, &ports, needed, &needed, &returned))
        RaiseLastOSError();
    for (win::DWORD i = 0; i < returned && i < ports.size(); ++i) {
        if (ports[i].pName == portName)
            return false;
    }
    return true;
}

void AddPortIfMissing(const std::string& portName) {
    if (!IsPortMissing(portName))
        return;
    win::PORT_INFO_1A port;
    port.pName = portName;
    if (win::AddPortExA("", 1, port, "Local Port"))
        audit::Record(audit::kPortAdded, "added the port " + audit::Quoted(portName));
    else
        audit::Record(audit::kPrinterFailed, "could not add the port " + audit::Quoted(portName) +
                                                 ": " +
                                                 win::FormatSystemMessage(win::GetLastError()));
}

}  // namespace quellin::system
