#include "queue/ui/job_monitor_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/qt/ansi_qstring.h"
#include "system/handler.h"

namespace quellin::queue {

using quellin::system::RunHandler;

namespace {

constexpr int kClientWidth = 825;
constexpr int kClientHeight = 184;
constexpr int kFontPixels = 13;  // Tahoma 8 at 120 dots per inch

const char* const kColumnCaptions[kColumnCount] = {"Computer", "Printer", "Document", "Status",
                                                   "Owner",    "Size",    "Printed",  "Start At"};

}  // namespace

// ---- JobListModel -------------------------------------------------------------------------

JobListModel::JobListModel(JobTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
    table_.SetListener(this);
}

JobListModel::~JobListModel() {
    table_.SetListener(nullptr);
}

int JobListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.RowCount());
}

int JobListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant JobListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.column() >= kColumnCount ||
        static_cast<std::size_t>(index.row()) >= table_.RowCount())
        return {};
    return win::QStringFromAnsi(table_.Row(static_cast<std::size_t>(index.row()))
                                    .cells[static_cast<std::size_t>(index.column())]);
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return {};
    return QString::fromLatin1(kColumnCaptions[section]);
}

void JobListModel::BeforeAppend(std::size_t row) {
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
}
void JobListModel::AfterAppend() {
    endInsertRows();
}
void JobListModel::CellsChanged(std::size_t row, int firstColumn, int lastColumn) {
    emit dataChanged(index(static_cast<int>(row), firstColumn),
                     index(static_cast<int>(row), lastColumn), {Qt::DisplayRole});
}
void JobListModel::BeforeRemove(std::size_t row) {
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
}
void JobListModel::AfterRemove() {
    endRemoveRows();
}
void JobListModel::BeforeClear() {
    beginResetModel();
}
void JobListModel::AfterClear() {
    endResetModel();
}

// ---- TMain --------------------------------------------------------------------------------

class TMain::Timer final : public MonitorTimer {
  public:
    explicit Timer(QTimer& timer) : timer_(timer) {}
    bool Running() const override { return timer_.isActive(); }
    void Stop() override { timer_.stop(); }
    void Start() override { timer_.start(); }

  private:
    QTimer& timer_;
};

TMain::TMain(QWidget* owner, win::HWND ownerHandle) : QDialog(owner) {
    setObjectName("TMain");
    setWindowTitle("Print Spooler");
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(kFontPixels);
    setFont(font);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kMonitorInterval);
    timer_ = std::make_unique<Timer>(*Timer1);
    monitor_ = std::make_unique<JobMonitor>(*timer_, ownerHandle);
    CreateControls();
    connect(Timer1, &QTimer::timeout, this, [this] { RunHandler([&] { Timer1Timer(); }); });
    RunHandler([&] { FormCreate(); });
    Timer1->start();
}

TMain::~TMain() {
    RunHandler([&] { FormDestroy(); });
    // The model reads the monitor's rows, which go before the window's children do.
    lvMain->setModel(nullptr);
    delete model_;
}

QAction* TMain::AddItem(QMenu* menu, const char* name, const char* caption,
                        void (TMain::*handler)()) {
    QAction* item = menu->addAction(QString::fromLatin1(caption));
    item->setObjectName(name);
    connect(item, &QAction::triggered, this,
            [this, handler] { RunHandler([&] { (this->*handler)(); }); });
    return item;
}

