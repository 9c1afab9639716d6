// The paper size and print quality commands.
#include "app/unit1.h"

namespace app {

void TForm1::SpeedButton4Click() {}
void TForm1::SpeedButton7Click() {}

}  // namespace app
