// libFuzzer target for the paper size editor's save: whatever a description and capabilities
// document hold, reading, saving with nothing changed, reading and saving again gives the same
// bytes, and the text in front of the feature stays as it was.
//   input: the description's bytes, then optionally 0x1E and the capabilities document's
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "driverconfig/text_model.h"
#include "driverconfig/unchanged_save.h"

using namespace quellin;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace driverconfig;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t separator = bytes.find('\x1e');
    const std::string description = WorkingTextFromBytes(bytes.substr(0, separator));
    std::optional<std::string> capabilities;
    if (separator != std::string::npos) {
        capabilities = WorkingTextFromBytes(bytes.substr(separator + 1));
    }
    const testdata::SavedTexts first = testdata::SavePaperSizesUnchanged(description, capabilities);
    if (!first.accepted) {
        return 0;
    }
    const std::size_t from = FindEntryLine(description, kPaperSizeHeader, true, 0);
    Check(first.description.compare(0, from, description, 0, from) == 0);
    const testdata::SavedTexts second =
        testdata::SavePaperSizesUnchanged(first.description, first.capabilities);
    Check(second.accepted);
    Check(second.description == first.description);
    Check(second.capabilities == first.capabilities);
    return 0;
}
