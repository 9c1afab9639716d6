// Times one job monitor tick over unchanged jobs against the floor it cannot beat: the bare
// enumeration of the same jobs through the platform layer (open, two-call EnumJobsA, close,
// for every printer). Also times the same tick finding rows by a linear scan.
//
//   quellin-queue-bench [--jobs N] [--printers P] [--runs R]
//
// Defaults: 10,000 jobs on 20 printers, best of 15 runs. The sandbox is a temporary one; its
// jobs go straight into the running spooler's table (queueing them one by one through their
// spool files would take minutes and measures nothing the tick does).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/sim/control.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/spool.h"
#include "platform/spooler.h"
#include "queue/job_monitor.h"

using namespace quellin;

namespace fs = std::filesystem;

namespace {

struct IdleTimer : queue::MonitorTimer {
    bool Running() const override { return false; }
    void Stop() override {}
    void Start() override {}
};

double Ms(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

void Populate(int printers, int jobs) {
    std::vector<std::string> names;
    for (const sim::PrinterRecord& printer : sim::Printers())
        names.push_back(printer.name);
    for (int i = static_cast<int>(names.size()); i < printers; ++i) {
        const std::string name = "Bench Printer " + std::to_string(i + 1);
        sim::AddPrinter(name);
        names.push_back(name);
    }
    const std::int64_t submitted = 1'772'719'629'000;  // 2026-03-05 14:07:09 UTC
    std::vector<sim::ListedJob> listed;
    for (int id = 1; id <= jobs; ++id) {
        sim::ListedJob& job = listed.emplace_back();
        job.id = static_cast<std::uint32_t>(id);
        job.spec.printer = names[static_cast<std::size_t>(id % printers)];
        job.spec.document = "Document " + std::to_string(id) + ".pdf";
        job.spec.status = id % 7 == 0 ? 1 : 0;
        job.spec.pages = 3;
        job.spec.size = static_cast<std::uint32_t>(1000 + id * 37);
        job.spec.submittedMs = submitted + id * 1000;
        job.pagesPrinted = 1;
    }
    sim::ListJobsDirectly(listed);
}

std::size_t BareEnumeration(const std::vector<std::string>& printers) {
    std::size_t seen = 0;
    for (const std::string& name : printers) {
        win::HANDLE printer = nullptr;
        if (!win::OpenPrinterA(name, &printer, nullptr))
            continue;
        win::DWORD needed = 0, returned = 0;
        std::vector<win::JOB_INFO_2A> jobs;
        win::EnumJobsA(printer, 0, 0xFFFFFFFF, 2, nullptr, 0, &needed, &returned);
        if (needed && win::EnumJobsA(printer, 0, 0xFFFFFFFF, 2, &jobs, needed, &needed, &returned))
            seen += returned;
        win::ClosePrinter(printer);
    }
    return seen;
}

}  // namespace

int main(int argc, char** argv) {
    int jobs = 10'000, printers = 20, runs = 15;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (option == "--jobs")
            jobs = value;
        else if (option == "--printers")
            printers = value;
        else if (option == "--runs")
            runs = value;
    }
    if (jobs < 1 || printers < 1 || runs < 1) {
        std::fprintf(stderr, "usage: quellin-queue-bench [--jobs N] [--printers P] [--runs R]\n");
        return 2;
    }
    const fs::path root =
        fs::temp_directory_path() / ("quellin-queue-bench-" + std::to_string(::getpid()));
    sim::InitSandbox(root, {});
    Populate(printers, jobs);

    IdleTimer timer;
    queue::JobMonitor indexed(timer, 0, queue::RowSearch::Indexed);
    queue::JobMonitor linear(timer, 0, queue::RowSearch::Linear);
    indexed.FormCreate();
    linear.FormCreate();
    // The first tick creates the rows; the timed ones find every job unchanged.
    indexed.Timer1Timer();
    linear.Timer1Timer();

    // The runs alternate, so that a busy machine slows all three alike; each keeps its best.
    std::size_t seen = 0;
    double bare = 1e300, tick = 1e300, scan = 1e300;
    for (int run = 0; run < runs; ++run) {
        bare = std::min(bare, Ms([&] { seen = BareEnumeration(indexed.PrinterNames); }));
        tick = std::min(tick, Ms([&] { indexed.Timer1Timer(); }));
        if (run % 3 == 0)
            scan = std::min(scan, Ms([&] { linear.Timer1Timer(); }));
    }
    std::printf("jobs %zu on %zu printers, rows %zu, best of %d runs\n", seen,
                indexed.PrinterNames.size(), indexed.Rows().RowCount(), runs);
    std::printf("bare enumeration (OpenPrinterA, EnumJobsA twice, ClosePrinter)  %9.2f ms\n", bare);
    std::printf(
        "tick, rows found through the index                             %9.2f ms  "
        "%6.2fx the enumeration\n",
        tick, tick / bare);
    std::printf(
        "tick, rows found by a linear scan                              %9.2f ms  "
        "%6.2fx the enumeration\n",
        scan, scan / bare);
    sim::CloseSandbox();
    std::error_code ec;
    fs::remove_all(root, ec);
    return indexed.Rows().RowCount() == static_cast<std::size_t>(jobs) ? 0 : 1;
}
