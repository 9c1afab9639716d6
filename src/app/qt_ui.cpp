#include "app/qt_ui.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "platform/qt/ansi_qstring.h"
#include "system/app_info.h"

namespace quellin::app {

using namespace quellin::system;

QtUserInterface::QtUserInterface(std::function<QWidget*(platform::HWND)> windowFor)
    : windowFor_(std::move(windowFor)) {}

int QtUserInterface::MessageBox(platform::HWND owner, const std::string& text,
                                const std::string& caption, platform::DWORD flags) {
    QWidget* parent = owner ? windowFor_(owner) : nullptr;
    QMessageBox box(parent);
    box.setWindowTitle(platform::QStringFromAnsi(caption));
    box.setText(platform::QStringFromAnsi(text).replace("\r\n", "\n"));
    switch (flags & 0xF0) {
        case platform::MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case platform::MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case platform::MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case platform::MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
    }
    if ((flags & 0xF) == platform::MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? platform::IDYES : platform::IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return platform::IDOK;
}

void QtUserInterface::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle,
                    platform::QStringFromAnsi(text).replace("\r\n", "\n"), QMessageBox::Ok,
                    windowFor_(0));
    box.exec();
}

QString QtFilter(const std::string& windowsFilter) {
    QStringList parts = platform::QStringFromAnsi(windowsFilter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        QString patterns = parts[i + 1];
        filters << (name.contains('(') ? name : name + " (" + patterns.replace(';', ' ') + ")");
    }
    return filters.join(";;");
}

std::optional<std::string> QtUserInterface::FileDialog(const platform::FileDialogRequest& request) {
    QFileDialog dialog(windowFor_(request.owner), platform::QStringFromAnsi(request.title));
    dialog.setNameFilter(QtFilter(request.filter));
    dialog.setDefaultSuffix(platform::QStringFromAnsi(request.defaultExtension));
    if (!request.initialDir.empty()) {
        dialog.setDirectory(
            QString::fromStdString(platform::DialogPathFromWindows(request.initialDir)));
    }
    if (!request.fileName.empty()) {
        dialog.selectFile(platform::QStringFromAnsi(request.fileName));
    }
    if (request.kind == platform::FileDialogRequest::Kind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return platform::WindowsPathFromDialog(dialog.selectedFiles().front().toStdString());
}

void QtUserInterface::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(platform::QStringFromAnsi(url)));
}

}  // namespace quellin::app
