// A save that changes nothing in the dialog is idempotent and touches nothing outside the
// edited feature, for generated descriptions of every shape the editors accept.
#include <gtest/gtest.h>

#include "description_generator.h"
#include "driverconfig/resolution_editor.h"
#include "driverconfig/text_model.h"
#include "unchanged_save.h"

namespace quellin::driverconfig {
namespace {

using testdata::SavedTexts;

SavedTexts SaveResolutionsUnchanged(const std::string& description,
                                    const std::optional<std::string>& capabilities) {
    const ResolutionReading reading = ReadResolutions(description);
    ResolutionDialog dialog;
    PrepareResolutionDialog(dialog, reading);
    const bool defaultTicked =
        dialog.selected >= 0 && dialog.ticked[static_cast<std::size_t>(dialog.selected)];
    if (!reading.blockFound || !defaultTicked || dialog.ticked[0])
        return {};
    const RewrittenTexts texts =
        RewriteDriverTexts(description, capabilities, ResolutionChange(dialog));
    if (texts.result != ReplaceResult::Written)
        return {};
    return {true, texts.description, texts.capabilities};
}

// The text from the first "*Feature: " after the header on: never part of the edited feature.
std::string FromNextFeature(const std::string& text, std::string_view header) {
    const std::size_t from = FindEntryLine(text, header, true, 0);
    const std::size_t next = FindEntryLine(text, "*Feature: ", false, from + 1);
    return next == std::string::npos ? "" : text.substr(next);
}

// The first line of `kept` (upper-cased and trimmed of blanks and braces; comments are none)
// that `now` lacks in order; empty when none is lost.
std::string FirstLost(const std::string& kept, const std::string& now) {
    const auto entries = [](const std::string& text) {
        std::vector<std::string> out;
        for (const std::string& line : SplitLines(AsciiUpper(text))) {
            const std::size_t from = line.find_first_not_of("{} \t");
            if (from != std::string::npos && line.compare(from, 2, "*%") != 0)
                out.push_back(line.substr(from, line.find_last_not_of("{} \t") + 1 - from));
        }
        return out;
    };
    const std::vector<std::string> keep = entries(kept);
    std::size_t k = 0;
    for (const std::string& entry : entries(now))
        k += k < keep.size() && entry == keep[k];
    return k < keep.size() ? keep[k] : "";
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(UnchangedSave, IsIdempotentAndKeepsEveryEntryItWasNotAskedToRemove) {
    using Save = SavedTexts (*)(const std::string&, const std::optional<std::string>&);
    const std::pair<std::string_view, Save> editors[] = {
        {kPaperSizeHeader, &testdata::SavePaperSizesUnchanged},
        {kResolutionHeader, &SaveResolutionsUnchanged}};
    int accepted[2] = {0, 0};
    for (unsigned seed = 0; seed < 600; ++seed) {
        const testdata::GeneratedFiles files = testdata::DescriptionGenerator(seed).Next();
        const std::string description = WorkingTextFromBytes(files.description);
        for (int e = 0; e < 2; ++e) {
            const auto& [header, save] = editors[e];
            SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::string(header) + "\n" +
                         description);
            const SavedTexts first = save(description, files.capabilities);
            if (!first.accepted)
                continue;
            ++accepted[e];
            // Every entry survives but the edited feature's own, of which the paper sizes keep
            // their options, the lines of those the catalogue cannot build and their elements.
            std::string kept = files.description;
            const bool paper = header == kPaperSizeHeader;
            const std::string& feature = paper ? files.paperSize : files.resolution;
            kept.replace(kept.find(feature), feature.size(), paper ? files.paperSizeKept : "");
            EXPECT_EQ(FirstLost(kept, first.description), "");
            EXPECT_EQ(FirstLost(paper ? files.keptElements : "", *first.capabilities), "");
            const SavedTexts second = save(first.description, first.capabilities);
            ASSERT_TRUE(second.accepted) << first.description;
            EXPECT_EQ(second.description, first.description);
            EXPECT_EQ(second.capabilities, first.capabilities);
            // The text in front of the feature and every feature after it stay byte for byte.
            const std::size_t from = FindEntryLine(description, header, true, 0);
            EXPECT_EQ(first.description.substr(0, from), description.substr(0, from));
            EXPECT_TRUE(EndsWith(first.description, FromNextFeature(description, header)));
            const std::size_t open = files.capabilities.find("<psk:Page");
            EXPECT_EQ(first.capabilities->substr(0, open), files.capabilities.substr(0, open));
        }
    }
    // The generator must reach the interesting cases, not only refusals.
    EXPECT_GT(accepted[0], 370);
    EXPECT_GT(accepted[1], 230);
}

}  // namespace
}  // namespace quellin::driverconfig
