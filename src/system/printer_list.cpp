#include "system/printer_list.h"

#include <algorithm>
#include <array>

#include "platform/spooler.h"
#include "platform/text.h"

namespace quellin::system {

namespace {

bool Contains(const std::string& text, const char* fragment) {
    return text.find(fragment) != std::string::npos;
}

template <std::size_t N>
bool ContainsAny(const std::string& text, const std::array<const char*, N>& fragments) {
    return std::any_of(fragments.begin(), fragments.end(),
                       [&](const char* fragment) { return Contains(text, fragment); });
}

// Virtual PDF printers of other products, which the tool leaves alone.
constexpr std::array<const char*, 4> kOtherProductFragments = {"ute", "rimo", "ull", "dopd"};
constexpr std::array<const char*, 2> kOtherProductNumbers = {"995", "24"};
constexpr std::array<const char*, 12> kMoreOtherProductFragments = {
    "edirec", "ova", "reepd", "in2", "olt", "xcha", "dfc", "iop", "itr", "otal", "myu", "xi"};

}  // namespace

std::vector<std::string> EnumerateInstalledPrinters() {
    constexpr win::DWORD kFlags = win::PRINTER_ENUM_LOCAL | win::PRINTER_ENUM_CONNECTIONS;
    constexpr win::DWORD kLevel = 4;
    win::DWORD needed = 0;
    win::DWORD returned = 0;
    std::vector<win::PRINTER_INFO_A> records;
    win::EnumPrintersA(kFlags, "", kLevel, nullptr, 0, &needed, &returned);
    // A printer added between the sizing call and the reading call asks for a larger buffer.
    bool read = false;
    for (int attempt = 0; attempt < 3 && needed > 0 && !read; ++attempt) {
        read = win::EnumPrintersA(kFlags, "", kLevel, &records, needed, &needed, &returned);
        if (!read && win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER)
            break;
    }
    if (!read)
        return {};
    std::vector<std::string> names;
    names.reserve(records.size());
    for (const auto& record : records)
        names.push_back(record.pPrinterName);
    return names;
}

bool IsListedPrinterName(const std::string& name) {
    if (!Contains(name, "PDF"))
        return false;
    const std::string lower = win::LowerAnsi(name);
    return !ContainsAny(lower, kOtherProductFragments) &&
           !ContainsAny(name, kOtherProductNumbers) &&
           !ContainsAny(lower, kMoreOtherProductFragments);
}

PrinterListContent BuildPrinterList(const std::vector<std::string>& installed,
                                    const std::string& targetPrinterName) {
    PrinterListContent content;
    for (const auto& name : installed) {
        if (IsListedPrinterName(name))
            content.names.push_back(name);
    }
    for (std::size_t i = 0; i < content.names.size(); ++i) {
        if (content.names[i].find(targetPrinterName) != std::string::npos) {
            content.selected = static_cast<int>(i);
            break;
        }
    }
    content.installCaption = content.selected >= 0 ? kReinstallCaption : kInstallCaption;
    return content;
}

bool IsPrinterPresent(const std::string& targetPrinterName) {
    const auto names = EnumerateInstalledPrinters();
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return name.find(targetPrinterName) != std::string::npos;
    });
}

}  // namespace quellin::system
