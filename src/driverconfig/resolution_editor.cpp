#include "driverconfig/resolution_editor.h"

#include <algorithm>

#include "driverconfig/feature_writer.h"
#include "driverconfig/text.h"
#include "driverconfig/text_model.h"
#include "platform/processes.h"
#include "platform/ui.h"
#include "platform/window.h"
#include "system/app_info.h"

namespace quellin::driverconfig {

namespace {

constexpr std::string_view kEntrySeparator = "||";

bool Ask(win::HWND owner, const char* text, const char* title) {
    return win::MessageBoxA(owner, text, title, win::MB_YESNO) == win::IDYES;
}

void OpenPage(win::HWND owner, const std::string& address) {
    win::ShellExecuteA(owner, "open", address, "", "", win::SW_SHOW);
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string ResolutionListText(std::size_t position) {
    const std::string d = std::to_string(kResolutionsByPosition.at(position));
    return d + " x " + d;
}

ResolutionReading ReadResolutions(std::string_view description) {
    ResolutionReading reading;
    FeatureCut cut = CutFeature(description, kResolutionHeader);
    if (!cut.found) {
        return reading;
    }
    reading.blockFound = true;
    FeatureScan scan = ScanFeatureBlock(cut.block);
    reading.defaultName = scan.defaultName;
    for (const ScannedOption& option : scan.options) {
        reading.entries.push_back(option.name + std::string(kEntrySeparator) +
                                  (option.window ? ReadResolutionText(*option.window) : ""));
    }
    return reading;
}

void PrepareResolutionDialog(ResolutionDialog& dialog, const ResolutionReading& reading) {
    for (const std::string& entry : reading.entries) {
        std::size_t separator = entry.find(kEntrySeparator);
        if (separator == std::string::npos || separator == 0) {
            continue;
        }
        const std::string name = entry.substr(0, separator);
        const std::string resolution = entry.substr(separator + kEntrySeparator.size());
        if (name == reading.defaultName) {
            dialog.selected = -1;
            for (std::size_t i = 0; i < kResolutionCount; ++i) {
                if (ResolutionListText(i) == resolution + " x " + resolution) {
                    dialog.selected = static_cast<int>(i);
                }
            }
        }
        const std::int64_t dpi = DigitsToInt(resolution);
        for (std::size_t i = 0; i < kResolutionCount; ++i) {
            if (kResolutionsByPosition[i] == dpi) {
                dialog.ticked[i] = true;
            }
        }
    }
}

void LoadDefaultResolutions(ResolutionDialog& dialog) {
    dialog.ticked.fill(false);
    dialog.ticked[kDefaultResolutionPosition] = true;
    dialog.selected = static_cast<int>(kDefaultResolutionPosition);
}

bool SaveResolutionDialog(ResolutionDialog& dialog, const ResolutionPages& pages, win::HWND owner,
                          const std::function<void()>& showBoxes) {
    const auto show = [&] {
        if (showBoxes) {
            showBoxes();
        }
    };
    const bool hasDefault =
        dialog.selected >= 0 && static_cast<std::size_t>(dialog.selected) < kResolutionCount;
    if (!hasDefault || !dialog.ticked[static_cast<std::size_t>(dialog.selected)]) {
        const std::string listText =
            hasDefault ? ResolutionListText(static_cast<std::size_t>(dialog.selected)) : "";
        win::MessageBoxA(owner, kDefaultResolutionMissingText + listText,
                         quellin::system::kApplicationTitle, win::MB_OK);
        return false;
    }
    if (dialog.ticked[0]) {
        dialog.ticked[0] = false;
        show();
        if (Ask(owner, kUnsupportedResolutionText, kUnsupportedResolutionTitle)) {
            OpenPage(owner, pages.siteAddress + "/" + "preview.html");
        }
        return false;
    }
    if (std::count(dialog.ticked.begin(), dialog.ticked.end(), true) > 1) {
        if (Ask(owner, kSeveralResolutionsText, kSeveralResolutionsTitle)) {
            return true;
        }
        dialog.ticked.fill(false);
        dialog.ticked[kDefaultResolutionPosition] = true;
        show();
        if (Ask(owner, kUnsupportedResolutionsText, kUnsupportedResolutionsTitle)) {
            OpenPage(owner, pages.companionPrinterAddress);
        }
        return false;
    }
    return true;
}

std::string FindResolutionOption(std::string_view listText, std::string_view optionsText) {
    if (listText.empty() && optionsText.empty()) {
        return "";
    }
    std::size_t x = listText.find(" x ");
    if (x == std::string_view::npos || x == 0) {
        return "";
    }
    const std::string digits = Trim(listText.substr(0, x));
    if (!AllDigits(digits)) {
        return "";
    }
    const std::string wanted = "DPI: PAIR(" + digits;
    std::string current;
    for (const std::string& raw : SplitLines(optionsText)) {
        const std::string line = Trim(raw);
        if (line.rfind("*Option: ", 0) == 0) {
            current = line.substr(9);
        }
        if (line.find(wanted) != std::string::npos) {
            return current;
        }
    }
    return "";
}

std::vector<int> ChosenResolutions(const ResolutionDialog& dialog) {
    std::vector<int> chosen;
    for (std::size_t position : kResolutionOutputOrder) {
        if (dialog.ticked[position]) {
            chosen.push_back(kResolutionsByPosition[position]);
        }
    }
    return chosen;
}

FeatureReplacement ResolutionChange(const ResolutionDialog& dialog) {
    const std::vector<int> chosen = ChosenResolutions(dialog);
    const std::string listText =
        dialog.selected >= 0 && static_cast<std::size_t>(dialog.selected) < kResolutionCount
            ? ResolutionListText(static_cast<std::size_t>(dialog.selected))
            : "";
    // The feature's header names no option, so its option entries decide alone.
    const std::string defaultName =
        FindResolutionOption(listText, BuildResolutionFeature("", chosen));
    return ResolutionReplacement(defaultName, chosen);
}

std::optional<ResolutionSession> BeginResolutionEdit(const DriverContext& context) {
    std::optional<DriverFilePaths> paths = LocateDriverFiles(context);
    if (!paths) {
        return std::nullopt;
    }
    ResolutionSession session;
    session.paths = *paths;
    session.description = ReadWorkingText(paths->mergedConfigPath, context.wow64KeyFlag);
    session.reading = ReadResolutions(session.description);
    return session;
}

ReplaceResult FinishResolutionEdit(const ResolutionSession& session, const ResolutionDialog& dialog,
                                   const DriverContext& context) {
    return ReplaceDriverFeature(session.paths, ResolutionChange(dialog), context,
                                &session.description);
}

}  // namespace quellin::driverconfig
