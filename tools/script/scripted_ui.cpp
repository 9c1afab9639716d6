#include "scripted_ui.h"

#include <algorithm>

#include "platform/text.h"

namespace quellin::script {

namespace {

// Enough of a box's text to tell which box it was, in the reasons' UTF-8.
std::string Gist(const std::string& text) {
    std::string first = text.substr(0, text.find_first_of("\r\n"));
    return win::AnsiToUtf8(first.size() > 100 ? first.substr(0, 100) + "..." : first);
}

}  // namespace

ScriptedUi::ScriptedUi(Transcript& transcript, std::function<std::string(win::HWND)> windowName,
                       std::function<void(const std::string&)> fail)
    : transcript_(transcript), windowName_(std::move(windowName)), fail_(std::move(fail)) {}

void ScriptedUi::QueueAnswer(BoxAnswer answer, int line) {
    answers_.push_back({answer, line});
}

void ScriptedUi::QueueFile(std::optional<std::string> path, int line) {
    files_.push_back({std::move(path), line});
}

std::optional<int> ScriptedUi::FirstUnusedLine() const {
    std::optional<int> first;
    if (!answers_.empty())
        first = answers_.front().line;
    if (!files_.empty())
        first = std::min(first.value_or(files_.front().line), files_.front().line);
    return first;
}

int ScriptedUi::MessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                           win::DWORD flags) {
    const bool yesNo = (flags & 0xF) == win::MB_YESNO;
    // What a box that finds no fitting answer returns: the choice that changes nothing.
    const int refusal = yesNo ? win::IDNO : win::IDOK;
    JsonObject event;
    event.Text("event", "messagebox");
    const std::string ownerName = owner != 0 && windowName_ ? windowName_(owner) : "";
    if (!ownerName.empty())
        event.Text("owner", ownerName);
    else
        event.Null("owner");
    event.Text("caption", caption).Text("text", text);
    event.Text("buttons", yesNo ? "YESNO" : "OK");
    event.Text("icon", (flags & 0xF0) == win::MB_ICONERROR ? "error" : "none");

    std::string what = std::string(yesNo ? "yes/no" : "OK") + " box \"" + caption + "\"";
    if (answers_.empty()) {
        transcript_.Write(event.Null("answer"));
        fail_("unexpected " + what + " (no answer was queued): " + Gist(text));
        return refusal;
    }
    QueuedAnswer queued = answers_.front();
    answers_.pop_front();
    bool fits = yesNo ? queued.answer != BoxAnswer::Ok : queued.answer == BoxAnswer::Ok;
    if (!fits) {
        transcript_.Write(event.Null("answer"));
        fail_("the answer '" + std::string(AnswerName(queued.answer)) + "' queued on line " +
              std::to_string(queued.line) + " does not fit the " + what);
        return refusal;
    }
    transcript_.Write(event.Text("answer", AnswerName(queued.answer)));
    switch (queued.answer) {
        case BoxAnswer::Yes:
            return win::IDYES;
        case BoxAnswer::No:
            return win::IDNO;
        case BoxAnswer::Ok:
            break;
    }
    return win::IDOK;
}

void ScriptedUi::ShowError(const std::string& text) {
    transcript_.Write(JsonObject().Text("event", "error").Text("text", text));
    // The error box is a box like any other: the script says that it expects it.
    if (answers_.empty()) {
        fail_("unexpected error box (no answer was queued): " + Gist(text));
        return;
    }
    QueuedAnswer queued = answers_.front();
    answers_.pop_front();
    if (queued.answer != BoxAnswer::Ok) {
        fail_("the answer '" + std::string(AnswerName(queued.answer)) + "' queued on line " +
              std::to_string(queued.line) + " does not fit the error box (OK only): " + Gist(text));
    }
}

std::optional<std::string> ScriptedUi::FileDialog(const win::FileDialogRequest& request) {
    const bool save = request.kind == win::FileDialogRequest::Kind::Save;
    JsonObject event;
    event.Text("event", "filedialog").Text("kind", save ? "save" : "open");
    event.Text("title", request.title).Text("filter", request.filter);
    event.Text("initialdir", request.initialDir);
    if (files_.empty()) {
        transcript_.Write(event.Null("answer"));
        fail_(std::string("unexpected ") + (save ? "save" : "open") +
              " file dialog (no file was queued): " + Gist(request.title));
        return std::nullopt;
    }
    QueuedFile queued = files_.front();
    files_.pop_front();
    transcript_.Write(event.OptionalText("answer", queued.path));
    return queued.path;
}

}  // namespace quellin::script
