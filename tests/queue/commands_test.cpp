// The main window's queue and printer shortcuts and the job monitor window, offscreen against
// a fresh sandbox per test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <QTimer>
#include <QTreeView>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/spool.h"
#include "platform/spooler.h"
#include "queue/shortcuts.h"
#include "queue/ui/job_monitor_window.h"
#include "support/sandbox_fixture.h"
#include "system/system_commands.h"

namespace quellin::queue {
namespace {

constexpr win::HWND kHandle = 0x5150;
constexpr const char* kRundll32 = "C:\\Windows\\system32\\rundll32.exe";

struct Launch {
    std::string verb, file, parameters;
    int show = 0;
    bool operator==(const Launch&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Launch& l) {
    return out << l.verb << " " << l.file << " [" << l.parameters << "] show " << l.show;
}

std::vector<Launch> Launches() {
    std::vector<Launch> launches;
    for (const sim::LaunchEntry& e : sim::LaunchLog())
        launches.push_back({e.verb, e.file, e.parameters, e.show});
    return launches;
}

win::DWORD AddJob(const std::string& printer, const std::string& document) {
    sim::JobSpec spec;
    spec.printer = printer;
    spec.document = document;
    return sim::AddJob(spec);
}

class ShortcutTest : public testing::Test {
  protected:
    ShortcutTest() {
        sim::InitOptions options;
        options.config.date = "2020-10-15";  // no promotions
        sandbox = std::make_unique<testsupport::ScopedSandbox>(options);
        form = std::make_unique<app::TForm1>(kHandle);
        form->FormCreate();
    }

    void AddPrinter(const std::string& name) {
        sim::AddPrinter(name);
        form->RefreshPrinterList();
    }

    void SelectPrinter(const std::string& name) {
        const auto entries = form->PrinterListEntries();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i] == name)
                form->ListBox10->setCurrentRow(static_cast<int>(i));
        }
        ASSERT_EQ(form->SelectedPrinter(), name);
    }

    std::unique_ptr<testsupport::ScopedSandbox> sandbox;
    testsupport::RecordingUi ui;
    std::unique_ptr<app::TForm1> form;
};

TEST_F(ShortcutTest, EachShortcutStartsRundll32WithItsCommandLine) {
    // Run from Downloads, beside another download of that name: the system's own one starts.
    sim::SetProgramPath("C:\\Users\\User\\Downloads\\quellin.exe");
    testsupport::WriteHostFile(sandbox->HostPath("C:\\Users\\User\\Downloads\\rundll32.exe"), "MZ");
    AddPrinter("Team PDF Writer 2");
    SelectPrinter("Team PDF Writer 2");
    form->SpeedButton1Click();
    form->SpeedButton2Click();
    form->BitBtn30Click();
    const std::vector<Launch> expected = {
        {"open", kRundll32, "SHELL32.DLL,SHHelpShortcuts_RunDLL PrintersFolder", 5},
        {"open", kRundll32, "printui.dll,PrintUIEntry /p /n \"Team PDF Writer 2\"", 5},
        {"open", kRundll32, "printui.dll,PrintUIEntry /e /n \"Team PDF Writer 2\"", 5},
    };
    EXPECT_EQ(Launches(), expected);
    EXPECT_TRUE(ui.boxes.empty());
    for (const sim::LaunchEntry& entry : sim::LaunchLog())
        EXPECT_EQ(entry.result ? entry.result->image : "", "C:\\Windows\\SysWOW64\\rundll32.exe");

    form->BitBtn20Click();
    ASSERT_EQ(Launches().size(), 4u);
    EXPECT_EQ(Launches()[3], (Launch{"open", kRundll32,
                                     "printui.dll,PrintUIEntry /y /n \"Team PDF Writer 2\"", 0}));
}

TEST_F(ShortcutTest, WithoutASelectionOnlyShowPrinterRuns) {
    form->ListBox10->clearSelection();
    ASSERT_EQ(form->SelectedPrinter(), "");
    form->BitBtn20Click();
    form->SpeedButton2Click();
    form->BitBtn30Click();
    form->GetPrinterInfo();
    ASSERT_EQ(ui.boxes.size(), 4u);
    for (const auto& box : ui.boxes) {
        EXPECT_EQ(box.text, "Please select a printer first.");
        EXPECT_EQ(box.flags, win::MB_OK);
    }
    EXPECT_TRUE(Launches().empty());
    form->SpeedButton1Click();
    EXPECT_EQ(Launches().size(), 1u);
}

