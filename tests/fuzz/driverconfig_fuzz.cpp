// libFuzzer target for the driver-file text model and the paper catalogue readers: whatever
// bytes a description, capabilities document or catalogue holds, the readers must not crash,
// and cutting a text apart must give back exactly the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driverconfig/feature_writer.h"
#include "driverconfig/paper_catalogue.h"
#include "driverconfig/text.h"
#include "driverconfig/text_model.h"

using namespace quellin;

namespace {

using namespace driverconfig;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void FuzzDescription(const std::string& text) {
    for (std::string_view header : {kPaperSizeHeader, kResolutionHeader}) {
        // The rewrite's cut keeps the text in front and begins its block with the header; what
        // follows the new feature is never longer than what followed the feature's header.
        FeatureCut cut = CutFeature(text, header);
        if (cut.found) {
            Check(text.rfind(cut.before, 0) == 0);
            Check(cut.block.rfind(header, 0) == 0);
            Check(cut.before.size() + cut.after.size() < text.size());
        }
        FeatureSplit split = SplitFeatureBlock(text, header);
        if (!split.found) {
            Check(split.before.empty() && split.block.empty() && split.after.empty());
            continue;
        }
        Check(!split.block.empty());
        Check(split.before + split.block.substr(0, split.block.size() - 1) + split.after == text);
        Check(split.after.rfind("*Feature: ", 0) == 0);
        FeatureScan scan = ScanFeatureBlock(split.block);
        for (const ScannedOption& option : scan.options) {
            Check(!option.name.empty());
            if (option.window) {
                if (auto area = ReadPrintableArea(*option.window)) {
                    DigitsToInt(area->width);
                    DigitsToInt(area->height);
                    RoundToPowerOfTen(area->width, 3);
                }
                DigitsToInt(ReadResolutionText(*option.window));
            }
        }
        // A feature written over the block must split out again at the same place.
        std::string rewritten =
            split.before + BuildResolutionFeature(scan.defaultName, {300}) + split.after;
        if (header == kResolutionHeader) {
            FeatureSplit again = SplitFeatureBlock(rewritten, header);
            Check(again.found && again.before == split.before);
        }
    }
}

void FuzzCapabilities(const std::string& text) {
    const std::string_view tags[][2] = {{kPageMediaSizeOpenTag, kPageMediaSizeCloseTag},
                                        {kPageResolutionOpenTag, kPageResolutionCloseTag}};
    for (const auto& tag : tags) {
        CapabilitySplit split = SplitCapabilityFeature(text, tag[0], tag[1]);
        if (split.found) {
            Check(split.before.size() + split.after.size() + tag[0].size() + tag[1].size() <=
                  text.size());
            Check(text.rfind(split.before, 0) == 0);
            Check(text.size() >= split.after.size() &&
                  text.compare(text.size() - split.after.size(), std::string::npos, split.after) ==
                      0);
        }
    }
}

void FuzzCatalogue(const std::string& text) {
    std::string firstLine = text.substr(0, text.find_first_of("\r\n"));
    PaperSettings settings{text.size() % 2 == 0, static_cast<std::int32_t>(text.size()), -7};
    LookupPaperSize(firstLine, text, settings);
    LookupPaperSize(firstLine, KeywordTableText(), settings);
    MakePaperOption(firstLine, text, settings);
    for (const std::string& size : ListAvailableSizes(text)) {
        Check(!size.empty());
    }
    if (auto shown = FindDisplaySize(firstLine, text, text)) {
        AspectRatioHundredths(shown->widthMm, shown->heightMm);
    }
    FindDisplaySize(firstLine, "", DisplayTableText());
    AspectRatioHundredths(firstLine, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string text = WorkingTextFromBytes(bytes);
    // Reading a working text again changes nothing, and every line ends with CR LF.
    Check(WorkingTextFromBytes(text) == text);
    Check(text.empty() || text.compare(text.size() - 2, 2, "\r\n") == 0);
    Check(text.find('\0') == std::string::npos);
    FuzzDescription(text);
    FuzzCapabilities(text);
    FuzzCatalogue(text);
    // The raw bytes too: the splitters are also called on texts that were never normalised.
    FuzzDescription(bytes);
    FuzzCapabilities(bytes);
    DigitsToInt(bytes);
    RoundToPowerOfTen(bytes, static_cast<int>(size % 20));
    return 0;
}
