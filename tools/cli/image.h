// What kind of program quellin-cli is on the system it runs on.
#pragma once

namespace quellin::tools {

// The packages install the CLI built for the machine's own architecture: on the sandbox's
// 64-bit Windows it runs as a 64-bit program, outside WOW64. Real Windows needs no word.
void DeclareProcessImage();

}  // namespace quellin::tools
