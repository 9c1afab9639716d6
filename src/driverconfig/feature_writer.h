// The exact text of the PaperSize and Resolution features of the merged description and of
// the matching elements of the capabilities document. Every line ends with CR LF; the
// capabilities fragments end with their closing tag and no line end, because the old text
// after the replaced element follows directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellin::driverconfig {

// The option name of the user-defined size, written in its own form.
inline constexpr std::string_view kCustomSizeName = "CUSTOMSIZE";
inline constexpr std::string_view kCustomSizeKeyword = "UserDefinedSize";

// The print-schema keyword namespace that the Microsoft Print to PDF driver publishes for its
// private keywords; the capabilities document declares it as the prefix "ns0000".
inline constexpr std::string_view kPrivateKeywordNamespace =
    "http://schemas.microsoft.com/windows/2015/02/printing/printschemakeywords/"
    "microsoftprinttopdf";

// One chosen paper size. Width and height are in description units (1/18000 mm).
struct PaperOption {
    std::string name;     // the option keyword, e.g. "LETTER" or "CUSTOMSIZE"
    std::string keyword;  // print-schema keyword, e.g. "NorthAmericaLetter"
    std::int64_t width = 0;
    std::int64_t height = 0;
    // An option the catalogue does not hold: its old text (lines with CR LF), written unchanged
    // in its place in the description, and its old capabilities element (from the start of
    // its line to the end of its closing tag's line), written unchanged but for the default
    // mark; an option without an old element has none in the fragment.
    std::string keptText = {};
    std::string keptElement = {};
};

// "*Feature: PaperSize" ... "}" with one option per entry in list order. The custom size is
// recognised by its name and written with its fixed bounds.
std::string BuildPaperSizeFeature(std::string_view defaultName,
                                  const std::vector<PaperOption>& options);

// The psk:PageMediaSize element with sizes in micrometres. The first option whose name equals
// `defaultName` exactly carries the default attribute.
std::string BuildPageMediaSizeFragment(std::string_view defaultName,
                                       const std::vector<PaperOption>& options);

// "ResOption1", "ResOption2", ...: the option name of the n-th written resolution (from 1).
std::string ResolutionOptionName(std::size_t number);

// "*Feature: Resolution" ... "}" with one option per resolution (dots per inch, both axes),
// numbered from 1 in list order.
std::string BuildResolutionFeature(std::string_view defaultName,
                                   const std::vector<int>& resolutions);

// The psk:PageResolution element, numbered as the feature.
std::string BuildPageResolutionFragment(std::string_view defaultName,
                                        const std::vector<int>& resolutions);

// One feature of the description and the matching element of the capabilities document.
struct FeatureReplacement {
    std::string header;       // "*Feature: PaperSize"
    std::string feature;      // the new feature text
    std::string defaultName;  // as the feature writes it
    std::string openTag;      // of the capabilities element
    std::string closeTag;
    std::string fragment;      // the new element text
    std::string featureLabel;  // "PaperSize", for the refusal message
    std::string elementLabel;  // "PageMediaSize"
};

FeatureReplacement PaperSizeReplacement(std::string_view defaultName,
                                        const std::vector<PaperOption>& options);
FeatureReplacement ResolutionReplacement(std::string_view defaultName,
                                         const std::vector<int>& resolutions);

enum class ReplaceResult {
    Written,              // both files rewritten
    DescriptionOnly,      // no capabilities document: only the description was rewritten
    NoFeatureBlock,       // refused, nothing written
    NoCapabilityElement,  // refused, nothing written
    TextCutShort,         // refused, nothing written: a file holds a NUL byte
    Unreadable,           // refused, nothing written: the new feature would not read back
};

// The refusal texts, when a file lacks the part that would be replaced.
std::string NoFeatureBlockText(std::string_view featureLabel);
std::string NoCapabilityElementText(std::string_view elementLabel);
// ... or when a file's text ends at a NUL byte before the file does.
std::string TextCutShortText(std::string_view path);
// ... or when the description holds what the editor cannot write back exactly (`found`).
std::string UnreadableText(std::string_view path, std::string_view found);

// Both files' new working texts, or why they cannot be rewritten (then both are empty): a
// file lacks its part, or the new feature would not read back as written, with its default
// (Unreadable, with what was found in `found`).
// `capabilities` is nullopt when there is no capabilities document.
struct RewrittenTexts {
    ReplaceResult result = ReplaceResult::NoFeatureBlock;
    std::string description;
    std::optional<std::string> capabilities;
    std::string found;  // what made it Unreadable
};
RewrittenTexts RewriteDriverTexts(std::string_view description,
                                  const std::optional<std::string>& capabilities,
                                  const FeatureReplacement& replacement);

}  // namespace quellin::driverconfig
