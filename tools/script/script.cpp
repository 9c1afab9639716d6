#include "script.h"

#include <QtCore/qnamespace.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <sstream>

#include "platform/text.h"

namespace quellin::script {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

struct LineError {
    std::string reason;
};

// Only \" and \\ are escapes: Windows paths such as "C:\new\x.roy" keep their backslashes.
std::vector<Token> Tokenize(const std::string& line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token token{"", true};
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i];
                if (d == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    token.text += line[i + 1];
                    i += 2;
                } else if (d == '"') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    token.text += d;
                    ++i;
                }
            }
            if (!closed)
                throw LineError{"unterminated string (a quote is missing)"};
            if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                line[i] != '#')
                throw LineError{"a quoted text must be followed by a blank"};
            tokens.push_back(std::move(token));
        } else {
            Token token;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                   line[i] != '#') {
                if (line[i] == '"')
                    throw LineError{"a quote inside a word: put the whole text in quotes"};
                token.text += line[i++];
            }
            tokens.push_back(std::move(token));
        }
    }
    return tokens;
}

bool IsIdentifier(const std::string& s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0])))
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::string FormList() {
    std::string list;
    for (const char* form : kForms)
        list += (list.empty() ? "" : ", ") + std::string(form);
    return list;
}

void CheckForm(const std::string& form) {
    for (const char* known : kForms) {
        if (form == known)
            return;
    }
    throw LineError{"'" + form + "' is not a window of the program (" + FormList() + ")"};
}

class Line {
  public:
    Line(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    const std::string& Verb() const { return tokens_[0].text; }
    bool Done() const { return pos_ >= tokens_.size(); }

    const Token& Next(const std::string& what) {
        if (Done())
            throw LineError{Verb() + " needs " + what};
        return tokens_[pos_++];
    }
    Target Control() {
        const Token& token = Next("FORM.CONTROL");
        std::size_t dot = token.text.find('.');
        if (token.quoted || dot == std::string::npos ||
            token.text.find('.', dot + 1) != std::string::npos)
            throw LineError{Verb() + " needs FORM.CONTROL, not '" + token.text + "'"};
        Target target{token.text.substr(0, dot), token.text.substr(dot + 1)};
        CheckForm(target.form);
        if (!IsIdentifier(target.control))
            throw LineError{"'" + target.control + "' is not a control name"};
        return target;
    }
    Target Form() {
        const Token& token = Next("FORM");
        if (token.quoted || token.text.find('.') != std::string::npos)
            throw LineError{Verb() + " needs a window name such as TForm1, not '" + token.text +
                            "'"};
        CheckForm(token.text);
        return Target{token.text, ""};
    }
    std::string Text(const std::string& what) {
        const Token& token = Next(what);
        if (!token.quoted)
            throw LineError{Verb() + " needs " + what + " in double quotes, not '" + token.text +
                            "'"};
        return token.text;
    }
    // A quoted text, or the bare word `keyword` for "no text".
    std::optional<std::string> TextOr(const std::string& keyword, const std::string& what) {
        const Token& token = Next(what + " or " + keyword);
        if (token.quoted)
            return token.text;
        if (token.text == keyword)
            return std::nullopt;
        throw LineError{Verb() + " needs " + what + " in double quotes or " + keyword + ", not '" +
                        token.text + "'"};
    }
    std::string Word(const std::string& what) {
        const Token& token = Next(what);
        if (token.quoted)
            throw LineError{Verb() + " needs " + what + " without quotes"};
        return token.text;
    }
    void End() {
        if (!Done())
            throw LineError{"unexpected '" + tokens_[pos_].text + "' after " + Verb() +
                            " (a text argument needs double quotes)"};
    }

  private:
    std::vector<Token> tokens_;
    std::size_t pos_ = 1;
};

Action ParseLine(Line& line) {
    static const std::map<std::string, script::Verb> verbs = {
        {"click", Verb::Click},       {"select", Verb::Select},
        {"dblclick", Verb::DblClick}, {"type", Verb::Type},
        {"check", Verb::Check},       {"uncheck", Verb::Uncheck},
        {"drag", Verb::Drag},         {"hover", Verb::Hover},
        {"key", Verb::Key},           {"answer", Verb::Answer},
        {"file", Verb::File},         {"wait", Verb::Wait},
        {"dump", Verb::Dump},         {"screenshot", Verb::Screenshot},
        {"close", Verb::Close}};
    auto found = verbs.find(line.Verb());
    if (found == verbs.end())
        throw LineError{"unknown action '" + line.Verb() + "'"};
    Action action;
    action.verb = found->second;
    switch (action.verb) {
        case Verb::Click:
        case Verb::Check:
        case Verb::Uncheck:
        case Verb::Hover:
            action.target = line.Control();
            break;
        case Verb::Select:
            action.target = line.Control();
            action.text = line.TextOr("none", "the item's text");
            break;
        case Verb::DblClick:
            action.target = line.Control();
            if (!line.Done())
                action.text = line.Text("the item's text");
            break;
        case Verb::Type:
            action.target = line.Control();
            action.text = line.Text("the text to type");
            break;
        case Verb::Drag:
            action.target = line.Control();
            action.text = line.Text("the text of the item to drag");
            action.dropTarget = line.Control();
            break;
        case Verb::Key: {
            action.target = line.Form();
            std::string name = line.Text("the key, such as \"Ctrl+Del\"");
            auto chord = ParseKey(name);
            if (!chord)
                throw LineError{"'" + name + "' is not a key (examples: \"Del\", \"Ctrl+Del\", " +
                                "\"F5\", \"Shift+Tab\", \"A\")"};
            action.key = *chord;
            break;
        }
        case Verb::Answer: {
            std::string word = line.Word("yes, no or ok");
            if (word == "yes")
                action.answer = BoxAnswer::Yes;
            else if (word == "no")
                action.answer = BoxAnswer::No;
            else if (word == "ok")
                action.answer = BoxAnswer::Ok;
            else
                throw LineError{"answer needs yes, no or ok, not '" + word + "'"};
            break;
        }
        case Verb::File:
            action.text = line.TextOr("cancel", "a Windows path");
            if (action.text && action.text->empty())
                throw LineError{"file needs a path; use file cancel to cancel the dialog"};
            if (action.text) {
                // The script is UTF-8; the program takes the path in its ANSI code page.
                bool exact = true;
                std::string ansi = win::Utf8ToAnsi(*action.text, &exact);
                if (!exact)
                    throw LineError{"the path \"" + *action.text +
                                    "\" has a character that the ANSI code page cannot hold"};
                action.text = std::move(ansi);
            }
            break;
        case Verb::Wait: {
            std::string word = line.Word("a number of milliseconds");
            int ms = -1;
            auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), ms);
            if (ec != std::errc() || end != word.data() + word.size() || ms < 0 || ms > 3'600'000)
                throw LineError{"wait needs milliseconds from 0 to 3600000, not '" + word + "'"};
            action.milliseconds = ms;
            break;
        }
        case Verb::Dump:
        case Verb::Close:
            action.target = line.Form();
            break;
        case Verb::Screenshot:
            action.target = line.Form();
            action.text = line.Text("the image's path");
            if (action.text->empty())
                throw LineError{"screenshot needs a file path"};
            break;
    }
    line.End();
    return action;
}

