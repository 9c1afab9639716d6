// The three fixed repair sequences: install the optional feature that carries "Microsoft Print
// to PDF", remove and reinstall it with its printer, driver files, spool folder and port, or
// restart the Spooler service with a clean-up of the spool and temp folders.
//
// The sequences are Qt-free: each step reports its caption and label through `Progress`, so
// the progress dialog only shows what they report and a command-line front end can run them
// without a window.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"
#include "system/app_info.h"

namespace quellin::repair {

// The values of RepairMode.
inline constexpr int kInstallMode = 1;
inline constexpr int kReinstallMode = 2;
inline constexpr int kMaintenanceMode = 10;

inline constexpr const char* kDialogCaption = "Apply Settings";
inline constexpr const char* kDialogLabel = "Applying settings, please wait....";

inline constexpr const char* kInstallCaption = "Install";
inline constexpr const char* kInstallingLabel = "Installing Microsoft Print to PDF printer...";
inline constexpr const char* kReinstallCaption = "Reinstall";
inline constexpr const char* kDiagnosingLabel = "Diagnosing Microsoft Print to PDF printer...";
inline constexpr const char* kRemovingLabel = "Removing Microsoft Print to PDF printer...";
inline constexpr const char* kAnalyzingLabel =
    "Analyzing Microsoft Print to PDF software package...";
inline constexpr const char* kReinstallingLabel = "Reinstalling Microsoft Print to PDF printer...";
inline constexpr const char* kMaintenanceCaption = "Maintenance in progress";
inline constexpr const char* kRestartingLabel = "Restarting Windows Spooler service...";
inline constexpr const char* kRestarting50Label =
    "Restarting Windows Spooler service (50% completed)...";
inline constexpr const char* kRestarting60Label =
    "Restarting Windows Spooler service (60% completed)...";

inline const std::string kEnableParameters =
    std::string("/Online /Enable-Feature /FeatureName:\"") + system::kPdfFeatureName +
    "\" /NoRestart";
inline const std::string kDisableParameters =
    std::string("/Online /Disable-Feature /FeatureName:\"") + system::kPdfFeatureName +
    "\" /Remove /NoRestart";
inline constexpr const char* kSpoolerService = "spooler";
inline constexpr const char* kCapabilitiesFileName = "pdc.xml";

// What a running sequence tells whoever shows it.
class Progress {
  public:
    virtual ~Progress() = default;
    // Step `step` (numbered from 1 within its sequence) begins, always with redirection on,
    // since showing it may repaint. An empty caption or label leaves the one shown as it is.
    virtual void StepStarted(int step, const std::string& caption, const std::string& label) = 0;
    // Called before and after each poll of a service wait, so the bar can be repainted.
    virtual void Repaint() {}
    // The servicing tool ended with `exitCode` (-1: it could not be started). The sequence
    // goes on whatever it says; a front end without the refreshed printer list may report it.
    virtual void ServicingToolFinished(const std::string& parameters, std::int32_t exitCode) {
        (void)parameters;
        (void)exitCode;
    }
};

// The main window's values a sequence reads.
struct RepairSettings {
    win::DWORD wow64KeyFlag = 0;  // non-zero on 64-bit Windows: the servicing tool through
                                  // "Sysnative", redirection off around the file calls
    std::string targetPrinterName;
    std::string targetDriverName;
    std::string autoSaveFile;  // the ASFile preference; may be empty
    win::HWND owner = 0;       // owner of the shell's own error windows
};

// The paths a sequence works on, built from the system's Windows folder and the user's temp
// folder.
struct RepairPaths {
    std::string windowsFolder;
    std::string servicingTool;        // <Windows folder>\system32\dism.exe
    std::string servicingToolFolder;  // the folder that holds it
    std::string tempFolder;           // without its trailing backslash
    std::string spoolFolder;
    std::string jobFolder;
};

RepairPaths BuildRepairPaths();

// Runs the servicing tool elevated, hidden, waiting for it; on 64-bit Windows the native one,
// through "Sysnative" with redirection on. The working folder is the one that holds the tool:
// Windows wants a folder there.
// Returns the tool's exit code, -1 when it could not be started.
std::int32_t RunServicingTool(const RepairPaths& paths, const std::string& parameters,
                              win::DWORD wow64KeyFlag);

// True when the servicing tool file exists, tested with redirection on.
bool ServicingToolExists(const RepairPaths& paths);

void InstallSequence(const RepairSettings& settings, const RepairPaths& paths, Progress& progress);
void ReinstallSequence(const RepairSettings& settings, const RepairPaths& paths,
                       Progress& progress);
void MaintenanceSequence(const RepairSettings& settings, const RepairPaths& paths,
                         Progress& progress);

// Deletes the temp folder's contents and the folder (names that begin with "." survive, and
// with them the folder), then re-creates the folder when it has gone, all with the user's own
// rights. A temp folder that names a system location is left alone. Raises
// quellin::system::SystemError when the folder cannot be re-created.
void CleanTempFolder(const std::string& tempFolder);

enum class RepairOutcome {
    Ran,
    ServicingToolMissing,  // modes 1 and 2 without the tool: nothing was touched
    UnknownMode,
};

// The first tick of the progress dialog: builds the paths and runs the sequence `mode` names.
// Errors the sequence raises (the temp folder cannot be re-created, the port list cannot be
// read) end it and reach the caller.
RepairOutcome RunRepair(int mode, const RepairSettings& settings, Progress& progress);

}  // namespace quellin::repair
