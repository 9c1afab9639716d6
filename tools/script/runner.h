// Performs a script's actions on the program's windows from inside its event loop.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/types.h"
#include "script.h"
#include "scripted_ui.h"
#include "transcript.h"

class QAction;
class QWidget;

namespace quellin::script {

// How long an action waits for its window, control or item to be there and usable.
inline constexpr int kActionTimeoutMs = 10'000;
// A program that handles no events for this long is taken to hang.
inline constexpr int kHangTimeoutMs = 30'000;

class Runner final : public QObject {
  public:
    Runner(std::vector<Action> actions, Transcript& transcript);
    ~Runner() override;

    // The user interface to install in the program.
    win::UserInterface& Ui() { return ui_; }

    // Queues the answers and files that the script gives before its first action on a window:
    // they are for boxes that the program shows while it starts.
    void RunLeadingLines();
    // The main window exists; the actions start once the event loop runs.
    void Start(QWidget* mainWindow, win::HWND handle);
    // The program has ended: closes the run and returns the exit code.
    int Finish();

    // Tests shorten the waits.
    void SetActionTimeout(int ms) { actionTimeoutMs_ = ms; }

    // The line of the action under way, 0 before the first.
    int CurrentLine() const { return currentLine_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Phase { Single, DragPress, DragStart, DragLeave, DragOver, DragDrop };
    struct Step {
        const Action* action;
        Phase phase;
    };
    // What an action needs, found when it is about to run.
    struct Resolved {
        QWidget* form = nullptr;
        QWidget* widget = nullptr;
        QAction* menuItem = nullptr;
        int row = -1;  // the item of a list or drop-down
        QWidget* dropWidget = nullptr;
    };
    enum class Readiness { Ready, Retry, Failed };

    void Schedule(int ms);
    void RunStep();
    Readiness Resolve(const Step& step, Resolved& out, std::string& why);
    void Perform(const Step& step, const Resolved& r);
    void EndOfScript();

    void Fail(int line, const std::string& reason, int exitCode);
    void Teardown();

    QWidget* FindForm(const std::string& name) const;
    bool IsMainWindowHandle(win::HWND handle) const { return handle != 0 && handle == handle_; }
    void WatchWindow(QWidget* window, bool shown);
    void Watchdog();

    std::vector<Action> actions_;
    std::vector<Step> steps_;
    Transcript& transcript_;
    ScriptedUi ui_;

    QPointer<QWidget> mainWindow_;
    win::HWND handle_ = 0;
    std::size_t next_ = 0;
    int currentLine_ = 0;
    QTimer stepTimer_;
    QTimer teardownTimer_;
    QTimer heartbeat_;
    std::optional<QElapsedTimer> waitingSince_;
    std::vector<int> performLevels_;
    std::set<QWidget*> shownWindows_;
    QElapsedTimer endingSince_;
    bool ending_ = false;
    bool mainShown_ = false;
    QPoint dragFrom_;
    bool started_ = false;
    bool done_ = false;
    int failCode_ = 0;
    int actionTimeoutMs_ = kActionTimeoutMs;

    std::atomic<long long> lastBeatMs_{0};
    std::mutex watchdogMutex_;
    std::condition_variable watchdogWake_;
    bool watchdogStop_ = false;
    std::thread watchdog_;
};

}  // namespace quellin::script
