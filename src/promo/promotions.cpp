#include "promo/promotions.h"

#include "platform/processes.h"
#include "platform/window.h"

namespace quellin::promo {

namespace {

constexpr std::array<CaptionSet, kCaptionSetCount> kCaptionSets = {{
    {"Auto Save PDF", "Append && Merge PDF", "Password Protection"},
    {"Batch Print", "Photos to PDF", "Web Pages to PDF"},
    {"Open PDF automatically", "Print to PDF and email", "Restrict permissions"},
    {"Batch convert to PDF", "Change PDF properties", "Set PDF view mode"},
}};

}  // namespace

bool PromotionsShown(const win::SYSTEMTIME& today) {
    return !(today.wYear == 2020 && today.wMonth <= 10);
}

const CaptionSet* FeatureCaptions(int tag) {
    if (tag < 0 || tag >= kCaptionSetCount)
        return nullptr;
    return &kCaptionSets[static_cast<std::size_t>(tag)];
}

int NextCaptionTag(int tag) {
    int next = tag + 1;
    return next >= kCaptionSetCount ? 0 : next;
}

std::string NoticeCaption(const std::string& designCaption, int currentYear) {
    if (currentYear <= 2020)
        return designCaption;
    std::string caption = designCaption;
    const std::string designYear = "2020";
    const std::string year = std::to_string(currentYear);
    for (auto at = caption.find(designYear); at != std::string::npos;
         at = caption.find(designYear, at + year.size())) {
        caption.replace(at, designYear.size(), year);
    }
    return caption;
}

std::string PageAddress(const std::string& siteAddress, const std::string& page) {
    return siteAddress + "/" + page;
}

std::string UpgradePageAddress(const std::string& siteAddress) {
    return PageAddress(siteAddress, "upgrade-to-velloran-pro.html");
}

std::string FeaturesPageAddress(const std::string& siteAddress) {
    return PageAddress(siteAddress, "velloran.html");
}

std::string PreviewPageAddress(const std::string& siteAddress) {
    return PageAddress(siteAddress, "preview.html");
}

void OpenAddress(win::HWND owner, const std::string& address) {
    win::ShellExecuteA(owner, "open", address, "", "", win::SW_SHOW);
}

}  // namespace quellin::promo
