#include "runner.h"

// Mouse events go through the window system's path, so Qt itself produces what a real mouse
// gives: enter and leave, hover moves, the implicit grab of a pressed button, double clicks.
#define QTEST_QPA_MOUSE_HANDLING
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextEdit>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "dump.h"

namespace quellin::script {

namespace {

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string WaitText(int ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string Name(const QObject* object) {
    return object->objectName().toStdString();
}

bool IsInputVerb(Verb verb) {
    return verb != Verb::Dump && verb != Verb::Screenshot;
}

bool NeedsForm(Verb verb) {
    return verb != Verb::Answer && verb != Verb::File && verb != Verb::Wait;
}

template <typename T>
T* FindControl(QWidget* form, const std::string& name) {
    const QString wanted = QString::fromStdString(name);
    for (T* object : form->findChildren<T*>(wanted)) {
        if (OwningWindow(object) == form)
            return object;
    }
    return nullptr;
}

int KeyColumn(const QAbstractItemView* view) {
    if (auto* list = qobject_cast<const QListView*>(view))
        return list->modelColumn();
    return 0;
}

int FindRow(const QAbstractItemView* view, const QString& text) {
    const QAbstractItemModel* model = view->model();
    if (!model)
        return -1;
    const int column = KeyColumn(view);
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->data(model->index(row, column), Qt::DisplayRole).toString() == text)
            return row;
    }
    // A list view's rows may share their first column (the same computer): then the first row
    // with any cell of that text.
    if (!qobject_cast<const QListView*>(view)) {
        for (int row = 0; row < model->rowCount(); ++row) {
            for (int other = 0; other < model->columnCount(); ++other) {
                if (model->data(model->index(row, other), Qt::DisplayRole).toString() == text)
                    return row;
            }
        }
    }
    return -1;
}

QStringList RowTexts(const QWidget* widget) {
    QStringList texts;
    if (auto* view = qobject_cast<const QAbstractItemView*>(widget)) {
        const QAbstractItemModel* model = view->model();
        for (int row = 0; model && row < model->rowCount(); ++row)
            texts << model->data(model->index(row, KeyColumn(view))).toString();
    } else if (auto* combo = qobject_cast<const QComboBox*>(widget)) {
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    }
    return texts;
}

// The item's centre in the coordinates of the widget that receives the mouse.
QPoint ItemCentre(QAbstractItemView* view, int row) {
    const QModelIndex index = view->model()->index(row, KeyColumn(view));
    view->scrollTo(index);
    return view->visualRect(index).center();
}

// A widget can take synthetic window-system events only once its window exists.
bool HasWindow(QWidget* widget) {
    return widget->window()->windowHandle() != nullptr;
}

void MoveTo(QWidget* widget, QPoint pos) {
    QTest::mouseMove(widget, pos);
}

// Where a mouse clicks a control: a check box or radio button answers only on its box and text,
// which may be far from the middle of a wide control.
QPoint ClickPoint(QWidget* widget) {
    const bool check = qobject_cast<QCheckBox*>(widget) != nullptr;
    if (check || qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(widget);
        option.text = static_cast<QAbstractButton*>(widget)->text();
        const QRect area = widget->style()->subElementRect(
            check ? QStyle::SE_CheckBoxClickRect : QStyle::SE_RadioButtonClickRect, &option,
            widget);
        if (area.isValid())
            return area.center();
    }
    return widget->rect().center();
}

void ClickAt(QWidget* widget, QPoint pos) {
    MoveTo(widget, pos);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
}

bool IsTextInput(const QWidget* widget) {
    if (auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget);
}

bool IsCheckable(const QWidget* widget, const QAction* action) {
    if (action)
        return action->isCheckable();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->isCheckable();
    if (auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->isCheckable();
    return false;
}

bool IsChecked(const QWidget* widget, const QAction* action) {
    if (action)
        return action->isChecked();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->isChecked();
    if (auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->isChecked();
    return false;
}

Qt::KeyboardModifiers Modifiers(const KeyChord& key) {
    Qt::KeyboardModifiers mods;
    if (key.ctrl)
        mods |= Qt::ControlModifier;
    if (key.shift)
        mods |= Qt::ShiftModifier;
    if (key.alt)
        mods |= Qt::AltModifier;
    return mods;
}

}  // namespace

Runner::Runner(std::vector<Action> actions, Transcript& transcript)
    : actions_(std::move(actions)),
      transcript_(transcript),
      ui_(
          transcript,
          [this](win::HWND owner) -> std::string {
              if (IsMainWindowHandle(owner))
                  return kMainForm;
              // A dialog that owns its boxes names itself by its window id.
              const QWidget* window = QWidget::find(static_cast<WId>(owner));
              return window != nullptr ? window->objectName().toStdString() : "";
          },
          [this](const std::string& reason) { Fail(currentLine_, reason, 1); }) {
    for (const Action& action : actions_) {
        if (action.verb == Verb::Drag) {
            for (Phase phase : {Phase::DragPress, Phase::DragStart, Phase::DragLeave,
                                Phase::DragOver, Phase::DragDrop})
                steps_.push_back({&action, phase});
        } else {
            steps_.push_back({&action, Phase::Single});
        }
    }
    stepTimer_.setSingleShot(true);
    connect(&stepTimer_, &QTimer::timeout, this, &Runner::RunStep);
    teardownTimer_.setInterval(50);
    connect(&teardownTimer_, &QTimer::timeout, this, &Runner::Teardown);
    lastBeatMs_ = NowMs();
    heartbeat_.setInterval(250);
    connect(&heartbeat_, &QTimer::timeout, this, [this] { lastBeatMs_ = NowMs(); });
    heartbeat_.start();
    qApp->installEventFilter(this);
    watchdog_ = std::thread([this] { Watchdog(); });
}

Runner::~Runner() {
    {
        std::lock_guard lock(watchdogMutex_);
        watchdogStop_ = true;
    }
    watchdogWake_.notify_all();
    watchdog_.join();
    if (qApp)
        qApp->removeEventFilter(this);
}

// The program's thread may stop handling events for good (a handler that never returns); the
// run must still end with a transcript, so this thread ends it from outside.
void Runner::Watchdog() {
    std::unique_lock lock(watchdogMutex_);
    while (!watchdogStop_) {
        watchdogWake_.wait_for(lock, std::chrono::milliseconds(500));
        if (watchdogStop_)
            break;
        if (NowMs() - lastBeatMs_ > kHangTimeoutMs) {
            const int code = failCode_ ? failCode_ : 1;
            transcript_.Failed(currentLine_, "the program handled no events for " +
                                                 std::to_string(kHangTimeoutMs / 1000) + " s");
            transcript_.End(code);
            std::_Exit(code);
        }
    }
}

void Runner::RunLeadingLines() {
    while (next_ < steps_.size() && !NeedsForm(steps_[next_].action->verb) &&
           steps_[next_].action->verb != Verb::Wait) {
        const Action& action = *steps_[next_].action;
        currentLine_ = action.line;
        ++next_;
        Perform(steps_[next_ - 1], Resolved{});
    }
}

void Runner::Start(QWidget* mainWindow, win::HWND handle) {
    mainWindow_ = mainWindow;
    handle_ = handle;
    started_ = true;
    if (failCode_)
        teardownTimer_.start();
    else
        Schedule(0);
}

void Runner::Schedule(int ms) {
    if (!done_ && !failCode_)
        stepTimer_.start(ms);
}

QWidget* Runner::FindForm(const std::string& name) const {
    const QString wanted = QString::fromStdString(name);
    QWidget* hidden = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() != wanted)
            continue;
        if (widget->isVisible())
            return widget;
        hidden = widget;
    }
    return hidden;
}

