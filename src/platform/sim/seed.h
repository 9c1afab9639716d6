// The state of a fresh Windows 10 machine as the sandbox starts it.
#pragma once

#include "platform/sim/sandbox.h"
#include "platform/sim/seed_files.h"
#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

void Seed(const InitOptions& options);

// What enabling the optional feature "Printing-PrintToPDFServices-Features" installs: the
// driver, the port "PORTPROMPT:", the printer "Microsoft Print to PDF", a new queue folder
// under V4Dirs with its merged description and capabilities document, and the registry values
// that name them. Returns the queue folder's name.
std::string InstallPdfPrinter();

inline constexpr const char* kPdfPrinterName = "Microsoft Print to PDF";
inline constexpr const char* kPdfDriverName = "Microsoft Print To PDF";
inline constexpr const char* kPdfFeatureName = "Printing-PrintToPDFServices-Features";
inline constexpr const char* kPrintersKey =
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";

}  // namespace quellin::platform::sim
