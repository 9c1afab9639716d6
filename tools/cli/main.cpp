// quellin-cli: the program's maintenance commands without a window.
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/image.h"
#include "common/standard_text.h"

using namespace quellin;

int main(int argc, char** argv) {
    tools::DeclareProcessImage();
    // The commands work in the ANSI code page; the terminal gets its own encoding.
    tools::StandardTextBuf outBuf(1), errBuf(2);
    std::ostream out(&outBuf), err(&errBuf);
    std::string refused;
    const auto args = win::AnsiArguments(argc, argv, &refused);
    if (!args) {
        bool json = false;
        for (int i = 1; i < argc; ++i)
            json = json || std::string(argv[i]) == "--json";
        return cli::RefuseCommandLine(tools::RefusedArgumentText(refused), json, out, err);
    }
    return cli::Run(*args, out, err);
}
