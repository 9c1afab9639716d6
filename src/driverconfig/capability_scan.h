// Reading back what a feature element of the capabilities document offers, so that it can be
// compared with the description's feature: each option's name, whether it is the default, and
// the numbers the tool writes into it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellin::driverconfig {

struct CapabilityOption {
    std::string name;  // the element's local name: "ISOA4", "UserDefinedSize", "ResOption1"
    bool isDefault = false;
    std::optional<std::int64_t> resolutionX;  // psk:ResolutionX, dots per inch
    std::optional<std::int64_t> widthUm;      // psk:MediaSizeWidth, micrometres
    std::optional<std::int64_t> heightUm;     // psk:MediaSizeHeight
};

// The options of one element cut out with SplitCapabilityFeature: `element` is the text from
// its opening tag to its closing tag. Options are the start tags that carry
// psf2:psftype="Option", in document order; a malformed tag ends the scan with what was read.
std::vector<CapabilityOption> ScanCapabilityOptions(std::string_view element);

// The element's text between `openTag` and the end of `closeTag`, or nullopt when
// SplitCapabilityFeature does not find it.
std::optional<std::string> CapabilityElementText(std::string_view document,
                                                 std::string_view openTag,
                                                 std::string_view closeTag);

// The value of "*PrintSchemaKeywordMap: "..."" in an option's window, empty when it has none.
std::string ReadKeywordMap(std::string_view window);

}  // namespace quellin::driverconfig