TEST_F(ShortcutTest, ANameWithADoubleQuoteIsNotHandedToPrintui) {
    // Passed on, the rest of the name would be read as switches naming another printer.
    const std::string name = "Team PDF\" /n \"Fax";
    AddPrinter(name);
    SelectPrinter(name);
    form->BitBtn20Click();
    form->SpeedButton2Click();
    form->BitBtn30Click();
    EXPECT_TRUE(Launches().empty());
    ASSERT_EQ(ui.boxes.size(), 3u);
    for (const auto& box : ui.boxes) {
        EXPECT_EQ(box.text, PrinterNameNotPassedText(name));
        EXPECT_EQ(box.flags, win::MB_OK);
    }
    EXPECT_EQ(CurrentDefaultPrinter(), "Microsoft Print to PDF");
}

struct DefaultCase {
    const char* name;
    bool stopSpooler;
    const char* printer;
    const char* box;
    const char* defaultAfter;
};

class SetAsDefaultTest : public ShortcutTest, public testing::WithParamInterface<DefaultCase> {};

TEST_P(SetAsDefaultTest, ConfirmsOnlyWhatTheSystemReportsAfterwards) {
    const DefaultCase& c = GetParam();
    sim::reg::SetString("HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device",
                        "Fax,winspool,Ne02:");
    if (c.stopSpooler) {
        ASSERT_TRUE(quellin::system::StopServiceAndWait("", "spooler"));
    }
    SetAsDefault(kHandle, c.printer);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, c.box);
    EXPECT_EQ(ui.boxes[0].flags, win::MB_OK);
    EXPECT_EQ(ui.boxes[0].owner, kHandle);
    EXPECT_EQ(CurrentDefaultPrinter(), c.defaultAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SetAsDefaultTest,
    testing::Values(DefaultCase{"Changed", false, "Microsoft XPS Document Writer",
                                "Default printer is set to Microsoft XPS Document Writer.",
                                "Microsoft XPS Document Writer"},
                    DefaultCase{"UnknownPrinter", false, "Gone Printer",
                                "The default printer could not be changed to Gone Printer.", "Fax"},
                    DefaultCase{"SpoolerStopped", true, "Microsoft Print to PDF",
                                "The default printer could not be changed to Microsoft Print "
                                "to PDF.",
                                "Fax"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShortcutTest, DefaultPrinterReadsBackThroughTheTwoCallPattern) {
    win::DWORD size = 0;
    std::string name;
    EXPECT_FALSE(win::GetDefaultPrinterA(nullptr, &size));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 23u);  // "Microsoft Print to PDF" and its zero
    size = 22;
    EXPECT_FALSE(win::GetDefaultPrinterA(&name, &size));
    EXPECT_EQ(size, 23u);
    EXPECT_TRUE(win::GetDefaultPrinterA(&name, &size));
    EXPECT_EQ(name, "Microsoft Print to PDF");
    sim::reg::DeleteValue("HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                          "Device");
    EXPECT_FALSE(win::GetDefaultPrinterA(&name, &size));
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CurrentDefaultPrinter(), "");
}

TEST_F(ShortcutTest, ClearPrintQueueNeedsAnAdministrator) {
    sim::Config config = sim::ReadConfig();
    config.user = "filtered-admin";
    sandbox->SetConfig(config);
    const win::DWORD job = AddJob("Fax", "kept.tif");
    form->SpeedButton6Click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Quellin 1.1");
    EXPECT_EQ(ui.boxes[0].flags, win::MB_ICONERROR);
    EXPECT_NE(ui.boxes[0].text.find("Permission denied."), std::string::npos);
    EXPECT_EQ(form->RepairMode, 0);
    EXPECT_EQ(sim::ListJobs("Fax").size(), 1u);
    EXPECT_EQ(sim::ListJobs("Fax")[0].JobId, job);
    EXPECT_TRUE(Launches().empty());
}

// ---- The job monitor window -------------------------------------------------------------

class MonitorWindowTest : public ShortcutTest {
  protected:
    std::vector<std::string> Documents(const TMain& monitor) const {
        std::vector<std::string> documents;
        const auto* model = monitor.lvMain->model();
        for (int row = 0; row < model->rowCount(); ++row)
            documents.push_back(model->index(row, Document).data().toString().toStdString());
        return documents;
    }

    static void Tick(TMain& monitor) {
        // What the timer would do, when it runs.
        if (monitor.Timer1->isActive())
            monitor.Timer1Timer();
    }
};

TEST_F(MonitorWindowTest, OpensWithEveryPrinterMonitoringOnAndNoRows) {
    AddJob("Fax", "fax.tif");
    TMain monitor(form.get(), kHandle);
    EXPECT_EQ(monitor.objectName().toStdString(), "TMain");
    EXPECT_TRUE(monitor.Timer1->isActive());
    EXPECT_EQ(monitor.Timer1->interval(), 200);
    EXPECT_TRUE(monitor.Monitoring1->isChecked());
    EXPECT_FALSE(monitor.MonitorSharedPrinters1->isChecked());
    EXPECT_FALSE(monitor.SharedOnly());
    EXPECT_EQ(monitor.PrinterNames().size(), 4u);
    EXPECT_EQ(monitor.lvMain->model()->rowCount(), 0);
    EXPECT_EQ(monitor.lvMain->model()->columnCount(), 8);
    EXPECT_EQ(monitor.lvMain->columnWidth(Computer), 92);
    EXPECT_EQ(monitor.lvMain->columnWidth(Printed), 65);
    EXPECT_EQ(monitor.lvMain->columnWidth(StartAt), 65);
    EXPECT_EQ(monitor.RefreshPrinters1->shortcut().toString().toStdString(), "F5");
    EXPECT_EQ(monitor.DeleteSelectedItem1->shortcut().toString().toStdString(), "Del");
    EXPECT_EQ(monitor.DeleteAllItems1->shortcut().toString().toStdString(), "Ctrl+Del");
    Tick(monitor);
    EXPECT_EQ(Documents(monitor), std::vector<std::string>{"fax.tif"});
}

TEST_F(MonitorWindowTest, WithMonitoringOffTheListStaysFrozen) {
    AddJob("Fax", "first.tif");
    TMain monitor(form.get(), kHandle);
    Tick(monitor);
    monitor.Monitoring1->trigger();
    EXPECT_FALSE(monitor.Monitoring1->isChecked());
    EXPECT_FALSE(monitor.Timer1->isActive());
    AddJob("Fax", "second.tif");
    QApplication::processEvents();
    Tick(monitor);
    EXPECT_EQ(Documents(monitor), std::vector<std::string>{"first.tif"});

    // Refreshing the printers, or narrowing them to shared ones, leaves the timer stopped.
    monitor.RefreshPrinters1->trigger();
    monitor.MonitorSharedPrinters1->trigger();
    EXPECT_TRUE(monitor.MonitorSharedPrinters1->isChecked());
    EXPECT_TRUE(monitor.SharedOnly());
    EXPECT_TRUE(monitor.PrinterNames().empty());
    EXPECT_FALSE(monitor.Timer1->isActive());
    EXPECT_TRUE(ui.boxes.empty());

    monitor.MonitorSharedPrinters1->trigger();
    monitor.Monitoring1->trigger();
    EXPECT_TRUE(monitor.Timer1->isActive());
    Tick(monitor);
    EXPECT_EQ(Documents(monitor), (std::vector<std::string>{"first.tif", "second.tif"}));
}

TEST_F(MonitorWindowTest, MenuCommandsActOnTheSelectedRow) {
    const win::DWORD first = AddJob("Fax", "first.tif");
    AddJob("Fax", "second.tif");
    TMain monitor(form.get(), kHandle);
    Tick(monitor);
    monitor.CancelJob1->trigger();  // nothing selected: nothing happens
    EXPECT_EQ(sim::ListJobs("Fax").size(), 2u);

    monitor.lvMain->setCurrentIndex(monitor.lvMain->model()->index(0, 0));
    ASSERT_EQ(monitor.SelectedRow(), 0u);
    monitor.PauseJob1->trigger();
    EXPECT_EQ(sim::ListJobs("Fax")[0].Status, win::JOB_STATUS_PAUSED);
    Tick(monitor);
    EXPECT_EQ(monitor.lvMain->model()->index(0, Status).data().toString().toStdString(), "Paused ");
    monitor.ResumeJob1->trigger();
    EXPECT_EQ(sim::ListJobs("Fax")[0].Status, 0u);
    monitor.CancelJob1->trigger();
    ASSERT_EQ(sim::ListJobs("Fax").size(), 1u);
    EXPECT_NE(sim::ListJobs("Fax")[0].JobId, first);

    monitor.DeleteSelectedItem1->trigger();
    EXPECT_EQ(Documents(monitor), std::vector<std::string>{"second.tif"});
    monitor.DeleteAllItems1->trigger();
    EXPECT_TRUE(Documents(monitor).empty());
    Tick(monitor);
    EXPECT_EQ(Documents(monitor), std::vector<std::string>{"second.tif"});
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MonitorWindowTest, DeletingTheSelectedRowLeavesNoneSelected) {
    AddJob("Fax", "a.tif");
    AddJob("Fax", "b.tif");
    AddJob("Fax", "c.tif");
    TMain monitor(form.get(), kHandle);
    monitor.show();
    Tick(monitor);
    monitor.lvMain->setFocus();
    monitor.lvMain->setCurrentIndex(monitor.lvMain->model()->index(1, 0));
    monitor.DeleteSelectedItem1->trigger();
    EXPECT_EQ(Documents(monitor), (std::vector<std::string>{"a.tif", "c.tif"}));
    EXPECT_EQ(monitor.SelectedRow(), std::nullopt);
    // Neither a second Del nor a job command reaches the row that moved up.
    monitor.DeleteSelectedItem1->trigger();
    monitor.CancelJob1->trigger();
    EXPECT_EQ(Documents(monitor), (std::vector<std::string>{"a.tif", "c.tif"}));
    EXPECT_EQ(sim::ListJobs("Fax").size(), 3u);
}

TEST_F(MonitorWindowTest, ClosingStopsTheTimerAndAReopenedMonitorStartsAfresh) {
    AddJob("Fax", "fax.tif");
    {
        TMain monitor(form.get(), kHandle);
        Tick(monitor);
        monitor.MonitorSharedPrinters1->trigger();
        monitor.show();
        monitor.Exit1->trigger();
        EXPECT_FALSE(monitor.isVisible());
        EXPECT_FALSE(monitor.Timer1->isActive());
    }
    TMain again(form.get(), kHandle);
    EXPECT_EQ(again.lvMain->model()->rowCount(), 0);
    EXPECT_FALSE(again.SharedOnly());
    EXPECT_TRUE(again.Monitoring1->isChecked());
    EXPECT_EQ(again.PrinterNames().size(), 4u);
}

TEST_F(MonitorWindowTest, PrintJobsInQueueNamesTheWindowAfterTheSelectedPrinter) {
    std::string caption;
    int rows = -1;
    AddJob("Fax", "fax.tif");
    QTimer::singleShot(400, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* monitor = qobject_cast<TMain*>(window); monitor && monitor->isVisible()) {
                caption = monitor->windowTitle().toStdString();
                rows = monitor->lvMain->model()->rowCount();
                monitor->close();
            }
        }
    });
    form->GetPrinterInfo();
    EXPECT_EQ(caption, "Print Queue - Microsoft Print to PDF");
    EXPECT_EQ(rows, 1) << "the monitor lists the jobs of every printer";
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TMain*>(window), nullptr) << "the window is destroyed once closed";
}

