// Names and versions the whole program shows.
#pragma once

namespace quellin::system {

inline constexpr const char* kApplicationTitle = "Quellin";
inline constexpr const char* kMainCaption = "Quellin 1.1";
inline constexpr const char* kFileVersion = "1.1.0.96";
inline constexpr const char* kProductVersion = "1.1";

inline constexpr const char* kTargetPrinterName = "Microsoft Print to PDF";
inline constexpr const char* kTargetDriverName = "Microsoft Print to PDF";

}  // namespace quellin::system
