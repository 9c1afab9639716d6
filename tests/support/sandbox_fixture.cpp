#include "sandbox_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace quellin::testsupport {

namespace fs = std::filesystem;

ScopedSandbox::ScopedSandbox(sim::InitOptions options) {
    std::string pattern = (fs::temp_directory_path() / "quellin-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a temporary sandbox folder");
    }
    root_ = pattern;
    sim::InitSandbox(root_, options);
}

ScopedSandbox::~ScopedSandbox() {
    sim::CloseSandbox();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path ScopedSandbox::HostPath(const std::string& windowsPath) const {
    return sim::HostPathNative(windowsPath);
}

void ScopedSandbox::SetConfig(const sim::Config& config) {
    sim::WriteConfig(config);
}

RecordingUi::RecordingUi() : previous_(&win::ui()) {
    win::SetUserInterface(this);
}

RecordingUi::~RecordingUi() {
    win::SetUserInterface(previous_);
}

int RecordingUi::MessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                            win::DWORD flags) {
    int answer = (flags & 0xF) == win::MB_YESNO ? win::IDNO : win::IDOK;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    boxes.push_back({owner, text, caption, flags, answer});
    return answer;
}

std::optional<std::string> RecordingUi::FileDialog(const win::FileDialogRequest& request) {
    dialogs.push_back(request);
    if (files_.empty()) {
        return std::nullopt;
    }
    auto file = files_.front();
    files_.pop_front();
    return file;
}

std::optional<std::string> ReadHostFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteHostFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace quellin::testsupport
