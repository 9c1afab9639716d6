// The print spooler: refusals while stopped, jobs as spool-folder files that a restart re-reads,
// the two-call sizing pattern, job commands, printers, drivers and ports.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/security.h"
#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "platform/spooler.h"
#include "sandbox_fixture.h"

namespace quellin::platform {

namespace {

using namespace platform;
namespace fs = std::filesystem;

constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr const char* kPdf = "Microsoft Print to PDF";

void SettleSpooler(DWORD target) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (sim::QueryService("spooler")->state != target &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(sim::QueryService("spooler")->state, target);
}

void RestartSpooler() {
    ASSERT_EQ(sim::StopService("spooler"), ERROR_SUCCESS);
    SettleSpooler(SERVICE_STOPPED);
    ASSERT_EQ(sim::StartService("spooler"), ERROR_SUCCESS);
    SettleSpooler(SERVICE_RUNNING);
}

DWORD Queue(const std::string& printer, const std::string& document,
            const std::string& owner = "User", DWORD size = 0, DWORD pages = 1, DWORD status = 0,
            const std::string& machine = "") {
    sim::JobSpec spec;
    spec.printer = printer;
    spec.document = document;
    spec.owner = owner;
    spec.size = size;
    spec.pages = pages;
    spec.status = status;
    spec.machine = machine;
    return sim::AddJob(spec);
}

HANDLE Open(const std::string& name, DWORD access = 0) {
    PRINTER_DEFAULTSA defaults;
    defaults.DesiredAccess = access;
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterA(name, &printer, access ? &defaults : nullptr)) << name;
    return printer;
}

std::vector<JOB_INFO_2A> Jobs(HANDLE printer) {
    DWORD needed = 0, returned = 0;
    EnumJobsA(printer, 0, 0xFFFFFFFF, 2, nullptr, 0, &needed, &returned);
    std::vector<JOB_INFO_2A> jobs;
    if (needed > 0) {
        EXPECT_TRUE(EnumJobsA(printer, 0, 0xFFFFFFFF, 2, &jobs, needed, &needed, &returned));
    }
    return jobs;
}

fs::path JobFile(const testsupport::ScopedSandbox& sandbox, DWORD id, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "%05u.%s", id, extension);
    return sandbox.HostPath(sim::kSpoolJobFolder) / name;
}

TEST(Spooler, StoppedSpoolerRefusesEveryCall) {
    testsupport::ScopedSandbox sandbox;
    HANDLE before = Open(kPdf);
    ASSERT_EQ(sim::StopService("spooler"), ERROR_SUCCESS);

    DWORD needed = 0, returned = 0;
    std::vector<PRINTER_INFO_A> printers;
    std::vector<PORT_INFO_1A> ports;
    std::vector<JOB_INFO_2A> jobs;
    HANDLE printer = nullptr;
    struct Call {
        const char* name;
        std::function<BOOL()> call;
    } calls[] = {
        {"EnumPrintersA",
         [&] { return EnumPrintersA(2, "", 4, &printers, 4096, &needed, &returned); }},
        {"OpenPrinterA", [&] { return OpenPrinterA(kPdf, &printer, nullptr); }},
        {"EnumJobsA", [&] { return EnumJobsA(before, 0, 99, 2, &jobs, 4096, &needed, &returned); }},
        {"SetJobA", [&] { return SetJobA(before, 1, 0, JOB_CONTROL_PAUSE); }},
        {"EnumPortsA", [&] { return EnumPortsA("", 1, &ports, 4096, &needed, &returned); }},
        {"AddPortExA", [&] { return AddPortExA("", 1, PORT_INFO_1A{"X:"}, "Local Port"); }},
        {"DeletePrinterDriverExA",
         [&] { return DeletePrinterDriverExA("", "Windows x64", "Fax", 1, 3); }},
    };
    for (const Call& c : calls) {
        SetLastError(kSentinel);
        EXPECT_FALSE(c.call()) << c.name;
        EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE) << c.name;
    }
    SettleSpooler(SERVICE_STOPPED);
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPrintersA(2, "", 4, &printers, 4096, &needed, &returned));
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE) << "stopped as well as stopping";

    ASSERT_EQ(sim::StartService("spooler"), ERROR_SUCCESS);
    SettleSpooler(SERVICE_RUNNING);
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumJobsA(before, 0, 99, 2, &jobs, 4096, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "a handle from before the restart";
    EXPECT_TRUE(ClosePrinter(before));
}

