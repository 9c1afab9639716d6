// The queue and printer shortcuts and the job monitor.
#include <QString>

#include "app/main_window.h"
#include "platform/processes.h"
#include "platform/qt/ansi_qstring.h"
#include "platform/ui.h"
#include "platform/window.h"
#include "queue/shortcuts.h"
#include "queue/ui/job_monitor_window.h"
#include "repair/sequences.h"
#include "system/admin.h"
#include "system/app_info.h"

namespace quellin::app {

namespace {

// The selected printer, or the box that asks for one and nothing.
bool SelectedPrinterOrAsk(const TForm1& form, std::string& printer) {
    printer = form.SelectedPrinter();
    if (!printer.empty())
        return true;
    platform::MessageBoxA(form.Handle(), quellin::system::kSelectPrinterFirst,
                          quellin::system::kApplicationTitle, platform::MB_OK);
    return false;
}

// The selected printer, when Windows' printer tools can be given its name.
bool PrinterForToolsOrAsk(const TForm1& form, std::string& printer) {
    if (!SelectedPrinterOrAsk(form, printer))
        return false;
    if (queue::CanPassPrinterName(printer))
        return true;
    platform::MessageBoxA(form.Handle(), queue::PrinterNameNotPassedText(printer),
                          quellin::system::kApplicationTitle, platform::MB_OK);
    return false;
}

}  // namespace

void TForm1::BitBtn20Click() {
    std::string printer;
    if (!PrinterForToolsOrAsk(*this, printer))
        return;
    queue::SetAsDefault(Handle(), printer);
}

void TForm1::SpeedButton1Click() {
    platform::ShellExecuteA(Handle(), "open", queue::kRundll32, queue::kPrintersFolderParameters,
                            "", platform::SW_SHOW);
}

void TForm1::SpeedButton2Click() {
    std::string printer;
    if (!PrinterForToolsOrAsk(*this, printer))
        return;
    platform::ShellExecuteA(Handle(), "open", queue::kRundll32,
                            queue::PropertiesParameters(printer), "", platform::SW_SHOW);
}

void TForm1::BitBtn30Click() {
    std::string printer;
    if (!PrinterForToolsOrAsk(*this, printer))
        return;
    platform::ShellExecuteA(Handle(), "open", queue::kRundll32,
                            queue::PreferencesParameters(printer), "", platform::SW_SHOW);
}

void TForm1::SpeedButton6Click() {
    SystemCommandScope scope(*this);
    if (!scope.Entered())
        return;
    if (!quellin::system::IsAdministrator()) {
        quellin::system::ShowPermissionDenied(platform::AnsiOfQString(windowTitle()));
        return;
    }
    RepairMode = repair::kMaintenanceMode;
    ShowRepairDialog();
    RefreshPrinterList();
}

void TForm1::GetPrinterInfo() {
    std::string printer;
    if (!SelectedPrinterOrAsk(*this, printer))
        return;
    queue::TMain monitor(this, Handle());
    monitor.setWindowTitle(platform::QStringFromAnsi(queue::MonitorCaption(printer)));
    monitor.exec();
}

}  // namespace quellin::app
