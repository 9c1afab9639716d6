#include "script.h"

#include <gtest/gtest.h>

#include <QtCore/qnamespace.h>

namespace quellin::script {

namespace {

using script::Action;
using script::ParseError;
using script::Verb;

std::vector<Action> Ok(const std::string& text) {
    auto parsed = script::Parse(text);
    if (auto* error = std::get_if<ParseError>(&parsed)) {
        ADD_FAILURE() << "line " << error->line << ": " << error->reason;
        return {};
    }
    return std::get<std::vector<Action>>(parsed);
}

Action One(const std::string& line) {
    auto actions = Ok(line);
    EXPECT_EQ(actions.size(), 1u) << line;
    return actions.empty() ? Action{} : actions[0];
}

TEST(ScriptParse, EveryActionWithItsArguments) {
    Action click = One("click TMain.CancelJob1");
    EXPECT_EQ(click.verb, Verb::Click);
    EXPECT_EQ(click.target.form, "TMain");
    EXPECT_EQ(click.target.control, "CancelJob1");

    Action select = One(R"(select TForm1.ListBox10 "Microsoft Print to PDF")");
    EXPECT_EQ(select.verb, Verb::Select);
    EXPECT_EQ(select.text, "Microsoft Print to PDF");
    EXPECT_FALSE(One("select TForm1.ListBox10 none").text.has_value());

    EXPECT_EQ(One(R"(dblclick TForm2.ListBox1 "A4")").text, "A4");
    EXPECT_FALSE(One("dblclick TForm2.ListBox1").text.has_value());
    EXPECT_EQ(One(R"(type TForm2.edtWidth "")").text, "");

    Action drag = One(R"(drag TForm2.ListBox1 "A4" TForm2.ListBox2)");
    EXPECT_EQ(drag.verb, Verb::Drag);
    EXPECT_EQ(drag.text, "A4");
    EXPECT_EQ(drag.dropTarget.Name(), "TForm2.ListBox2");

    Action key = One(R"(key TMain "Ctrl+Del")");
    EXPECT_EQ(key.target.form, "TMain");
    EXPECT_TRUE(key.target.control.empty());
    EXPECT_EQ(key.key.key, Qt::Key_Delete);
    EXPECT_TRUE(key.key.ctrl);

    EXPECT_EQ(One("answer no").answer, script::BoxAnswer::No);
    EXPECT_EQ(One(R"(file "C:\new\backup.roy")").text, R"(C:\new\backup.roy)");
    // The script is UTF-8; the program takes the path in its ANSI code page.
    EXPECT_EQ(One("file \"C:\\caf\u00e9.roy\"").text, "C:\\caf\xE9.roy");
    EXPECT_FALSE(One("file cancel").text.has_value());
    EXPECT_EQ(One("wait 250").milliseconds, 250);
    EXPECT_EQ(One(R"(screenshot TForm1 "out/main.png")").text, "out/main.png");
    EXPECT_EQ(One("close TForm4").verb, Verb::Close);
}

TEST(ScriptParse, CommentsBlankLinesAndLineNumbers) {
    auto actions = Ok("# start\n\n  dump TForm1   # the window\r\nanswer yes\n\tclose TForm1\n");
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].line, 3);
    EXPECT_EQ(actions[1].line, 4);
    EXPECT_EQ(actions[2].line, 5);
}

TEST(ScriptParse, QuotedTextKeepsHashesAndOnlyTwoEscapes) {
    EXPECT_EQ(One(R"(type TForm2.edtWidth "a # b")").text, "a # b");
    EXPECT_EQ(One(R"(type TForm2.edtWidth "say \"hi\" \\ \n")").text, R"(say "hi" \ \n)");
    EXPECT_EQ(One(R"(file "\\server\share\x.roy")").text, R"(\server\share\x.roy)");
}

struct BadLine {
    const char* name;
    std::string script;
    int line;
    const char* reasonPart;
};

class ScriptParseErrors : public testing::TestWithParam<BadLine> {};

TEST_P(ScriptParseErrors, NameTheLineAndTheReason) {
    auto parsed = script::Parse(GetParam().script);
    auto* error = std::get_if<ParseError>(&parsed);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->line, GetParam().line);
    EXPECT_NE(error->reason.find(GetParam().reasonPart), std::string::npos) << error->reason;
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, ScriptParseErrors,
    testing::ValuesIn(std::vector<BadLine>{
        {"unknown_action", "dump TForm1\nclik TForm1.BitBtn10", 2, "unknown action 'clik'"},
        {"unknown_window", "click TForm9.Button1", 1, "'TForm9' is not a window"},
        {"control_without_form", "click BitBtn10", 1, "needs FORM.CONTROL"},
        {"form_where_control_is_needed", "click TForm1", 1, "needs FORM.CONTROL"},
        {"control_where_form_is_needed", "dump TForm1.ListBox10", 1, "window name"},
        {"unquoted_text", "select TForm1.ListBox10 Microsoft", 1, "in double quotes or none"},
        {"words_after_text", "select TForm1.ListBox10 Microsoft Print", 1, "double quotes"},
        {"unterminated_string", "type TForm2.edtWidth \"abc", 1, "unterminated"},
        {"missing_argument", "type TForm2.edtWidth", 1, "type needs"},
        {"extra_argument", "click TForm1.BitBtn10 now", 1, "unexpected 'now'"},
        {"bad_answer", "answer maybe", 1, "yes, no or ok"},
        {"negative_wait", "wait -5", 1, "milliseconds"},
        {"wait_with_unit", "wait 5s", 1, "milliseconds"},
        {"unknown_key", "key TMain \"Hyper+Q\"", 1, "is not a key"},
        {"empty_file", "file \"\"", 1, "file cancel"},
        {"file_outside_the_code_page", "file \"C:\\\u03a9.roy\"", 1, "cannot hold"},
        {"drag_without_target", "drag TForm2.ListBox1 \"A4\"", 1, "drag needs FORM.CONTROL"},
        {"bad_control_name", "click TForm1.Bit-Btn", 1, "not a control name"},
        {"quote_inside_word", "click TForm1.Bit\"Btn", 1, "quote inside a word"},
    }),
    [](const testing::TestParamInfo<BadLine>& info) { return std::string(info.param.name); });

TEST(ScriptKeys, NamesAndModifiers) {
    auto del = script::ParseKey("Del");
    ASSERT_TRUE(del);
    EXPECT_EQ(del->key, Qt::Key_Delete);
    EXPECT_FALSE(del->ctrl || del->shift || del->alt);

    auto chord = script::ParseKey("ctrl+Shift+f5");
    ASSERT_TRUE(chord);
    EXPECT_EQ(chord->key, Qt::Key_F5);
    EXPECT_TRUE(chord->ctrl && chord->shift && !chord->alt);

    EXPECT_EQ(script::ParseKey("a")->key, Qt::Key_A);
    EXPECT_EQ(script::ParseKey("Esc")->key, Qt::Key_Escape);
    EXPECT_FALSE(script::ParseKey("Ctrl+"));
    EXPECT_FALSE(script::ParseKey("+"));
    EXPECT_FALSE(script::ParseKey("F25"));
}

}  // namespace

}  // namespace quellin::script
