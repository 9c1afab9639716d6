// The catalogue of paper sizes the paper size editor offers: the keyword table (every size by
// its GPD option keyword, in description units, grouped by standard) and the display table
// (further sizes by common name, in whole millimetres, used only to show dimensions).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driverconfig/feature_writer.h"

namespace quellin::driverconfig {

// The tables line by line, in order, as the editor's hidden memos hold them.
const std::vector<std::string>& KeywordTableLines();
const std::vector<std::string>& DisplayTableLines();
// The same joined with CR LF after every line.
const std::string& KeywordTableText();
const std::string& DisplayTableText();

// What "Restore Default" puts into the chosen list, in order, and the default among them.
inline constexpr std::string_view kDefaultPaperSizes[] = {
    "TABLOID", "LEGAL", "STATEMENT", "EXECUTIVE", "A3", "A4", "A5", "B4", "B5", "LETTER"};
inline constexpr std::string_view kDefaultPaperSize = "LETTER";

// The main window's values that decide how a size is written.
struct PaperSettings {
    bool internationalUnits = false;  // false: "US Standard", ISO and JIS sizes rounded
    std::int32_t customWidthMm = 0;
    std::int32_t customHeightMm = 0;
};

struct PaperSizeLookup {
    std::string keyword;  // print-schema keyword
    std::string width;    // description units, decimal
    std::string height;
};

// The print-schema keyword and size of an option name of the chosen list. The keyword is
// built from `name` as passed (so "a4" gives "ISOa4"); the row is matched without regard to
// case. nullopt when no row holds the name.
std::optional<PaperSizeLookup> LookupPaperSize(std::string_view name,
                                               std::string_view catalogueText,
                                               const PaperSettings& settings);

// LookupPaperSize with the sizes read as numbers, ready for the feature writers; nullopt when
// the name is unknown or the row's numbers do not read.
std::optional<PaperOption> MakePaperOption(std::string_view name, std::string_view catalogueText,
                                           const PaperSettings& settings);

// Every keyword of the table, trimmed and upper-cased, in table order.
std::vector<std::string> ListAvailableSizes(std::string_view catalogueText);

struct DisplaySize {
    std::string widthMm;
    std::string heightMm;
};

// Dimensions in whole millimetres to show for an option name: from the keyword table
// (rounded, ties to even) or else from the display table's text. nullopt when neither holds
// the name.
std::optional<DisplaySize> FindDisplaySize(std::string_view name, std::string_view catalogueText,
                                           std::string_view displayText);

// width × 100 / height rounded to an integer, ties to even (0.77 for LETTER is 77); nullopt
// when either text is not a number or the height is not positive.
std::optional<std::int64_t> AspectRatioHundredths(std::string_view widthMm,
                                                  std::string_view heightMm);

}  // namespace quellin::driverconfig
