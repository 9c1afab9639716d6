#include "app/main_window.h"

#include "app/entry.h"

#include <cctype>

#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include "app/color_button.h"
#include "app/look.h"
#include "driverconfig/paper_size_editor.h"
#include "driverconfig/resolution_editor.h"
#include "platform/dates.h"
#include "platform/qt/ansi_qstring.h"
#include "platform/ui.h"
#include "promo/promotions.h"
#include "promo/prompts.h"
#include "system/admin.h"
#include "system/app_info.h"
#include "system/handler.h"
#include "system/machine_lock.h"
#include "system/preferences.h"
#include "system/printer_list.h"

namespace quellin::app {

using namespace quellin::system;

namespace {

constexpr std::uint32_t kWindowColor = 0xFFFFFF;
constexpr std::uint32_t kPanelColor = 15197160;  // red 232, green 227, blue 231
constexpr int kClientWidth = 534;
constexpr int kClientHeight = 679;
constexpr int kListWidth = 289;
constexpr int kListHeight = 202;
constexpr int kListHeightWithoutGroup = 460;
constexpr int kListItemHeight = 16;
constexpr int kCaptionTimerInterval = 3000;

}  // namespace

std::string ComposeSiteAddress() {
    const std::string scheme = "https";
    const std::string host = "www.tarnwell";
    const std::string domain = "com";
    return scheme + "://" + host + "." + domain;
}

void ShowMachineBusy(win::DWORD lockError) {
    std::string text =
        "Another Quellin command is changing this printer now. Please try again "
        "when it has finished.";
    if (lockError != 0) {
        text = quellin::system::kMachineLockFailure;
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        text += ".\r\nWindows error " + std::to_string(lockError) + ": " +
                win::FormatSystemMessage(lockError);
    }
    win::MessageBoxA(0, text, quellin::system::kApplicationTitle, win::MB_OK);
}

SystemCommandScope::SystemCommandScope(TForm1& form)
    : form_(form), entered_(!form.systemCommandRunning_) {
    // The lock keeps administrators' commands apart, and only they may enter it.
    if (entered_ && quellin::system::RunsAsAdministrator()) {
        lock_.emplace(0);
        entered_ = lock_->Held();
        if (!entered_)
            ShowMachineBusy(lock_->Error());
    }
    if (entered_)
        form_.systemCommandRunning_ = true;
}

std::string ComposeCompanionPrinterAddress() {
    return ComposeSiteAddress() + "/" + "velloran-pdf-printer.html";
}

TForm1::TForm1(win::HWND handle, QWidget* parent) : QWidget(parent), handle_(handle) {
    setObjectName("TForm1");
    setWindowTitle(kMainCaption);
    // The window is designed for one size only (FormCanResize keeps the current size).
    setFixedSize(kClientWidth, kClientHeight);
    SetBackgroundColor(*this, kWindowColor);
    setFont(DesignFont("MS Sans Serif", 14));
    CreateControls();
}

TColorButton* TForm1::AddButton(QWidget* parent, const char* name, const char* caption,
                                const QRect& geometry, void (TForm1::*handler)()) {
    auto* button = new TColorButton(QString::fromLatin1(caption), parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    connect(button, &QPushButton::clicked, this,
            [this, handler] { RunHandler([&] { (this->*handler)(); }); });
    connect(button, &TColorButton::mouseMoved, this,
            [this, button] { RunHandler([&] { CommonMouseMove(button); }); });
    return button;
}

void TForm1::CreateControls() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(9, 4, 214, 642);
    SetBackgroundColor(*Panel1, kPanelColor);

    constexpr int kLeft = 11;
    constexpr int kWidth = 184;
    constexpr int kHeight = 52;
    BitBtn10 = AddButton(Panel1, "BitBtn10", kInstallCaption, {kLeft, 8, kWidth, kHeight},
                         &TForm1::BitBtn10Click);
    BitBtn20 = AddButton(Panel1, "BitBtn20", "Set As Default", {kLeft, 71, kWidth, kHeight},
                         &TForm1::BitBtn20Click);
    SpeedButton1 = AddButton(Panel1, "SpeedButton1", "Show Printer", {kLeft, 135, kWidth, kHeight},
                             &TForm1::SpeedButton1Click);
    SpeedButton2 = AddButton(Panel1, "SpeedButton2", "Printer Properties",
                             {kLeft, 198, kWidth, kHeight}, &TForm1::SpeedButton2Click);
    BitBtn30 = AddButton(Panel1, "BitBtn30", "PDF Options", {kLeft, 262, kWidth, kHeight},
                         &TForm1::BitBtn30Click);
    SpeedButton4 = AddButton(Panel1, "SpeedButton4", driverconfig::kPaperSizeTitle,
                             {kLeft, 325, kWidth, kHeight}, &TForm1::SpeedButton4Click);
    SpeedButton7 = AddButton(Panel1, "SpeedButton7", driverconfig::kPrintQualityTitle,
                             {kLeft, 389, kWidth, 51}, &TForm1::SpeedButton7Click);
    SpeedButton6 = AddButton(Panel1, "SpeedButton6", "Clear Print Queue",
                             {kLeft, 452, kWidth, kHeight}, &TForm1::SpeedButton6Click);
    SpeedButton5 = AddButton(Panel1, "SpeedButton5", "Print Jobs in Queue",
                             {kLeft, 516, kWidth, kHeight}, &TForm1::GetPrinterInfo);
    SpeedButton3 = AddButton(Panel1, "SpeedButton3", "Uninstall Printer",
                             {kLeft, 580, kWidth, kHeight}, &TForm1::SpeedButton3Click);

    ListBox10 = new QListWidget(this);
    ListBox10->setObjectName("ListBox10");
    ListBox10->setGeometry(229, 8, kListWidth, kListHeight);
    ListBox10->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox10->setUniformItemSizes(true);

    constexpr int kGroupButtonWidth = 185;
    GroupBox2 = new QGroupBox("Features in Velloran", this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(229, 216, 288, 249);
    SetBackgroundColor(*GroupBox2, kWindowColor);  // group boxes take their window's colour
    const promo::CaptionSet& designCaptions = *promo::FeatureCaptions(0);
    btnFeature1 = AddButton(GroupBox2, "btnFeature1", designCaptions[0],
                            {52, 34, kGroupButtonWidth, kHeight}, &TForm1::btnFeature1Click);
    btnFeature2 = AddButton(GroupBox2, "btnFeature2", designCaptions[1],
                            {52, 103, kGroupButtonWidth, kHeight}, &TForm1::btnFeature2Click);
    btnFeature3 = AddButton(GroupBox2, "btnFeature3", designCaptions[2],
                            {52, 172, kGroupButtonWidth, kHeight}, &TForm1::btnFeature3Click);

    GroupBox1 = new QGroupBox("Global Settings", this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(228, 471, 289, 175);
    SetBackgroundColor(*GroupBox1, kWindowColor);
    btnSaveAllSettings =
        AddButton(GroupBox1, "btnSaveAllSettings", "Save Settings",
                  {53, 34, kGroupButtonWidth, kHeight}, &TForm1::btnSaveAllSettingsClick);
    btnRestoreAllSettings =
        AddButton(GroupBox1, "btnRestoreAllSettings", "Restore Settings",
                  {53, 103, kGroupButtonWidth, kHeight}, &TForm1::btnRestoreAllSettingsClick);

    // Windows draws a group's caption on its frame line, not above it.
    for (QGroupBox* group : {GroupBox1, GroupBox2}) {
        group->setStyleSheet(
            "QGroupBox { border: 1px solid #d5dfe5; border-radius: 3px; margin-top: 7px; }"
            "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }");
    }
    for (QWidget* background :
         {Panel1, static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(GroupBox2)}) {
        background->setMouseTracking(true);
        background->installEventFilter(this);
    }

    Label1 = new QLabel(promo::kNoticeDesignCaption, this);
    Label1->setObjectName("Label1");
    Label1->setFont(DesignFont("MS Sans Serif", 14, true));
    Label1->move(9, 656);
    Label1->adjustSize();
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kCaptionTimerInterval);
    Timer1->setProperty("tag", 0);
    connect(Timer1, &QTimer::timeout, this, [this] { RunHandler([&] { Timer1Timer(); }); });
    Timer1->start();
}

std::vector<TColorButton*> TForm1::AllButtons() const {
    return {BitBtn10,     BitBtn20,     SpeedButton1, SpeedButton2,       BitBtn30,
            SpeedButton4, SpeedButton7, SpeedButton6, SpeedButton5,       SpeedButton3,
            btnFeature1,  btnFeature2,  btnFeature3,  btnSaveAllSettings, btnRestoreAllSettings};
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

void TForm1::FormCreateWindowHalf() {
    win::SYSTEMTIME today;
    win::GetLocalTime(&today);
    Label1->setText(win::QStringFromAnsi(
        promo::NoticeCaption(win::AnsiOfQString(Label1->text()), static_cast<int>(today.wYear))));
    Label1->adjustSize();
    ShowPromotions = promo::PromotionsShown(today);
    if (!ShowPromotions) {
        Timer1->stop();
        GroupBox2->hide();
        ListBox10->resize(kListWidth, kListHeightWithoutGroup);
    }
    LoadPreferences();
    InternationalUnits = false;
    RefreshPrinterList();
}

void TForm1::RefreshPrinterList() {
    const PrinterListContent content =
        BuildPrinterList(EnumerateInstalledPrinters(), TargetPrinterName);
    ListBox10->clear();
    for (const auto& name : content.names) {
        auto* item = new QListWidgetItem(win::QStringFromAnsi(name), ListBox10);
        // The name's own bytes: a code page where some bytes have no character still names
        // the printer exactly.
        item->setData(Qt::UserRole, QByteArray::fromStdString(name));
        item->setSizeHint(QSize(0, kListItemHeight));
    }
    if (content.selected >= 0)
        ListBox10->setCurrentRow(content.selected);
    BitBtn10->setText(QString::fromLatin1(content.installCaption));
}

bool TForm1::IsPrinterPresent() const {
    return quellin::system::IsPrinterPresent(TargetPrinterName);
}

void TForm1::LoadPreferences() {
    const Preferences stored = quellin::system::LoadPreferences();
    Rotation = stored.Rotation;
    ASFile = stored.ASFile;
}

void TForm1::SavePreferences() {
    quellin::system::SavePreferences(Rotation);
}

namespace {
std::string PrinterNameOf(const QListWidgetItem& item) {
    const QVariant name = item.data(Qt::UserRole);
    return name.isValid() ? name.toByteArray().toStdString() : win::AnsiOfQString(item.text());
}
}  // namespace

std::string TForm1::SelectedPrinter() const {
    for (int row = 0; row < ListBox10->count(); ++row) {
        if (ListBox10->item(row)->isSelected())
            return PrinterNameOf(*ListBox10->item(row));
    }
    return {};
}

std::vector<std::string> TForm1::PrinterListEntries() const {
    std::vector<std::string> entries;
    for (int row = 0; row < ListBox10->count(); ++row)
        entries.push_back(PrinterNameOf(*ListBox10->item(row)));
    return entries;
}

void TForm1::OpenUpgradePage() {
    promo::OpenUpgradePage(Handle(), SiteAddress);
}

void TForm1::OpenFeaturesPage() {
    promo::OpenFeaturesPage(Handle(), SiteAddress);
}

void TForm1::ShowUpgradeReminder() {
    promo::ShowUpgradeReminder(Handle(), SiteAddress);
}

void TForm1::ShowNextPrompt() {
    promo::PromptContext context;
    context.owner = Handle();
    context.applicationTitle = kApplicationTitle;
    context.siteAddress = SiteAddress;
    context.companionPrinterAddress = CompanionPrinterAddress;
    context.printerListEntries = PrinterListEntries();
    Rotation = promo::ShowNextPrompt(Rotation, context);
}

void TForm1::btnFeature1Click() {
    OpenFeaturesPage();
}

void TForm1::btnFeature2Click() {
    OpenFeaturesPage();
}

void TForm1::btnFeature3Click() {
    OpenFeaturesPage();
}

void TForm1::Timer1Timer() {
    const int tag = Timer1->property("tag").toInt();
    if (const promo::CaptionSet* captions = promo::FeatureCaptions(tag)) {
        btnFeature1->setText(win::QStringFromAnsi((*captions)[0]));
        btnFeature2->setText(win::QStringFromAnsi((*captions)[1]));
        btnFeature3->setText(win::QStringFromAnsi((*captions)[2]));
    }
    RefreshPrinterList();
    Timer1->setProperty("tag", promo::NextCaptionTag(tag));
}

void TForm1::Label1Click() {
    promo::OpenAddress(Handle(), SiteAddress);
}

void TForm1::Label1MouseEnter() {
    QFont font = Label1->font();
    font.setBold(true);
    font.setUnderline(true);
    Label1->setFont(font);
}

void TForm1::Label1MouseLeave() {
    QFont font = Label1->font();
    font.setBold(true);
    font.setUnderline(false);
    Label1->setFont(font);
}

void TForm1::CommonMouseMove(TColorButton* sender) {
    sender->setFaceColor(kButtonHoverColor);
}

void TForm1::ResetButtonColors() {
    for (TColorButton* button : AllButtons())
        button->setFaceColor(kButtonFaceColor);
}

void TForm1::Panel1MouseMove() {
    ResetButtonColors();
}

void TForm1::GroupBox1MouseMove() {
    ResetButtonColors();
}

void TForm1::GroupBox2MouseMove() {
    ResetButtonColors();
}

void TForm1::FormCloseQuery(bool& canClose) {
    if (ShowPromotions)
        ShowNextPrompt();
    canClose = true;
}

void TForm1::FormClose() {
    SavePreferences();
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    RunHandler([&] { FormCloseQuery(canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    RunHandler([&] { FormClose(); });
    event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    if (QScreen* display = screen()) {
        const QRect area = display->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove) {
        if (watched == Panel1)
            RunHandler([&] { Panel1MouseMove(); });
        else if (watched == GroupBox1)
            RunHandler([&] { GroupBox1MouseMove(); });
        else if (watched == GroupBox2)
            RunHandler([&] { GroupBox2MouseMove(); });
    } else if (watched == Label1) {
        if (type == QEvent::Enter) {
            RunHandler([&] { Label1MouseEnter(); });
        } else if (type == QEvent::Leave) {
            RunHandler([&] { Label1MouseLeave(); });
        } else if (type == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && Label1->rect().contains(mouse->pos()))
                RunHandler([&] { Label1Click(); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

TForm1* CreateMainWindow(unsigned int handle) {
    return new TForm1(handle);
}

}  // namespace quellin::app
