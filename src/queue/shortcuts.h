// The main window's printer shortcuts: the rundll32 command lines that hand the selected
// printer to Windows' own tools, and the job monitor's caption.
#pragma once

#include <chrono>
#include <string>

#include "platform/types.h"

namespace quellin::queue {

// rundll32 by its full path in the system folder: a bare name is looked for in the program's
// own folder first, and a zip unpacked in Downloads shares that folder with anything else.
std::string Rundll32Path();
inline constexpr const char* kPrintersFolderParameters =
    "SHELL32.DLL,SHHelpShortcuts_RunDLL PrintersFolder";
inline constexpr const char* kMonitorCaptionPrefix = "Print Queue - ";

// printui's switches: /y makes the printer the default, /p opens its properties, /e its
// printing preferences; /n names the printer, quoted whole.
std::string SetDefaultParameters(const std::string& printer);
std::string PropertiesParameters(const std::string& printer);
std::string PreferencesParameters(const std::string& printer);

// A name with a double quote in it cannot be passed inside the quotes of /n: printui would
// read the rest of it as further switches, acting on another printer or doing another thing.
bool CanPassPrinterName(const std::string& printer);
std::string PrinterNameNotPassedText(const std::string& printer);

std::string MonitorCaption(const std::string& printer);

std::string DefaultPrinterSetText(const std::string& printer);
std::string DefaultPrinterNotSetText(const std::string& printer);

// The user's default printer now, empty when there is none.
std::string CurrentDefaultPrinter();

// How long "Set As Default" waits for rundll32 before it looks at the outcome.
inline constexpr std::chrono::milliseconds kSetDefaultWait{5000};

// Starts rundll32 hidden to make `printer` the default, waits for it (bounded, processing
// window messages), then confirms only what the system now reports: the success box when the
// default printer is `printer`, otherwise a box saying it could not be changed.
void SetAsDefault(win::HWND owner, const std::string& printer,
                  std::chrono::milliseconds wait = kSetDefaultWait);

}  // namespace quellin::queue
