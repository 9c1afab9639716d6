// Whatever description the editors accept, the report finds both driver files agreeing after
// one save with nothing changed: the editor and the report judge kept sizes alike.
#include <gtest/gtest.h>

#include "cli/health.h"
#include "driverconfig/description_generator.h"
#include "driverconfig/text_model.h"
#include "driverconfig/unchanged_save.h"

namespace quellin::cli {

namespace {

TEST(HealthAfterSave, BothFilesAgreeAfterAnUnchangedPaperSizeSave) {
    int accepted = 0;
    for (unsigned seed = 0; seed < 600; ++seed) {
        const driverconfig::testdata::GeneratedFiles files =
            driverconfig::testdata::DescriptionGenerator(seed).Next();
        const driverconfig::testdata::SavedTexts saved =
            driverconfig::testdata::SavePaperSizesUnchanged(
                driverconfig::WorkingTextFromBytes(files.description), files.capabilities);
        if (!saved.accepted)
            continue;
        ++accepted;
        cli::HealthReport report;
        cli::ReadFeatureFacts(report, saved.description, saved.capabilities);
        EXPECT_EQ(report.paperSizes.agree, true) << "seed " << seed << "\n"
                                                 << saved.description << *saved.capabilities;
    }
    EXPECT_GT(accepted, 200);
}

}  // namespace

}  // namespace quellin::cli
