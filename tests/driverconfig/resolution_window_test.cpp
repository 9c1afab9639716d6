#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <functional>

#include "driverconfig/paper_size_editor.h"
#include "driverconfig/ui/paper_size_dialog.h"
#include "driverconfig/ui/print_quality_dialog.h"
#include "support/sandbox_fixture.h"

namespace quellin::driverconfig {
namespace {

// Records what the boxes show at the moment each question is asked.
class WatchingUi : public testsupport::RecordingUi {
  public:
    int MessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                   win::DWORD flags) override {
        if (watch)
            watch();
        return RecordingUi::MessageBox(owner, text, caption, flags);
    }
    std::function<void()> watch;
};

struct QuestionCase {
    const char* label;
    std::vector<int> ticked;  // positions in the default list
    int selected;
    std::vector<std::string> shown;  // the ticked captions as each question appears
};

class ResolutionQuestionTest : public ::testing::TestWithParam<QuestionCase> {};

TEST_P(ResolutionQuestionTest, BoxesShowTheirChangeBeforeTheQuestion) {
    testsupport::ScopedSandbox sandbox;
    WatchingUi ui;
    TForm4 form({"https://site.example", "https://companion.example"});
    ResolutionReading reading;
    form.Prepare(reading);
    const std::array<QCheckBox*, kResolutionCount> boxes = {form.cb1200, form.cb600, form.cb400,
                                                            form.cb300,  form.cb200, form.cb180,
                                                            form.cb150,  form.cb120, form.cb100};
    for (QCheckBox* box : boxes)
        box->setChecked(false);
    for (int position : GetParam().ticked)
        boxes[static_cast<std::size_t>(position)]->setChecked(true);
    form.cmbDefRes->setCurrentIndex(GetParam().selected);
    std::vector<std::string> shown;
    ui.watch = [&] {
        std::string ticked;
        for (QCheckBox* box : boxes) {
            if (box->isChecked())
                ticked += (ticked.empty() ? "" : ", ") + box->text().toStdString();
        }
        shown.push_back(ticked);
    };
    form.btnSaveResClick();  // every question answered No
    EXPECT_EQ(shown, GetParam().shown);
    // The dialog owns its questions, not the main window.
    for (const auto& box : ui.boxes) {
        EXPECT_EQ(box.owner, form.Handle());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Questions, ResolutionQuestionTest,
    ::testing::ValuesIn(std::vector<QuestionCase>{
        {"1200_cleared_before_asking", {0}, 0, {""}},
        {"only_600_before_the_second_question", {2, 3}, 3, {"400 x 400, 300 x 300", "600 x 600"}},
    }),
    [](const auto& info) { return std::string(info.param.label); });

// An option named with a byte of the upper half (a no-break space in 1252) shows as that
// character, in the list and as the default.
TEST(PaperSizeWindowTest, AnOptionOutsideAsciiShowsItsCharacter) {
    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    PaperSettings settings;
    const std::string description =
        "*GPDFileVersion: \"1.0\"\r\n*Feature: PaperSize\r\n{\r\n*DefaultOption: A5\xA0\r\n"
        "*Option: A5\xA0\r\n{\r\n*rcNameID: =X\r\n*PrintableArea: PAIR(2664000, 3780000)\r\n}\r\n"
        "}\r\n*Feature: Resolution\r\n{\r\n}\r\n";
    TForm2 form(settings, 0, [] {});
    form.Prepare(ReadPaperSizes(description, settings));
    ASSERT_EQ(form.ListBox1->count(), 1);
    EXPECT_EQ(form.ListBox1->item(0)->text(), QString::fromUtf8("A5\u00a0"));
    EXPECT_EQ(form.lblDefaultValue->text(), QString::fromUtf8("A5\u00a0"));
    EXPECT_EQ(form.State().defaultName, "A5\xA0");
}

}  // namespace
}  // namespace quellin::driverconfig
