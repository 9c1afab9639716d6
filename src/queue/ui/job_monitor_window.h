// The job monitor window: every job of every printer, refreshed five times a second, with
// menus to control the selected job and to remove rows.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "queue/job_monitor.h"

class QAction;
class QMenu;
class QMenuBar;
class QTimer;
class QTreeView;

namespace quellin::queue {

// lvMain's rows as a Qt model over the monitor's table: a cell's change reaches the view only
// when its text changed.
class JobListModel final : public QAbstractTableModel, public JobTableListener {
  public:
    explicit JobListModel(JobTable& table, QObject* parent = nullptr);
    ~JobListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void BeforeAppend(std::size_t row) override;
    void AfterAppend() override;
    void CellsChanged(std::size_t row, int firstColumn, int lastColumn) override;
    void BeforeRemove(std::size_t row) override;
    void AfterRemove() override;
    void BeforeClear() override;
    void AfterClear() override;

  private:
    JobTable& table_;
};

class TMain : public QDialog {
    Q_OBJECT

  public:
    // `owner` is the main window; `ownerHandle` owns the monitor's message boxes.
    TMain(QWidget* owner, win::HWND ownerHandle);
    ~TMain() override;

    const std::vector<std::string>& PrinterNames() const { return monitor_->PrinterNames; }
    bool SharedOnly() const { return monitor_->SharedOnly; }
    JobMonitor& Monitor() { return *monitor_; }
    // The first selected row, if any.
    std::optional<std::size_t> SelectedRow() const;

    QTreeView* lvMain = nullptr;
    QTimer* Timer1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* Process1 = nullptr;
    QAction* RefreshPrinters1 = nullptr;
    QAction* Monitoring1 = nullptr;
    QAction* MonitorSharedPrinters1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Jobs1 = nullptr;
    QAction* DeleteSelectedItem1 = nullptr;
    QAction* DeleteAllItems1 = nullptr;
    QAction* CancelJob1 = nullptr;
    QAction* PauseJob1 = nullptr;
    QAction* RestartJob1 = nullptr;
    QAction* ResumeJob1 = nullptr;

  public slots:
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void Timer1Timer();
    void RefreshPrinters1Click();
    void Monitoring1Click();
    void MonitorSharedPrinters1Click();
    void Exit1Click();
    void DeleteSelectedItem1Click();
    void DeleteAllItems1Click();
    void CancelJob1Click();
    void PauseJob1Click();
    void RestartJob1Click();
    void ResumeJob1Click();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class Timer;

    void CreateControls();
    QAction* AddItem(QMenu* menu, const char* name, const char* caption, void (TMain::*handler)());

    std::unique_ptr<Timer> timer_;
    std::unique_ptr<JobMonitor> monitor_;
    JobListModel* model_ = nullptr;
};

}  // namespace quellin::queue
