#include "repair/sequences.h"

#include "audit/audit.h"
#include "driverconfig/driver_files.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "platform/window.h"
#include "repair/safety.h"
#include "system/app_info.h"
#include "system/errors.h"
#include "system/identity.h"
#include "system/printer_list.h"
#include "system/redirection.h"
#include "system/system_commands.h"

namespace quellin::repair {

namespace {

using quellin::system::FsRedirectionSpan;

bool IsFile(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributesA(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void DeleteIfFile(const std::string& path) {
    if (!IsFile(path))
        return;
    if (win::DeleteFileA(path))
        audit::Record(audit::kFileDeleted, "deleted " + audit::Quoted(path));
    else
        audit::Record(audit::kFileFailed, "could not delete " + audit::Quoted(path) + ": " +
                                              win::FormatSystemMessage(win::GetLastError()));
}

bool SpansOn(const RepairSettings& settings) {
    return settings.wow64KeyFlag != 0;
}

quellin::system::RepaintCallback RepaintOf(Progress& progress) {
    return [&progress] { progress.Repaint(); };
}

// The tool's exit code is not examined: what it changed is the report. A 32-bit program on
// 64-bit Windows reaches the native tool through "Sysnative" with redirection on: the shell,
// the wait and its message pump load libraries, which with redirection off would come from the
// 64-bit system folder and fail for the rest of the process.
std::int32_t Launch(const RepairPaths& paths, const std::string& parameters,
                    win::DWORD wow64KeyFlag) {
    const std::string tool = wow64KeyFlag != 0
                                 ? win::JoinPath(win::JoinPath(paths.windowsFolder, "Sysnative"),
                                                 win::NameOf(paths.servicingTool))
                                 : paths.servicingTool;
    // The tool adds or removes the printer; the record says which it did.
    const bool before = quellin::system::IsPrinterPresent(quellin::system::kTargetPrinterName);
    const std::int32_t code = quellin::system::RunProcess(
        "runas", tool, parameters, paths.servicingToolFolder, win::SW_HIDE, true);
    const bool after = quellin::system::IsPrinterPresent(quellin::system::kTargetPrinterName);
    if (before != after)
        audit::Record(after ? audit::kPrinterAdded : audit::kPrinterRemoved,
                      (after ? "the servicing tool added the printer "
                             : "the servicing tool removed the printer ") +
                          audit::Quoted(quellin::system::kTargetPrinterName));
    return code;
}

}  // namespace

RepairPaths BuildRepairPaths() {
    RepairPaths paths;
    paths.windowsFolder = quellin::system::GetWindowsFolder();
    paths.servicingToolFolder = paths.windowsFolder + "\\" + "system32";
    paths.servicingTool = paths.servicingToolFolder + "\\" + "dism.exe";
    paths.tempFolder = quellin::system::GetTempFolder();
    paths.spoolFolder = paths.windowsFolder + "\\" + "system32" + "\\" + "spool";
    paths.jobFolder = paths.spoolFolder + "\\" + "PRINTERS";
    return paths;
}

std::int32_t RunServicingTool(const RepairPaths& paths, const std::string& parameters,
                              win::DWORD wow64KeyFlag) {
    return Launch(paths, parameters, wow64KeyFlag);
}

bool ServicingToolExists(const RepairPaths& paths) {
    return IsFile(paths.servicingTool);
}

void CleanTempFolder(const std::string& tempFolder) {
    if (tempFolder.empty() || !IsCleanableTempFolder(tempFolder))
        return;
    quellin::system::UserRightsSpan asUser;
    quellin::system::DeleteFolderTree(tempFolder);
    if (win::GetFileAttributesA(tempFolder) == win::INVALID_FILE_ATTRIBUTES &&
        !win::CreateDirectoryA(tempFolder)) {
        quellin::system::RaiseLastOSError();
    }
}

void InstallSequence(const RepairSettings& settings, const RepairPaths& paths, Progress& progress) {
    progress.StepStarted(1, kInstallCaption, kInstallingLabel);
    progress.ServicingToolFinished(kEnableParameters,
                                   Launch(paths, kEnableParameters, settings.wow64KeyFlag));
}

void ReinstallSequence(const RepairSettings& settings, const RepairPaths& paths,
                       Progress& progress) {
    progress.StepStarted(1, kReinstallCaption, kDiagnosingLabel);
    progress.ServicingToolFinished(kDisableParameters,
                                   Launch(paths, kDisableParameters, settings.wow64KeyFlag));
    progress.StepStarted(2, "", "");
    quellin::system::DeletePrinterByName(settings.targetPrinterName);
    progress.StepStarted(3, "", "");
    quellin::system::DeletePrinterDrivers(settings.targetDriverName);
    progress.StepStarted(4, "", kRemovingLabel);
    quellin::system::StopServiceAndWait("", kSpoolerService, RepaintOf(progress));

    progress.StepStarted(5, "", kAnalyzingLabel);
    const driverconfig::DriverFileNames names =
        driverconfig::ReadDriverFileNames(settings.wow64KeyFlag);
    const driverconfig::DriverFilePaths driverPaths =
        driverconfig::BuildDriverFilePaths(names, paths.windowsFolder);
    // Redirection is off around the file calls only: a step's report repaints, and the
    // shell's delete loads libraries (the spool folder is exempt from redirection anyway).
    progress.StepStarted(6, "", "");
    if (driverconfig::IsPlainName(names.queueFolderName)) {
        FsRedirectionSpan span(SpansOn(settings));
        DeleteIfFile(driverPaths.queueFolder + "\\" + kCapabilitiesFileName);
        if (driverconfig::IsPlainName(names.mergedConfigName)) {
            DeleteIfFile(driverPaths.mergedConfigPath);
            DeleteIfFile(driverPaths.cachePath);
        }
    }
    progress.StepStarted(7, "", "");
    quellin::system::EmptyFolder(paths.jobFolder, "*.*", true, settings.owner);
    progress.StepStarted(8, "", "");
    {
        FsRedirectionSpan span(SpansOn(settings));
        CleanTempFolder(paths.tempFolder);
    }
    progress.StepStarted(9, "", "");
    quellin::system::StartServiceAndWait("", kSpoolerService, RepaintOf(progress));
    progress.StepStarted(10, "", "");
    quellin::system::AddPortIfMissing(quellin::system::kPdfPortName);
    progress.StepStarted(11, "", kReinstallingLabel);
    progress.ServicingToolFinished(kEnableParameters,
                                   Launch(paths, kEnableParameters, settings.wow64KeyFlag));
}

void MaintenanceSequence(const RepairSettings& settings, const RepairPaths& paths,
                         Progress& progress) {
    progress.StepStarted(1, kMaintenanceCaption, kRestartingLabel);
    quellin::system::StopServiceAndWait("", kSpoolerService, RepaintOf(progress));
    progress.StepStarted(2, "", kRestarting50Label);
    quellin::system::EmptyFolder(paths.jobFolder, "*.*", true, settings.owner);
    {
        FsRedirectionSpan span(SpansOn(settings));
        CleanTempFolder(paths.tempFolder);
    }
    progress.StepStarted(3, "", "");
    if (!settings.autoSaveFile.empty()) {
        FsRedirectionSpan span(SpansOn(settings));
        DeleteAutoSaveFile(settings.autoSaveFile);
    }
    progress.StepStarted(4, "", kRestarting60Label);
    quellin::system::StartServiceAndWait("", kSpoolerService, RepaintOf(progress));
}

RepairOutcome RunRepair(int mode, const RepairSettings& settings, Progress& progress) {
    const RepairPaths paths = BuildRepairPaths();
    switch (mode) {
        case kInstallMode:
        case kReinstallMode:
            if (!ServicingToolExists(paths))
                return RepairOutcome::ServicingToolMissing;
            if (mode == kInstallMode)
                InstallSequence(settings, paths, progress);
            else
                ReinstallSequence(settings, paths, progress);
            return RepairOutcome::Ran;
        case kMaintenanceMode:
            MaintenanceSequence(settings, paths, progress);
            return RepairOutcome::Ran;
        default:
            return RepairOutcome::UnknownMode;
    }
}

}  // namespace quellin::repair
