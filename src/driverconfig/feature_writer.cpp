#include "driverconfig/feature_writer.h"

#include "driverconfig/text.h"
#include "driverconfig/text_model.h"

namespace quellin::driverconfig {

namespace {

constexpr std::string_view kEol = "\r\n";

// Appends the pieces and a line end.
template <typename... Pieces>
void Line(std::string& out, const Pieces&... pieces) {
    (out.append(pieces), ...);
    out.append(kEol);
}

std::string Num(std::int64_t value) {
    return std::to_string(value);
}

constexpr std::string_view kOptionOpen = " psf2:psftype=\"Option\">";
constexpr std::string_view kDefaultOptionOpen = " psf2:psftype=\"Option\" psf2:default=\"true\">";
constexpr std::string_view kDefaultMark = " psf2:default=\"true\"";

// A kept element with its start tag marked as the default or not, and a line end.
std::string MarkedElement(std::string element, bool isDefault) {
    const std::size_t open = element.find('<');
    const std::size_t close = open == std::string::npos ? open : element.find('>', open);
    if (close != std::string::npos) {
        const std::size_t mark = element.substr(0, close).find(kDefaultMark);
        if (mark != std::string::npos && !isDefault) {
            element.erase(mark, kDefaultMark.size());
        } else if (mark == std::string::npos && isDefault) {
            element.insert(element[close - 1] == '/' ? close - 1 : close, kDefaultMark);
        }
    }
    if (element.size() < 2 || element.compare(element.size() - 2, 2, kEol) != 0) {
        element.append(kEol);
    }
    return element;
}

}  // namespace

std::string BuildPaperSizeFeature(std::string_view defaultName,
                                  const std::vector<PaperOption>& options) {
    std::string out;
    Line(out, kPaperSizeHeader);
    Line(out, "{");
    Line(out, "*rcNameID: =PAPER_SIZE_DISPLAY");
    Line(out, "*PrintSchemaKeywordMap: \"PageMediaSize\"");
    Line(out, "*DefaultOption: ", defaultName);
    for (const PaperOption& option : options) {
        if (!option.keptText.empty()) {
            out.append(option.keptText);
            continue;
        }
        std::string area =
            "*PrintableArea: PAIR(" + Num(option.width) + ", " + Num(option.height) + ")";
        if (option.name == kCustomSizeName) {
            Line(out, "*Option: ", kCustomSizeName);
            Line(out, "{");
            Line(out, "*rcNameID: =USER_DEFINED_SIZE_DISPLAY");
            // 52 x 74 mm to 297 x 420 mm, at most 297 mm printable.
            Line(out, "*MinSize: PAIR(936000, 1332000)");
            Line(out, "*MaxSize: PAIR(5346000, 7560000)");
            Line(out, "*MaxPrintableWidth: 5346000");
            Line(out, area);
            Line(out, "}");
        } else {
            Line(out, "*Option: ", option.name);
            Line(out, "{");
            Line(out, "*rcNameID: =RCID_DMPAPER_SYSTEM_NAME");
            Line(out, "*PrintSchemaKeywordMap: \"", option.keyword, "\"");
            Line(out, "*PrintableOrigin: PAIR(0, 0)");
            Line(out, area);
            Line(out, "}");
        }
    }
    Line(out, "}");
    return out;
}

std::string BuildPageMediaSizeFragment(std::string_view defaultName,
                                       const std::vector<PaperOption>& options) {
    std::string out;
    Line(out, kPageMediaSizeOpenTag);
    bool defaultTaken = false;
    for (const PaperOption& option : options) {
        if (!option.keptText.empty() && option.keptElement.empty()) {
            continue;
        }
        bool isDefault = !defaultTaken && option.name == defaultName;
        defaultTaken = defaultTaken || isDefault;
        if (!option.keptText.empty()) {
            out.append(MarkedElement(option.keptElement, isDefault));
            continue;
        }
        std::string w = Num(UnitsToMicrometres(option.width));
        std::string h = Num(UnitsToMicrometres(option.height));
        Line(out, "    <psk:", option.keyword, isDefault ? kDefaultOptionOpen : kOptionOpen);
        Line(out,
             "      <psk12:PortraitImageableSize psf2:psftype=\"Property\" "
             "xsi:type=\"psf2:ImageableAreaType\">0,0,",
             w, ",", h, "</psk12:PortraitImageableSize>");
        Line(out,
             "      <psk:MediaSizeHeight psf2:psftype=\"ScoredProperty\" "
             "xsi:type=\"xsd:integer\">",
             h, "</psk:MediaSizeHeight>");
        Line(out,
             "      <psk:MediaSizeWidth psf2:psftype=\"ScoredProperty\" "
             "xsi:type=\"xsd:integer\">",
             w, "</psk:MediaSizeWidth>");
        Line(out, "    </psk:", option.keyword, ">");
    }
    out.append("  ");
    out.append(kPageMediaSizeCloseTag);
    return out;
}

std::string ResolutionOptionName(std::size_t number) {
    return "ResOption" + std::to_string(number);
}

std::string BuildResolutionFeature(std::string_view defaultName,
                                   const std::vector<int>& resolutions) {
    std::string out;
    Line(out, kResolutionHeader);
    Line(out, "{");
    Line(out, "*rcNameID: =RESOLUTION_DISPLAY");
    Line(out, "*PrintSchemaKeywordMap: \"PageResolution\"");
    Line(out, "*DefaultOption: ", defaultName);
    for (std::size_t i = 0; i < resolutions.size(); ++i) {
        std::string d = Num(resolutions[i]);
        Line(out, "*Option: ", ResolutionOptionName(i + 1));
        Line(out, "{");
        Line(out, "*Name: \"", d, " x ", d, "\"");
        Line(out, "*PrintSchemaNamespace: \"", kPrivateKeywordNamespace, "\"");
        Line(out, "*SpotDiameter: 100");
        Line(out, "*DPI: PAIR(", d, ", ", d, ")");
        Line(out, "*TextDPI: PAIR(", d, ", ", d, ")");
        Line(out, "}");
    }
    Line(out, "}");
    return out;
}

std::string BuildPageResolutionFragment(std::string_view defaultName,
                                        const std::vector<int>& resolutions) {
    std::string out;
    Line(out, kPageResolutionOpenTag);
    for (std::size_t i = 0; i < resolutions.size(); ++i) {
        std::string name = ResolutionOptionName(i + 1);
        std::string d = Num(resolutions[i]);
        Line(out, "    <ns0000:", name, name == defaultName ? kDefaultOptionOpen : kOptionOpen);
        Line(out,
             "      <psk:ResolutionX psf2:psftype=\"ScoredProperty\" "
             "xsi:type=\"xsd:integer\">",
             d, "</psk:ResolutionX>");
        Line(out,
             "      <psk:ResolutionY psf2:psftype=\"ScoredProperty\" "
             "xsi:type=\"xsd:integer\">",
             d, "</psk:ResolutionY>");
        Line(out, "    </ns0000:", name, ">");
    }
    out.append("  ");
    out.append(kPageResolutionCloseTag);
    return out;
}

FeatureReplacement PaperSizeReplacement(std::string_view defaultName,
                                        const std::vector<PaperOption>& options) {
    FeatureReplacement r;
    r.header = std::string(kPaperSizeHeader);
    r.feature = BuildPaperSizeFeature(defaultName, options);
    r.defaultName = std::string(defaultName);
    r.openTag = std::string(kPageMediaSizeOpenTag);
    r.closeTag = std::string(kPageMediaSizeCloseTag);
    r.fragment = BuildPageMediaSizeFragment(defaultName, options);
    r.featureLabel = "PaperSize";
    r.elementLabel = "PageMediaSize";
    return r;
}

FeatureReplacement ResolutionReplacement(std::string_view defaultName,
                                         const std::vector<int>& resolutions) {
    FeatureReplacement r;
    r.header = std::string(kResolutionHeader);
    r.feature = BuildResolutionFeature(defaultName, resolutions);
    r.defaultName = std::string(defaultName);
    r.openTag = std::string(kPageResolutionOpenTag);
    r.closeTag = std::string(kPageResolutionCloseTag);
    r.fragment = BuildPageResolutionFragment(defaultName, resolutions);
    r.featureLabel = "Resolution";
    r.elementLabel = "PageResolution";
    return r;
}

std::string NoFeatureBlockText(std::string_view featureLabel) {
    return "The configuration of Microsoft Print to PDF has no " + std::string(featureLabel) +
           " feature that can be replaced, so nothing was changed. Please reinstall it.";
}

std::string NoCapabilityElementText(std::string_view elementLabel) {
    return "The device capabilities of Microsoft Print to PDF have no " +
           std::string(elementLabel) +
           " element that can be replaced, so nothing was changed. Please reinstall it.";
}

std::string TextCutShortText(std::string_view path) {
    return "The file \"" + std::string(path) +
           "\" holds a NUL byte, and what follows it could not be kept, so nothing was "
           "changed. Please reinstall Microsoft Print to PDF.";
}

std::string UnreadableText(std::string_view path, std::string_view found) {
    return "The file \"" + std::string(path) + "\" holds " + std::string(found) +
           "; the editor cannot write it back exactly, so nothing was changed.";
}

namespace {

// Why a new feature would not read back as written: the first kept line that names another
// default, else the kept option texts whose braces do not close where their options do.
std::string WhyNotReadBack(const FeatureReplacement& replacement) {
    const std::vector<std::string> lines = SplitLines(replacement.feature);
    for (std::size_t i = 5; i < lines.size(); ++i) {
        if (IsDefaultLine(lines[i])) {
            return "the line \"" + Trim(lines[i]) + "\" inside an option of its " +
                   replacement.featureLabel + " feature, which would replace the feature's default";
        }
    }
    return "options in its " + replacement.featureLabel +
           " feature whose braces do not close where the options end";
}

}  // namespace

RewrittenTexts RewriteDriverTexts(std::string_view description,
                                  const std::optional<std::string>& capabilities,
                                  const FeatureReplacement& replacement) {
    RewrittenTexts out;
    const FeatureCut cut = CutFeature(description, replacement.header);
    if (!cut.found) {
        out.result = ReplaceResult::NoFeatureBlock;
        return out;
    }
    // An entry the feature holds outside its options (one its braces took in from behind it,
    // say) would be lost with the old feature.
    if (const std::string stray = StrayFeatureEntry(cut); !stray.empty()) {
        out.result = ReplaceResult::Unreadable;
        out.found = "the entry \"" + stray + "\" in its " + replacement.featureLabel +
                    " feature, outside any option";
        return out;
    }
    if (capabilities) {
        const CapabilitySplit split =
            SplitCapabilityFeature(*capabilities, replacement.openTag, replacement.closeTag);
        if (!split.found) {
            out.result = ReplaceResult::NoCapabilityElement;
            return out;
        }
        out.capabilities = split.before + replacement.fragment + split.after;
    }
    out.description = cut.before + replacement.feature + cut.after;
    // Kept option texts of a damaged feature could still close it early, leave it open or
    // name another default (a default glued to an option's line); a description whose new
    // feature would not read back as written is not written at all.
    const FeatureCut again = CutFeature(out.description, replacement.header);
    if (!again.found || again.block != replacement.feature || again.after != cut.after ||
        ScanFeatureBlock(again.block).defaultName != Trim(replacement.defaultName)) {
        RewrittenTexts refused;
        refused.result = ReplaceResult::Unreadable;
        refused.found = WhyNotReadBack(replacement);
        return refused;
    }
    out.result = capabilities ? ReplaceResult::Written : ReplaceResult::DescriptionOnly;
    return out;
}

}  // namespace quellin::driverconfig
