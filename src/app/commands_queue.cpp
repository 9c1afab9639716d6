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
    win::MessageBoxA(form.Handle(), quellin::system::kSelectPrinterFirst,
                     quellin::system::kApplicationTitle, win::MB_OK);
    return false;
}

// The selected printer, when Windows' printer tools can be given its name.
bool PrinterForToolsOrAsk(const TForm1& form, std::string& printer) {
    if (!SelectedPrinterOrAsk(form, printer))
        return false;
    if (queue::CanPassPrinterName(printer))
        return true;
    win::MessageBoxA(form.Handle(), queue::PrinterNameNotPassedText(printer),
                     quellin::system::kApplicationTitle, win::MB_OK);
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
    win::ShellExecuteA(Handle(), "open", queue::Rundll32Path(), queue::kPrintersFolderParameters,
                       "", win::SW_SHOW);
}

void TForm1::SpeedButton2Click() {
    std::string printer;
    if (!PrinterForToolsOrAsk(*this, printer))
        return;
    win::ShellExecuteA(Handle(), "open", queue::Rundll32Path(),
                       queue::PropertiesParameters(printer), "", win::SW_SHOW);
}

void TForm1::BitBtn30Click() {
    std::string printer;
    if (!PrinterForToolsOrAsk(*this, printer))
        return;
    win::ShellExecuteA(Handle(), "open", queue::Rundll32Path(),
                       queue::PreferencesParameters(printer), "", win::SW_SHOW);
}

void TForm1::SpeedButton6Click() {
    SystemCommandScope scope(*this);
    if (!scope.Entered())
        return;
    if (!quellin::system::IsAdministrator()) {
        quellin::system::ShowPermissionDenied(win::AnsiOfQString(windowTitle()));
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
    monitor.setWindowTitle(win::QStringFromAnsi(queue::MonitorCaption(printer)));
    monitor.exec();
}

}  // namespace quellin::app