TEST(Spooler, RestartReadsJobsBackFromTheirFilesAndDropsIncompleteOnes) {
    testsupport::ScopedSandbox sandbox;
    DWORD kept = Queue(kPdf, "kept.docx");
    DWORD gone = Queue(kPdf, "gone.docx");
    DWORD halfGone = Queue(kPdf, "half.docx");
    EXPECT_TRUE(fs::exists(JobFile(sandbox, gone, "SHD")));
    EXPECT_TRUE(fs::exists(JobFile(sandbox, gone, "SPL")));

    ASSERT_EQ(sim::StopService("spooler"), ERROR_SUCCESS);
    SettleSpooler(SERVICE_STOPPED);
    fs::remove(JobFile(sandbox, gone, "SHD"));
    fs::remove(JobFile(sandbox, gone, "SPL"));
    fs::remove(JobFile(sandbox, halfGone, "SPL"));
    DWORD whileStopped = Queue(kPdf, "queued while stopped");
    ASSERT_EQ(sim::StartService("spooler"), ERROR_SUCCESS);
    SettleSpooler(SERVICE_RUNNING);

    HANDLE printer = Open(kPdf);
    std::vector<JOB_INFO_2A> jobs = Jobs(printer);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].JobId, kept);
    EXPECT_EQ(jobs[1].JobId, whileStopped);
    EXPECT_FALSE(fs::exists(JobFile(sandbox, halfGone, "SHD"))) << "its orphan record goes too";
    EXPECT_GT(Queue(kPdf, "next"), whileStopped) << "identifiers keep rising";
    ClosePrinter(printer);
}

