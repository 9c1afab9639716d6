// Commands whose subsystems have not landed yet.
#include "cli/command.h"

namespace cli {

#define QUELLIN_CLI_PENDING(name)                                                            \
    void name(const Invocation& invocation, Reporter&) {                                     \
        throw CommandFailure(kExitUsage, "\"" + invocation.command + "\" is not built yet"); \
    }
QUELLIN_CLI_PENDING(BackupCommand)
QUELLIN_CLI_PENDING(RestoreCommand)

}  // namespace cli
