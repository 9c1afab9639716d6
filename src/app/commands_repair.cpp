// The install and uninstall commands and the progress dialog.
#include "app/unit1.h"

namespace app {

void TForm1::BitBtn10Click() {}
void TForm1::SpeedButton3Click() {}
void TForm1::ShowRepairDialog() {}

}  // namespace app
