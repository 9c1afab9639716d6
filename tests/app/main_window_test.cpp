// The main window driven offscreen against a fresh sandbox per test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/color_button.h"
#include "app/entry.h"
#include "app/look.h"
#include "app/main_window.h"
#include "platform/sim/control.h"
#include "platform/spooler.h"
#include "promo/prompts.h"
#include "support/sandbox_fixture.h"
#include "system/preferences.h"

namespace quellin::app {

using namespace quellin::system;
namespace {

constexpr win::HWND kHandle = 0x5150;

sim::InitOptions OnDate(const std::string& date) {
    sim::InitOptions options;
    options.config.date = date;
    return options;
}

class MainWindowTest : public ::testing::Test {
  protected:
    explicit MainWindowTest(const std::string& date = "2021-06-01") : sandbox(OnDate(date)) {}

    TForm1& Open() {
        form = std::make_unique<TForm1>(kHandle);
        form->FormCreate();
        return *form;
    }

    void Close() {
        form->show();
        form->close();
    }

    std::vector<std::string> Entries() const { return form->PrinterListEntries(); }

    std::vector<std::string> BoxCaptions() const {
        std::vector<std::string> captions;
        for (const auto& box : ui.boxes)
            captions.push_back(box.caption);
        return captions;
    }

    static void MoveMouseOver(QWidget* widget) {
        const QPointF at(3, 3);
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }

