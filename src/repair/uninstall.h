// The install and uninstall commands of the main window, without the window: which sequence
// the install button asks for, and the uninstall's two questions and what follows them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace quellin::repair {

inline constexpr const char* kConfirmationCaption = "Confirmation";
inline constexpr const char* kRemovePrinterQuestion =
    "Do you want to remove Microsoft Print to PDF printer?";
inline constexpr const char* kRemovePackageQuestion =
    "Do you want to uninstall Microsoft Print to PDF driver and software package completely "
    "from your system?";

// The RepairMode the install button's caption asks for: the reinstall for "Reinstall Printer"
// (exactly), the install otherwise.
int RepairModeForCaption(const std::string& caption);

struct UninstallSettings {
    win::HWND owner = 0;  // the main window, owner of the questions
    win::DWORD wow64KeyFlag = 0;
    std::string targetPrinterName;
};

enum class UninstallOutcome {
    PrinterMissing,  // nothing asked, nothing changed
    Declined,        // No to the first question
    PrinterRemoved,  // Yes, then No: the feature stays
    PackageRemoved,  // Yes, Yes: the servicing tool removed the feature
};

// Asks before removing the printer and again before removing the feature with its payload.
// Reports nothing; the caller refreshes the printer list, which is the user's report. The
// servicing tool's exit code goes to `toolExitCode` when it ran and one is given.
UninstallOutcome UninstallPrinter(const UninstallSettings& settings,
                                  std::int32_t* toolExitCode = nullptr);

}  // namespace quellin::repair
