// The main window's install and uninstall commands and ShowRepairDialog, offscreen against a
// fresh sandbox per test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/color_button.h"
#include "app/main_window.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "queue_folder.h"
#include "repair/sequences.h"
#include "repair/uninstall.h"
#include "sandbox_fixture.h"
#include "system/machine_lock.h"

namespace quellin::app {
namespace {

constexpr win::HWND kHandle = 0x5150;

std::function<void()> g_pumpHook;

void Pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (g_pumpHook) {
        auto hook = std::move(g_pumpHook);
        g_pumpHook = nullptr;
        hook();
    }
}

sim::InitOptions Options(bool pdfPrinter) {
    sim::InitOptions options;
    options.pdfPrinter = pdfPrinter;
    options.config.date = "2021-06-01";
    return options;
}

class CommandsTest : public testing::Test {
  protected:
    explicit CommandsTest(bool pdfPrinter = true) : sandbox(Options(pdfPrinter)) {
        win::SetMessagePump(&Pump);
    }
    ~CommandsTest() override {
        g_pumpHook = nullptr;
        win::SetMessagePump(nullptr);
    }

    TForm1& Open() {
        form = std::make_unique<TForm1>(kHandle);
        form->FormCreate();
        return *form;
    }

    void SetUser(const std::string& user) {
        sim::Config config = sim::ReadConfig();
        config.user = user;
        sandbox.SetConfig(config);
    }

