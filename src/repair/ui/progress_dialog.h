// The progress dialog: a fixed "Apply Settings" window with a label and a moving bar. Its one
// timer fires 600 ms after it opens and runs the sequence RepairMode names to its end, showing
// each step's caption and label; then it closes itself.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "repair/sequences.h"

class QLabel;
class QTimer;

namespace quellin::repair {

class TMarqueeBar;

class TForm3 : public QDialog, private Progress {
    Q_OBJECT

  public:
    // `owner` is the main window, on which the dialog centres itself.
    TForm3(int repairMode, const RepairSettings& settings, QWidget* owner);

    static constexpr int kClientWidth = 481;
    static constexpr int kClientHeight = 153;
    static constexpr int kTimerInterval = 600;

    // Controls, by their design names (also their object names).
    QLabel* Label1 = nullptr;
    TMarqueeBar* ProgressBar1 = nullptr;
    QTimer* Timer1 = nullptr;

    // True from the first tick until its sequence has ended.
    bool SequenceRunning() const { return running_; }
    // What the first tick's sequence came to, when it ran to its end.
    std::optional<RepairOutcome> Outcome() const { return outcome_; }

  public slots:
    void Timer1Timer();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

  private:
    void StepStarted(int step, const std::string& caption, const std::string& label) override;
    void Repaint() override;

    int repairMode_;
    RepairSettings settings_;
    bool running_ = false;
    bool ticked_ = false;  // the sequence has begun
    bool centred_ = false;
    std::optional<RepairOutcome> outcome_;
};

}  // namespace quellin::repair
