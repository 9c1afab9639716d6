// The paper size editor without its window: reading the offered sizes from the description,
// the dialog's state and every change a user makes to it, the save tests, and the rewrite of
// both driver files. The dialog only shows this state and forwards its events here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driverconfig/driver_files.h"
#include "driverconfig/paper_catalogue.h"
#include "driverconfig/paper_sizes.h"
#include "platform/types.h"

namespace quellin::driverconfig {

inline constexpr const char* kPaperSizeTitle = "PDF Paper Size";
// The two rounding choices, by their captions in the dialog.
inline constexpr const char* kUsStandardCaption = "US Standard";
inline constexpr const char* kInternationalStandardCaption = "International Standard";

inline constexpr const char* kInvalidCustomSizeText = "Invalid value. Integer value is needed.";
inline constexpr const char* kNoChosenSizeText =
    "The list of paper sizes for Microsoft Print to PDF is empty. Please drag at least one "
    "paper size from the right list to the left list, then save again.";
inline constexpr const char* kDefaultNotChosenText =
    "The default paper size is not in the list of paper sizes for Microsoft Print to PDF. "
    "Please double-click a paper size in the left list to make it the default, then save "
    "again.";

enum class PaperList { Chosen, Available };

// The dialog as the user sees it.
struct PaperSizeDialog {
    std::vector<std::string> chosen;     // ListBox1
    std::vector<std::string> available;  // ListBox2
    int chosenRow = -1;                  // selected row, -1 for none
    int availableRow = -1;
    std::string defaultName;          // lblDefaultValue
    std::string widthText;            // edtWidth
    std::string heightText;           // edtHeight
    std::string aspectRatio;          // lblARValue
    bool customEditing = false;       // edits enabled and "Apply" shown
    bool internationalUnits = false;  // "International Standard" selected
    std::int32_t customWidthMm = 0;   // the dialog's working copy of the custom size
    std::int32_t customHeightMm = 0;
    bool customApplied = false;   // "Apply" took a new custom size
    char decimalSeparator = '.';  // the system's, for the aspect ratio
};

// The dialog as created (every catalogue size available, the custom size copied when both
// sides are set), then filled with what the description offers.
PaperSizeDialog CreatePaperSizeDialog(const PaperSettings& settings, char decimalSeparator);
void PreparePaperSizeDialog(PaperSizeDialog& dialog, const PaperSizeReading& reading,
                            const PaperSettings& settings);

void FillAvailableSizes(PaperSizeDialog& dialog);
void RemoveChosenSizes(PaperSizeDialog& dialog);
void ShowPaperSize(PaperSizeDialog& dialog, std::string_view name);

// The decimal separator of the user's regional settings ("." when they give none).
char SystemDecimalSeparator();

// The aspect ratio in hundredths printed in its shortest form: 77 gives "0.77", 150 "1.5".
std::string FormatAspectRatio(std::int64_t hundredths, char decimalSeparator);

// Selects a row of a list (-1 clears it), as a mouse press does before the click handler.
void SelectPaperRow(PaperSizeDialog& dialog, PaperList list, int row);
// ListBox1Click and ListBox2Click.
void ClickPaperList(PaperSizeDialog& dialog, PaperList list);
// ListBox1DblClick: the selected chosen size becomes the default. False when none is selected.
bool ChooseDefaultSize(PaperSizeDialog& dialog);
// Whether a drag from `source` may end on `target`.
bool AcceptsDrop(PaperList target, PaperList source);
// The drop of the other list's selected entry onto `target`. False when nothing moved.
bool DropPaperSize(PaperSizeDialog& dialog, PaperList target);
void AddCustomSize(PaperSizeDialog& dialog);
// "Apply": takes the edits as the custom size, or shows why not (owner of the box: `owner`).
bool ApplyCustomSize(PaperSizeDialog& dialog, win::HWND owner);
void RestoreDefaultSizes(PaperSizeDialog& dialog);
// "Save Settings": refuses, with a box, a state that cannot be written; otherwise hands the
// custom size and unit accuracy to the main window's `settings` and returns true (close OK).
bool SavePaperSizeDialog(const PaperSizeDialog& dialog, PaperSettings& settings, win::HWND owner);

// The command's two halves around the dialog.
struct PaperSizeSession {
    DriverFilePaths paths;
    std::string description;  // working text as read
    PaperSizeReading reading;
};
// nullopt after the locating step showed why the command cannot go on.
std::optional<PaperSizeSession> BeginPaperSizeEdit(const DriverContext& context,
                                                   PaperSettings& settings);
ReplaceResult FinishPaperSizeEdit(const PaperSizeSession& session, const PaperSizeDialog& dialog,
                                  const PaperSettings& settings, const DriverContext& context);

}  // namespace quellin::driverconfig