const std::map<std::string, int>& KeyNames() {
    static const std::map<std::string, int> names = [] {
        std::map<std::string, int> m = {{"del", Qt::Key_Delete},
                                        {"delete", Qt::Key_Delete},
                                        {"ins", Qt::Key_Insert},
                                        {"insert", Qt::Key_Insert},
                                        {"enter", Qt::Key_Return},
                                        {"return", Qt::Key_Return},
                                        {"esc", Qt::Key_Escape},
                                        {"escape", Qt::Key_Escape},
                                        {"tab", Qt::Key_Tab},
                                        {"space", Qt::Key_Space},
                                        {"backspace", Qt::Key_Backspace},
                                        {"home", Qt::Key_Home},
                                        {"end", Qt::Key_End},
                                        {"pgup", Qt::Key_PageUp},
                                        {"pageup", Qt::Key_PageUp},
                                        {"pgdown", Qt::Key_PageDown},
                                        {"pagedown", Qt::Key_PageDown},
                                        {"up", Qt::Key_Up},
                                        {"down", Qt::Key_Down},
                                        {"left", Qt::Key_Left},
                                        {"right", Qt::Key_Right}};
        // Appended rather than "f" + std::to_string(i): GCC 12 at -O3 warns falsely
        // (-Wrestrict) on a literal prepended to a temporary string.
        for (int i = 1; i <= 24; ++i) {
            std::string name = "f";
            name += std::to_string(i);
            m[name] = Qt::Key_F1 + i - 1;
        }
        for (char c = 'a'; c <= 'z'; ++c)
            m[std::string(1, c)] = Qt::Key_A + (c - 'a');
        for (char c = '0'; c <= '9'; ++c)
            m[std::string(1, c)] = Qt::Key_0 + (c - '0');
        return m;
    }();
    return names;
}

}  // namespace

std::optional<KeyChord> ParseKey(const std::string& text) {
    KeyChord chord;
    std::string rest = text;
    for (;;) {
        std::size_t plus = rest.find('+');
        if (plus == std::string::npos || plus == 0)
            break;
        std::string modifier = rest.substr(0, plus);
        if (win::SameName(modifier, "ctrl") || win::SameName(modifier, "control"))
            chord.ctrl = true;
        else if (win::SameName(modifier, "shift"))
            chord.shift = true;
        else if (win::SameName(modifier, "alt"))
            chord.alt = true;
        else
            return std::nullopt;
        rest = rest.substr(plus + 1);
    }
    auto found = KeyNames().find(win::LowerAnsi(rest));
    if (found == KeyNames().end())
        return std::nullopt;
    chord.key = found->second;
    return chord;
}

std::variant<std::vector<Action>, ParseError> Parse(const std::string& text) {
    std::vector<Action> actions;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        try {
            std::vector<Token> tokens = Tokenize(raw);
            if (tokens.empty())
                continue;
            if (tokens[0].quoted)
                throw LineError{"a line starts with an action, not a quoted text"};
            Line line(std::move(tokens));
            Action action = ParseLine(line);
            action.line = number;
            actions.push_back(std::move(action));
        } catch (const LineError& error) {
            return ParseError{number, error.reason};
        }
    }
    return actions;
}

const char* VerbName(Verb verb) {
    switch (verb) {
        case Verb::Click:
            return "click";
        case Verb::Select:
            return "select";
        case Verb::DblClick:
            return "dblclick";
        case Verb::Type:
            return "type";
        case Verb::Check:
            return "check";
        case Verb::Uncheck:
            return "uncheck";
        case Verb::Drag:
            return "drag";
        case Verb::Hover:
            return "hover";
        case Verb::Key:
            return "key";
        case Verb::Answer:
            return "answer";
        case Verb::File:
            return "file";
        case Verb::Wait:
            return "wait";
        case Verb::Dump:
            return "dump";
        case Verb::Screenshot:
            return "screenshot";
        case Verb::Close:
            return "close";
    }
    return "?";
}

const char* AnswerName(BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return "ok";
        case BoxAnswer::Yes:
            return "yes";
        case BoxAnswer::No:
            return "no";
    }
    return "?";
}

}  // namespace quellin::script