TEST_F(MonitorWindowTest, AccentedNamesShowAndTravelInTheAnsiCodePage) {
    // Stored as the system stores them: 1252 bytes. Each window shows the characters, and what
    // a window hands back to Windows is the same bytes.
    const std::string printer = "Caf\xE9 PDF";
    AddPrinter(printer);
    sim::JobSpec spec;
    spec.printer = printer;
    spec.document = "r\xE9sum\xE9.pdf";
    spec.owner = "J\xFCrgen";
    sim::AddJob(spec);

    QStringList listed;
    for (int row = 0; row < form->ListBox10->count(); ++row)
        listed << form->ListBox10->item(row)->text();
    EXPECT_TRUE(listed.contains(QString::fromUtf8("Caf\u00e9 PDF")))
        << listed.join('|').toStdString();

    SelectPrinter(printer);
    form->BitBtn20Click();
    form->SpeedButton2Click();
    const std::vector<Launch> expected = {
        {"open", kRundll32, "printui.dll,PrintUIEntry /y /n \"Caf\xE9 PDF\"", 0},
        {"open", kRundll32, "printui.dll,PrintUIEntry /p /n \"Caf\xE9 PDF\"", 5},
    };
    EXPECT_EQ(Launches(), expected);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Default printer is set to Caf\xE9 PDF.");
    EXPECT_EQ(CurrentDefaultPrinter(), printer);

    QString caption;
    QStringList row;
    QTimer::singleShot(400, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* monitor = qobject_cast<TMain*>(window); monitor && monitor->isVisible()) {
                caption = monitor->windowTitle();
                const auto* model = monitor->lvMain->model();
                for (int r = 0; r < model->rowCount(); ++r)
                    if (model->index(r, Printer).data().toString().startsWith("Caf"))
                        for (int column : {Printer, Document, Owner})
                            row << model->index(r, column).data().toString();
                monitor->close();
            }
        }
    });
    form->GetPrinterInfo();
    EXPECT_EQ(caption, QString::fromUtf8("Print Queue - Caf\u00e9 PDF"));
    EXPECT_EQ(row, QStringList({QString::fromUtf8("Caf\u00e9 PDF"),
                                QString::fromUtf8("r\u00e9sum\u00e9.pdf"),
                                QString::fromUtf8("J\u00fcrgen")}));
}

}  // namespace
}  // namespace quellin::queue
