#include "queue/shortcuts.h"

#include "platform/handle.h"
#include "platform/processes.h"
#include "platform/spooler.h"
#include "platform/ui.h"
#include "platform/window.h"
#include "system/app_info.h"
#include "system/system_commands.h"

namespace quellin::queue {

namespace {

std::string PrintUiParameters(const char* switchText, const std::string& printer) {
    return std::string("printui.dll,PrintUIEntry ") + switchText + " /n \"" + printer + "\"";
}

bool SamePrinterName(const std::string& a, const std::string& b) {
    // Windows compares printer names without regard to case.
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y))
            return false;
    }
    return true;
}

}  // namespace

std::string Rundll32Path() {
    return quellin::system::GetWindowsFolder() + "\\system32\\rundll32.exe";
}

std::string SetDefaultParameters(const std::string& printer) {
    return PrintUiParameters("/y", printer);
}

std::string PropertiesParameters(const std::string& printer) {
    return PrintUiParameters("/p", printer);
}

std::string PreferencesParameters(const std::string& printer) {
    return PrintUiParameters("/e", printer);
}

bool CanPassPrinterName(const std::string& printer) {
    return printer.find('"') == std::string::npos;
}

std::string PrinterNameNotPassedText(const std::string& printer) {
    return "The printer name " + printer +
           " contains a double quote and cannot be passed to the Windows printer tools.";
}

std::string MonitorCaption(const std::string& printer) {
    return kMonitorCaptionPrefix + printer;
}

std::string DefaultPrinterSetText(const std::string& printer) {
    return "Default printer is set to " + printer + ".";
}

std::string DefaultPrinterNotSetText(const std::string& printer) {
    return "The default printer could not be changed to " + printer + ".";
}

std::string CurrentDefaultPrinter() {
    win::DWORD size = 0;
    std::string name;
    if (!win::GetDefaultPrinterA(nullptr, &size) &&
        win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER)
        return {};
    if (!win::GetDefaultPrinterA(&name, &size))
        return {};
    return name;
}

void SetAsDefault(win::HWND owner, const std::string& printer, std::chrono::milliseconds wait) {
    win::SHELLEXECUTEINFOA info;
    info.fMask = win::SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = owner;
    info.lpVerb = "open";
    info.lpFile = Rundll32Path();
    info.lpParameters = SetDefaultParameters(printer);
    info.nShow = win::SW_HIDE;
    if (win::ShellExecuteExA(&info) && info.hProcess) {
        win::UniqueHandle process(info.hProcess);
        constexpr win::DWORD kStepMs = 50;
        for (auto waited = std::chrono::milliseconds(0); waited < wait;
             waited += std::chrono::milliseconds(kStepMs)) {
            if (win::WaitForSingleObject(process.get(), kStepMs) != win::WAIT_TIMEOUT)
                break;
            win::ProcessPendingMessages();
        }
    }
    const bool isDefault = SamePrinterName(CurrentDefaultPrinter(), printer);
    win::MessageBoxA(owner,
                     isDefault ? DefaultPrinterSetText(printer) : DefaultPrinterNotSetText(printer),
                     quellin::system::kApplicationTitle, win::MB_OK);
}

}  // namespace quellin::queue
