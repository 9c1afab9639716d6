// The main window.
#pragma once

#include <QWidget>
#include <string>

#include "platform/types.h"

namespace app {

class TForm1 : public QWidget {
    Q_OBJECT

  public:
    // `handle` is the application window's handle, the owner of the window's message boxes.
    explicit TForm1(win::HWND handle, QWidget* parent = nullptr);

    // Creation handler; afterwards TerminateRequested tells whether the program must end
    // without showing the window.
    void FormCreate();
    bool TerminateRequested() const { return terminateRequested_; }
    win::HWND Handle() const { return handle_; }

    // Values other parts of the program read for the whole run.
    std::string TargetPrinterName;
    std::string TargetDriverName;
    int Wow64KeyFlag = 0;
    int RepairMode = 0;
    bool ShowPromotions = true;
    std::int32_t Rotation = 0;
    std::string ASFile;
    std::string SiteAddress;
    std::string CompanionPrinterAddress;
    bool InternationalUnits = false;

  protected:
    // The window half of the creation handler.
    virtual void FormCreateWindowHalf() {}

  private:
    win::HWND handle_ = 0;
    bool terminateRequested_ = false;
};

// The maker's web addresses, composed from their pieces.
std::string ComposeSiteAddress();
std::string ComposeCompanionPrinterAddress();

}  // namespace app
