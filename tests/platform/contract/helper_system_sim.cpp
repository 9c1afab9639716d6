#include "contract_env.h"
#include "platform/sim/sandbox.h"

namespace quellin::platform::contract {

// The parent names its sandbox in QUELLIN_SANDBOX.
void OpenHelperSystem() {
    sim::EnsureSandbox();
}

}  // namespace quellin::platform::contract
