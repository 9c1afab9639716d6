// The closing prompts: one yes/no box per close of the main window, taken in turn from a fixed
// rotation whose counter the main window keeps as the preference "Rotation".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace quellin::promo {

inline constexpr const char* kUpgradeOffer =
    "Do you want to upgrade to Velloran Pro version to get more features?\r\n"
    "\r\n"
    "1. Append and merge PDF files\r\n"
    "2. Automatically open PDF files after creation\r\n"
    "3. Save PDF files without prompt\r\n"
    "4. Password protect PDF document\r\n"
    "5. Restrict permissions for PDF document\r\n"
    "6. Print to PDF and email\r\n"
    "7. Set PDF properties and initial appearance\r\n"
    "8. Convert photos and web pages to PDF\r\n"
    "9. Batch convert to PDF files\r\n"
    "10. No upgrade reminder";
inline constexpr const char* kAlternativePrinterOffer =
    "Would you like to try award-winning PDF creation software as an alternative to Microsoft "
    "Print to PDF?";
inline constexpr const char* kMorePowerfulOffer =
    "Do you want a more powerful Print to PDF software program?";
inline constexpr const char* kMorePowerfulCaption = "Upgrade";
inline constexpr const char* kProductCaption = "Product Orientation";
inline constexpr const char* kUpgradeReminder =
    "If you don't want to receive the text reminder, please upgrade to Velloran Pro version. "
    "Upgrade now?";
inline constexpr const char* kUpgradeReminderCaption = "Pro Version Upgrade";

// The printer whose presence in the list picks the third prompt's wording.
inline constexpr const char* kPdfPrinterEntry = "Microsoft Print to PDF";

// The maker's other products, shown at closes 4 to 25 in this order. A page is relative to the
// site address.
struct Product {
    const char* question;
    const char* page;
};
inline constexpr int kProductCount = 22;
const std::array<Product, kProductCount>& ProductTable();

// Counter values: 1 and 2 upgrade offer, 3 alternative printer, 4..25 products, then a silent
// turn that starts the cycle again.
inline constexpr std::int32_t kFirstProductTurn = 4;
inline constexpr std::int32_t kSilentTurn = kFirstProductTurn + kProductCount;

struct PromptContext {
    win::HWND owner = 0;
    std::string applicationTitle;
    std::string siteAddress;
    std::string companionPrinterAddress;
    std::vector<std::string> printerListEntries;
};

// True when an entry equals "Microsoft Print to PDF" as a whole, letter case ignored.
bool ListsPdfPrinter(const std::vector<std::string>& entries);

void OpenUpgradePage(win::HWND owner, const std::string& siteAddress);
void OpenFeaturesPage(win::HWND owner, const std::string& siteAddress);
void ShowUpgradeReminder(win::HWND owner, const std::string& siteAddress);

// Advances the counter, shows the prompt of its new value and acts on a Yes. Returns the
// counter to keep. Never refuses the close.
std::int32_t ShowNextPrompt(std::int32_t rotation, const PromptContext& context);

}  // namespace quellin::promo
