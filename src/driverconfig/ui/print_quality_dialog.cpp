#include "driverconfig/ui/print_quality_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "driverconfig/ui/dialog_font.h"
#include "platform/qt/ansi_qstring.h"
#include "system/handler.h"

namespace quellin::driverconfig {

namespace {

constexpr int kClientWidth = 468;
constexpr int kClientHeight = 320;

}  // namespace

TForm4::TForm4(ResolutionPages pages, QWidget* parent) : QDialog(parent), pages_(std::move(pages)) {
    setObjectName("TForm4");
    setWindowTitle(kPrintQualityTitle);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(DialogFont());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    CreateControls();
    ShowState();
}

win::HWND TForm4::Handle() {
    return static_cast<win::HWND>(winId());
}

std::array<QCheckBox*, kResolutionCount> TForm4::Boxes() const {
    return {cb1200, cb600, cb400, cb300, cb200, cb180, cb150, cb120, cb100};
}

void TForm4::CreateControls() {
    GroupBox1 = new QGroupBox("Graphics Resolution", this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(16, 12, 436, 160);
    // Three rows of three, in the list's order: 1200, 600, 400; 300, 200, 180; 150, 120, 100.
    std::array<QCheckBox**, kResolutionCount> fields = {&cb1200, &cb600, &cb400, &cb300, &cb200,
                                                        &cb180,  &cb150, &cb120, &cb100};
    for (std::size_t i = 0; i < kResolutionCount; ++i) {
        const QString caption = win::QStringFromAnsi(ResolutionListText(i));
        auto* box = new QCheckBox(caption, GroupBox1);
        box->setObjectName("cb" + QString::number(kResolutionsByPosition[i]));
        box->setGeometry(24 + static_cast<int>(i % 3) * 140, 32 + static_cast<int>(i / 3) * 40, 124,
                         24);
        *fields[i] = box;
        connect(box, &QCheckBox::toggled, this, [this, i](bool checked) {
            if (!showing_)
                state_.ticked[i] = checked;
        });
    }

    lblDefRes = new QLabel("Default Resolution:", this);
    lblDefRes->setObjectName("lblDefRes");
    lblDefRes->move(24, 194);
    lblDefRes->adjustSize();
    cmbDefRes = new QComboBox(this);
    cmbDefRes->setObjectName("cmbDefRes");
    cmbDefRes->setEditable(false);
    cmbDefRes->setGeometry(176, 189, 160, 26);
    for (std::size_t i = 0; i < kResolutionCount; ++i)
        cmbDefRes->addItem(win::QStringFromAnsi(ResolutionListText(i)));
    connect(cmbDefRes, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!showing_)
            state_.selected = index;
    });

    constexpr int kButtonTop = 262;
    btnSaveRes = new QPushButton("Save Settings", this);
    btnSaveRes->setObjectName("btnSaveRes");
    btnSaveRes->setGeometry(16, kButtonTop, 136, 36);
    btnRestoreResDefaults = new QPushButton("Load Default", this);
    btnRestoreResDefaults->setObjectName("btnRestoreResDefaults");
    btnRestoreResDefaults->setGeometry(166, kButtonTop, 136, 36);
    btnCancelRes = new QPushButton("Cancel", this);
    btnCancelRes->setObjectName("btnCancelRes");
    btnCancelRes->setGeometry(316, kButtonTop, 136, 36);

    using quellin::system::RunHandler;
    connect(btnSaveRes, &QPushButton::clicked, this,
            [this] { RunHandler([&] { btnSaveResClick(); }); });
    connect(btnRestoreResDefaults, &QPushButton::clicked, this,
            [this] { RunHandler([&] { btnRestoreResDefaultsClick(); }); });
    connect(btnCancelRes, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm4::Prepare(const ResolutionReading& reading) {
    PrepareResolutionDialog(state_, reading);
    ShowState();
}

void TForm4::ShowState() {
    showing_ = true;
    const auto boxes = Boxes();
    for (std::size_t i = 0; i < kResolutionCount; ++i)
        boxes[i]->setChecked(state_.ticked[i]);
    cmbDefRes->setCurrentIndex(state_.selected);
    showing_ = false;
}

void TForm4::btnRestoreResDefaultsClick() {
    LoadDefaultResolutions(state_);
    ShowState();
}

void TForm4::btnSaveResClick() {
    // The dialog owns its questions, so that they stand over it and not over the main window.
    const bool close = SaveResolutionDialog(state_, pages_, Handle(), [this] { ShowState(); });
    ShowState();
    if (close)
        accept();
}

}  // namespace quellin::driverconfig
