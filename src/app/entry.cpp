#include "app/entry.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/main_window.h"
#include "app/qt_ui.h"
#include "audit/audit.h"
#include "platform/processes.h"
#include "platform/window.h"
#include "system/admin.h"
#include "system/app_info.h"
#include "system/handler.h"
#include "system/libraries.h"
#include "system/single_instance.h"

namespace quellin::app {

using namespace quellin::system;

namespace {

// Another instance's requests reach the main window on the user-interface thread.
class MainWindowHost final : public win::WindowHost {
  public:
    void SetWindow(QWidget* window) { window_ = window; }

    bool IsMinimized() override {
        bool minimized = false;
        if (window_) {
            QMetaObject::invokeMethod(
                window_, [&] { minimized = window_ && window_->isMinimized(); },
                Qt::BlockingQueuedConnection);
        }
        return minimized;
    }
    void Restore() override {
        if (window_) {
            QMetaObject::invokeMethod(window_, [w = window_] {
                if (w)
                    w->showNormal();
            });
        }
    }
    void BringToFront() override {
        if (window_) {
            QMetaObject::invokeMethod(window_, [w = window_] {
                if (!w)
                    return;
                w->raise();
                w->activateWindow();
            });
        }
    }

  private:
    QPointer<QWidget> window_;
};

void PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Program end: the guard's slot and the library table go back, however the program ended.
struct EndOfProgram {
    win::HWND handle = 0;
    win::HWND mainWindow = 0;
    InstanceGuard guard;
    ~EndOfProgram() {
        guard.Release();
        if (mainWindow)
            win::UnregisterMainWindow(mainWindow);
        if (handle)
            win::UnregisterApplicationWindow(handle);
        ReleaseLibraryTable();
    }
};

}  // namespace

int RunPrnStatus(QApplication& application, const ProgramOptions& options) {
    MainWindowHost host;
    EndOfProgram end;
    end.handle = win::RegisterApplicationWindow(&host);

    std::unique_ptr<TForm1> form;
    // A dialog that owns its boxes names itself by its window id; every other owner is the
    // main window.
    QtUserInterface qtUi([&](win::HWND owner) -> QWidget* {
        QWidget* dialog = owner != end.handle ? QWidget::find(static_cast<WId>(owner)) : nullptr;
        return dialog != nullptr ? dialog : form.get();
    });
    win::SetUserInterface(options.ui ? options.ui : &qtUi);
    win::SetMessagePump(&PumpMessages);

    int exitCode = 0;
    // The window's run, from its start to its close, holds every change its commands make.
    std::optional<quellin::audit::Run> run;
    RunHandler([&] {
        if (end.guard.Activate(end.handle, 1)) {
            return;
        }
        run.emplace("quellin", "window", kFileVersion, "", RunsAsAdministrator());
        // The title stays the application name only: a display name would be appended to
        // every window and box title ("Quellin 1.1 - Quellin").
        application.setApplicationName(kApplicationTitle);
        application.setApplicationVersion(kFileVersion);

        form.reset(CreateMainWindow(end.handle));
        form->FormCreate();
        if (form->TerminateRequested()) {
            return;
        }
        host.SetWindow(form.get());
        // A later start restores and raises the main window itself: the application window
        // is hidden and never minimised.
        end.mainWindow = win::RegisterMainWindow(&host, static_cast<std::uintptr_t>(form->winId()));
        end.guard.Publish(end.mainWindow);
        if (options.onMainWindow) {
            options.onMainWindow(*form);
        }
        form->show();
        exitCode = application.exec();
    });
    if (run)
        run->End(exitCode, exitCode == 0 ? "done" : "failed");
    host.SetWindow(nullptr);
    form.reset();
    win::SetMessagePump(nullptr);
    win::SetUserInterface(nullptr);
    return exitCode;
}

}  // namespace quellin::app
