// The main window's two backup buttons: the panel, the error box, and clicks that arrive while
// a handler lets messages through.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <memory>

#include "app/color_button.h"
#include "app/main_window.h"
#include "platform/processes.h"
#include "support/sandbox_fixture.h"

namespace quellin::app {
namespace {

constexpr win::HWND kHandle = 0x5150;
const std::string kArchive = "C:\\Users\\User\\Documents\\pdf.roy";

sim::InitOptions WithoutPromotions() {
    sim::InitOptions options;
    options.config.date = "2020-10-15";
    return options;
}

// While a handler processes messages, the user clicks both backup buttons again.
TForm1* g_form = nullptr;
int g_pumps = 0;
bool g_panelHiddenWhilePumping = false;
void ClickBothDuringPump() {
    ++g_pumps;
    g_panelHiddenWhilePumping = g_panelHiddenWhilePumping || g_form->Panel1->isHidden();
    g_form->btnSaveAllSettings->click();
    g_form->btnRestoreAllSettings->click();
}

class BackupCommandsTest : public ::testing::Test {
  protected:
    BackupCommandsTest() : sandbox(WithoutPromotions()) {
        form = std::make_unique<TForm1>(kHandle);
        form->FormCreate();
    }
    ~BackupCommandsTest() override {
        win::SetMessagePump(nullptr);
        g_form = nullptr;
    }

    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    std::unique_ptr<TForm1> form;
};

TEST_F(BackupCommandsTest, ClicksWhileAHandlerRunsAreIgnoredAndThePanelComesBack) {
    g_form = form.get();
    g_pumps = 0;
    win::SetMessagePump(&ClickBothDuringPump);
    ui.QueueFile(kArchive);
    ui.QueueFile(kArchive);
    form->btnSaveAllSettings->click();
    EXPECT_GT(g_pumps, 0);
    EXPECT_TRUE(g_panelHiddenWhilePumping);
    ASSERT_EQ(ui.dialogs.size(), 1u) << "a click during the save opened another dialog";
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Backup success!");
    EXPECT_FALSE(form->Panel1->isHidden());

    form->btnRestoreAllSettings->click();
    EXPECT_EQ(ui.dialogs.size(), 2u);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, "Restore success!");
    EXPECT_FALSE(form->Panel1->isHidden());
}

TEST_F(BackupCommandsTest, ArchiveErrorReachesTheErrorBoxWithThePanelShown) {
    ui.QueueFile(kArchive);
    form->btnRestoreAllSettings->click();
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(ui.errors[0].rfind("Cannot open file \"" + kArchive + "\". ", 0), 0u);
    EXPECT_FALSE(form->Panel1->isHidden());
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(BackupCommandsTest, SaveNeedsASelectedPrinter) {
    form->ListBox10->clearSelection();
    form->btnSaveAllSettings->click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Please select a printer first.");
    EXPECT_TRUE(ui.dialogs.empty());
}

}  // namespace
}  // namespace quellin::app
