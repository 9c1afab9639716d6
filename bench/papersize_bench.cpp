// Times the paper size save against its floor on a description of about 1 MB with the PaperSize
// feature in the middle:
//
//   quellin-papersize-bench [--runs N] [--kb SIZE]
//
// The save is the whole command without its window: locating and reading the files, the dialog
// state of a fixed edit (A3 dragged away and back, then made the default), and the rewrite of
// both files with the cache deleted. The floor reads both files and writes them back whole
// through the same platform layer with no editing. Each figure is the best of N runs (default
// 10); the files are put back before every run. The sandbox is a temporary one.
//
// It then times reading a PaperSize feature whose options open "{" and never close it, at
// 2,000, 4,000 and 8,000 options: the read must grow linearly with the options.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "driverconfig/driver_files.h"
#include "driverconfig/paper_size_editor.h"
#include "driverconfig/paper_sizes.h"
#include "platform/registry.h"
#include "platform/sim/sandbox.h"

using namespace quellin;

namespace fs = std::filesystem;
using namespace driverconfig;

namespace {

constexpr win::DWORD kWow64 = win::KEY_WOW64_64KEY;

std::string ReadHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteHost(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Features of the description's usual shape, numbered, until `size` bytes are reached.
std::string Filler(const std::string& prefix, std::size_t size) {
    std::string text;
    for (int n = 0; text.size() < size; ++n) {
        text += "*% ---------------------------------------------------------------\r\n";
        text +=
            "*Feature: " + prefix + std::to_string(n) + "\r\n{\r\n*rcNameID: =FILLER_DISPLAY\r\n";
        text += "*DefaultOption: Option0\r\n";
        for (int option = 0; option < 8; ++option) {
            text += "*Option: Option" + std::to_string(option) +
                    "\r\n{\r\n*rcNameID: =OPTION_DISPLAY\r\n*PrintSchemaKeywordMap: \"Keyword" +
                    std::to_string(option) +
                    "\"\r\n*Command: CmdSelect\r\n{\r\n*Order: DOC_SETUP." + std::to_string(n) +
                    "\r\n*Cmd: \"<</Filler " + std::to_string(option) +
                    ">>setpagedevice\"\r\n}\r\n}\r\n";
        }
        text += "}\r\n";
    }
    return text;
}

// Best times of the two kinds of work, run in turn so that a busy machine slows both alike.
std::pair<double, double> BestSeconds(const std::function<void()>& prepare,
                                      const std::function<void()>& first,
                                      const std::function<void()>& second, int runs) {
    double best[2] = {1e9, 1e9};
    for (int r = 0; r < runs; ++r) {
        int k = 0;
        for (const std::function<void()>* work : {&first, &second}) {
            prepare();
            const auto start = std::chrono::steady_clock::now();
            (*work)();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            best[k] = std::min(best[k], took.count());
            ++k;
        }
    }
    return {best[0], best[1]};
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 10;
    std::size_t kb = 1024;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (arg == "--kb") {
            kb = static_cast<std::size_t>(std::max(1, std::atoi(argv[i + 1])));
        }
    }
    const fs::path root =
        fs::temp_directory_path() / ("quellin-papersize-bench-" + std::to_string(::getpid()));
    sim::InitSandbox(root, sim::InitOptions{});

    const DriverFilePaths paths = DriverFilePathsFor(ReadDriverFileNames(kWow64));
    const fs::path gpd = sim::HostPathNative(paths.mergedConfigPath);
    const fs::path pdc = sim::HostPathNative(paths.deviceCapabilitiesPath);
    const fs::path bud = sim::HostPathNative(paths.cachePath);

    // The seeded description with filler features in front of and behind PaperSize.
    const std::string seed = ReadHost(gpd);
    const std::size_t paper = seed.find("*Feature: PaperSize");
    const std::string half = Filler("FillerA", kb * 1024 / 2);
    const std::string description = seed.substr(0, paper) + half +
                                    seed.substr(paper, seed.find("*Feature: ColorMode") - paper) +
                                    Filler("FillerB", kb * 1024 / 2) +
                                    seed.substr(seed.find("*Feature: ColorMode"));
    const std::string capabilities = ReadHost(pdc);
    const std::string cache = ReadHost(bud);
    const auto restore = [&] {
        WriteHost(gpd, description);
        WriteHost(pdc, capabilities);
        WriteHost(bud, cache);
    };

    const DriverContext context{kWow64, 0};
    const auto [save, floor] = BestSeconds(
        restore,
        [&] {
            PaperSettings settings;
            std::optional<PaperSizeSession> session = BeginPaperSizeEdit(context, settings);
            PaperSizeDialog dialog = CreatePaperSizeDialog(settings, '.');
            PreparePaperSizeDialog(dialog, session->reading, settings);
            for (int row = 0; row < static_cast<int>(dialog.chosen.size()); ++row) {
                if (dialog.chosen[static_cast<std::size_t>(row)] == "A3") {
                    SelectPaperRow(dialog, PaperList::Chosen, row);
                }
            }
            DropPaperSize(dialog, PaperList::Available);
            DropPaperSize(dialog, PaperList::Chosen);
            ChooseDefaultSize(dialog);
            SavePaperSizeDialog(dialog, settings, 0);
            if (FinishPaperSizeEdit(*session, dialog, settings, context) !=
                ReplaceResult::Written) {
                std::cerr << "the save did not write both files\n";
                std::exit(1);
            }
        },
        [&] {
            std::string a = ReadWorkingText(paths.mergedConfigPath, kWow64);
            std::string b = ReadWorkingText(paths.deviceCapabilitiesPath, kWow64);
            WriteWholeFile(paths.mergedConfigPath, a, kWow64);
            WriteWholeFile(paths.deviceCapabilitiesPath, b, kWow64);
        },
        runs);
    // The last run was the floor's; one more save leaves the edited description to check.
    restore();
    PaperSettings settings;
    std::optional<PaperSizeSession> session = BeginPaperSizeEdit(context, settings);
    PaperSizeDialog dialog = CreatePaperSizeDialog(settings, '.');
    PreparePaperSizeDialog(dialog, session->reading, settings);
    dialog.defaultName = "A3";
    FinishPaperSizeEdit(*session, dialog, settings, context);
    const std::string written = ReadHost(gpd);

    std::cout << "description " << description.size() << " bytes, written " << written.size()
              << " bytes, best of " << runs << " runs\n"
              << "paper size save  " << save * 1000 << " ms\n"
              << "floor            " << floor * 1000 << " ms\n"
              << "ratio            " << save / floor << "\n";

    double perOption[3] = {};
    const int counts[3] = {2000, 4000, 8000};
    for (int k = 0; k < 3; ++k) {
        std::string unclosed = "*%\r\n*Feature: PaperSize\r\n{\r\n*DefaultOption: A4\r\n";
        for (int n = 0; n < counts[k]; ++n) {
            unclosed += "*Option: SIZE" + std::to_string(n) +
                        "\r\n{\r\n*rcNameID: =X\r\n*PrintableArea: PAIR(1, 2)\r\n";
        }
        unclosed += "}\r\n*Feature: Resolution\r\n{\r\n}\r\n";
        const auto [read, unused] =
            BestSeconds([] {},
                        [&] {
                            PaperSettings ignored;
                            if (ReadPaperSizes(unclosed, ignored).chosen.size() !=
                                static_cast<std::size_t>(counts[k])) {
                                std::cerr << "the unclosed options were not all read\n";
                                std::exit(1);
                            }
                        },
                        [] {}, runs);
        perOption[k] = read / counts[k];
        std::cout << "read of " << counts[k] << " unclosed options " << read * 1000 << " ms\n";
    }
    std::cout << "per option, 8000 against 2000 " << perOption[2] / perOption[0]
              << " (1 is linear)\n";
    sim::CloseSandbox();
    fs::remove_all(root);
    return written.find("*DefaultOption: A3\r\n") == std::string::npos ? 1 : 0;
}
