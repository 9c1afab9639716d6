// The resolution editor without its window: reading the offered resolutions from the
// description, the dialog's state, the three tests of "Save Settings" with their questions,
// and the rewrite of both driver files.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driverconfig/driver_files.h"
#include "platform/types.h"

namespace quellin::driverconfig {

inline constexpr const char* kPrintQualityTitle = "PDF Print Quality";

// The nine resolutions by their position in the default list; the check boxes follow the same
// order.
inline constexpr std::size_t kResolutionCount = 9;
inline constexpr std::array<int, kResolutionCount> kResolutionsByPosition = {
    1200, 600, 400, 300, 200, 180, 150, 120, 100};
// Positions in the order the options are written: 600 first, 1200 last.
inline constexpr std::array<std::size_t, kResolutionCount> kResolutionOutputOrder = {1, 2, 3, 4, 5,
                                                                                     6, 7, 8, 0};
inline constexpr std::size_t kDefaultResolutionPosition = 1;  // "600 x 600"

inline constexpr const char* kDefaultResolutionMissingText =
    "Default resolution is not selected. Please select ";
inline constexpr const char* kUnsupportedResolutionTitle = "Unsupported resolution";
inline constexpr const char* kUnsupportedResolutionText =
    "The version of Microsoft Print to PDF installed on your computer does not support 1200 x "
    "1200 DPI resolution.\r\nDo you want to try Corvandel software, which supports "
    "high-resolution printing for up to 2540 x 2540 DPI?";
inline constexpr const char* kSeveralResolutionsTitle = "Warning";
inline constexpr const char* kSeveralResolutionsText =
    "It is suggested to select only one resolution other than several, as the version of "
    "Microsoft Print to PDF installed on your computer would not function at all with multiple "
    "resolutions, although it allows multiple resolutions appear in the drop down list of "
    "Graphics Resolution. Do you wish to continue?";
inline constexpr const char* kUnsupportedResolutionsTitle = "Unsupported resolutions";
inline constexpr const char* kUnsupportedResolutionsText =
    "Do you want to try Corvandel software, which supports multiple resolutions?";

// "600 x 600": the default list's text at a position.
std::string ResolutionListText(std::size_t position);

struct ResolutionReading {
    bool blockFound = false;
    std::vector<std::string> entries;  // "name||resolution", file order
    std::string defaultName;
};

ResolutionReading ReadResolutions(std::string_view description);

struct ResolutionDialog {
    std::array<bool, kResolutionCount> ticked{};                  // by position
    int selected = static_cast<int>(kDefaultResolutionPosition);  // cmbDefRes, -1 for none
};

// Ticks the boxes and selects the default as the description has them.
void PrepareResolutionDialog(ResolutionDialog& dialog, const ResolutionReading& reading);
// "Load Default".
void LoadDefaultResolutions(ResolutionDialog& dialog);

// The addresses the questions offer.
struct ResolutionPages {
    std::string siteAddress;
    std::string companionPrinterAddress;
};
// "Save Settings": runs the three tests with their boxes (owned by `owner`); true when the
// dialog closes with OK, false when it stays open. `showBoxes`, when given, puts a change of the
// boxes on screen before the question that follows it.
bool SaveResolutionDialog(ResolutionDialog& dialog, const ResolutionPages& pages, win::HWND owner,
                          const std::function<void()>& showBoxes = {});

// The option written for the list text: the name of the first option whose "DPI: PAIR("
// carries the list text's number; empty when none does.
std::string FindResolutionOption(std::string_view listText, std::string_view optionsText);

// The ticked resolutions in output order.
std::vector<int> ChosenResolutions(const ResolutionDialog& dialog);
FeatureReplacement ResolutionChange(const ResolutionDialog& dialog);

struct ResolutionSession {
    DriverFilePaths paths;
    std::string description;  // working text as read
    ResolutionReading reading;
};
std::optional<ResolutionSession> BeginResolutionEdit(const DriverContext& context);
ReplaceResult FinishResolutionEdit(const ResolutionSession& session, const ResolutionDialog& dialog,
                                   const DriverContext& context);

}  // namespace quellin::driverconfig
