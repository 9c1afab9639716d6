// An endless progress bar: a block of stacked colour levels that sweeps across a bordered
// trough for as long as the bar is shown. It shows no position and no text; it only says that
// work goes on.
#pragma once

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>

namespace quellin::repair {

class TMarqueeBar : public QProgressBar {
    Q_OBJECT

  public:
    explicit TMarqueeBar(QWidget* parent = nullptr);

    // Where the block is now, in pixels from the trough's left edge; it follows the clock, so
    // every repaint shows it moved on.
    int BlockOffset() const;

    static constexpr int kFrameMs = 40;
    static constexpr int kSweepMs = 1600;  // one pass of the block across the trough

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QElapsedTimer clock_;
    QTimer frame_;
};

}  // namespace quellin::repair
