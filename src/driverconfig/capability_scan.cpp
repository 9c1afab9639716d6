#include "driverconfig/capability_scan.h"

#include "driverconfig/text.h"
#include "driverconfig/text_model.h"

namespace quellin::driverconfig {

namespace {

constexpr std::string_view kOptionMark = "psf2:psftype=\"Option\"";
constexpr std::string_view kDefaultMark = "psf2:default=\"true\"";

std::string LocalName(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return std::string(colon == std::string_view::npos ? qualified : qualified.substr(colon + 1));
}

std::optional<std::int64_t> ReadNumber(std::string_view text) {
    return ParseStrictInt(Trim(text));
}

}  // namespace

std::vector<CapabilityOption> ScanCapabilityOptions(std::string_view element) {
    std::vector<CapabilityOption> options;
    std::size_t at = 0;
    while ((at = element.find('<', at)) != std::string_view::npos) {
        const std::size_t end = element.find('>', at);
        if (end == std::string_view::npos)
            break;
        const std::string_view tag = element.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.empty() || tag.front() == '/' || tag.front() == '?' || tag.front() == '!')
            continue;
        const std::size_t nameEnd = tag.find_first_of(" \t\r\n/");
        const std::string_view name = tag.substr(0, nameEnd);
        if (tag.find(kOptionMark) != std::string_view::npos) {
            CapabilityOption option;
            option.name = LocalName(name);
            option.isDefault = tag.find(kDefaultMark) != std::string_view::npos;
            options.push_back(std::move(option));
            continue;
        }
        if (options.empty())
            continue;
        const std::size_t contentEnd = element.find('<', at);
        const std::string_view content =
            element.substr(at, contentEnd == std::string_view::npos ? 0 : contentEnd - at);
        CapabilityOption& current = options.back();
        if (name == "psk:ResolutionX")
            current.resolutionX = ReadNumber(content);
        else if (name == "psk:MediaSizeWidth")
            current.widthUm = ReadNumber(content);
        else if (name == "psk:MediaSizeHeight")
            current.heightUm = ReadNumber(content);
    }
    return options;
}

std::optional<std::string> CapabilityElementText(std::string_view document,
                                                 std::string_view openTag,
                                                 std::string_view closeTag) {
    const CapabilitySplit split = SplitCapabilityFeature(document, openTag, closeTag);
    if (!split.found)
        return std::nullopt;
    const std::size_t length = document.size() - split.before.size() - split.after.size();
    return std::string(document.substr(split.before.size(), length));
}

std::string ReadKeywordMap(std::string_view window) {
    constexpr std::string_view kEntry = "*PrintSchemaKeywordMap:";
    const std::size_t at = window.find(kEntry);
    if (at == std::string_view::npos)
        return {};
    const std::size_t open = window.find('"', at + kEntry.size());
    if (open == std::string_view::npos)
        return {};
    const std::size_t close = window.find('"', open + 1);
    if (close == std::string_view::npos)
        return {};
    return std::string(window.substr(open + 1, close - open - 1));
}

}  // namespace quellin::driverconfig
