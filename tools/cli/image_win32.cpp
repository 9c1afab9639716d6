#include "cli/image.h"

namespace quellin::tools {

void DeclareProcessImage() {}

}  // namespace quellin::tools
