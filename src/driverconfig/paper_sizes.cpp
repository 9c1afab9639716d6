#include "driverconfig/paper_sizes.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "driverconfig/capability_scan.h"
#include "driverconfig/text.h"
#include "driverconfig/text_model.h"

namespace quellin::driverconfig {

namespace {

// The US sizes by which the unit accuracy of a description shows, with the width that
// "US Standard" writes for each.
struct UsWidth {
    std::string_view name;
    std::string_view width;
};
constexpr UsWidth kUsWidths[] = {{"TABLOID", "5029200"},
                                 {"LEGAL", "3886200"},
                                 {"STATEMENT", "2514600"},
                                 {"EXECUTIVE", "3314700"},
                                 {"LETTER", "3886200"}};

// The catalogue sizes that "US Standard" rounds, by name, with their exact width.
const std::unordered_map<std::string, std::string>& ExactWidths() {
    static const std::unordered_map<std::string, std::string> widths = [] {
        std::unordered_map<std::string, std::string> found;
        for (const std::string& name : ListAvailableSizes(KeywordTableText())) {
            const auto exact = LookupPaperSize(name, KeywordTableText(), {true, 0, 0});
            const auto rounded = LookupPaperSize(name, KeywordTableText(), {false, 0, 0});
            if (exact && rounded && exact->width != rounded->width) {
                found.emplace(name, exact->width);
            }
        }
        return found;
    }();
    return widths;
}

// The lines of the option at `at` (see OptionSpanEnd). A body that never closes is closed
// where the option ends, so that written back it cannot take the feature's own closing brace
// for its own.
std::string OptionText(const std::vector<std::string>& lines, std::size_t at) {
    int unclosed = 0;
    const std::size_t end = OptionSpanEnd(lines, at, unclosed);
    std::string text;
    for (std::size_t i = at; i < end; ++i) {
        text += lines[i] + "\r\n";
    }
    for (; unclosed > 0; --unclosed) {
        text += "}\r\n";
    }
    return text;
}

std::string LocalName(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return std::string(colon == std::string_view::npos ? qualified : qualified.substr(colon + 1));
}

// The old capabilities elements of the PageMediaSize element by upper-cased local name, each
// from the start of its line (when only indentation stands before it) to the end of its
// closing tag's line.
std::unordered_map<std::string, std::string> OldElements(const std::string& capabilities) {
    std::unordered_map<std::string, std::string> elements;
    const CapabilitySplit split =
        SplitCapabilityFeature(capabilities, kPageMediaSizeOpenTag, kPageMediaSizeCloseTag);
    if (!split.found) {
        return elements;
    }
    const std::string_view text =
        std::string_view(capabilities)
            .substr(split.before.size(),
                    capabilities.size() - split.before.size() - split.after.size());
    std::size_t at = kPageMediaSizeOpenTag.size();
    while ((at = text.find('<', at)) != std::string_view::npos) {
        const std::size_t end = text.find('>', at);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view tag = text.substr(at + 1, end - at - 1);
        const std::string_view qualified = tag.substr(0, tag.find_first_of(" \t\r\n/"));
        if (tag.find("psf2:psftype=\"Option\"") == std::string_view::npos || qualified.empty() ||
            tag.back() == '/') {
            at = end + 1;
            continue;
        }
        const std::string closing = "</" + std::string(qualified) + ">";
        const std::size_t close = text.find(closing, end);
        if (close == std::string_view::npos) {
            break;
        }
        std::size_t from = at;
        const std::size_t lineStart = text.rfind('\n', at);
        const std::size_t indentFrom = lineStart == std::string_view::npos ? 0 : lineStart + 1;
        if (Trim(text.substr(indentFrom, at - indentFrom)).empty()) {
            from = indentFrom;
        }
        std::size_t to = close + closing.size();
        if (text.compare(to, 2, "\r\n") == 0) {
            to += 2;
        }
        elements.emplace(AsciiUpper(LocalName(qualified)),
                         std::string(text.substr(from, to - from)));
        at = to;
    }
    return elements;
}

// The custom size from the option's own lines rather than from the six lines after its
// "*Option:" line, which may reach past its body into whatever follows it: what follows changes
// with a save, and the custom size must read the same before and after. A size that cannot be
// read, or is larger than a side can be, is kept as written. Of several custom options the
// last readable one gives the size, as every one is read in turn; should any be kept, all are.
void ReadCustomSize(const std::string& optionText, PaperSettings& settings,
                    PaperSizeReading& reading) {
    std::string body;
    const std::vector<std::string> lines = SplitLines(optionText);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        body += lines[i];
    }
    const std::optional<PrintableArea> area = ReadPrintableArea(body);
    if (!area) {
        reading.customKept = true;
        return;
    }
    const std::int64_t width = UnitsToMillimetres(DigitsToInt(area->width));
    const std::int64_t height = UnitsToMillimetres(DigitsToInt(area->height));
    if (width > kLargestCustomSideMm || height > kLargestCustomSideMm) {
        reading.customKept = true;
    } else {
        settings.customWidthMm = static_cast<std::int32_t>(width);
        settings.customHeightMm = static_cast<std::int32_t>(height);
    }
}

}  // namespace

