#include "driverconfig/ui/paper_size_dialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "driverconfig/ui/dialog_font.h"
#include "platform/qt/ansi_qstring.h"
#include "system/handler.h"

namespace quellin::driverconfig {

namespace {

constexpr int kClientWidth = 522;
constexpr int kClientHeight = 606;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// Shows `items` with `row` selected, touching the list only where it differs.
void ShowList(QListWidget& list, const std::vector<std::string>& items, int row) {
    bool same = list.count() == static_cast<int>(items.size());
    for (int i = 0; same && i < list.count(); ++i) {
        same = list.item(i)->text() == win::QStringFromAnsi(items[static_cast<std::size_t>(i)]);
    }
    if (!same) {
        list.clear();
        for (const std::string& item : items) {
            list.addItem(win::QStringFromAnsi(item));
        }
    }
    if (row < 0) {
        list.clearSelection();
        list.setCurrentRow(-1);
    } else if (list.currentRow() != row || !list.item(row)->isSelected()) {
        list.setCurrentRow(row);
        list.item(row)->setSelected(true);
    }
}

void ShowText(QLineEdit& edit, const std::string& text) {
    if (edit.text() != win::QStringFromAnsi(text)) {
        edit.setText(win::QStringFromAnsi(text));
    }
}

}  // namespace

TForm2::TForm2(PaperSettings& settings, win::HWND owner, std::function<void()> openUpgradePage,
               QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      owner_(owner),
      openUpgradePage_(std::move(openUpgradePage)) {
    setObjectName("TForm2");
    setWindowTitle(kPaperSizeTitle);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(DialogFont());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    CreateControls();
    quellin::system::RunHandler([&] { FormCreate(); });
}

void TForm2::CreateControls() {
    constexpr int kLeft = 12;
    constexpr int kRight = 266;
    constexpr int kListWidth = 244;
    lblPaperSize = AddLabel(this, "lblPaperSize", "Options for Microsoft Print to PDF", kLeft, 10);
    lblAllSizes = AddLabel(this, "lblAllSizes", "Available Paper Sizes", kRight, 10);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(kLeft, 30, kListWidth, 296);
    ListBox2 = new QListWidget(this);
    ListBox2->setObjectName("ListBox2");
    ListBox2->setGeometry(kRight, 30, kListWidth, 296);
    for (QListWidget* list : {ListBox1, ListBox2}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setUniformItemSizes(true);
        list->viewport()->installEventFilter(this);
    }

    constexpr int kRow1 = 342;
    lblWidth = AddLabel(this, "lblWidth", "Paper Width:", kLeft, kRow1 + 3);
    edtWidth = new QLineEdit(this);
    edtWidth->setObjectName("edtWidth");
    edtWidth->setGeometry(100, kRow1, 56, 23);
    Label2 = AddLabel(this, "Label2", "mm", 161, kRow1 + 3);
    lblHeight = AddLabel(this, "lblHeight", "Paper Height:", 196, kRow1 + 3);
    edtHeight = new QLineEdit(this);
    edtHeight->setObjectName("edtHeight");
    edtHeight->setGeometry(288, kRow1, 56, 23);
    Label3 = AddLabel(this, "Label3", "mm", 349, kRow1 + 3);
    lblAR = AddLabel(this, "lblAR", "AR:", 392, kRow1 + 3);
    lblARValue = AddLabel(this, "lblARValue", "", 420, kRow1 + 3);
    lblARValue->resize(90, lblAR->height());

    constexpr int kRow2 = 380;
    lblDefaultOption = AddLabel(this, "lblDefaultOption", "Default Option:", kLeft, kRow2 + 6);
    lblDefaultValue = AddLabel(this, "lblDefaultValue", "", 118, kRow2 + 6);
    QFont bold = lblDefaultValue->font();
    bold.setBold(true);
    lblDefaultValue->setFont(bold);
    lblDefaultValue->resize(140, lblDefaultOption->height());
    btnApply = new QPushButton("Apply", this);
    btnApply->setObjectName("btnApply");
    btnApply->setGeometry(kRight, kRow2, 96, 29);
    btnApply->hide();
    btnAddCustom = new QPushButton("Add Custom Size", this);
    btnAddCustom->setObjectName("btnAddCustom");
    btnAddCustom->setGeometry(370, kRow2, 140, 29);

    GroupBox1 = new QGroupBox("Unit Accuracy", this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(kLeft, 422, 498, 56);
    RadioButton1 = new QRadioButton(kUsStandardCaption, GroupBox1);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton1->move(14, 24);
    RadioButton1->adjustSize();
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(kInternationalStandardCaption, GroupBox1);
    RadioButton2->setObjectName("RadioButton2");
    RadioButton2->move(254, 24);
    RadioButton2->adjustSize();

    Label1 = new QLabel(
        "Drag & drop between left and right list. To add all available paper sizes with a click, "
        "please upgrade to Velloran.",
        this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    Label1->setGeometry(kLeft, 488, 384, 52);
    btnUpgrade = new QPushButton("Upgrade", this);
    btnUpgrade->setObjectName("btnUpgrade");
    btnUpgrade->setGeometry(414, 494, 96, 29);

    constexpr int kRow3 = 558;
    btnSave = new QPushButton("Save Settings", this);
    btnSave->setObjectName("btnSave");
    btnSave->setGeometry(kLeft, kRow3, 150, 34);
    btnRestoreDefault = new QPushButton("Restore Default", this);
    btnRestoreDefault->setObjectName("btnRestoreDefault");
    btnRestoreDefault->setGeometry(186, kRow3, 150, 34);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(360, kRow3, 150, 34);

    // The catalogue's two tables, as the design keeps them.
    Memo6 = new QPlainTextEdit(win::QStringFromAnsi(KeywordTableText()), this);
    Memo6->setObjectName("Memo6");
    Memo6->hide();
    Memo7 = new QPlainTextEdit(win::QStringFromAnsi(DisplayTableText()), this);
    Memo7->setObjectName("Memo7");
    Memo7->hide();

    using quellin::system::RunHandler;
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!showing_)
            RunHandler([&] { ListBox1Click(); });
    });
    connect(ListBox2, &QListWidget::itemSelectionChanged, this, [this] {
        if (!showing_)
            RunHandler([&] { ListBox2Click(); });
    });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this,
            [this] { RunHandler([&] { ListBox1DblClick(); }); });
    connect(edtWidth, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showing_)
            state_.widthText = win::AnsiOfQString(text);
    });
    connect(edtHeight, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showing_)
            state_.heightText = win::AnsiOfQString(text);
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool checked) {
        if (!showing_)
            state_.internationalUnits = checked;
    });
    connect(btnApply, &QPushButton::clicked, this,
            [this] { RunHandler([&] { btnApplyClick(); }); });
    connect(btnAddCustom, &QPushButton::clicked, this,
            [this] { RunHandler([&] { btnAddCustomClick(); }); });
    connect(btnUpgrade, &QPushButton::clicked, this,
            [this] { RunHandler([&] { btnUpgradeClick(); }); });
    connect(btnSave, &QPushButton::clicked, this, [this] { RunHandler([&] { btnSaveClick(); }); });
    connect(btnRestoreDefault, &QPushButton::clicked, this,
            [this] { RunHandler([&] { btnRestoreDefaultClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::FormCreate() {
    state_ = CreatePaperSizeDialog(settings_, SystemDecimalSeparator());
    ShowState();
}

void TForm2::Prepare(const PaperSizeReading& reading) {
    PreparePaperSizeDialog(state_, reading, settings_);
    ShowState();
}

void TForm2::FillAvailableSizes() {
    driverconfig::FillAvailableSizes(state_);
    ShowState();
}

void TForm2::RemoveChosenSizes() {
    driverconfig::RemoveChosenSizes(state_);
    ShowState();
}

void TForm2::ShowPaperSize(const std::string& name) {
    driverconfig::ShowPaperSize(state_, name);
    ShowState();
}

void TForm2::ShowState() {
    showing_ = true;
    ShowList(*ListBox1, state_.chosen, state_.chosenRow);
    ShowList(*ListBox2, state_.available, state_.availableRow);
    ShowText(*edtWidth, state_.widthText);
    ShowText(*edtHeight, state_.heightText);
    edtWidth->setEnabled(state_.customEditing);
    edtHeight->setEnabled(state_.customEditing);
    btnApply->setVisible(state_.customEditing);
    lblARValue->setText(win::QStringFromAnsi(state_.aspectRatio));
    lblDefaultValue->setText(win::QStringFromAnsi(state_.defaultName));
    (state_.internationalUnits ? RadioButton2 : RadioButton1)->setChecked(true);
    showing_ = false;
}

void TForm2::ListClicked(PaperList list) {
    SelectPaperRow(state_, list, ListOf(list)->currentRow());
    if (ListOf(list)->selectedItems().isEmpty())
        SelectPaperRow(state_, list, -1);
    ClickPaperList(state_, list);
    ShowState();
}

void TForm2::ListBox1Click() {
    ListClicked(PaperList::Chosen);
}

void TForm2::ListBox2Click() {
    ListClicked(PaperList::Available);
}

void TForm2::ListBox1DblClick() {
    if (ChooseDefaultSize(state_))
        ShowState();
}

QListWidget* TForm2::ListOf(PaperList list) const {
    return list == PaperList::Chosen ? ListBox1 : ListBox2;
}

bool TForm2::ListBox1DragOver(QListWidget* source) const {
    return source == ListBox2;
}

bool TForm2::ListBox2DragOver(QListWidget* source) const {
    return source == ListBox1;
}

void TForm2::ListBox1DragDrop() {
    if (DropPaperSize(state_, PaperList::Chosen))
        ShowState();
}

void TForm2::ListBox2DragDrop() {
    if (DropPaperSize(state_, PaperList::Available))
        ShowState();
}

void TForm2::StartPress(QListWidget* list, const QPoint& globalPos) {
    dragSource_ = list;
    pressPos_ = globalPos;
    dragging_ = false;
}

void TForm2::ListBox1MouseDown(const QPoint& globalPos) {
    StartPress(ListBox1, globalPos);
}

void TForm2::ListBox2MouseDown(const QPoint& globalPos) {
    StartPress(ListBox2, globalPos);
}

QListWidget* TForm2::ListUnder(const QPoint& globalPos) const {
    QWidget* under = childAt(mapFromGlobal(globalPos));
    for (QListWidget* list : {ListBox1, ListBox2}) {
        if (under && (under == list || list->isAncestorOf(under)))
            return list;
    }
    return nullptr;
}

void TForm2::EndDrag(QListWidget* source, QListWidget* target) {
    if (target == ListBox1 && ListBox1DragOver(source))
        ListBox1DragDrop();
    else if (target == ListBox2 && ListBox2DragOver(source))
        ListBox2DragDrop();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    QListWidget* list = watched == ListBox1->viewport()   ? ListBox1
                        : watched == ListBox2->viewport() ? ListBox2
                                                          : nullptr;
    if (!list)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                pressLocal_ = mouse->position();
                if (list == ListBox1)
                    ListBox1MouseDown(mouse->globalPosition().toPoint());
                else
                    ListBox2MouseDown(mouse->globalPosition().toPoint());
            }
            break;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (list != dragSource_ || !(mouse->buttons() & Qt::LeftButton))
                break;
            const QPoint at = mouse->globalPosition().toPoint();
            if (!dragging_ &&
                (at - pressPos_).manhattanLength() >= QApplication::startDragDistance())
                dragging_ = true;
            if (!dragging_)
                break;
            QListWidget* target = ListUnder(at);
            const bool accepted = (target == ListBox1 && ListBox1DragOver(list)) ||
                                  (target == ListBox2 && ListBox2DragOver(list));
            list->viewport()->setCursor(accepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
            return true;  // the list must not drag its selection along
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || list != dragSource_)
                break;
            QListWidget* source = dragSource_;
            const bool dropped = dragging_;
            dragSource_ = nullptr;
            dragging_ = false;
            if (!dropped)
                break;
            source->viewport()->unsetCursor();
            QListWidget* target = ListUnder(mouse->globalPosition().toPoint());
            // The list sees the button go up where it went down, so it keeps its selection
            // instead of clearing it for a release outside its items.
            QMouseEvent release(QEvent::MouseButtonRelease, pressLocal_, pressPos_, Qt::LeftButton,
                                mouse->buttons(), mouse->modifiers());
            QApplication::sendEvent(source->viewport(), &release);
            // After the list has finished its own release.
            QMetaObject::invokeMethod(
                this,
                [this, source, target] {
                    quellin::system::RunHandler([&] { EndDrag(source, target); });
                },
                Qt::QueuedConnection);
            return true;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::btnAddCustomClick() {
    AddCustomSize(state_);
    ShowState();
}

void TForm2::btnApplyClick() {
    state_.widthText = win::AnsiOfQString(edtWidth->text());
    state_.heightText = win::AnsiOfQString(edtHeight->text());
    ApplyCustomSize(state_, owner_);
}

void TForm2::btnRestoreDefaultClick() {
    RestoreDefaultSizes(state_);
    ShowState();
}

void TForm2::btnSaveClick() {
    if (SavePaperSizeDialog(state_, settings_, owner_))
        accept();
}

void TForm2::btnUpgradeClick() {
    if (openUpgradePage_)
        openUpgradePage_();
}

}  // namespace quellin::driverconfig
