// Saving and restoring the printer's settings.
#include "app/unit1.h"

namespace app {

void TForm1::btnSaveAllSettingsClick() {}
void TForm1::btnRestoreAllSettingsClick() {}

}  // namespace app
