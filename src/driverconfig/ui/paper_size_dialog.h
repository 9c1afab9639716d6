// The paper size dialog: shows the editor's state (driverconfig::PaperSizeDialog) and forwards
// the user's events to it.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointF>
#include <functional>

#include "driverconfig/paper_size_editor.h"
#include "platform/types.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace quellin::driverconfig {

class TForm2 : public QDialog {
    Q_OBJECT

  public:
    // `settings` are the main window's: read at creation, written by "Save Settings".
    // `owner` owns the dialog's message boxes; `openUpgradePage` is the main window's.
    TForm2(PaperSettings& settings, win::HWND owner, std::function<void()> openUpgradePage,
           QWidget* parent = nullptr);

    // Fills the lists from what the description offers and selects the default.
    void Prepare(const PaperSizeReading& reading);
    const PaperSizeDialog& State() const { return state_; }

    void FillAvailableSizes();
    void RemoveChosenSizes();
    void ShowPaperSize(const std::string& name);

    QLabel* lblPaperSize = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLabel* lblAllSizes = nullptr;
    QListWidget* ListBox2 = nullptr;
    QLabel* lblWidth = nullptr;
    QLineEdit* edtWidth = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblHeight = nullptr;
    QLineEdit* edtHeight = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblAR = nullptr;
    QLabel* lblARValue = nullptr;
    QLabel* lblDefaultOption = nullptr;
    QLabel* lblDefaultValue = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnAddCustom = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* btnUpgrade = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnRestoreDefault = nullptr;
    QPushButton* btnCancel = nullptr;
    QPlainTextEdit* Memo6 = nullptr;
    QPlainTextEdit* Memo7 = nullptr;

  public slots:
    void FormCreate();
    void ListBox1Click();
    void ListBox2Click();
    void ListBox1DblClick();
    // A left press may start a drag from the list (`globalPos` in screen coordinates).
    void ListBox1MouseDown(const QPoint& globalPos);
    void ListBox2MouseDown(const QPoint& globalPos);
    // Whether a drag from `source` may end on the list.
    bool ListBox1DragOver(QListWidget* source) const;
    bool ListBox2DragOver(QListWidget* source) const;
    void ListBox1DragDrop();
    void ListBox2DragDrop();
    void btnAddCustomClick();
    void btnApplyClick();
    void btnRestoreDefaultClick();
    void btnSaveClick();
    void btnUpgradeClick();

  protected:
    // The drag between the lists runs on the lists' own mouse events (press, moves past the
    // drag threshold, release over the other list), so it needs no drag-and-drop support of
    // the window system.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    // Puts the state on screen without raising the controls' change signals.
    void ShowState();
    void ListClicked(PaperList list);
    QListWidget* ListUnder(const QPoint& globalPos) const;
    QListWidget* ListOf(PaperList list) const;
    void StartPress(QListWidget* list, const QPoint& globalPos);
    void EndDrag(QListWidget* source, QListWidget* target);

    PaperSettings& settings_;
    win::HWND owner_;
    std::function<void()> openUpgradePage_;
    PaperSizeDialog state_;
    bool showing_ = false;
    QListWidget* dragSource_ = nullptr;
    QPoint pressPos_;  // global
    QPointF pressLocal_;
    bool dragging_ = false;
};

}  // namespace quellin::driverconfig
