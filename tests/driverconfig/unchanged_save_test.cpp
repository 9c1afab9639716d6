// A save that changes nothing in the dialog is idempotent and touches nothing outside the
// edited feature, for generated descriptions of every shape the editors accept.
#include <gtest/gtest.h>

#include "description_generator.h"
#include "driverconfig/paper_catalogue.h"
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

// The old entries a save must keep, in order: all but the edited feature's own lines, of
// which the paper sizes keep every option and all lines of those the catalogue cannot build.
std::vector<std::string> MustKeep(const testdata::GeneratedFiles& files, std::string_view header) {
    std::vector<std::string> keep;
    for (const auto& [owner, line] : files.entries) {
        const std::string option = owner.rfind("PaperSize/", 0) == 0 ? owner.substr(10) : "";
        const bool built = option == kCustomSizeName ||
                           LookupPaperSize(AsciiUpper(option), KeywordTableText(), {}).has_value();
        if (header == kResolutionHeader ? owner != "Resolution"
                                        : owner != "PaperSize" && (!built || IsOptionLine(line)))
            keep.push_back(AsciiUpper(line));
    }
    return keep;
}

// The first of `keep` that the new text's entries lack in order; empty when none.
std::string FirstLost(const std::vector<std::string>& keep, const std::string& text) {
    std::size_t k = 0;
    for (const std::string& line : SplitLines(text))
        k += k < keep.size() && AsciiUpper(testdata::EntryOf(line)) == keep[k];
    return k < keep.size() ? keep[k] : "";
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(UnchangedSave, IsIdempotentKeepsEveryEntryAndEverythingOutsideTheFeature) {
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
            EXPECT_EQ(FirstLost(MustKeep(files, header), first.description), "")
                << first.description;
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
    EXPECT_GT(accepted[0], 200);
    EXPECT_GT(accepted[1], 100);
}

}  // namespace
}  // namespace quellin::driverconfig
