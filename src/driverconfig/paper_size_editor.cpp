#include "driverconfig/paper_size_editor.h"

#include <algorithm>
#include <limits>

#include "driverconfig/text.h"
#include "driverconfig/text_model.h"
#include "platform/locale.h"
#include "platform/ui.h"
#include "system/app_info.h"

namespace quellin::driverconfig {

namespace {

int FindEntry(const std::vector<std::string>& list, std::string_view name) {
    const std::string wanted = AsciiUpper(name);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (AsciiUpper(list[i]) == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool IsCustom(std::string_view name) {
    return AsciiUpper(name) == kCustomSizeName;
}

std::vector<std::string>& ListOf(PaperSizeDialog& dialog, PaperList list) {
    return list == PaperList::Chosen ? dialog.chosen : dialog.available;
}

int& RowOf(PaperSizeDialog& dialog, PaperList list) {
    return list == PaperList::Chosen ? dialog.chosenRow : dialog.availableRow;
}

PaperList Other(PaperList list) {
    return list == PaperList::Chosen ? PaperList::Available : PaperList::Chosen;
}

bool OnlyDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void ShowPlain(win::HWND owner, const std::string& text) {
    win::MessageBoxA(owner, text, quellin::system::kApplicationTitle, win::MB_OK);
}

}  // namespace

PaperSizeDialog CreatePaperSizeDialog(const PaperSettings& settings, char decimalSeparator) {
    PaperSizeDialog dialog;
    dialog.decimalSeparator = decimalSeparator;
    FillAvailableSizes(dialog);
    if (settings.customWidthMm > 0 && settings.customHeightMm > 0) {
        dialog.customWidthMm = settings.customWidthMm;
        dialog.customHeightMm = settings.customHeightMm;
    }
    return dialog;
}

void PreparePaperSizeDialog(PaperSizeDialog& dialog, const PaperSizeReading& reading,
                            const PaperSettings& settings) {
    dialog.chosen = reading.chosen;
    RemoveChosenSizes(dialog);
    if (settings.internationalUnits) {
        dialog.internationalUnits = true;
    }
    dialog.defaultName = reading.defaultName;
    int row = reading.defaultName.empty() ? -1 : FindEntry(dialog.chosen, reading.defaultName);
    if (row >= 0) {
        SelectPaperRow(dialog, PaperList::Chosen, row);
        ClickPaperList(dialog, PaperList::Chosen);
    }
}

void FillAvailableSizes(PaperSizeDialog& dialog) {
    dialog.available = ListAvailableSizes(KeywordTableText());
    dialog.availableRow = -1;
}

void RemoveChosenSizes(PaperSizeDialog& dialog) {
    std::erase_if(dialog.available,
                  [&](const std::string& entry) { return FindEntry(dialog.chosen, entry) >= 0; });
    dialog.availableRow = -1;
}

char SystemDecimalSeparator() {
    const int length =
        win::GetLocaleInfoA(win::LOCALE_USER_DEFAULT, win::LOCALE_SDECIMAL, nullptr, 0);
    std::string text;
    if (length <= 0 ||
        win::GetLocaleInfoA(win::LOCALE_USER_DEFAULT, win::LOCALE_SDECIMAL, &text, length) <= 0 ||
        text.empty()) {
        return '.';
    }
    return text[0];
}

std::string FormatAspectRatio(std::int64_t hundredths, char decimalSeparator) {
    std::string text = hundredths < 0 ? "-" : "";
    std::int64_t magnitude = hundredths < 0 ? -hundredths : hundredths;
    text += std::to_string(magnitude / 100);
    std::int64_t fraction = magnitude % 100;
    if (fraction != 0) {
        text += decimalSeparator;
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            text += static_cast<char>('0' + fraction % 10);
        }
    }
    return text;
}

void ShowPaperSize(PaperSizeDialog& dialog, std::string_view name) {
    std::optional<DisplaySize> size = FindDisplaySize(name, KeywordTableText(), DisplayTableText());
    if (!size) {
        return;
    }
    dialog.widthText = size->widthMm;
    dialog.heightText = size->heightMm;
    std::optional<std::int64_t> ratio = AspectRatioHundredths(size->widthMm, size->heightMm);
    dialog.aspectRatio = ratio ? FormatAspectRatio(*ratio, dialog.decimalSeparator) : "";
}

void SelectPaperRow(PaperSizeDialog& dialog, PaperList list, int row) {
    const int count = static_cast<int>(ListOf(dialog, list).size());
    RowOf(dialog, list) = row >= 0 && row < count ? row : -1;
}

void ClickPaperList(PaperSizeDialog& dialog, PaperList list) {
    const int row = RowOf(dialog, list);
    if (row < 0) {
        return;
    }
    RowOf(dialog, Other(list)) = -1;
    const std::string entry = ListOf(dialog, list)[static_cast<std::size_t>(row)];
    ShowPaperSize(dialog, entry);
    dialog.customEditing = IsCustom(entry);
    if (dialog.customEditing && dialog.customWidthMm > 0 && dialog.customHeightMm > 0) {
        dialog.widthText = std::to_string(dialog.customWidthMm);
        dialog.heightText = std::to_string(dialog.customHeightMm);
    }
}

bool ChooseDefaultSize(PaperSizeDialog& dialog) {
    if (dialog.chosenRow < 0) {
        return false;
    }
    dialog.defaultName = dialog.chosen[static_cast<std::size_t>(dialog.chosenRow)];
    return true;
}

bool AcceptsDrop(PaperList target, PaperList source) {
    return target != source;
}

bool DropPaperSize(PaperSizeDialog& dialog, PaperList target) {
    const PaperList source = Other(target);
    const int from = RowOf(dialog, source);
    if (from < 0) {
        return false;
    }
    std::vector<std::string>& sourceList = ListOf(dialog, source);
    std::vector<std::string>& targetList = ListOf(dialog, target);
    const std::string entry = sourceList[static_cast<std::size_t>(from)];
    int at = FindEntry(targetList, entry);
    if (at < 0) {
        targetList.push_back(entry);
        at = static_cast<int>(targetList.size()) - 1;
    }
    RowOf(dialog, target) = at;
    sourceList.erase(sourceList.begin() + from);
    RowOf(dialog, source) = -1;
    return true;
}

void AddCustomSize(PaperSizeDialog& dialog) {
    if (FindEntry(dialog.chosen, kCustomSizeName) >= 0) {
        return;
    }
    dialog.chosen.emplace_back(kCustomSizeName);
    dialog.availableRow = -1;
    dialog.chosenRow = static_cast<int>(dialog.chosen.size()) - 1;
    ClickPaperList(dialog, PaperList::Chosen);
}

bool ApplyCustomSize(PaperSizeDialog& dialog, win::HWND owner) {
    const std::string width = Trim(dialog.widthText);
    const std::string height = Trim(dialog.heightText);
    bool valid = OnlyDigits(width) && OnlyDigits(height) && width != "0" && height != "0" &&
                 !(width.empty() && height.empty());
    // A side beyond the bound would overflow the description's units once multiplied.
    valid = valid && DigitsToInt(width) <= kLargestCustomSideMm &&
            DigitsToInt(height) <= kLargestCustomSideMm;
    if (!valid) {
        ShowPlain(owner, kInvalidCustomSizeText);
        return false;
    }
    dialog.customWidthMm = static_cast<std::int32_t>(DigitsToInt(width));
    dialog.customHeightMm = static_cast<std::int32_t>(DigitsToInt(height));
    dialog.customApplied = true;
    return true;
}

void RestoreDefaultSizes(PaperSizeDialog& dialog) {
    dialog.internationalUnits = false;
    dialog.chosen.assign(std::begin(kDefaultPaperSizes), std::end(kDefaultPaperSizes));
    dialog.chosenRow = -1;
    FillAvailableSizes(dialog);
    RemoveChosenSizes(dialog);
    dialog.defaultName = std::string(kDefaultPaperSize);
    SelectPaperRow(dialog, PaperList::Chosen, FindEntry(dialog.chosen, kDefaultPaperSize));
    ClickPaperList(dialog, PaperList::Chosen);
}

bool SavePaperSizeDialog(const PaperSizeDialog& dialog, PaperSettings& settings, win::HWND owner) {
    // Either state would write a *DefaultOption that names no option.
    if (dialog.chosen.empty()) {
        ShowPlain(owner, kNoChosenSizeText);
        return false;
    }
    if (dialog.defaultName.empty() || FindEntry(dialog.chosen, dialog.defaultName) < 0) {
        ShowPlain(owner, kDefaultNotChosenText);
        return false;
    }
    settings.customWidthMm = dialog.customWidthMm;
    settings.customHeightMm = dialog.customHeightMm;
    settings.internationalUnits = dialog.internationalUnits;
    return true;
}

std::optional<PaperSizeSession> BeginPaperSizeEdit(const DriverContext& context,
                                                   PaperSettings& settings) {
    std::optional<DriverFilePaths> paths = LocateDriverFiles(context);
    if (!paths) {
        return std::nullopt;
    }
    PaperSizeSession session;
    session.paths = *paths;
    session.description = ReadWorkingText(paths->mergedConfigPath, context.wow64KeyFlag);
    std::optional<std::string> capabilities;
    if (FileExists(paths->deviceCapabilitiesPath, context.wow64KeyFlag)) {
        capabilities = ReadWorkingText(paths->deviceCapabilitiesPath, context.wow64KeyFlag);
    }
    session.reading = ReadPaperSizes(session.description, settings, capabilities);
    return session;
}

ReplaceResult FinishPaperSizeEdit(const PaperSizeSession& session, const PaperSizeDialog& dialog,
                                  const PaperSettings& settings, const DriverContext& context) {
    return ReplaceDriverFeature(session.paths,
                                PaperSizeChange(dialog.chosen, dialog.defaultName, settings,
                                                session.reading, dialog.customApplied),
                                context, &session.description);
}

}  // namespace quellin::driverconfig