    static std::vector<std::string> Launches() {
        std::vector<std::string> launches;
        for (const sim::LaunchEntry& e : sim::LaunchLog())
            launches.push_back(e.verb + " " + e.file + " " + e.parameters + " | " + e.directory);
        return launches;
    }

    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    std::unique_ptr<TForm1> form;
};

const std::string kDisableLaunch = std::string("runas C:\\Windows\\Sysnative\\dism.exe ") +
                                   repair::kDisableParameters + " | C:\\Windows\\system32";
const std::string kEnableLaunch = std::string("runas C:\\Windows\\Sysnative\\dism.exe ") +
                                  repair::kEnableParameters + " | C:\\Windows\\system32";

TEST_F(CommandsTest, ReinstallGivesANewQueueFolderAndKeepsTheCaption) {
    Open();
    ASSERT_EQ(form->BitBtn10->text(), "Reinstall Printer");
    const std::string before = repair::QueueFolderName();
    form->BitBtn10Click();
    EXPECT_EQ(form->RepairMode, repair::kReinstallMode);
    EXPECT_NE(repair::QueueFolderName(), before);
    EXPECT_FALSE(repair::QueueFolderName().empty());
    EXPECT_EQ(Launches(), (std::vector<std::string>{kDisableLaunch, kEnableLaunch}));
    EXPECT_EQ(form->BitBtn10->text(), "Reinstall Printer");
    EXPECT_EQ(form->SelectedPrinter(), "Microsoft Print to PDF");
    EXPECT_TRUE(ui.boxes.empty()) << "no confirmation, no report";
}

class CommandsWithoutPrinter : public CommandsTest {
  protected:
    CommandsWithoutPrinter() : CommandsTest(false) {}
};

TEST_F(CommandsWithoutPrinter, InstallBringsThePrinterAndTheReinstallCaption) {
    Open();
    ASSERT_EQ(form->BitBtn10->text(), "Install Printer");
    form->BitBtn10Click();
    EXPECT_EQ(form->RepairMode, repair::kInstallMode);
    EXPECT_EQ(Launches(), std::vector<std::string>{kEnableLaunch});
    EXPECT_EQ(form->BitBtn10->text(), "Reinstall Printer");
    EXPECT_EQ(form->SelectedPrinter(), "Microsoft Print to PDF");
}

TEST(RepairModeForCaption, OnlyTheExactReinstallCaptionReinstalls) {
    EXPECT_EQ(repair::RepairModeForCaption("Install Printer"), repair::kInstallMode);
    EXPECT_EQ(repair::RepairModeForCaption("Reinstall Printer"), repair::kReinstallMode);
    EXPECT_EQ(repair::RepairModeForCaption("reinstall printer"), repair::kInstallMode);
    EXPECT_EQ(repair::RepairModeForCaption(""), repair::kInstallMode);
}

struct UninstallCase {
    const char* name;
    bool printer;
    std::vector<int> answers;
    std::size_t questions;
    bool printerAfter;
    const char* featureAfter;
};

class Uninstall : public CommandsTest, public testing::WithParamInterface<UninstallCase> {
  protected:
    Uninstall() : CommandsTest(GetParam().printer) {}
};

TEST_P(Uninstall, AsksTwiceAndRemovesStepByStep) {
    const UninstallCase& c = GetParam();
    Open();
    for (int answer : c.answers)
        ui.QueueAnswer(answer);
    form->SpeedButton3Click();
    ASSERT_EQ(ui.boxes.size(), c.questions);
    const char* questions[] = {repair::kRemovePrinterQuestion, repair::kRemovePackageQuestion};
    for (std::size_t i = 0; i < c.questions; ++i) {
        EXPECT_EQ(ui.boxes[i].text, questions[i]);
        EXPECT_EQ(ui.boxes[i].caption, "Confirmation");
        EXPECT_EQ(ui.boxes[i].owner, kHandle);
        EXPECT_EQ(ui.boxes[i].flags, win::MB_YESNO);
    }
    EXPECT_EQ(sim::FindPrinter("Microsoft Print to PDF").has_value(), c.printerAfter);
    EXPECT_EQ(sim::FeatureState(sim::kPdfFeatureName), c.featureAfter);
    const bool removedPackage = c.answers.size() == 2 && c.answers[1] == win::IDYES;
    EXPECT_EQ(Launches(), removedPackage ? std::vector<std::string>{kDisableLaunch}
                                         : std::vector<std::string>{});
    EXPECT_EQ(form->BitBtn10->text(), c.printerAfter ? "Reinstall Printer" : "Install Printer")
        << "the list was refreshed";
    EXPECT_TRUE(sim::PortMonitor("PORTPROMPT:")) << "the uninstall leaves the port";
}

INSTANTIATE_TEST_SUITE_P(
    Repair, Uninstall,
    testing::Values(
        UninstallCase{"NoPrinter", false, {}, 0, false, "Disabled"},
        UninstallCase{"No", true, {win::IDNO}, 1, true, "Enabled"},
        UninstallCase{"YesNo", true, {win::IDYES, win::IDNO}, 2, false, "Enabled"},
        UninstallCase{
            "YesYes", true, {win::IDYES, win::IDYES}, 2, false, "DisabledWithPayloadRemoved"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    void (TForm1::*handler)();
};

class NotAdministrator : public CommandsTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(NotAdministrator, ShowsOnlyThePermissionBox) {
    Open();
    SetUser("filtered-admin");
    ui.QueueAnswer(win::IDYES);
    (form.get()->*GetParam().handler)();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Quellin 1.1");
    EXPECT_EQ(ui.boxes[0].text.rfind("Permission denied.", 0), 0u);
    EXPECT_EQ(form->RepairMode, 0);
    EXPECT_TRUE(Launches().empty());
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
}

INSTANTIATE_TEST_SUITE_P(Repair, NotAdministrator,
                         testing::Values(RefusalCase{"Install", &TForm1::BitBtn10Click},
                                         RefusalCase{"Uninstall", &TForm1::SpeedButton3Click}),
                         [](const auto& info) { return std::string(info.param.name); });

// A command line that holds the machine keeps the window's changing commands out too.
TEST_P(NotAdministrator, AnotherProgramHoldingTheMachineStopsTheCommand) {
    Open();
    quellin::system::MachineLock held(0);
    ASSERT_TRUE(held.Held());
    ui.QueueAnswer(win::IDYES);
    (form.get()->*GetParam().handler)();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("Another Quellin command"), std::string::npos);
    EXPECT_TRUE(Launches().empty());
    EXPECT_TRUE(sim::FindPrinter("Microsoft Print to PDF"));
}

// While the uninstall waits for the servicing tool the window keeps handling messages, but a
// second system-changing command is ignored: two servicing tool runs at once would be a fault.
TEST_F(CommandsTest, ClicksDuringTheUninstallWaitAreIgnored) {
    Open();
    ui.QueueAnswer(win::IDYES);
    ui.QueueAnswer(win::IDYES);
    bool pumped = false;
    g_pumpHook = [&] {
        pumped = true;
        ui.QueueAnswer(win::IDYES);
        form->SpeedButton3Click();
        form->BitBtn10Click();
    };
    form->SpeedButton3Click();
    EXPECT_TRUE(pumped);
    EXPECT_EQ(ui.boxes.size(), 2u) << "the second uninstall asked nothing";
    EXPECT_EQ(Launches(), std::vector<std::string>{kDisableLaunch});
    EXPECT_FALSE(form->SystemCommandRunning());
    EXPECT_EQ(form->RepairMode, 0) << "the install never started";
}

TEST_F(CommandsTest, MaintenanceFromShowRepairDialogClearsTheQueue) {
    Open();
    sim::JobSpec job;
    job.printer = "Microsoft Print to PDF";
    job.document = "stuck.txt";
    sim::AddJob(job);
    const std::string autoSave = "C:\\Users\\User\\Documents\\auto.sav";
    testsupport::WriteHostFile(sandbox.HostPath(autoSave), "x");
    form->ASFile = autoSave;
    form->RepairMode = repair::kMaintenanceMode;
    form->ShowRepairDialog();
    EXPECT_TRUE(sim::ListJobs("").empty());
    EXPECT_EQ(sim::QueryService("spooler")->state, win::SERVICE_RUNNING);
    EXPECT_FALSE(std::filesystem::exists(sandbox.HostPath(autoSave)));
    EXPECT_TRUE(Launches().empty());
    EXPECT_EQ(form->RepairMode, repair::kMaintenanceMode) << "kept after the dialog";
}

}  // namespace
}  // namespace quellin::app
