// The script language of quellin-script: one user action a line.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quellin::script {

// The windows of the program, by the object names they carry.
inline constexpr const char* kForms[] = {"TForm1", "TForm2", "TForm3", "TForm4", "TMain"};
inline constexpr const char* kMainForm = "TForm1";

struct Target {
    std::string form;
    std::string control;  // empty for actions on a whole window
    std::string Name() const { return control.empty() ? form : form + "." + control; }
};

// A key and its modifiers, with the key as Qt numbers it (Qt::Key), so the runner can send it
// as it is.
struct KeyChord {
    int key = 0;
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

enum class Verb {
    Click,
    Select,
    DblClick,
    Type,
    Check,
    Uncheck,
    Drag,
    Hover,
    Key,
    Answer,
    File,
    Wait,
    Dump,
    Screenshot,
    Close,
};

enum class BoxAnswer { Ok, Yes, No };

struct Action {
    int line = 0;
    Verb verb = Verb::Click;
    Target target;
    Target dropTarget;                // drag
    std::optional<std::string> text;  // item, typed text, path; absent: "none" / "cancel"
    KeyChord key;                     // key
    BoxAnswer answer = BoxAnswer::Ok;
    int milliseconds = 0;  // wait
};

struct ParseError {
    int line = 0;
    std::string reason;
};

// A whole script, or the first line that is not understood.
std::variant<std::vector<Action>, ParseError> Parse(const std::string& text);

// "Ctrl+Del", "F5", "Shift+Tab", "A": nothing when the text names no key.
std::optional<KeyChord> ParseKey(const std::string& text);

const char* VerbName(Verb verb);
const char* AnswerName(BoxAnswer answer);

}  // namespace quellin::script
