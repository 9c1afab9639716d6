// A stand-in program for the single-instance tests: takes the guard like the real program and
// reports on standard output what happens to it. "hold" keeps the slot until standard input
// closes; "try" reports and ends at once.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/window.h"
#include "system/single_instance.h"

using namespace quellin;

namespace {

class ReportingHost final : public win::WindowHost {
  public:
    bool IsMinimized() override {
        std::puts("asked-iconic");
        std::fflush(stdout);
        return true;
    }
    void Restore() override {
        std::puts("restored");
        std::fflush(stdout);
    }
    void BringToFront() override {
        std::puts("raised");
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "try";
    ReportingHost host;
    win::HWND window = win::RegisterApplicationWindow(&host);
    quellin::system::InstanceGuard guard;
    bool refused = guard.Activate(window, 1);
    std::puts(refused ? "refused" : "holding");
    std::fflush(stdout);
    if (!refused && mode == "hold") {
        char c;
        while (::read(0, &c, 1) > 0) {
        }
    }
    guard.Release();
    win::UnregisterApplicationWindow(window);
    return 0;
}