void TMain::CreateControls() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName("MainMenu1");
    Process1 = MainMenu1->addMenu("&Process");
    Process1->setObjectName("Process1");
    RefreshPrinters1 =
        AddItem(Process1, "RefreshPrinters1", "&Refresh Printers", &TMain::RefreshPrinters1Click);
    RefreshPrinters1->setShortcut(QKeySequence(Qt::Key_F5));
    Monitoring1 = AddItem(Process1, "Monitoring1", "&Monitoring", &TMain::Monitoring1Click);
    Monitoring1->setCheckable(true);
    Monitoring1->setChecked(true);
    MonitorSharedPrinters1 =
        AddItem(Process1, "MonitorSharedPrinters1", "Monitor Shared Printers Only",
                &TMain::MonitorSharedPrinters1Click);
    MonitorSharedPrinters1->setCheckable(true);
    MonitorSharedPrinters1->setChecked(false);
    Process1->addSeparator();
    Exit1 = AddItem(Process1, "Exit1", "E&xit", &TMain::Exit1Click);

    Jobs1 = MainMenu1->addMenu("Jobs");
    Jobs1->setObjectName("Jobs1");
    DeleteSelectedItem1 = AddItem(Jobs1, "DeleteSelectedItem1", "Delete Selected Item",
                                  &TMain::DeleteSelectedItem1Click);
    DeleteSelectedItem1->setShortcut(QKeySequence(Qt::Key_Delete));
    DeleteAllItems1 =
        AddItem(Jobs1, "DeleteAllItems1", "Delete All Items", &TMain::DeleteAllItems1Click);
    DeleteAllItems1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    Jobs1->addSeparator();
    CancelJob1 = AddItem(Jobs1, "CancelJob1", "Cancel Job", &TMain::CancelJob1Click);
    PauseJob1 = AddItem(Jobs1, "PauseJob1", "Pause Job", &TMain::PauseJob1Click);
    RestartJob1 = AddItem(Jobs1, "RestartJob1", "Restart Job", &TMain::RestartJob1Click);
    ResumeJob1 = AddItem(Jobs1, "ResumeJob1", "Resume Job", &TMain::ResumeJob1Click);

    lvMain = new QTreeView(this);
    lvMain->setObjectName("lvMain");
    model_ = new JobListModel(monitor_->Rows(), lvMain);
    lvMain->setModel(model_);
    lvMain->setRootIsDecorated(false);
    lvMain->setItemsExpandable(false);
    lvMain->setUniformRowHeights(true);
    lvMain->setAllColumnsShowFocus(true);
    lvMain->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMain->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = lvMain->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    for (int column = Printer; column <= Size; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    header->resizeSection(Computer, 92);
    header->resizeSection(Printed, 65);
    header->resizeSection(StartAt, 65);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(lvMain);
    resize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());
}

std::optional<std::size_t> TMain::SelectedRow() const {
    const QItemSelectionModel* selection = lvMain->selectionModel();
    if (!selection)
        return std::nullopt;
    std::optional<std::size_t> first;
    for (const QModelIndex& index : selection->selectedRows()) {
        const auto row = static_cast<std::size_t>(index.row());
        if (!first || row < *first)
            first = row;
    }
    return first;
}

void TMain::FormCreate() {
    monitor_->FormCreate();
}

void TMain::FormClose() {
    if (Timer1->isActive())
        Timer1->stop();
}

void TMain::FormDestroy() {
    Timer1->stop();
    monitor_->DeleteAllItems();
    monitor_->PrinterNames.clear();
}

void TMain::Timer1Timer() {
    monitor_->Timer1Timer();
}

void TMain::RefreshPrinters1Click() {
    monitor_->RefreshPrinterNames();
}

void TMain::Monitoring1Click() {
    // The item has already inverted its check mark.
    if (Monitoring1->isChecked())
        Timer1->start();
    else
        Timer1->stop();
}

void TMain::MonitorSharedPrinters1Click() {
    MonitorSharedPrinters1->setChecked(monitor_->ToggleSharedOnly());
}

void TMain::Exit1Click() {
    close();
}

void TMain::DeleteSelectedItem1Click() {
    const std::optional<std::size_t> selected = SelectedRow();
    monitor_->DeleteSelectedItem(selected);
    // The view selects the row that took the deleted one's place; a list view selects none, so
    // a second Del or a job command cannot reach a row the user never chose.
    if (selected)
        lvMain->clearSelection();
}

void TMain::DeleteAllItems1Click() {
    monitor_->DeleteAllItems();
}

void TMain::CancelJob1Click() {
    monitor_->ControlSelectedJob(SelectedRow(), win::JOB_CONTROL_CANCEL);
}

void TMain::PauseJob1Click() {
    monitor_->ControlSelectedJob(SelectedRow(), win::JOB_CONTROL_PAUSE);
}

void TMain::RestartJob1Click() {
    monitor_->ControlSelectedJob(SelectedRow(), win::JOB_CONTROL_RESTART);
}

void TMain::ResumeJob1Click() {
    monitor_->ControlSelectedJob(SelectedRow(), win::JOB_CONTROL_RESUME);
}

void TMain::closeEvent(QCloseEvent* event) {
    RunHandler([&] { FormClose(); });
    QDialog::closeEvent(event);
}

void TMain::keyPressEvent(QKeyEvent* event) {
    // The window has no cancel button, so Escape does not close it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quellin::queue
