#include "repair/uninstall.h"

#include "platform/ui.h"
#include "repair/sequences.h"
#include "system/printer_list.h"
#include "system/system_commands.h"

namespace quellin::repair {

namespace {

bool Confirmed(const UninstallSettings& settings, const char* question) {
    return win::ui().MessageBox(settings.owner, question, kConfirmationCaption, win::MB_YESNO) ==
           win::IDYES;
}

}  // namespace

int RepairModeForCaption(const std::string& caption) {
    return caption == quellin::system::kReinstallCaption ? kReinstallMode : kInstallMode;
}

UninstallOutcome UninstallPrinter(const UninstallSettings& settings, std::int32_t* toolExitCode) {
    if (!quellin::system::IsPrinterPresent(settings.targetPrinterName))
        return UninstallOutcome::PrinterMissing;
    if (!Confirmed(settings, kRemovePrinterQuestion))
        return UninstallOutcome::Declined;
    quellin::system::DeletePrinterByName(settings.targetPrinterName);
    if (!Confirmed(settings, kRemovePackageQuestion))
        return UninstallOutcome::PrinterRemoved;
    // The window examines neither the tool's presence nor its exit code: the refreshed list
    // reports. The command line passes a restart request on.
    const std::int32_t code =
        RunServicingTool(BuildRepairPaths(), kDisableParameters, settings.wow64KeyFlag);
    if (toolExitCode)
        *toolExitCode = code;
    return UninstallOutcome::PackageRemoved;
}

}  // namespace quellin::repair
