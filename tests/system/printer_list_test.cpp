#include "system/printer_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/services.h"
#include "platform/sim/control.h"
#include "platform/spooler.h"
#include "support/sandbox_fixture.h"

namespace quellin::system {
namespace {

struct NameCase {
    const char* label;
    const char* name;
    bool listed;
};

class ListedNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ListedNameTest, KeepsOnlyPdfPrintersOfNoOtherProduct) {
    EXPECT_EQ(IsListedPrinterName(GetParam().name), GetParam().listed) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, ListedNameTest,
                         ::testing::ValuesIn(std::vector<NameCase>{
                             {"target_printer_is_listed", "Microsoft Print to PDF", true},
                             {"any_capital_pdf_is_listed", "Office PDF Writer", true},
                             {"lower_case_pdf_is_not_listed", "Office pdf Writer", false},
                             {"mixed_case_pdf_is_not_listed", "Office Pdf Writer", false},
                             {"no_pdf_at_all", "Microsoft XPS Document Writer", false},
                             {"contains_24", "PDF Writer 24", false},
                             {"contains_995", "PDF 1995 Edition", false},
                             {"digits_2_and_4_apart_are_kept", "PDF 2 4", true},
                             {"ute_any_case", "PDF ComPUTEr", false},
                             {"rimo", "PrimoPDF", false},
                             {"ull", "FullPDF", false},
                             {"dopd", "Adobe PDF via DoPDF", false},
                             {"edirec_in_redirected", "Microsoft Print to PDF (redirected 2)",
                              false},
                             {"ova", "NovaPDF", false},
                             {"reepd", "FreePDF", false},
                             {"in2", "Win2PDF", false},
                             {"olt", "BoltPDF", false},
                             {"xcha", "PDF-XChange", false},
                             {"dfc", "PDFCreator", false},
                             {"iop", "BioPDF", false},
                             {"itr", "Nitro PDF Creator", false},
                             {"otal", "Total PDF", false},
                             {"myu", "PDF myuSoft", false},
                             {"xi", "Foxit PDF", false},
                             {"xi_inside_a_word", "PDF Maxim", false},
                         }),
                         [](const auto& info) { return std::string(info.param.label); });

struct ContentCase {
    const char* label;
    std::vector<std::string> installed;
    std::vector<std::string> names;
    int selected;
    const char* caption;
};

class PrinterListContentTest : public ::testing::TestWithParam<ContentCase> {};

TEST_P(PrinterListContentTest, SelectsTheFirstKeptTargetAndSetsTheCaption) {
    const ContentCase& c = GetParam();
    const PrinterListContent content = BuildPrinterList(c.installed, "Microsoft Print to PDF");
    EXPECT_EQ(content.names, c.names);
    EXPECT_EQ(content.selected, c.selected);
    EXPECT_EQ(content.installCaption, c.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PrinterListContentTest,
    ::testing::ValuesIn(std::vector<ContentCase>{
        {"only_target",
         {"Fax", "Microsoft Print to PDF", "OneNote (Desktop)"},
         {"Microsoft Print to PDF"},
         0,
         kReinstallCaption},
        {"no_target", {"Fax", "Office PDF"}, {"Office PDF"}, -1, kInstallCaption},
        {"empty", {}, {}, -1, kInstallCaption},
        {"target_after_another_keeps_order",
         {"Office PDF", "Microsoft Print to PDF"},
         {"Office PDF", "Microsoft Print to PDF"},
         1,
         kReinstallCaption},
        {"first_of_two_containing_target",
         {"Microsoft Print to PDF (Copy 1)", "Microsoft Print to PDF"},
         {"Microsoft Print to PDF (Copy 1)", "Microsoft Print to PDF"},
         0,
         kReinstallCaption},
        {"target_excluded_by_fragment",
         {"Microsoft Print to PDF (redirected)"},
         {},
         -1,
         kInstallCaption},
        {"target_match_is_case_sensitive",
         {"Microsoft Print To PDF"},
         {"Microsoft Print To PDF"},
         -1,
         kInstallCaption},
    }),
    [](const auto& info) { return std::string(info.param.label); });

void AddPrinter(const std::string& name, win::DWORD attributes = win::PRINTER_ATTRIBUTE_LOCAL) {
    sim::AddPrinter(name, "nul:", "D", attributes);
}

TEST(InstalledPrintersTest, LocalPrintersAndConnectionsInSpoolerOrder) {
    testsupport::ScopedSandbox sandbox;
    AddPrinter("\\\\SERVER\\Shared PDF", win::PRINTER_ATTRIBUTE_NETWORK);
    AddPrinter("Office PDF");
    const auto names = EnumerateInstalledPrinters();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[names.size() - 2], "\\\\SERVER\\Shared PDF");
    EXPECT_EQ(names.back(), "Office PDF");
    EXPECT_NE(std::find(names.begin(), names.end(), "Microsoft Print to PDF"), names.end());
}

TEST(InstalledPrintersTest, StoppedSpoolerGivesNoNames) {
    testsupport::ScopedSandbox sandbox;
    sim::SetServiceState("spooler", win::SERVICE_STOPPED);
    EXPECT_TRUE(EnumerateInstalledPrinters().empty());
    EXPECT_FALSE(IsPrinterPresent("Microsoft Print to PDF"));
}

TEST(InstalledPrintersTest, PresenceIgnoresTheListFilter) {
    sim::InitOptions options;
    options.pdfPrinter = false;
    testsupport::ScopedSandbox sandbox(options);
    EXPECT_FALSE(IsPrinterPresent("Microsoft Print to PDF"));
    AddPrinter("Microsoft Print to PDF (redirected 3)");
    EXPECT_TRUE(IsPrinterPresent("Microsoft Print to PDF"));
    EXPECT_EQ(BuildPrinterList(EnumerateInstalledPrinters(), "Microsoft Print to PDF").selected,
              -1);
}

}  // namespace
}  // namespace quellin::system
