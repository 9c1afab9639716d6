#include "platform/sim/emulator.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "platform/sim/sandbox.h"

namespace quellin::platform::sim {

std::string EmulatorCommandLine(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--cmdline") == 0)
        return argv[2];
    std::string line;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!line.empty())
            line += ' ';
        line += arg.find(' ') != std::string::npos ? "\"" + arg + "\"" : arg;
    }
    return line;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false, inArg = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        char c = commandLine[i];
        if (c == '\\' && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
            current += '"';
            inArg = true;
            ++i;
        } else if (c == '"') {
            inQuotes = !inQuotes;
            inArg = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inArg)
                args.push_back(current);
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg)
        args.push_back(current);
    return args;
}

void OpenEmulatorSandbox() {
    std::filesystem::path root = DefaultSandboxRoot();
    if (!std::filesystem::exists(root / "state.db")) {
        std::cerr << "quellin sandbox: no sandbox at " << root.string() << "\n";
        ExitEmulator(0x80004005);
    }
    OpenSandbox(root);
}

bool EmulatorIs32Bit() {
    const char* value = std::getenv("QUELLIN_WOW64");
    return value && std::strcmp(value, "1") == 0;
}

void ExitEmulator(std::uint32_t code) {
    if (const char* launch = std::getenv("QUELLIN_LAUNCH_ID"); launch && *launch && SandboxIsOpen())
        LogLaunchExit(std::atoll(launch), code);
    std::cout.flush();
    std::cerr.flush();
    if (const char* fd = std::getenv("QUELLIN_EXIT_FD"); fd && *fd) {
        int out = std::atoi(fd);
        [[maybe_unused]] ssize_t written = ::write(out, &code, sizeof code);
        ::close(out);
    }
    std::exit(static_cast<int>(code & 0xFF));
}

}  // namespace quellin::platform::sim