void Runner::RunStep() {
    if (done_ || failCode_)
        return;
    // A step runs from the main loop or from a window's own loop that an earlier step opened
    // (a modal dialog, a drag), never from the event processing inside an earlier step.
    if (!performLevels_.empty() && QThread::currentThread()->loopLevel() <= performLevels_.back()) {
        Schedule(10);
        return;
    }
    if (mainWindow_.isNull()) {
        done_ = true;
        return;
    }
    if (!mainShown_) {
        Schedule(10);
        return;
    }
    if (next_ >= steps_.size()) {
        EndOfScript();
        return;
    }
    const Step step = steps_[next_];
    currentLine_ = step.action->line;
    Resolved resolved;
    std::string why;
    switch (Resolve(step, resolved, why)) {
        case Readiness::Failed:
            return;
        case Readiness::Retry:
            if (!waitingSince_) {
                waitingSince_.emplace();
                waitingSince_->start();
            }
            if (waitingSince_->elapsed() < actionTimeoutMs_)
                Schedule(50);
            else
                Fail(step.action->line, why + " (waited " + WaitText(actionTimeoutMs_) + ")", 1);
            return;
        case Readiness::Ready:
            break;
    }
    waitingSince_.reset();
    ++next_;
    // Scheduled first: when the action opens a modal window, the next steps run inside its loop.
    Schedule(step.action->verb == Verb::Wait ? step.action->milliseconds : 0);
    performLevels_.push_back(QThread::currentThread()->loopLevel());
    Perform(step, resolved);
    performLevels_.pop_back();
}

