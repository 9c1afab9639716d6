// What the window and quellin-cli record: each changing command leaves its entries in the
// sandbox's event log and, line for line, in the log file; a log file that cannot be written
// costs no command, and a full one is rotated.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "app/color_button.h"
#include "app/entry.h"
#include "app/main_window.h"
#include "audit/audit.h"
#include "cli/cli_runner.h"
#include "platform/filesystem.h"
#include "platform/sim/control.h"
#include "support/sandbox_fixture.h"

namespace quellin::audit {
namespace {

constexpr const char* kPdf = "Microsoft Print to PDF";
constexpr const char* kLogs = "C:\\ProgramData\\Quellin\\Logs";

struct AuditCase {
    std::string name;
    std::function<cli::CliRun(testsupport::ScopedSandbox&, testsupport::RecordingUi&)> run;
    std::vector<std::uint32_t> events;
    std::string mentions;  // a text some entry holds, as entries show it
    bool logFile = true;   // false: the log cannot be written, and says so once
    bool rotated = false;  // the log was full: it and its old files move up by one
};

cli::CliRun Cli(std::vector<std::string> args) {
    return cli::RunCli(std::move(args));
}

std::string QueuedJob() {
    sim::JobSpec job;
    job.printer = kPdf;
    job.document = "Tab\tdoc";
    return std::to_string(sim::AddJob(job));
}

// The window from its start to its close, with one command run in it.
cli::CliRun Window(testsupport::RecordingUi& ui, std::function<void(app::TForm1&)> command) {
    app::ProgramOptions options;
    options.ui = &ui;
    options.onMainWindow = [&](app::TForm1& form) {
        command(form);
        QTimer::singleShot(0, &form, [&form] { form.close(); });
    };
    cli::CliRun run;
    run.exitCode = app::RunPrnStatus(*qApp, options);
    return run;
}

std::string Old(int n) {
    return std::string(kLogs) + "\\quellin." + std::to_string(n) + ".log";
}

class Audit : public ::testing::TestWithParam<AuditCase> {};

TEST_P(Audit, EveryChangeIsInTheEventLogAndTheLogFile) {
    const AuditCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    const auto host = [&](const std::string& path) { return sandbox.HostPath(path); };
    std::string shared;  // C:\ProgramData, as every Windows has it
    ASSERT_EQ(win::SHGetFolderPathA(0, win::CSIDL_COMMON_APPDATA, nullptr, win::SHGFP_TYPE_CURRENT,
                                    &shared),
              0);
    if (c.rotated) {
        ASSERT_TRUE(win::CreateDirectoryA("C:\\ProgramData\\Quellin", "D:P(A;OICI;FA;;;BA)"));
        ASSERT_TRUE(win::CreateDirectoryA(kLogs, "D:P(A;OICI;FA;;;BA)"));
        testsupport::WriteHostFile(host(std::string(kLogs) + "\\quellin.log"),
                                   std::string(kRotationBytes - 10, 'x'));
        for (int n = 1; n <= kOldLogFiles; ++n)
            testsupport::WriteHostFile(host(Old(n)), "old " + std::to_string(n));
    }
    if (!c.logFile) {
        // A standard user makes the folder first: its owner is that user.
        sim::Config config = sim::ReadConfig();
        sim::WriteConfig([&] {
            auto user = config;
            user.user = "standard";
            return user;
        }());
        ASSERT_TRUE(win::CreateDirectoryA("C:\\ProgramData\\Quellin"));
        sim::WriteConfig(config);
    }
    const cli::CliRun run = c.run(sandbox, ui);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto noted = [&] {
        int count = 0;
        for (std::size_t at = 0;
             (at = run.err.find("log file cannot be written", at)) != std::string::npos; ++at)
            ++count;
        return count;
    };
    EXPECT_EQ(noted(), c.logFile ? 0 : 1) << run.err;

    std::vector<std::uint32_t> ids;
    std::string texts;
    for (const sim::EventRecord& e : sim::EventLog()) {
        EXPECT_EQ(e.source, "Quellin");
        ASSERT_EQ(e.strings.size(), 1u);
        ids.push_back(e.eventId);
        texts += e.strings[0] + "\n";
    }
    EXPECT_EQ(ids, c.events);
    EXPECT_NE(texts.find(c.mentions), std::string::npos) << texts;

    const std::optional<std::string> log =
        testsupport::ReadHostFile(host(std::string(kLogs) + "\\quellin.log"));
    ASSERT_EQ(log.has_value(), c.logFile);
    if (!log)
        return;
    std::vector<std::uint32_t> logged;
    std::istringstream lines(*log);
    for (std::string line, time, level; std::getline(lines, line);) {
        std::uint32_t id = 0;
        std::istringstream(line) >> time >> level >> id;
        logged.push_back(id);
    }
    EXPECT_EQ(logged, c.events) << *log;
    EXPECT_NE(log->find(c.mentions), std::string::npos);
    if (c.rotated) {
        EXPECT_EQ(testsupport::ReadHostFile(host(Old(1))), std::string(kRotationBytes - 10, 'x'));
        EXPECT_EQ(testsupport::ReadHostFile(host(Old(2))), "old 1");
        EXPECT_EQ(testsupport::ReadHostFile(host(Old(3))), "old 2");
        EXPECT_FALSE(testsupport::ReadHostFile(host(Old(4))));
    }
}

const AuditCase kCases[] = {
    {"CliReinstall",
     [](auto&, auto&) { return Cli({"reinstall"}); },
     {kRunStarted, kProgramRun, kPrinterRemoved, kServiceStopped, kFolderEmptied, kServiceStarted,
      kProgramRun, kPrinterAdded, kRunDone},
     "removed the printer"},
    {"CliUninstall",
     [](auto&, auto&) { return Cli({"uninstall"}); },
     {kRunStarted, kPrinterRemoved, kProgramRun, kRunDone},
     "dism.exe"},
    {"CliSpoolerStop",
     [](auto&, auto&) {
         return Cli({"spooler", "stop"});
     },
     {kRunStarted, kServiceStopped, kRunDone},
     "\"spooler\""},
    {"CliJobPause",
     [](auto&, auto&) {
         return Cli({"job", "pause", QueuedJob(), "--printer", kPdf});
     },
     {kRunStarted, kJobPaused, kRunDone},
     "\"Tab\\tdoc\""},
    {"CliJobCancel",
     [](auto&, auto&) {
         return Cli({"job", "cancel", QueuedJob(), "--printer", kPdf});
     },
     {kRunStarted, kJobCancelled, kRunDone},
     "cancelled job"},
    {"CliPaperSet",
     [](auto&, auto&) {
         return Cli({"paper", "set", "--sizes", "A4,LETTER", "--default", "LETTER"});
     },
     {kRunStarted, kFileWritten, kFileDeleted, kFileWritten, kRunDone},
     "wrote"},
    {"CliBackupAndRestore",
     [](testsupport::ScopedSandbox& sandbox, auto&) {
         std::filesystem::create_directories(sandbox.HostPath("C:\\Users\\User\\Documents"));
         Cli({"backup", "C:\\Users\\User\\Documents\\s.roy"});
         return Cli({"restore", "C:\\Users\\User\\Documents\\s.roy"});
     },
     {kRunStarted, kRunDone, kRunStarted, kKeyRestored, kKeyRestored, kKeyRestored, kFileWritten,
      kFileWritten, kRunDone},
     "restored the key"},
    {"WindowUninstall",
     [](auto&, testsupport::RecordingUi& ui) {
         ui.QueueAnswer(win::IDYES);
         ui.QueueAnswer(win::IDYES);
         return Window(ui, [](app::TForm1& form) { form.SpeedButton3Click(); });
     },
     {kRunStarted, kPrinterRemoved, kProgramRun, kRunDone},
     "quellin: started window"},
    {"WindowSaveAndRestore",
     [](testsupport::ScopedSandbox& sandbox, testsupport::RecordingUi& ui) {
         std::filesystem::create_directories(sandbox.HostPath("C:\\Users\\User\\Documents"));
         ui.QueueFile("C:\\Users\\User\\Documents\\s.roy");
         ui.QueueFile("C:\\Users\\User\\Documents\\s.roy");
         return Window(ui, [](app::TForm1& form) {
             form.btnSaveAllSettings->click();
             form.btnRestoreAllSettings->click();
         });
     },
     {kRunStarted, kKeyRestored, kKeyRestored, kKeyRestored, kFileWritten, kFileWritten, kRunDone},
     "restored the key"},
    {"UnwritableLog",
     [](auto&, auto&) {
         return Cli({"spooler", "stop"});
     },
     {kRunStarted, kServiceStopped, kRunDone},
     "stopped",
     false},
    {"Rotation",
     [](auto&, auto&) {
         return Cli({"spooler", "stop"});
     },
     {kRunStarted, kServiceStopped, kRunDone},
     "stopped",
     true,
     true},
};

INSTANTIATE_TEST_SUITE_P(Commands, Audit, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quellin::audit
