#include "app/unit1.h"

#include "app/admin.h"
#include "app/appinfo.h"
#include "app/handler.h"

namespace app {

std::string ComposeSiteAddress() {
    const std::string scheme = "https";
    const std::string host = "www.tarnwell";
    const std::string domain = "com";
    return scheme + "://" + host + "." + domain;
}

std::string ComposeCompanionPrinterAddress() {
    return ComposeSiteAddress() + "/" + "velloran-pdf-printer.html";
}

TForm1::TForm1(win::HWND handle, QWidget* parent) : QWidget(parent), handle_(handle) {
    setObjectName("TForm1");
    setWindowTitle(kMainCaption);
}

void TForm1::FormCreate() {
    RunHandler([&] {
        if (!IsAdministrator()) {
            ShowPermissionDenied(kMainCaption);
            terminateRequested_ = true;
            return;
        }
        Wow64KeyFlag = IsWow64() ? 256 : 0;
        EnableLoadDriverPrivilege();
        TargetPrinterName = kTargetPrinterName;
        TargetDriverName = kTargetDriverName;
        SiteAddress = ComposeSiteAddress();
        CompanionPrinterAddress = ComposeCompanionPrinterAddress();
        FormCreateWindowHalf();
    });
}

}  // namespace app
