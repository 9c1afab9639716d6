// What the repair tests read back from the sandbox's registry.
#pragma once

#include <string>

#include "platform/sim/registry_store.h"

namespace quellin::repair {

inline constexpr const char* kPrinterKey =
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\Microsoft Print to "
    "PDF";

// A string value of the printer's key (or a subkey), empty when missing.
inline std::string PrinterValue(const std::string& name, const std::string& subkey = {}) {
    auto value = sim::reg::GetValue(
        subkey.empty() ? kPrinterKey : std::string(kPrinterKey) + "\\" + subkey, name);
    if (!value)
        return {};
    std::string text(value->data.begin(), value->data.end());
    return text.substr(0, text.find('\0'));
}

inline std::string QueueFolderName() {
    return PrinterValue("PrintQueueV4DriverDirectory");
}

}  // namespace quellin::repair
