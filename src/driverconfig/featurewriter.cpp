#include "driverconfig/featurewriter.h"

#include "driverconfig/text.h"
#include "driverconfig/textmodel.h"

namespace driverconfig {

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
        if (!option.keptText.empty()) {
            continue;
        }
        bool isDefault = !defaultTaken && option.name == defaultName;
        defaultTaken = defaultTaken || isDefault;
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

}  // namespace driverconfig
