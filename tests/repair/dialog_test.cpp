// The progress dialog offscreen against a fresh sandbox per test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>

#include "platform/processes.h"
#include "platform/sim/control.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "repair/ui/marquee_bar.h"
#include "repair/ui/progress_dialog.h"
#include "sandbox_fixture.h"

namespace quellin::repair {
namespace {

std::function<void()> g_pumpHook;

// What the program's message loop does between the polls of a wait, plus a test's look.
void Pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (g_pumpHook)
        g_pumpHook();
}

class DialogTest : public testing::Test {
  protected:
    explicit DialogTest(bool pdfPrinter = true) : sandbox(Options(pdfPrinter)) {
        win::SetMessagePump(&Pump);
    }
    ~DialogTest() override {
        g_pumpHook = nullptr;
        win::SetMessagePump(nullptr);
    }

    static sim::InitOptions Options(bool pdfPrinter) {
        sim::InitOptions options;
        options.pdfPrinter = pdfPrinter;
        return options;
    }

    TForm3& Open(int mode) {
        RepairSettings settings;
        settings.wow64KeyFlag = 256;
        settings.targetPrinterName = "Microsoft Print to PDF";
        settings.targetDriverName = "Microsoft Print to PDF";
        dialog = std::make_unique<TForm3>(mode, settings, nullptr);
        return *dialog;
    }

    // Lets the dialog's loop run until `done` holds or 20 s have passed.
    static bool RunUntil(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    static std::int64_t Launches() { return static_cast<std::int64_t>(sim::LaunchLog().size()); }

    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    std::unique_ptr<TForm3> dialog;
};

TEST_F(DialogTest, IsLaidOutAsDesigned) {
    TForm3& form = Open(kInstallMode);
    EXPECT_EQ(form.objectName(), "TForm3");
    EXPECT_EQ(form.windowTitle(), "Apply Settings");
    EXPECT_EQ(form.size(), QSize(481, 153));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed border";
    EXPECT_EQ(form.Label1->objectName(), "Label1");
    EXPECT_EQ(form.Label1->text(), "Applying settings, please wait....");
    EXPECT_EQ(form.Label1->pos(), QPoint(59, 30));
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Label1->font().pixelSize(), 15);
    EXPECT_EQ(form.ProgressBar1->objectName(), "ProgressBar1");
    EXPECT_STREQ(form.ProgressBar1->metaObject()->className(), "quellin::repair::TMarqueeBar");
    EXPECT_EQ(form.ProgressBar1->geometry(), QRect(59, 69, 356, 22));
    EXPECT_FALSE(form.ProgressBar1->isTextVisible());
    EXPECT_EQ(form.Timer1->objectName(), "Timer1");
    EXPECT_EQ(form.Timer1->interval(), 600);
    EXPECT_TRUE(form.Timer1->isActive()) << "enabled when the dialog is created";
}

TEST_F(DialogTest, NeitherCloseNorEscapeBeforeTheFirstTickCancelsTheSequence) {
    TForm3& form = Open(kReinstallMode);
    form.show();
    form.close();
    form.reject();  // what Esc does
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Timer1->isActive());
    ASSERT_TRUE(RunUntil([&] { return form.Outcome().has_value(); }));
    EXPECT_EQ(form.Outcome(), RepairOutcome::Ran);
    EXPECT_GT(Launches(), 0);
}

class DialogWithoutPrinter : public DialogTest {
  protected:
    DialogWithoutPrinter() : DialogTest(false) {}
};

TEST_F(DialogWithoutPrinter, RunsTheSequenceShowingItsTextsAndClosesItself) {
    TForm3& form = Open(kInstallMode);
    std::set<QString> labels;
    std::set<QString> captions;
    std::set<int> offsets;
    g_pumpHook = [&] {
        labels.insert(form.Label1->text());
        captions.insert(form.windowTitle());
        offsets.insert(form.ProgressBar1->BlockOffset());
    };
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(form.Outcome(), RepairOutcome::Ran);
    EXPECT_EQ(labels, std::set<QString>{"Installing Microsoft Print to PDF printer..."});
    EXPECT_EQ(captions, std::set<QString>{"Install"});
    EXPECT_GE(offsets.size(), 3u) << "the bar moves while the servicing tool runs";
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
    EXPECT_EQ(sim::FeatureState(sim::kPdfFeatureName), "Enabled");
}

TEST_F(DialogWithoutPrinter, TheBarIsRedrawnMovedDuringTheWait) {
    TForm3& form = Open(kInstallMode);
    std::set<QByteArray> frames;
    QElapsedTimer clock;
    clock.start();
    g_pumpHook = [&] {
        if (clock.elapsed() < 60)
            return;
        clock.restart();
        const QImage image = form.ProgressBar1->grab().toImage();
        frames.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()),
                                 static_cast<int>(image.sizeInBytes())));
    };
    form.exec();
    EXPECT_GE(frames.size(), 3u) << "different pictures of the bar while the sequence waits";
}

TEST_F(DialogWithoutPrinter, ACloseDuringTheSequenceWaitsForItsEnd) {
    TForm3& form = Open(kInstallMode);
    bool visibleAfterClose = true;
    g_pumpHook = [&] {
        if (!form.SequenceRunning())
            return;
        form.close();
        form.reject();
        visibleAfterClose = visibleAfterClose && form.isVisible();
    };
    form.exec();
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(form.Outcome(), RepairOutcome::Ran) << "the sequence ran to its end";
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
}

TEST_F(DialogTest, ARaisedErrorLeavesTheDialogOpenWithItsTimerStopped) {
    // Without a spooler service the port list cannot be read at step 10.
    sim::RemoveService("Spooler");
    TForm3& form = Open(kReinstallMode);
    form.show();
    ASSERT_TRUE(RunUntil([&] { return !ui.errors.empty(); }));
    EXPECT_NE(ui.errors[0].find("Code: 1722"), std::string::npos) << ui.errors[0];
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.SequenceRunning());
    EXPECT_FALSE(form.Outcome());
    EXPECT_EQ(form.Label1->text(), "Analyzing Microsoft Print to PDF software package...");
    EXPECT_EQ(Launches(), 1) << "the enable step never ran";
    form.close();
    EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace quellin::repair