Runner::Readiness Runner::Resolve(const Step& step, Resolved& out, std::string& why) {
    const Action& a = *step.action;
    if (!NeedsForm(a.verb))
        return Readiness::Ready;
    auto fail = [&](const std::string& reason) {
        Fail(a.line, reason, 2);
        return Readiness::Failed;
    };
    out.form = FindForm(a.target.form);
    if (!out.form || !out.form->isVisible() || !HasWindow(out.form)) {
        why = a.target.form + " was not shown";
        return Readiness::Retry;
    }
    if (IsInputVerb(a.verb)) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->window() != out.form) {
            why = a.target.form + " stayed behind the modal window " +
                  (modal->objectName().isEmpty() ? ScriptClassName(modal) : Name(modal));
            return Readiness::Retry;
        }
    }
    if (a.target.control.empty())
        return Readiness::Ready;

    const std::string name = a.target.Name();
    out.widget = FindControl<QWidget>(out.form, a.target.control);
    if (!out.widget)
        out.menuItem = FindControl<QAction>(out.form, a.target.control);
    if (!out.widget && !out.menuItem)
        return fail(a.target.form + " has no control named " + a.target.control);
    if (auto* menu = qobject_cast<QMenu*>(out.widget)) {
        out.menuItem = menu->menuAction();
        out.widget = nullptr;
    }

    // What the action can do with this kind of control.
    const char* verb = VerbName(a.verb);
    auto* view = qobject_cast<QAbstractItemView*>(out.widget);
    auto* combo = qobject_cast<QComboBox*>(out.widget);
    switch (a.verb) {
        case Verb::Select:
            if (!view && !combo)
                return fail(std::string(verb) + ": " + name +
                            " is not a list box, list view or drop-down list");
            break;
        case Verb::DblClick:
            if (a.text && !view)
                return fail("dblclick with an item: " + name + " is not a list box or list view");
            [[fallthrough]];
        case Verb::Hover:
            if (!out.widget)
                return fail(std::string(verb) + ": " + name + " is a menu item");
            break;
        case Verb::Type:
            if (!IsTextInput(out.widget))
                return fail("type: " + name + " is not an edit box");
            break;
        case Verb::Check:
        case Verb::Uncheck:
            if (!IsCheckable(out.widget, out.menuItem))
                return fail(std::string(verb) + ": " + name + " cannot be checked");
            if (a.verb == Verb::Uncheck && qobject_cast<QRadioButton*>(out.widget))
                return fail("uncheck: a user cannot uncheck the radio button " + name +
                            "; check another one of its group");
            break;
        case Verb::Drag:
            if (!view)
                return fail("drag: " + name + " is not a list box or list view");
            out.dropWidget = FindControl<QWidget>(out.form, a.dropTarget.control);
            if (a.dropTarget.form != a.target.form) {
                QWidget* other = FindForm(a.dropTarget.form);
                out.dropWidget =
                    other ? FindControl<QWidget>(other, a.dropTarget.control) : nullptr;
            }
            if (!out.dropWidget)
                return fail(a.dropTarget.form + " has no control named " + a.dropTarget.control);
            break;
        default:
            break;
    }

    // A user can act only on what is shown and enabled; it may yet become so.
    if (out.menuItem) {
        if (!out.menuItem->isVisible() || !out.menuItem->isEnabled()) {
            why = name + (out.menuItem->isVisible() ? " is disabled" : " is hidden");
            return Readiness::Retry;
        }
    } else if (!out.widget->isVisible() || !out.widget->isEnabled()) {
        why = name + (out.widget->isVisible() ? " is disabled" : " is hidden");
        return Readiness::Retry;
    }
    if (out.dropWidget && (!out.dropWidget->isVisible() || !out.dropWidget->isEnabled())) {
        why = a.dropTarget.Name() + " is hidden or disabled";
        return Readiness::Retry;
    }

    const bool needsRow = (a.verb == Verb::Select && a.text) ||
                          (a.verb == Verb::DblClick && a.text) ||
                          (a.verb == Verb::Drag && step.phase == Phase::DragPress);
    if (needsRow) {
        const QString text = QString::fromStdString(*a.text);
        out.row = view ? FindRow(view, text) : combo->findText(text, Qt::MatchExactly);
        if (out.row < 0) {
            why = name + " has no item \"" + *a.text +
                  "\" (items: " + RowTexts(out.widget).join(" | ").toStdString() + ")";
            return Readiness::Retry;
        }
    }
    return Readiness::Ready;
}