PaperSizeReading ReadPaperSizes(std::string_view description, PaperSettings& settings,
                                const std::optional<std::string>& capabilities) {
    PaperSizeReading reading;
    const FeatureCut cut = CutFeature(description, kPaperSizeHeader);
    if (!cut.found) {
        return reading;
    }
    reading.blockFound = true;
    const FeatureScan scan = ScanFeatureBlock(cut.block);
    reading.defaultName = AsciiUpper(scan.defaultName);
    for (const ScannedOption& option : scan.options) {
        std::string name = AsciiUpper(option.name);
        reading.chosen.push_back(name);
        std::optional<PrintableArea> area =
            option.window ? ReadPrintableArea(*option.window) : std::nullopt;
        if (!area) {
            continue;
        }
        if (name == kCustomSizeName) {
            continue;  // read from its own text below
        }
        for (const UsWidth& us : kUsWidths) {
            if (name == us.name && !area->width.empty() && area->width != "0" &&
                area->width != us.width) {
                settings.internationalUnits = true;
            }
        }
        // A size written at its exact width under "International Standard" (A4 at 3779901)
        // shows the choice too; without it a description saved that way would read back as
        // "US Standard" and the next unchanged save would round every such size.
        if (!settings.internationalUnits) {
            const auto exact = ExactWidths().find(name);
            settings.internationalUnits =
                exact != ExactWidths().end() && area->width == exact->second;
        }
    }

    const std::unordered_map<std::string, std::string> elements =
        capabilities ? OldElements(*capabilities) : std::unordered_map<std::string, std::string>{};
    // The block that runs to the next feature holds that feature's first character too.
    const std::vector<std::string> lines = SplitLines(
        std::string_view(cut.block).substr(0, cut.block.size() - (cut.toNextFeature ? 1 : 0)));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Trim(lines[i]);
        if (!IsOptionLine(line)) {
            continue;
        }
        KeptOption kept;
        kept.spelling = OptionNameOf(line);
        kept.name = AsciiUpper(kept.spelling);
        if (kept.name.empty()) {
            continue;
        }
        kept.text = OptionText(lines, i);
        if (kept.name == kCustomSizeName) {
            ReadCustomSize(kept.text, settings, reading);
        }
        kept.keyword = ReadKeywordMap(kept.text);
        if (kept.keyword.empty() && kept.name == kCustomSizeName) {
            kept.keyword = std::string(kCustomSizeKeyword);
        }
        // The map may name the keyword with its namespace prefix ("ns0000:MyPaper"); the
        // elements go by local name.
        const auto element =
            elements.find(AsciiUpper(LocalName(kept.keyword.empty() ? kept.name : kept.keyword)));
        if (element != elements.end()) {
            kept.element = element->second;
        }
        reading.kept.push_back(std::move(kept));
    }
    return reading;
}

FeatureReplacement PaperSizeChange(const std::vector<std::string>& chosen,
                                   std::string_view defaultName, const PaperSettings& settings,
                                   const PaperSizeReading& reading, bool customApplied) {
    // Each occurrence of a name keeps its own text: the second of two options of one name
    // is not written with the first one's lines.
    std::unordered_map<std::string, std::vector<const KeptOption*>> kept;
    for (const KeptOption& option : reading.kept) {
        kept[option.name].push_back(&option);
    }
    std::unordered_map<std::string, std::size_t> occurrence;
    const std::string wantedDefault = AsciiUpper(defaultName);
    std::string writtenDefault(defaultName);
    bool defaultFound = false;
    std::vector<PaperOption> options;
    for (const std::string& entry : chosen) {
        const std::string name = AsciiUpper(entry);
        const std::size_t nth = occurrence[name]++;
        std::optional<PaperOption> option;
        if (!(name == kCustomSizeName && reading.customKept && !customApplied)) {
            option = MakePaperOption(entry, KeywordTableText(), settings);
        }
        if (!option) {
            // A size the catalogue lacks keeps what the description said of it.
            const auto found = kept.find(name);
            if (found == kept.end()) {
                continue;
            }
            const KeptOption* old = found->second[std::min(nth, found->second.size() - 1)];
            option = PaperOption{};
            option->name = old->spelling;
            option->keyword = old->keyword.empty() ? name : LocalName(old->keyword);
            option->keptText = old->text;
            option->keptElement = old->element;
        }
        if (!defaultFound && name == wantedDefault) {
            writtenDefault = option->name;
            defaultFound = true;
        }
        options.push_back(std::move(*option));
    }
    // A kept element whose name a built size takes is left out: the next read would give the
    // kept size the built size's element.
    std::unordered_set<std::string> built;
    for (const PaperOption& option : options) {
        if (option.keptText.empty())
            built.insert(AsciiUpper(option.keyword));
    }
    for (PaperOption& option : options) {
        if (!option.keptText.empty() && built.count(AsciiUpper(option.keyword)) != 0)
            option.keptElement.clear();
    }
    return PaperSizeReplacement(writtenDefault, options);
}

RewrittenTexts RewritePaperSizesAsRead(std::string_view description,
                                       const std::optional<std::string>& capabilities) {
    PaperSettings settings;
    const PaperSizeReading reading = ReadPaperSizes(description, settings, capabilities);
    return RewriteDriverTexts(
        description, capabilities,
        PaperSizeChange(reading.chosen, reading.defaultName, settings, reading));
}

}  // namespace quellin::driverconfig
