#include <filesystem>

#include "host_paths.h"
#include "platform/sim/sandbox.h"

namespace tools {

void OpenSystem() {
    sim::EnsureSandbox();
}

// The sandbox names the host's root Z:, as Wine does.
std::string WindowsPath(const std::string& hostPath) {
    std::string p = std::filesystem::absolute(hostPath).lexically_normal().string();
    for (char& c : p) {
        if (c == '/') {
            c = '\\';
        }
    }
    return "Z:" + p;
}

}  // namespace tools
