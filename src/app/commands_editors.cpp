// The paper size and print quality commands.
#include <QDialog>
#include <optional>

#include "app/main_window.h"
#include "driverconfig/paper_size_editor.h"
#include "driverconfig/resolution_editor.h"
#include "driverconfig/ui/paper_size_dialog.h"
#include "driverconfig/ui/print_quality_dialog.h"

namespace quellin::app {

void TForm1::SpeedButton4Click() {
    SystemCommandScope scope(*this);
    if (!scope.Entered())
        return;
    const driverconfig::DriverContext context{static_cast<win::DWORD>(Wow64KeyFlag), Handle()};
    driverconfig::PaperSettings settings{InternationalUnits, CustomWidthMm, CustomHeightMm};
    // Reading the description may already change the custom size and the unit accuracy.
    const auto keep = [&] {
        InternationalUnits = settings.internationalUnits;
        CustomWidthMm = settings.customWidthMm;
        CustomHeightMm = settings.customHeightMm;
    };
    std::optional<driverconfig::PaperSizeSession> session =
        driverconfig::BeginPaperSizeEdit(context, settings);
    keep();
    if (!session)
        return;
    driverconfig::TForm2 dialog(
        settings, Handle(), [this] { OpenUpgradePage(); }, this);
    dialog.Prepare(session->reading);
    if (dialog.exec() != QDialog::Accepted)
        return;
    keep();
    driverconfig::FinishPaperSizeEdit(*session, dialog.State(), settings, context);
}

void TForm1::SpeedButton7Click() {
    SystemCommandScope scope(*this);
    if (!scope.Entered())
        return;
    const driverconfig::DriverContext context{static_cast<win::DWORD>(Wow64KeyFlag), Handle()};
    std::optional<driverconfig::ResolutionSession> session =
        driverconfig::BeginResolutionEdit(context);
    if (!session)
        return;
    driverconfig::TForm4 dialog({SiteAddress, CompanionPrinterAddress}, this);
    dialog.Prepare(session->reading);
    if (dialog.exec() != QDialog::Accepted)
        return;
    driverconfig::FinishResolutionEdit(*session, dialog.State(), context);
}

}  // namespace quellin::app
