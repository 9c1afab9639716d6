#include "promo/prompts.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/ui.h"
#include "promo/promotions.h"

namespace quellin::promo {

namespace {

constexpr std::array<Product, kProductCount> kProducts = {{
    {"Would you like to learn about Velloran Image Converter? It turns PDF pages into JPEG, PNG "
     "and TIFF images.",
     "velloran-image-converter.html"},
    {"Do you scan paper documents? Tarnwell Scan to PDF makes searchable PDF files from your "
     "scanner. Learn more?",
     "scan-to-pdf.html"},
    {"Would you like to try Tarnwell PDF Editor to change the text and pictures of your PDF "
     "files?",
     "pdf-editor.html"},
    {"Would you like to learn about Tarnwell PDF to Word, which turns PDF files into editable "
     "documents?",
     "pdf-to-word.html"},
    {"Do you want to split large PDF files into smaller ones? Try Tarnwell PDF Splitter.",
     "pdf-splitter.html"},
    {"Would you like to make your PDF files smaller? Learn about Tarnwell PDF Compressor.",
     "pdf-compressor.html"},
    {"Would you like to add watermarks and page numbers to your PDF files with Tarnwell PDF "
     "Stamper?",
     "pdf-stamper.html"},
    {"Do you need to fill in and sign PDF forms? Learn about Tarnwell PDF Signer.",
     "pdf-signer.html"},
    {"Would you like to read and annotate PDF files with Tarnwell PDF Reader? It is free.",
     "pdf-reader.html"},
    {"Would you like to turn PDF tables into worksheets? Learn about Tarnwell PDF to Excel.",
     "pdf-to-excel.html"},
    {"Would you like to recover the text of scanned PDF files with Tarnwell OCR?", "ocr.html"},
    {"Do you keep many PDF files? Tarnwell PDF Organizer finds, tags and renames them. Learn "
     "more?",
     "pdf-organizer.html"},
    {"Would you like to compare two versions of a PDF document with Tarnwell PDF Compare?",
     "pdf-compare.html"},
    {"Would you like to open your own PDF files whose password you forgot? Learn about Tarnwell "
     "PDF Unlocker.",
     "pdf-unlocker.html"},
    {"Would you like to print many documents at once with Tarnwell Batch Printer?",
     "batch-printer.html"},
    {"Would you like to save e-mail messages as PDF files with Tarnwell Mail to PDF?",
     "mail-to-pdf.html"},
    {"Would you like to turn PDF files into e-books with Tarnwell PDF to EPUB?",
     "pdf-to-epub.html"},
    {"Do you make presentations? Tarnwell PDF to PowerPoint turns PDF pages into slides. Learn "
     "more?",
     "pdf-to-powerpoint.html"},
    {"Would you like to print to image files instead of PDF? Try Tarnwell Image Printer.",
     "image-printer.html"},
    {"Would you like to capture your screen into PDF documents with Tarnwell Screen to PDF?",
     "screen-to-pdf.html"},
    {"Would you like to keep PDF files for decades in the PDF/A format with Tarnwell PDF/A "
     "Converter?",
     "pdfa-converter.html"},
    {"Would you like to see all the products of Tarnwell Software?", "products.html"},
}};

bool AskYesNo(win::HWND owner, const std::string& text, const std::string& caption) {
    return win::MessageBoxA(owner, text, caption, win::MB_YESNO) == win::IDYES;
}

}  // namespace

const std::array<Product, kProductCount>& ProductTable() {
    return kProducts;
}

bool ListsPdfPrinter(const std::vector<std::string>& entries) {
    return std::any_of(entries.begin(), entries.end(), [](const std::string& entry) {
        return win::SameName(entry, kPdfPrinterEntry);
    });
}

void OpenUpgradePage(win::HWND owner, const std::string& siteAddress) {
    OpenAddress(owner, UpgradePageAddress(siteAddress));
}

void OpenFeaturesPage(win::HWND owner, const std::string& siteAddress) {
    OpenAddress(owner, FeaturesPageAddress(siteAddress));
}

void ShowUpgradeReminder(win::HWND owner, const std::string& siteAddress) {
    if (AskYesNo(owner, kUpgradeReminder, kUpgradeReminderCaption))
        OpenUpgradePage(owner, siteAddress);
}

std::int32_t ShowNextPrompt(std::int32_t rotation, const PromptContext& context) {
    // Widened so that a stored counter at the top of its range lands on the silent turn
    // instead of wrapping negative.
    std::int64_t turn = std::max<std::int32_t>(rotation, 0);
    ++turn;
    const win::HWND owner = context.owner;
    if (turn <= 2) {
        if (AskYesNo(owner, kUpgradeOffer, context.applicationTitle))
            OpenUpgradePage(owner, context.siteAddress);
    } else if (turn == 3) {
        const bool listed = ListsPdfPrinter(context.printerListEntries);
        if (AskYesNo(owner, listed ? kMorePowerfulOffer : kAlternativePrinterOffer,
                     listed ? kMorePowerfulCaption : context.applicationTitle)) {
            OpenAddress(owner, context.companionPrinterAddress);
        }
    } else if (turn < kSilentTurn) {
        const Product& product = kProducts[static_cast<std::size_t>(turn - kFirstProductTurn)];
        if (AskYesNo(owner, product.question, kProductCaption))
            OpenAddress(owner, PageAddress(context.siteAddress, product.page));
        ShowUpgradeReminder(owner, context.siteAddress);
    } else {
        return 0;
    }
    return static_cast<std::int32_t>(turn);
}

}  // namespace quellin::promo
