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

QtUserInterface::QtUserInterface(std::function<QWidget*(win::HWND)> windowFor)
    : windowFor_(std::move(windowFor)) {}

int QtUserInterface::MessageBox(win::HWND owner, const std::string& text,
                                const std::string& caption, win::DWORD flags) {
    QWidget* parent = owner ? windowFor_(owner) : nullptr;
    QMessageBox box(parent);
    box.setWindowTitle(win::QStringFromAnsi(caption));
    box.setText(win::QStringFromAnsi(text).replace("\r\n", "\n"));
    switch (flags & 0xF0) {
        case win::MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case win::MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case win::MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case win::MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
    }
    if ((flags & 0xF) == win::MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? win::IDYES : win::IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return win::IDOK;
}

void QtUserInterface::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle,
                    win::QStringFromAnsi(text).replace("\r\n", "\n"), QMessageBox::Ok,
                    windowFor_(0));
    box.exec();
}

QString QtFilter(const std::string& windowsFilter) {
    QStringList parts = win::QStringFromAnsi(windowsFilter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        QString patterns = parts[i + 1];
        filters << (name.contains('(') ? name : name + " (" + patterns.replace(';', ' ') + ")");
    }
    return filters.join(";;");
}

std::optional<std::string> QtUserInterface::FileDialog(const win::FileDialogRequest& request) {
    QFileDialog dialog(windowFor_(request.owner), win::QStringFromAnsi(request.title));
    dialog.setNameFilter(QtFilter(request.filter));
    dialog.setDefaultSuffix(win::QStringFromAnsi(request.defaultExtension));
    if (!request.initialDir.empty()) {
        dialog.setDirectory(QString::fromStdString(win::DialogPathFromWindows(request.initialDir)));
    }
    if (!request.fileName.empty()) {
        dialog.selectFile(win::QStringFromAnsi(request.fileName));
    }
    if (request.kind == win::FileDialogRequest::Kind::Save) {
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
    return win::WindowsPathFromDialog(dialog.selectedFiles().front().toStdString());
}

void QtUserInterface::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(win::QStringFromAnsi(url)));
}

}  // namespace quellin::app
