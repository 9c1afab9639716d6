#include "contract_env.h"

namespace contract {

void OpenHelperSystem() {}

}  // namespace contract
