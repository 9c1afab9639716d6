// The main window.
#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "system/machine_lock.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QTimer;

namespace quellin::app {

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

    // Opens the progress dialog modally for the sequence RepairMode names; returns when it
    // has closed.
    void ShowRepairDialog();

    // True while a system-changing command (install, uninstall, clear queue, editors, backup)
    // runs and pumps messages; a click on another one is ignored until it ends.
    bool SystemCommandRunning() const { return systemCommandRunning_; }

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
    // The paper size editor's custom size in whole millimetres, kept for the whole run.
    std::int32_t CustomWidthMm = 0;
    std::int32_t CustomHeightMm = 0;

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
    // The commands, each defined beside its subsystem's other code (commands_*.cpp) and called
    // inside the application's error handling.
    void BitBtn10Click();
    void BitBtn20Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void BitBtn30Click();
    void SpeedButton4Click();
    void SpeedButton7Click();
    void SpeedButton6Click();
    void GetPrinterInfo();
    void SpeedButton3Click();
    void btnSaveAllSettingsClick();
    void btnRestoreAllSettingsClick();

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

    friend class SystemCommandScope;

    win::HWND handle_ = 0;
    bool systemCommandRunning_ = false;
    bool terminateRequested_ = false;
    bool centred_ = false;
};

// The plain box that tells why a command did nothing: another program holds the machine, or
// (with Windows' error code) the lock could not be made.
void ShowMachineBusy(win::DWORD lockError = 0);

// Marks a system-changing command as running for its scope and holds the machine's command
// lock, which quellin-cli's changing commands take too. Entered() is false when another one
// already runs, in this window or elsewhere, or when the lock cannot be made; the handler then
// returns at once. Without administrator rights no lock is taken: the command's own gate
// refuses it before it changes anything.
class SystemCommandScope {
  public:
    explicit SystemCommandScope(TForm1& form);
    SystemCommandScope(const SystemCommandScope&) = delete;
    SystemCommandScope& operator=(const SystemCommandScope&) = delete;
    ~SystemCommandScope() {
        if (entered_)
            form_.systemCommandRunning_ = false;
    }
    bool Entered() const { return entered_; }

  private:
    TForm1& form_;
    bool entered_;
    std::optional<quellin::system::MachineLock> lock_;
};

// The maker's web addresses, composed from their pieces.
std::string ComposeSiteAddress();
std::string ComposeCompanionPrinterAddress();

}  // namespace quellin::app
