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
        err << "quellin-cli: " << tools::RefusedArgumentText(refused) << "\n";
        return cli::kExitUsage;
    }
    return cli::Run(*args, out, err);
}
