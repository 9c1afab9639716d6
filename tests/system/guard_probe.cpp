// A stand-in program for the single-instance tests: takes the guard like the real program and
// reports on standard output what happens to it and to its minimised main window ("app-" for
// its application window). "hold" keeps the slot until standard input closes; "try" reports
// and ends at once. A second argument is the path the probe was started through.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/sim/control.h"
#include "platform/window.h"
#include "system/single_instance.h"

using namespace quellin;

namespace {

class ReportingHost final : public win::WindowHost {
  public:
    explicit ReportingHost(std::string prefix) : prefix_(std::move(prefix)) {}
    bool IsMinimized() override { return Say("asked-iconic"), true; }
    void Restore() override { Say("restored"); }
    void BringToFront() override { Say("raised"); }

  private:
    void Say(const char* what) {
        std::puts((prefix_ + what).c_str());
        std::fflush(stdout);
    }
    std::string prefix_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "try";
    if (argc > 2)
        win::sim::SetProgramPath(argv[2]);
    ReportingHost host("app-"), mainHost("");
    win::HWND window = win::RegisterApplicationWindow(&host);
    quellin::system::InstanceGuard guard;
    bool refused = guard.Activate(window, 1);
    const win::HWND mainWindow = win::RegisterMainWindow(&mainHost, 0);
    guard.Publish(mainWindow);
    std::puts(refused ? "refused" : "holding");
    std::fflush(stdout);
    if (!refused && mode == "hold") {
        char c;
        while (::read(0, &c, 1) > 0) {
        }
    }
    guard.Release();
    win::UnregisterMainWindow(mainWindow);
    win::UnregisterApplicationWindow(window);
    return 0;
}
