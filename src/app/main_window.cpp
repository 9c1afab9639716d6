#include "app/prnstatus.h"
#include "app/unit1.h"

namespace app {

TForm1* CreateMainWindow(unsigned int handle) {
    return new TForm1(handle);
}

}  // namespace app
