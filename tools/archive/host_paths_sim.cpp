#include <filesystem>
#include <stdexcept>

#include "host_paths.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/strings.h"
#include "platform/text.h"
#include "platform/types.h"

namespace quellin::tools {

void OpenSystem() {
    sim::EnsureSandbox();
}

// The sandbox names the host's root Z:, as Wine does; host names are UTF-8, Windows names ANSI.
std::string WindowsPath(const std::string& hostPath) {
    bool exact = true;
    std::string p =
        win::Utf8ToAnsi(std::filesystem::absolute(hostPath).lexically_normal().string(), &exact);
    // A host name with a character outside the ANSI code page has no Windows name: refused as
    // Windows refuses it, rather than handed on with '?' in it.
    if (!exact) {
        throw std::runtime_error(hostPath + ": " +
                                 win::FormatSystemMessage(win::ERROR_INVALID_NAME));
    }
    for (char& c : p) {
        if (c == '/') {
            c = '\\';
        }
    }
    return "Z:" + p;
}

}  // namespace quellin::tools
