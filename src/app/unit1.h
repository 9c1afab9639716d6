// The main window.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QTimer;

namespace app {

class TColorButton;

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

    // Refills ListBox10 from the installed printers, selects the target printer and sets the
    // install button's caption.
    void RefreshPrinterList();
    // True when any installed printer's name contains TargetPrinterName, listed or not.
    bool IsPrinterPresent() const;
    void LoadPreferences();
    void SavePreferences();
    // The first selected entry of ListBox10, empty when none is selected.
    std::string SelectedPrinter() const;
    std::vector<std::string> PrinterListEntries() const;

    void OpenUpgradePage();
    void OpenFeaturesPage();
    void ShowNextPrompt();
    void ShowUpgradeReminder();
    void ResetButtonColors();

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

    // Controls, by their design names (also their object names).
    QWidget* Panel1 = nullptr;
    TColorButton* BitBtn10 = nullptr;
    TColorButton* BitBtn20 = nullptr;
    TColorButton* SpeedButton1 = nullptr;
    TColorButton* SpeedButton2 = nullptr;
    TColorButton* BitBtn30 = nullptr;
    TColorButton* SpeedButton4 = nullptr;
    TColorButton* SpeedButton7 = nullptr;
    TColorButton* SpeedButton6 = nullptr;
    TColorButton* SpeedButton5 = nullptr;
    TColorButton* SpeedButton3 = nullptr;
    QListWidget* ListBox10 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    TColorButton* btnFeature1 = nullptr;
    TColorButton* btnFeature2 = nullptr;
    TColorButton* btnFeature3 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    TColorButton* btnSaveAllSettings = nullptr;
    TColorButton* btnRestoreAllSettings = nullptr;
    QLabel* Label1 = nullptr;
    QTimer* Timer1 = nullptr;  // its "tag" property picks the caption set of the next tick

  public slots:
    // Commands built elsewhere; each is called inside the application's error handling.
    virtual void BitBtn10Click() {}
    virtual void BitBtn20Click() {}
    virtual void SpeedButton1Click() {}
    virtual void SpeedButton2Click() {}
    virtual void BitBtn30Click() {}
    virtual void SpeedButton4Click() {}
    virtual void SpeedButton7Click() {}
    virtual void SpeedButton6Click() {}
    virtual void GetPrinterInfo() {}
    virtual void SpeedButton3Click() {}
    virtual void btnSaveAllSettingsClick() {}
    virtual void btnRestoreAllSettingsClick() {}

    void btnFeature1Click();
    void btnFeature2Click();
    void btnFeature3Click();
    void Timer1Timer();
    void Label1Click();
    void Label1MouseEnter();
    void Label1MouseLeave();
    void CommonMouseMove(TColorButton* sender);
    void Panel1MouseMove();
    void GroupBox1MouseMove();
    void GroupBox2MouseMove();

    // The close handlers, in the order a close runs them.
    void FormCloseQuery(bool& canClose);
    void FormClose();

  protected:
    // The window half of the creation handler.
    virtual void FormCreateWindowHalf();

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    TColorButton* AddButton(QWidget* parent, const char* name, const char* caption,
                            const QRect& geometry, void (TForm1::*handler)());
    std::vector<TColorButton*> AllButtons() const;

    win::HWND handle_ = 0;
    bool terminateRequested_ = false;
    bool centred_ = false;
};

// The maker's web addresses, composed from their pieces.
std::string ComposeSiteAddress();
std::string ComposeCompanionPrinterAddress();

}  // namespace app