    std::vector<TColorButton*> Buttons() const {
        const auto found = form->findChildren<TColorButton*>();
        return {found.begin(), found.end()};
    }

    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    std::unique_ptr<TForm1> form;
};

void DeletePrinter(const std::string& name) {
    sim::ForgetPrinter(name);
}

void AddPrinter(const std::string& name) {
    sim::AddPrinter(name, "nul:", "D", win::PRINTER_ATTRIBUTE_LOCAL);
}

TEST_F(MainWindowTest, FreshSystemShowsTheTargetSelectedAndOffersReinstall) {
    Open();
    EXPECT_EQ(Entries(), std::vector<std::string>{"Microsoft Print to PDF"});
    EXPECT_EQ(form->SelectedPrinter(), "Microsoft Print to PDF");
    EXPECT_EQ(form->BitBtn10->text(), "Reinstall Printer");
    EXPECT_TRUE(form->IsPrinterPresent());
}

TEST_F(MainWindowTest, RemovedPrinterOffersInstallWithNothingSelected) {
    Open();
    DeletePrinter("Microsoft Print to PDF");
    AddPrinter("Office PDF");
    form->RefreshPrinterList();
    EXPECT_EQ(Entries(), std::vector<std::string>{"Office PDF"});
    EXPECT_EQ(form->SelectedPrinter(), "");
    EXPECT_TRUE(form->ListBox10->selectedItems().isEmpty());
    EXPECT_EQ(form->BitBtn10->text(), "Install Printer");
    EXPECT_FALSE(form->IsPrinterPresent());
}

struct DateCase {
    const char* label;
    const char* date;
    bool promotions;
    int listHeight;
    const char* noticeYear;
};

class DateRuleTest : public MainWindowTest, public ::testing::WithParamInterface<DateCase> {
  protected:
    DateRuleTest() : MainWindowTest(GetParam().date) {}
};

TEST_P(DateRuleTest, DateDecidesTheFeatureGroupTimerAndNotice) {
    const DateCase& c = GetParam();
    Open();
    EXPECT_EQ(form->ShowPromotions, c.promotions);
    EXPECT_EQ(form->GroupBox2->isHidden(), !c.promotions);
    EXPECT_EQ(form->Timer1->isActive(), c.promotions);
    EXPECT_EQ(form->ListBox10->geometry(), QRect(229, 8, 289, c.listHeight));
    EXPECT_TRUE(form->Label1->text().contains(QString("-") + c.noticeYear))
        << form->Label1->text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Dates, DateRuleTest,
                         ::testing::ValuesIn(std::vector<DateCase>{
                             {"october_2020_hides", "2020-10-15", false, 460, "2020"},
                             {"november_2020_shows", "2020-11-01", true, 202, "2020"},
                             {"year_2021_shows", "2021-01-05", true, 202, "2021"},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

class PausedPromotionsTest : public MainWindowTest {
  protected:
    PausedPromotionsTest() : MainWindowTest("2020-10-15") {}
};

TEST_F(PausedPromotionsTest, CloseAsksNothingAndStillSavesTheLoadedCounter) {
    SavePreferences(7);
    Open();
    Close();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(LoadPreferences().Rotation, 7);
}

TEST_F(MainWindowTest, FourRunsFromAFreshSystemWalkTheFirstPrompts) {
    for (int run = 0; run < 4; ++run) {
        Open();
        Close();
        EXPECT_FALSE(form->isVisible());
    }
    EXPECT_EQ(BoxCaptions(),
              (std::vector<std::string>{"Quellin", "Quellin", "Upgrade", "Product Orientation",
                                        "Pro Version Upgrade"}));
    ASSERT_EQ(ui.boxes.size(), 5u);
    EXPECT_EQ(ui.boxes[0].text, promo::kUpgradeOffer);
    EXPECT_EQ(ui.boxes[2].text, promo::kMorePowerfulOffer);
    EXPECT_EQ(ui.boxes[3].text, promo::ProductTable()[0].question);
    EXPECT_EQ(ui.boxes[0].owner, kHandle);
    EXPECT_EQ(LoadPreferences().Rotation, 4);
}

TEST_F(MainWindowTest, ThirdCloseWithoutThePrinterOffersTheAlternative) {
    SavePreferences(2);
    DeletePrinter("Microsoft Print to PDF");
    Open();
    ui.QueueAnswer(win::IDYES);
    Close();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, promo::kAlternativePrinterOffer);
    EXPECT_EQ(ui.boxes[0].caption, "Quellin");
    EXPECT_EQ(ui.urls, std::vector<std::string>{form->CompanionPrinterAddress});
}

TEST_F(MainWindowTest, NoToAProductStillRemindsAndCloses) {
    SavePreferences(3);
    Open();
    ui.QueueAnswer(win::IDNO);
    ui.QueueAnswer(win::IDYES);
    Close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(BoxCaptions(),
              (std::vector<std::string>{"Product Orientation", "Pro Version Upgrade"}));
    EXPECT_EQ(ui.urls,
              std::vector<std::string>{form->SiteAddress + "/upgrade-to-velloran-pro.html"});
    EXPECT_EQ(LoadPreferences().Rotation, 4);
}

TEST_F(MainWindowTest, TimerTicksRotateCaptionsAndFollowThePrinters) {
    Open();
    std::vector<std::vector<QString>> shown;
    for (int tick = 0; tick < 5; ++tick) {
        if (tick == 2)
            AddPrinter("Office PDF");
        form->Timer1Timer();
        shown.push_back(
            {form->btnFeature1->text(), form->btnFeature2->text(), form->btnFeature3->text()});
    }
    const std::vector<std::vector<QString>> expected = {
        {"Auto Save PDF", "Append && Merge PDF", "Password Protection"},
        {"Batch Print", "Photos to PDF", "Web Pages to PDF"},
        {"Open PDF automatically", "Print to PDF and email", "Restrict permissions"},
        {"Batch convert to PDF", "Change PDF properties", "Set PDF view mode"},
        {"Auto Save PDF", "Append && Merge PDF", "Password Protection"},
    };
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"Microsoft Print to PDF", "Office PDF"}));
    EXPECT_EQ(form->Timer1->interval(), 3000);
}

TEST_F(MainWindowTest, FeatureButtonsOpenTheFeaturesPageWhateverTheyShow) {
    Open();
    form->Timer1Timer();
    form->Timer1Timer();
    for (TColorButton* button : {form->btnFeature1, form->btnFeature2, form->btnFeature3})
        button->click();
    const std::string page = form->SiteAddress + "/velloran.html";
    EXPECT_EQ(ui.urls, (std::vector<std::string>{page, page, page}));
}

TEST_F(MainWindowTest, HoverHighlightsUntilTheBackgroundIsReached) {
    Open();
    auto colors = [&] {
        std::vector<uint> values;
        for (TColorButton* button : Buttons())
            values.push_back(button->property("color").toUInt());
        return values;
    };
    const std::vector<uint> allFace(Buttons().size(), kButtonFaceColor);
    ASSERT_EQ(Buttons().size(), 15u);
    EXPECT_EQ(colors(), allFace);

    MoveMouseOver(form->BitBtn20);
    MoveMouseOver(form->btnFeature2);
    EXPECT_EQ(form->BitBtn20->faceColor(), kButtonHoverColor);
    EXPECT_EQ(form->btnFeature2->faceColor(), kButtonHoverColor);
    EXPECT_EQ(form->BitBtn10->faceColor(), kButtonFaceColor);

    for (QWidget* background : {form->Panel1, static_cast<QWidget*>(form->GroupBox1),
                                static_cast<QWidget*>(form->GroupBox2)}) {
        MoveMouseOver(form->SpeedButton3);
        MoveMouseOver(background);
        EXPECT_EQ(colors(), allFace) << background->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, NoticeUnderlinesOnHoverAndOpensTheSite) {
    Open();
    QLabel* label = form->Label1;
    const QPointF at(2, 2);
    QEnterEvent enter(at, at, label->mapToGlobal(at));
    QApplication::sendEvent(label, &enter);
    EXPECT_TRUE(label->font().underline());
    EXPECT_TRUE(label->font().bold());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(label, &leave);
    EXPECT_FALSE(label->font().underline());
    EXPECT_TRUE(label->font().bold());

    QMouseEvent release(QEvent::MouseButtonRelease, at, label->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(label, &release);
    EXPECT_EQ(ui.urls, std::vector<std::string>{form->SiteAddress});
    const auto log = sim::LaunchLog();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [&](const auto& e) { return e.file == form->SiteAddress; }));
}

TEST_F(MainWindowTest, DrawsTheDesignColoursAndFonts) {
    Open();
    form->show();
    const QImage image = form->grab().toImage();
    if (const char* path = std::getenv("QUELLIN_SCREENSHOT"))
        image.save(path);
    ASSERT_EQ(image.size(), QSize(534, 679));
    // Inside a button's bevel, in the gap between two buttons, and the window's own white.
    EXPECT_EQ(WindowsFromColor(image.pixelColor(9 + 11 + 6, 4 + 71 + 6)), kButtonFaceColor);
    EXPECT_EQ(WindowsFromColor(image.pixelColor(9 + 11 + 6, 4 + 66)), 15197160u);
    EXPECT_EQ(WindowsFromColor(image.pixelColor(9 + 11, 4 + 71 + 26)), 0u);  // border
    EXPECT_EQ(WindowsFromColor(image.pixelColor(530, 650)), 0xFFFFFFu);

    EXPECT_EQ(QFontInfo(form->BitBtn10->font()).family(), "Liberation Sans");
    EXPECT_EQ(form->BitBtn10->font().family(), "Arial");
    EXPECT_EQ(form->BitBtn10->font().pixelSize(), 15);
    EXPECT_EQ(QFontInfo(form->ListBox10->font()).family(), "Liberation Sans");
}

// The dark bevel lies directly against the black border, and the dotted focus mark waits
// for the keyboard, as on Windows.
TEST_F(MainWindowTest, ButtonBevelMeetsTheBorderAndFocusMarksWaitForTheKeyboard) {
    Open();
    form->show();
    form->activateWindow();
    for (int i = 0; i < 100 && !form->isActiveWindow(); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    TColorButton* button = form->BitBtn10;
    button->setFocus(Qt::ActiveWindowFocusReason);
    ASSERT_TRUE(button->hasFocus());
    const QColor face = ColorFromWindows(kButtonFaceColor);
    const uint dark = WindowsFromColor(face.darker(140));
    const uint light = WindowsFromColor(face.lighter(140));
    auto at = [&](int x, int y) {
        return WindowsFromColor(button->grab().toImage().pixelColor(x, y));
    };
    const int w = button->width(), h = button->height();
    const struct {
        int x, y;
        uint color;
    } edges[] = {
        {w - 1, h / 2, 0}, {w - 2, h / 2, dark}, {w - 3, h / 2, kButtonFaceColor},
        {w / 2, h - 1, 0}, {w / 2, h - 2, dark}, {w / 2, h - 3, kButtonFaceColor},
        {0, h / 2, 0},     {1, h / 2, light},    {w / 2, 1, light},
    };
    for (const auto& e : edges)
        EXPECT_EQ(at(e.x, e.y), e.color) << e.x << "," << e.y;

    // The focus mark's top line, three pixels in.
    auto markShown = [&] {
        for (int x = 4; x < 12; ++x) {
            if (at(x, 3) == 0xFFFFFFu)
                return true;
        }
        return false;
    };
    EXPECT_FALSE(markShown()) << "no focus mark before the keyboard is used";
    QKeyEvent alt(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QApplication::sendEvent(button, &alt);
    EXPECT_TRUE(markShown()) << "Alt shows the focus marks";
}

TEST(EntrySequence, WindowAndBoxTitlesGetNoApplicationNameAppended) {
    testsupport::ScopedSandbox sandbox(OnDate("2021-06-01"));
    testsupport::RecordingUi ui;
    QString title;
    QString displayName;
    ProgramOptions options;
    options.ui = &ui;
    options.onMainWindow = [&](TForm1& form) {
        // The desktop appends an explicitly set display name to every window title ("Quellin
        // 1.1 - Quellin"); only an unset one follows the application name.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName("probe");
        displayName = QGuiApplication::applicationDisplayName();
        QCoreApplication::setApplicationName(name);
        title = form.windowTitle();
        QTimer::singleShot(0, &form, [&form] { form.close(); });
    };
    RunPrnStatus(*qApp, options);
    EXPECT_EQ(title.toStdString(), "Quellin 1.1");
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "Quellin");
    EXPECT_EQ(displayName.toStdString(), "probe");
}

}  // namespace
}  // namespace quellin::app