void Runner::Perform(const Step& step, const Resolved& r) {
    const Action& a = *step.action;
    QWidget* w = r.widget;
    auto* view = qobject_cast<QAbstractItemView*>(w);
    QWidget* surface = view ? view->viewport() : w;  // where the mouse lands

    switch (a.verb) {
        case Verb::Answer:
            ui_.QueueAnswer(a.answer, a.line);
            return;
        case Verb::File:
            ui_.QueueFile(a.text, a.line);
            return;
        case Verb::Wait:
            return;
        case Verb::Dump:
            transcript_.Write(DumpEvent(r.form));
            return;
        case Verb::Screenshot: {
            const QString path = QString::fromStdString(*a.text);
#ifdef _WIN32
            // The screen's pixels under the whole window: the frame Windows draws included.
            (void)QTest::qWaitForWindowExposed(r.form, 1000);
            QTest::qWait(300);
            const QRect frame = r.form->frameGeometry();
            QScreen* screen = r.form->screen();
            const QPixmap image = screen->grabWindow(0, frame.x() - screen->geometry().x(),
                                                     frame.y() - screen->geometry().y(),
                                                     frame.width(), frame.height());
#else
            const QPixmap image = r.form->grab();
#endif
            if (!image.save(path, QFileInfo(path).suffix().isEmpty() ? "PNG" : nullptr))
                Fail(a.line, "cannot write the screenshot " + *a.text, 1);
            return;
        }
        case Verb::Close:
            r.form->close();
            return;
        case Verb::Key: {
            r.form->activateWindow();
            // Shortcuts answer only in the active window; a form that cannot become active still
            // gets the key.
            (void)QTest::qWaitForWindowActive(r.form, 1000);
            QWidget* target = QApplication::focusWidget();
            if (!target || target->window() != r.form)
                target = r.form->focusWidget() ? r.form->focusWidget() : r.form;
            QTest::keyClick(target, static_cast<Qt::Key>(a.key.key), Modifiers(a.key));
            return;
        }
        case Verb::Click:
            if (r.menuItem)
                r.menuItem->trigger();
            else
                ClickAt(w, ClickPoint(w));
            return;
        case Verb::Hover:
            MoveTo(w, QPoint());
            return;
        case Verb::Check:
        case Verb::Uncheck: {
            const bool want = a.verb == Verb::Check;
            if (IsChecked(w, r.menuItem) == want)
                return;
            if (r.menuItem) {
                r.menuItem->trigger();
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                group->setChecked(want);
                emit group->clicked(want);
            } else {
                ClickAt(w, ClickPoint(w));
            }
            return;
        }
        case Verb::Select:
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                combo->setCurrentIndex(r.row);
                if (r.row >= 0) {
                    emit combo->activated(r.row);
                    emit combo->textActivated(combo->itemText(r.row));
                }
                return;
            }
            if (r.row < 0) {
                if (view->selectionModel())
                    view->selectionModel()->clear();
                return;
            }
            if (view->selectionMode() == QAbstractItemView::MultiSelection)
                view->clearSelection();  // a click there toggles, and the script means "only this"
            ClickAt(surface, ItemCentre(view, r.row));
            return;
        case Verb::DblClick: {
            const QPoint pos = view && r.row >= 0 ? ItemCentre(view, r.row) : QPoint();
            MoveTo(surface, pos);
            QTest::mouseDClick(surface, Qt::LeftButton, Qt::NoModifier, pos);
            return;
        }
        case Verb::Type: {
            w->activateWindow();
            w->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
            const QString text = QString::fromStdString(*a.text);
            if (text.isEmpty())
                QTest::keyClick(w, Qt::Key_Delete);
            else
                QTest::keyClicks(w, text);
            return;
        }
        case Verb::Drag: {
            // As a mouse does it: press on the item, move a little, move past the drag
            // threshold, over the target, and let go there. Each part is a step of its own, since
            // a drag may run a loop of its own from the move that starts it.
            const int threshold = QApplication::startDragDistance();
            QWidget* drop = qobject_cast<QAbstractItemView*>(r.dropWidget)
                                ? qobject_cast<QAbstractItemView*>(r.dropWidget)->viewport()
                                : r.dropWidget;
            switch (step.phase) {
                case Phase::DragPress:
                    dragFrom_ = ItemCentre(view, r.row);
                    MoveTo(surface, dragFrom_);
                    QTest::mousePress(surface, Qt::LeftButton, Qt::NoModifier, dragFrom_);
                    return;
                case Phase::DragStart:
                    MoveTo(surface, dragFrom_ + QPoint(2, 1));
                    return;
                case Phase::DragLeave:
                    MoveTo(surface, dragFrom_ + QPoint(threshold + 4, 2));
                    return;
                case Phase::DragOver:
                    MoveTo(drop, drop->rect().center() - QPoint(2, 2));
                    MoveTo(drop, drop->rect().center());
                    return;
                case Phase::DragDrop:
                    QTest::mouseRelease(drop, Qt::LeftButton, Qt::NoModifier,
                                        drop->rect().center());
                    return;
                case Phase::Single:
                    return;
            }
            return;
        }
    }
}

