#include "contract_env.h"

namespace quellin::platform::contract {

void OpenHelperSystem() {}

}  // namespace quellin::platform::contract
