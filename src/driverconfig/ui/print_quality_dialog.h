// The print quality dialog: shows the editor's state (driverconfig::ResolutionDialog) and
// forwards the user's events to it.
#pragma once

#include <QDialog>
#include <array>

#include "driverconfig/resolution_editor.h"
#include "platform/types.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quellin::driverconfig {

class TForm4 : public QDialog {
    Q_OBJECT

  public:
    // `pages` are the addresses the dialog's questions offer; the dialog owns the questions.
    explicit TForm4(ResolutionPages pages, QWidget* parent = nullptr);

    // The dialog's own window handle, which owns its message boxes.
    win::HWND Handle();

    // Ticks and selects what the description offers.
    void Prepare(const ResolutionReading& reading);
    const ResolutionDialog& State() const { return state_; }

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* cb1200 = nullptr;
    QCheckBox* cb600 = nullptr;
    QCheckBox* cb400 = nullptr;
    QCheckBox* cb300 = nullptr;
    QCheckBox* cb200 = nullptr;
    QCheckBox* cb180 = nullptr;
    QCheckBox* cb150 = nullptr;
    QCheckBox* cb120 = nullptr;
    QCheckBox* cb100 = nullptr;
    QLabel* lblDefRes = nullptr;
    QComboBox* cmbDefRes = nullptr;
    QPushButton* btnSaveRes = nullptr;
    QPushButton* btnRestoreResDefaults = nullptr;
    QPushButton* btnCancelRes = nullptr;

  public slots:
    void btnSaveResClick();
    void btnRestoreResDefaultsClick();

  private:
    void CreateControls();
    void ShowState();
    // The boxes by their position in cmbDefRes.
    std::array<QCheckBox*, kResolutionCount> Boxes() const;

    ResolutionPages pages_;
    ResolutionDialog state_;
    bool showing_ = false;
};

}  // namespace quellin::driverconfig
