// Quellin: maintenance of the "Microsoft Print to PDF" printer.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/entry.h"

using namespace quellin;

namespace {

constexpr bool IsWindows() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Windows always has a desktop to show the window on.
    if (!IsWindows() && !HasDisplay()) {
        std::fprintf(
            stderr,
            "quellin: no display to show the window on.\n"
            "  Run it under a virtual display:  xvfb-run -a build/bin/quellin\n"
            "  or offscreen:                   QT_QPA_PLATFORM=offscreen build/bin/quellin\n"
            "  (a script can then take screenshots: see build/bin/quellin-script).\n");
        return 1;
    }
    QApplication application(argc, argv);
    return app::RunPrnStatus(application);
}
