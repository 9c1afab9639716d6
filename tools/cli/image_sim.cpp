#include "cli/image.h"

#include "platform/sim/sandbox.h"

namespace quellin::tools {

void DeclareProcessImage() {
    platform::sim::SetProcessImage64Bit(true);
}

}  // namespace quellin::tools
