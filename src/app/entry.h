// The program's entry sequence.
#pragma once

#include <functional>

#include "platform/ui.h"

class QApplication;

namespace quellin::app {

class TForm1;

struct ProgramOptions {
    // The user interface to install; null installs the Qt one.
    win::UserInterface* ui = nullptr;
    // Called once the main window exists and before it is shown (a script runner hooks in).
    std::function<void(TForm1&)> onMainWindow;
};

// Runs the program to its end and returns the process exit code.
int RunPrnStatus(QApplication& application, const ProgramOptions& options = {});

// Creates the main window; the full window once its layout exists.
TForm1* CreateMainWindow(unsigned int handle);

}  // namespace quellin::app
