// One save of the paper size editor that changes nothing, on texts in memory: what the
// property test and the fuzz target both run. Header-only, so that the fuzz target can build
// it straight from the sources it needs.
#pragma once

#include <optional>
#include <string>

#include "driverconfig/feature_writer.h"
#include "driverconfig/paper_sizes.h"
#include "driverconfig/text.h"

namespace quellin::driverconfig::testdata {

struct SavedTexts {
    bool accepted = false;  // the editor could read, keep and write the feature
    std::string description;
    std::optional<std::string> capabilities;
};

// Reads the feature as the editor does and writes back the same sizes and default, as "Save
// Settings" does when the dialog was left as it opened. Not accepted where the dialog refuses
// to save (no size, or a default that is not among the sizes) or a file lacks its part.
inline SavedTexts SavePaperSizesUnchanged(const std::string& description,
                                          const std::optional<std::string>& capabilities) {
    PaperSettings settings;
    const PaperSizeReading reading = ReadPaperSizes(description, settings, capabilities);
    bool defaultListed = false;
    for (const std::string& name : reading.chosen)
        defaultListed = defaultListed || AsciiUpper(name) == AsciiUpper(reading.defaultName);
    if (!reading.blockFound || !defaultListed)
        return {};
    const RewrittenTexts texts = RewritePaperSizesAsRead(description, capabilities);
    if (texts.result != ReplaceResult::Written && texts.result != ReplaceResult::DescriptionOnly)
        return {};
    return {true, texts.description, texts.capabilities};
}

}  // namespace quellin::driverconfig::testdata
