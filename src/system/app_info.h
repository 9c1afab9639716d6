// Names and versions the whole program shows, and the names of what it maintains.
#pragma once

namespace quellin::system {

inline constexpr const char* kApplicationTitle = "Quellin";
inline constexpr const char* kMainCaption = "Quellin " QUELLIN_PRODUCT_VERSION;
inline constexpr const char* kFileVersion = QUELLIN_FILE_VERSION;
inline constexpr const char* kProductVersion = QUELLIN_PRODUCT_VERSION;

inline constexpr const char* kTargetPrinterName = "Microsoft Print to PDF";
inline constexpr const char* kTargetDriverName = "Microsoft Print to PDF";
// The optional feature that carries the printer, and the port the printer prints to.
inline constexpr const char* kPdfFeatureName = "Printing-PrintToPDFServices-Features";
inline constexpr const char* kPdfPortName = "PORTPROMPT:";

inline constexpr const char* kSelectPrinterFirst = "Please select a printer first.";

}  // namespace quellin::system
