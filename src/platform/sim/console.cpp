// The host edge of the tools on the sandbox: UTF-8 in, UTF-8 out.
#include <cstdio>

#include "platform/sim/sandbox.h"
#include "platform/text.h"

namespace quellin::platform {

std::optional<std::vector<std::string>> AnsiArguments(int argc, char** argv, std::string* refused) {
    sim::OpenSandboxOfCommandLine(argc, argv);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        bool exact = true;
        args.push_back(Utf8ToAnsi(argv[i], &exact));
        if (!exact) {
            if (refused)
                *refused = argv[i];
            return std::nullopt;
        }
    }
    return args;
}

void WriteStandardText(int stream, std::string_view ansi) {
    const std::string utf8 = AnsiToUtf8(ansi);
    std::FILE* file = stream == 2 ? stderr : stdout;
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fflush(file);
}

}  // namespace quellin::platform
