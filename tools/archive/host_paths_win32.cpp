#include <filesystem>

#include "host_paths.h"

namespace quellin::tools {

void OpenSystem() {}

std::string WindowsPath(const std::string& hostPath) {
    std::string p = std::filesystem::absolute(hostPath).lexically_normal().string();
    for (char& c : p) {
        if (c == '/') {
            c = '\\';
        }
    }
    return p;
}

}  // namespace quellin::tools