void Runner::EndOfScript() {
    // As a user would end: close what is open on top, then the main window.
    if (mainWindow_.isNull() || !mainWindow_->isVisible()) {
        done_ = true;
        return;
    }
    if (!ending_) {
        ending_ = true;
        currentLine_ = 0;
        endingSince_.start();
    } else if (endingSince_.elapsed() > actionTimeoutMs_) {
        Fail(0, "the windows did not close at the end of the script", 1);
        return;
    }
    stepTimer_.start(50);
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != mainWindow_) {
        modal->close();
        return;
    }
    mainWindow_->close();
}

void Runner::Fail(int line, const std::string& reason, int exitCode) {
    if (failCode_)
        return;
    failCode_ = exitCode;
    transcript_.Failed(line, line == 0 && ending_ ? "at the end of the script: " + reason : reason);
    stepTimer_.stop();
    if (started_)
        teardownTimer_.start();
}

// After a failure the program is wound down: open windows are closed and every running event
// loop is left, again until the main loop has ended (a handler may open another window).
void Runner::Teardown() {
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    QCoreApplication::exit(failCode_);
}

int Runner::Finish() {
    stepTimer_.stop();
    teardownTimer_.stop();
    if (!failCode_) {
        if (auto line = ui_.FirstUnusedLine())
            Fail(*line, "the answer queued here was used by no box or dialog", 1);
    }
    const int code = failCode_;
    if (!code && next_ < steps_.size()) {
        std::fprintf(stderr,
                     "quellin-script: the program ended before line %d; the rest was not run\n",
                     steps_[next_].action->line);
    }
    transcript_.End(code);
    return code;
}

bool Runner::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow())
            WatchWindow(widget, type == QEvent::Show);
    }
    return QObject::eventFilter(watched, event);
}

void Runner::WatchWindow(QWidget* window, bool shown) {
    const Qt::WindowType kind = window->windowType();
    if (kind != Qt::Window && kind != Qt::Dialog)
        return;
    if (shown) {
        if (!shownWindows_.insert(window).second)
            return;
        connect(window, &QObject::destroyed, this, [this, window, name = Name(window)] {
            if (shownWindows_.erase(window))
                transcript_.Write(JsonObject().Text("event", "closed").Utf8("form", name));
        });
        transcript_.Write(JsonObject()
                              .Text("event", "shown")
                              .Utf8("form", window->objectName().toStdString())
                              .Utf8("caption", window->windowTitle().toStdString()));
        if (window == mainWindow_)
            mainShown_ = true;
        return;
    }
    if (!shownWindows_.erase(window))
        return;
    transcript_.Write(
        JsonObject().Text("event", "closed").Utf8("form", window->objectName().toStdString()));
    if (window == mainWindow_)
        done_ = true;  // the script ends with the main window
}

}  // namespace quellin::script
