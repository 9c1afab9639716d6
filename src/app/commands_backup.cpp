// Saving and restoring the printer's settings.
#include <QListWidget>
#include <QObject>

#include "app/main_window.h"
#include "backup/settings_backup.h"
#include "system/app_info.h"

namespace quellin::app {

namespace {

// The archive component and the two file dialogs live on the main window for the whole run.
class SettingsBackupHolder : public QObject {
    Q_OBJECT

  public:
    explicit SettingsBackupHolder(QObject* parent) : QObject(parent) {}
    quellin::backup::SettingsBackup backup;
};

quellin::backup::SettingsBackup& BackupOf(TForm1& form) {
    auto* holder = form.findChild<SettingsBackupHolder*>(QString(), Qt::FindDirectChildrenOnly);
    if (holder == nullptr) {
        holder = new SettingsBackupHolder(&form);
    }
    return holder->backup;
}

quellin::backup::SettingsContext ContextOf(TForm1& form) {
    quellin::backup::SettingsContext context;
    context.wow64KeyFlag = static_cast<win::DWORD>(form.Wow64KeyFlag);
    context.owner = form.Handle();
    context.caption = quellin::system::kMainCaption;
    context.showPanel = [&form](bool visible) { form.Panel1->setVisible(visible); };
    return context;
}

}  // namespace

void TForm1::btnSaveAllSettingsClick() {
    SystemCommandScope scope(*this);
    if (!scope.Entered())
        return;
    BackupOf(*this).Save(ContextOf(*this), !ListBox10->selectedItems().isEmpty());
}

void TForm1::btnRestoreAllSettingsClick() {
    SystemCommandScope scope(*this);
    if (!scope.Entered())
        return;
    BackupOf(*this).Restore(ContextOf(*this));
}

}  // namespace quellin::app

#include "commands_backup.moc"