TEST(Spooler, EnumJobsFollowsTheTwoCallPatternAndFillsTheRecord) {
    testsupport::ScopedSandbox sandbox;
    HANDLE printer = Open(kPdf);
    DWORD needed = kSentinel, returned = kSentinel;
    SetLastError(kSentinel);
    EXPECT_TRUE(EnumJobsA(printer, 0, 0xFFFFFFFF, 2, nullptr, 0, &needed, &returned))
        << "no jobs: nothing to size";
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);

    Queue(kPdf, "Report.docx", "Alice", 1500, 3, 0x13, "OFFICE-PC");
    Queue(kPdf, "Second");
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumJobsA(printer, 0, 0xFFFFFFFF, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_GT(needed, 2u * 104);
    std::vector<JOB_INFO_2A> jobs;
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumJobsA(printer, 0, 0xFFFFFFFF, 2, &jobs, needed - 1, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(EnumJobsA(printer, 0, 0xFFFFFFFF, 2, &jobs, needed, &needed, &returned));
    ASSERT_EQ(returned, 2u);
    const JOB_INFO_2A& job = jobs[0];
    EXPECT_EQ(job.pPrinterName, kPdf);
    EXPECT_EQ(job.pMachineName, "\\\\OFFICE-PC");
    EXPECT_EQ(job.pUserName, "Alice");
    EXPECT_EQ(job.pDocument, "Report.docx");
    EXPECT_EQ(job.Status, 0x13u);
    EXPECT_EQ(job.Size, 1500u);
    EXPECT_EQ(job.TotalPages, 3u);
    EXPECT_EQ(job.Position, 1u);
    EXPECT_GE(job.Submitted.wYear, 2024);
    EXPECT_EQ(jobs[1].pMachineName, "\\\\QUELLIN-PC") << "this computer by default";
    EXPECT_EQ(jobs[1].Position, 2u);
    EXPECT_EQ(fs::file_size(JobFile(sandbox, job.JobId, "SPL")), 1500u);

    ASSERT_TRUE(EnumJobsA(printer, 1, 5, 2, &jobs, 4096, &needed, &returned));
    EXPECT_EQ(returned, 1u) << "from the second job on";
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumJobsA(printer, 0, 5, 1, &jobs, 4096, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
    ClosePrinter(printer);
}

struct CommandCase {
    const char* name;
    DWORD statusBefore;
    DWORD command;
    DWORD statusAfter;  // kGone: the job has left the queue
};
constexpr DWORD kGone = 0xFFFFFFFF;

class JobCommands : public testing::TestWithParam<CommandCase> {};

TEST_P(JobCommands, SetJobChangesTheJobAsWindowsDoes) {
    testsupport::ScopedSandbox sandbox;
    DWORD id = Queue(kPdf, "doc", "User", 10, 2, GetParam().statusBefore);
    HANDLE printer = Open(kPdf);
    SetLastError(kSentinel);
    ASSERT_TRUE(SetJobA(printer, id, 0, GetParam().command));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    std::vector<JOB_INFO_2A> jobs = Jobs(printer);
    if (GetParam().statusAfter == kGone) {
        EXPECT_TRUE(jobs.empty());
        EXPECT_FALSE(fs::exists(JobFile(sandbox, id, "SHD")));
        EXPECT_FALSE(fs::exists(JobFile(sandbox, id, "SPL")));
    } else {
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_EQ(jobs[0].Status, GetParam().statusAfter);
        RestartSpooler();
        ClosePrinter(printer);
        printer = Open(kPdf);
        jobs = Jobs(printer);
        if (GetParam().statusAfter & JOB_STATUS_DELETING) {
            EXPECT_TRUE(jobs.empty()) << "a restart drops a job that was being deleted";
        } else {
            ASSERT_EQ(jobs.size(), 1u);
            EXPECT_EQ(jobs[0].Status, GetParam().statusAfter) << "kept in the shadow file";
        }
    }
    ClosePrinter(printer);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, JobCommands,
    testing::Values(CommandCase{"PauseSetsPaused", 0, JOB_CONTROL_PAUSE, JOB_STATUS_PAUSED},
                    CommandCase{"PauseTwiceIsHarmless", JOB_STATUS_PAUSED, JOB_CONTROL_PAUSE,
                                JOB_STATUS_PAUSED},
                    CommandCase{"ResumeClearsPausedOnly", JOB_STATUS_PAUSED | JOB_STATUS_ERROR,
                                JOB_CONTROL_RESUME, JOB_STATUS_ERROR},
                    CommandCase{"RestartMarksTheJob", JOB_STATUS_PRINTED, JOB_CONTROL_RESTART,
                                JOB_STATUS_RESTART},
                    CommandCase{"CancelRemovesAQueuedJob", JOB_STATUS_PAUSED, JOB_CONTROL_CANCEL,
                                kGone},
                    CommandCase{"DeleteRemovesAQueuedJob", 0, JOB_CONTROL_DELETE, kGone},
                    CommandCase{"CancelLeavesAPrintingJobDeleting", JOB_STATUS_PRINTING,
                                JOB_CONTROL_CANCEL, JOB_STATUS_PRINTING | JOB_STATUS_DELETING}),
    [](const testing::TestParamInfo<CommandCase>& info) { return info.param.name; });

TEST(Spooler, SetJobRefusesWhatItCannotDo) {
    sim::InitOptions options;
    options.config.user = "standard";
    testsupport::ScopedSandbox sandbox(options);
    DWORD mine = Queue(kPdf, "mine");
    DWORD theirs = Queue(kPdf, "theirs", "Alice");
    HANDLE printer = Open(kPdf);
    HANDLE other = Open("Fax");
    struct Case {
        const char* name;
        HANDLE printer;
        DWORD job, level, command, error;
    } cases[] = {
        {"unknown job", printer, 999, 0, JOB_CONTROL_PAUSE, ERROR_INVALID_PARAMETER},
        {"job of another printer", other, mine, 0, JOB_CONTROL_PAUSE, ERROR_INVALID_PARAMETER},
        {"another user's job", printer, theirs, 0, JOB_CONTROL_CANCEL, ERROR_ACCESS_DENIED},
        {"job records", printer, mine, 1, JOB_CONTROL_PAUSE, ERROR_INVALID_LEVEL},
        {"monitor commands", printer, mine, 0, 6, ERROR_NOT_SUPPORTED},
        {"no command", printer, mine, 0, 0, ERROR_INVALID_PARAMETER},
        {"closed handle", reinterpret_cast<HANDLE>(&options), mine, 0, 1, ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_FALSE(SetJobA(c.printer, c.job, c.level, c.command)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    EXPECT_TRUE(SetJobA(printer, mine, 0, JOB_CONTROL_PAUSE)) << "a user controls their own";
    ClosePrinter(printer);
    ClosePrinter(other);
}

TEST(Spooler, OpenPrinterTakesLocalAndServerQualifiedNames) {
    testsupport::ScopedSandbox sandbox;
    struct Case {
        const char* name;
        DWORD error;
    } cases[] = {
        {"Microsoft Print to PDF", ERROR_SUCCESS},
        {"MICROSOFT PRINT TO PDF", ERROR_SUCCESS},
        {"\\\\QUELLIN-PC\\Microsoft Print to PDF", ERROR_SUCCESS},
        {"\\\\quellin-pc\\Fax", ERROR_SUCCESS},
        {"\\\\OFFICE-PC\\Microsoft Print to PDF", ERROR_INVALID_PRINTER_NAME},
        {"No Such Printer", ERROR_INVALID_PRINTER_NAME},
    };
    for (const Case& c : cases) {
        HANDLE printer = nullptr;
        SetLastError(kSentinel);
        EXPECT_EQ(OpenPrinterA(c.name, &printer, nullptr), c.error == ERROR_SUCCESS) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
        if (printer) {
            EXPECT_TRUE(ClosePrinter(printer));
        }
    }
}

TEST(Spooler, DeletingAPrinterNeedsFullAccessAndTakesItsQueueWithIt) {
    testsupport::ScopedSandbox sandbox;
    std::string key = std::string(sim::kPrintersKey) + "\\" + kPdf;
    auto queue = sim::reg::GetValue(key, "PrintQueueV4DriverDirectory");
    ASSERT_TRUE(queue);
    std::string queueName(queue->data.begin(), queue->data.end());
    queueName = queueName.substr(0, queueName.find('\0'));
    fs::path queueFolder = sandbox.HostPath("C:\\Windows\\System32\\spool\\V4Dirs\\" + queueName);
    ASSERT_TRUE(fs::is_directory(queueFolder));
    DWORD job = Queue(kPdf, "doc");

    HANDLE useOnly = Open(kPdf);
    SetLastError(kSentinel);
    EXPECT_FALSE(DeletePrinter(useOnly));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ClosePrinter(useOnly);

    HANDLE full = Open(kPdf, PRINTER_ALL_ACCESS);
    SetLastError(kSentinel);
    EXPECT_TRUE(DeletePrinter(full));
    EXPECT_FALSE(sim::FindPrinter(kPdf));
    EXPECT_FALSE(sim::reg::FindKey(key));
    EXPECT_FALSE(fs::exists(queueFolder));
    EXPECT_FALSE(fs::exists(JobFile(sandbox, job, "SPL")));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeletePrinter(full));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PRINTER_NAME);
    ClosePrinter(full);
}

TEST(Spooler, StandardUsersCannotOpenPrintersForAdministration) {
    sim::InitOptions options;
    options.config.user = "filtered-admin";
    testsupport::ScopedSandbox sandbox(options);
    PRINTER_DEFAULTSA defaults;
    defaults.DesiredAccess = PRINTER_ALL_ACCESS;
    HANDLE printer = nullptr;
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenPrinterA(kPdf, &printer, &defaults));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Spooler, DriverDeletionChecksPrivilegeUseAndEnvironment) {
    testsupport::ScopedSandbox sandbox;
    const char* driver = "microsoft print to pdf";  // names compare without regard to case
    SetLastError(kSentinel);
    EXPECT_FALSE(DeletePrinterDriverExA("", "Windows x64", driver, DPD_DELETE_UNUSED_FILES, 3));
    EXPECT_EQ(GetLastError(), ERROR_PRIVILEGE_NOT_HELD);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    LUID luid;
    ASSERT_TRUE(LookupPrivilegeValueA("", "SeLoadDriverPrivilege", &luid));
    ASSERT_TRUE(AdjustTokenPrivileges(token, false, {{luid, SE_PRIVILEGE_ENABLED}}));
    CloseHandle(token);

    struct Case {
        const char* environment;
        DWORD error;
    } before[] = {
        {"Windows x64", ERROR_PRINTER_DRIVER_IN_USE},
        {"Windows IA64", ERROR_UNKNOWN_PRINTER_DRIVER},
        {"Windows NT x86", ERROR_SUCCESS},
        {"Windows NT x86", ERROR_UNKNOWN_PRINTER_DRIVER},
        {"Windows 3.1", 1805 /* ERROR_INVALID_ENVIRONMENT */},
    };
    for (const Case& c : before) {
        SetLastError(kSentinel);
        EXPECT_EQ(DeletePrinterDriverExA("", c.environment, driver, DPD_DELETE_UNUSED_FILES, 3),
                  c.error == ERROR_SUCCESS)
            << c.environment;
        EXPECT_EQ(GetLastError(), c.error) << c.environment;
    }
    ASSERT_TRUE(sim::RemovePrinter(kPdf));
    SetLastError(kSentinel);
    EXPECT_TRUE(DeletePrinterDriverExA("", "Windows x64", driver, DPD_DELETE_UNUSED_FILES, 3))
        << "no printer uses it any more; the version flag only counts with its own flag";
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(Spooler, EnumPrintersKeepsItsOrderAndFiltersSharedAndConnections) {
    testsupport::ScopedSandbox sandbox;
    auto names = [](DWORD flags, DWORD level) {
        DWORD needed = 0, returned = 0;
        EnumPrintersA(flags, "", level, nullptr, 0, &needed, &returned);
        std::vector<PRINTER_INFO_A> records;
        std::vector<std::string> out;
        SetLastError(kSentinel);
        EXPECT_TRUE(EnumPrintersA(flags, "", level, &records, needed, &needed, &returned));
        EXPECT_EQ(records.size(), returned);
        for (const auto& r : records)
            out.push_back(r.pPrinterName);
        return out;
    };
    std::vector<std::string> seeded{"OneNote (Desktop)", "Microsoft XPS Document Writer", "Fax",
                                    kPdf};
    EXPECT_EQ(names(PRINTER_ENUM_LOCAL, 5), seeded);
    EXPECT_EQ(names(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, 4), seeded);
    EXPECT_TRUE(
        names(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS | PRINTER_ENUM_SHARED, 4).empty())
        << "nothing is shared, so nothing is listed";

    sim::SetPrinterAttributes("Fax", 0x240 | PRINTER_ATTRIBUTE_SHARED);
    sim::AddPrinter("\\\\SERVER\\Laser", "x", "y", PRINTER_ATTRIBUTE_NETWORK);
    EXPECT_EQ(names(PRINTER_ENUM_LOCAL | PRINTER_ENUM_SHARED, 4), std::vector<std::string>{"Fax"});
    EXPECT_EQ(names(PRINTER_ENUM_CONNECTIONS, 4), std::vector<std::string>{"\\\\SERVER\\Laser"});
    EXPECT_EQ(names(PRINTER_ENUM_LOCAL, 4), seeded);

    DWORD needed = 0, returned = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, "", 4, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    DWORD level4 = needed;
    EnumPrintersA(PRINTER_ENUM_LOCAL, "", 5, nullptr, 0, &needed, &returned);
    EXPECT_EQ(needed, level4 + 4 * (20 - 12) + (5 + 12 + 8 + 12) - 4 * 1)
        << "20-byte records with their ports in place of empty server names";
}

TEST(Spooler, PortsAreListedAndAddedThroughTheLocalPortMonitor) {
    testsupport::ScopedSandbox sandbox;
    SetLastError(kSentinel);
    EXPECT_TRUE(AddPortExA("", 1, PORT_INFO_1A{"C:\\out.prn"}, "Local Port"));
    SetLastError(kSentinel);
    EXPECT_FALSE(AddPortExA("", 1, PORT_INFO_1A{"portprompt:"}, "Local Port"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(kSentinel);
    EXPECT_FALSE(AddPortExA("", 1, PORT_INFO_1A{"IP_1"}, "Standard TCP/IP Port"));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    SetLastError(kSentinel);
    EXPECT_FALSE(AddPortExA("", 1, PORT_INFO_1A{"Z:"}, "No Such Monitor"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    DWORD needed = 0, returned = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPortsA("", 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<PORT_INFO_1A> ports;
    ASSERT_TRUE(EnumPortsA("", 1, &ports, needed, &needed, &returned));
    ASSERT_EQ(ports.size(), returned);
    EXPECT_EQ(ports.front().pName, "PORTPROMPT:");
    EXPECT_EQ(ports.back().pName, "C:\\out.prn");
}

// The tools' host edge: arguments and messages in UTF-8, names stored in 1252, JSON in ASCII.
struct ToolRun {
    int exitCode;
    std::string out;
};

ToolRun RunTool(const testsupport::ScopedSandbox& sandbox, const std::string& tool,
                const std::string& arguments) {
    const char* bin = std::getenv("QUELLIN_BIN_DIR");
    const std::string command = "QUELLIN_SANDBOX='" + sandbox.root().string() + "' " +
                                std::string(bin ? bin : ".") + "/" + tool + " " + arguments +
                                " 2>&1";
    ToolRun run{-1, {}};
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            run.out.append(buffer, n);
        run.exitCode = WEXITSTATUS(::pclose(pipe));
    }
    return run;
}

TEST(ToolEdges, NamesArriveAndLeaveInUtf8) {
    testsupport::ScopedSandbox sandbox;
    const struct {
        const char* tool;
        const char* arguments;
        int exitCode;
        const char* shown;  // a part of the output
    } steps[] = {
        {"quellin-sandbox", "printer add 'Café PDF'", 0, ""},
        {"quellin-sandbox", "job add 'Café PDF' --document 'résumé.pdf' --owner 'Jürgen'", 0, ""},
        {"quellin-sandbox", "printers", 0, "\"Caf\\u00e9 PDF\""},
        {"quellin-sandbox", "jobs 'Café PDF'", 0, "\"r\\u00e9sum\\u00e9.pdf\""},
        {"quellin-sandbox", "jobs 'Café PDF'", 0, "\"J\\u00fcrgen\""},
        {"quellin-sandbox", "jobs 'Caffè'", 1, "no such printer: Caffè"},
        {"quellin-sandbox", "printer add 'Ω PDF'", 2, "cannot hold"},
        {"quellin-cli", "jobs --printer 'Café PDF'", 0, "Café PDF: 1 job"},
        {"quellin-cli", "jobs --printer 'Café PDF'", 0, "\"résumé.pdf\"  Jürgen"},
        {"quellin-cli", "jobs --printer 'Café PDF' --json", 0, "\"r\\u00e9sum\\u00e9.pdf\""},
        {"quellin-cli", "jobs --printer 'Ω PDF'", 2, "cannot hold"},
    };
    for (const auto& step : steps) {
        const ToolRun run = RunTool(sandbox, step.tool, step.arguments);
        EXPECT_EQ(run.exitCode, step.exitCode) << step.arguments << "\n" << run.out;
        EXPECT_NE(run.out.find(step.shown), std::string::npos) << step.arguments << "\n" << run.out;
    }
    EXPECT_TRUE(sim::FindPrinter("Caf\xE9 PDF").has_value()) << "stored in the ANSI code page";
}

TEST(ToolEdges, PrinterDeleteLeavesNoJobDevicesValueOrQueueFolder) {
    testsupport::ScopedSandbox sandbox;
    const std::string key = std::string(sim::kPrintersKey) + "\\" + kPdf;
    const auto queue = sim::reg::GetValue(key, "PrintQueueV4DriverDirectory");
    ASSERT_TRUE(queue);
    const fs::path queueFolder =
        sandbox.HostPath("C:\\Windows\\System32\\spool\\V4Dirs\\" +
                         std::string(queue->data.begin(), queue->data.end() - 1));
    const DWORD job = Queue(kPdf, "doc");
    EXPECT_EQ(
        RunTool(sandbox, "quellin-sandbox", "printer delete 'Microsoft Print to PDF'").exitCode, 0);
    EXPECT_TRUE(sim::ListJobs("").empty());
    EXPECT_FALSE(fs::exists(JobFile(sandbox, job, "SPL")));
    EXPECT_FALSE(
        sim::reg::GetValue("HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices", kPdf));
    EXPECT_FALSE(fs::exists(queueFolder));
    EXPECT_EQ(
        RunTool(sandbox, "quellin-sandbox", "printer delete 'Microsoft Print to PDF'").exitCode, 1);
}

}  // namespace

}  // namespace quellin::platform
