// The PaperSize feature as the paper size editor reads it from both driver files, and the new
// feature and capabilities element it writes for the chosen sizes. No window and no file
// access: the editor's session hands in the texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driverconfig/feature_writer.h"
#include "driverconfig/paper_catalogue.h"

namespace quellin::driverconfig {

// Beyond this many millimetres a side no longer fits the description's 32-bit units.
inline constexpr std::int32_t kLargestCustomSideMm = 119304;

// An option of the description as it stands, for writing it back where the catalogue cannot
// build it.
struct KeptOption {
    std::string name;      // upper-cased
    std::string spelling;  // as the description writes it
    std::string text;      // from its "*Option:" line to its closing brace, lines with CR LF
    std::string keyword;   // its *PrintSchemaKeywordMap, "UserDefinedSize" for the custom size
    std::string element;   // its element in the old capabilities document, or empty
};

// What the description offers now.
struct PaperSizeReading {
    bool blockFound = false;
    std::vector<std::string> chosen;  // option names upper-cased, file order, duplicates kept
    std::string defaultName;          // upper-cased
    std::vector<KeptOption> kept;     // every option, file order, duplicates kept
    // The custom size cannot be read from its own lines, or is larger than a side can be: it
    // is written back as it stands unless a new custom size is applied.
    bool customKept = false;
};

// Reads the PaperSize feature and updates the custom size and the unit accuracy of
// `settings` as the description shows them. A description without the feature reads empty.
// `capabilities`, the capabilities document's working text, supplies the old elements.
PaperSizeReading ReadPaperSizes(std::string_view description, PaperSettings& settings,
                                const std::optional<std::string>& capabilities = std::nullopt);

// The new feature and capabilities element for the chosen sizes. A size the catalogue lacks,
// and a kept custom size when `customApplied` is false, keep their old text and old element
// (not an element whose name a built size takes). The default is written in the spelling of
// the option it names.
FeatureReplacement PaperSizeChange(const std::vector<std::string>& chosen,
                                   std::string_view defaultName, const PaperSettings& settings,
                                   const PaperSizeReading& reading, bool customApplied = false);

// Both texts as the editor rewrites them with the sizes, default and custom size it read: what
// "Save Settings" writes when the dialog was left as it opened and would save.
RewrittenTexts RewritePaperSizesAsRead(std::string_view description,
                                       const std::optional<std::string>& capabilities);

}  // namespace quellin::driverconfig
