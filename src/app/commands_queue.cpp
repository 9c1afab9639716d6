// The queue and printer shortcuts and the job monitor.
#include "app/unit1.h"

namespace app {

void TForm1::BitBtn20Click() {}
void TForm1::SpeedButton1Click() {}
void TForm1::SpeedButton2Click() {}
void TForm1::BitBtn30Click() {}
void TForm1::SpeedButton6Click() {}
void TForm1::GetPrinterInfo() {}

}  // namespace app
