// The install and uninstall commands and the progress dialog.
#include <memory>

#include "app/color_button.h"
#include "app/main_window.h"
#include "platform/qt/ansi_qstring.h"
#include "repair/sequences.h"
#include "repair/ui/progress_dialog.h"
#include "repair/uninstall.h"
#include "system/admin.h"

namespace quellin::app {

namespace {

// The administrator gate of a system-changing command: false after showing the refusal.
bool AdministratorOrRefused(const TForm1& form) {
    if (quellin::system::IsAdministrator())
        return true;
    quellin::system::ShowPermissionDenied(win::AnsiOfQString(form.windowTitle()));
    return false;
}

}  // namespace

void TForm1::BitBtn10Click() {
    SystemCommandScope scope(*this);
    if (!scope.Entered() || !AdministratorOrRefused(*this))
        return;
    RepairMode = repair::RepairModeForCaption(win::AnsiOfQString(BitBtn10->text()));
    ShowRepairDialog();
    // The refreshed list and the button's new caption are the report.
    RefreshPrinterList();
}

void TForm1::SpeedButton3Click() {
    SystemCommandScope scope(*this);
    if (!scope.Entered() || !AdministratorOrRefused(*this))
        return;
    repair::UninstallSettings settings;
    settings.owner = Handle();
    settings.wow64KeyFlag = static_cast<win::DWORD>(Wow64KeyFlag);
    settings.targetPrinterName = TargetPrinterName;
    repair::UninstallPrinter(settings);
    RefreshPrinterList();
}

void TForm1::ShowRepairDialog() {
    repair::RepairSettings settings;
    settings.wow64KeyFlag = static_cast<win::DWORD>(Wow64KeyFlag);
    settings.targetPrinterName = TargetPrinterName;
    settings.targetDriverName = TargetDriverName;
    settings.autoSaveFile = ASFile;
    settings.owner = Handle();
    auto dialog = std::make_unique<repair::TForm3>(RepairMode, settings, this);
    dialog->exec();
}

}  // namespace quellin::app
