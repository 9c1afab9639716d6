// One save of the paper size editor that changes nothing, on texts in memory: what the
// property test and the fuzz target both run. Header-only, so that the fuzz target can build
// it straight from the sources it needs.
#pragma once

#include <algorithm>
#include <optional>
#include <string>

#include "driverconfig/feature_writer.h"
#include "driverconfig/paper_sizes.h"

namespace quellin::driverconfig::testdata {

struct SavedTexts {
    bool accepted = false;  // the editor could read, keep and write the feature
    std::string description;
    std::optional<std::string> capabilities;
};

// "Save Settings" with the dialog left as it opened. Not accepted where the dialog refuses to
// save (no size, or a default that is not among the sizes) or a file lacks its part.
inline SavedTexts SavePaperSizesUnchanged(const std::string& description,
                                          const std::optional<std::string>& capabilities) {
    PaperSettings settings;
    const PaperSizeReading reading = ReadPaperSizes(description, settings);
    const bool defaultListed = std::find(reading.chosen.begin(), reading.chosen.end(),
                                         reading.defaultName) != reading.chosen.end();
    if (!reading.blockFound || !defaultListed)
        return {};
    RewrittenTexts texts = RewritePaperSizesAsRead(description, capabilities);
    if (texts.result != ReplaceResult::Written && texts.result != ReplaceResult::DescriptionOnly)
        return {};
    return {true, std::move(texts.description), std::move(texts.capabilities)};
}

}  // namespace quellin::driverconfig::testdata
