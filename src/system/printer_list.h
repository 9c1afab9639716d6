// The main window's list of PDF printers: which installed printers it shows, which one it
// selects, and what the install button then reads.
#pragma once

#include <string>
#include <vector>

namespace quellin::system {

inline constexpr const char* kInstallCaption = "Install Printer";
inline constexpr const char* kReinstallCaption = "Reinstall Printer";

// Names of all local printers and printer connections, in the spooler's order. A spooler that
// cannot be asked (stopped during a repair) gives no names.
std::vector<std::string> EnumerateInstalledPrinters();

// True for a name the list shows: "PDF" in capitals and none of the fragments of other makers'
// PDF printers.
bool IsListedPrinterName(const std::string& name);

struct PrinterListContent {
    std::vector<std::string> names;
    int selected = -1;  // index into names, -1 for no selection
    std::string installCaption;
};

// The list that `installed` (in enumeration order) gives: the kept names, the first one that
// contains `targetPrinterName` selected.
PrinterListContent BuildPrinterList(const std::vector<std::string>& installed,
                                    const std::string& targetPrinterName);

// True when any installed printer's name contains `targetPrinterName`, listed or not.
bool IsPrinterPresent(const std::string& targetPrinterName);

}  // namespace quellin::system
